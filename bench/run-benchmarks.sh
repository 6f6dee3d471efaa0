#!/usr/bin/env bash
# Runs every benchmark, each on its own private X server with openbox, and
# prints what they report.
#   bench/run-benchmarks.sh <builddir>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: $0 <builddir>}" && pwd)

# Executables under <builddir>/bench, one line each.
benchmarks=(
    closing/BenchClosingPass
    countdown/bench_countdown # a 120 s countdown (its default --seconds)
    startup/bench_startup     # start-up time and memory against a minimal Qt window
)

status=0
for b in "${benchmarks[@]}"; do
    echo "== $b"
    "$here/../tests/with-x.sh" --wm openbox "$build/bench/$b" || status=1
    echo
done
exit $status
