#!/usr/bin/env bash
# The GNOME closing-pass benchmark again on GNOME Shell 48, inside the Debian
# 13 system of tests/debian13 (made once and cached there): an optimised
# build against that system's Qt in build/debian13-bench, then the same
# benchmark under tests/with-gnome-shell.sh, which starts GNOME Shell 48 there.
# Without tests/debian13/run.sh (a tree without the Debian 13 runner) it says
# so and succeeds, so that the rest of the benchmarks stand.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tree=$(cd "$here/../.." && pwd)
runner=$tree/tests/debian13/run.sh
if [[ ! -x "$runner" ]]; then
    echo "skipped: no tests/debian13/run.sh in this tree"
    exit 0
fi
# shellcheck disable=SC2016
"$runner" -- bash -euc '
    tree=$1
    build=$tree/build/debian13-bench
    cmake -S "$tree" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DLURN_BUILD_TESTS=OFF -DLURN_BUILD_BENCH=ON >/dev/null
    cmake --build "$build" --target BenchGnomeClosingPass >/dev/null
    echo "gnome-shell: $(gnome-shell --version)"
    "$tree/tests/with-gnome-shell.sh" "$build/bench/gnome/BenchGnomeClosingPass"
' _ "$tree"
