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
    records/bench_records_tick
)
# These also get a private PostgreSQL server of their own.
with_postgres=(
    records/bench_records_report
)

status=0
for b in "${benchmarks[@]}"; do
    echo "== $b"
    "$here/../tests/with-x.sh" --wm openbox "$build/bench/$b" || status=1
    echo
done
for b in "${with_postgres[@]}"; do
    echo "== $b"
    "$here/../tests/with-postgres.sh" "$here/../tests/with-x.sh" --wm openbox "$build/bench/$b" ||
        status=1
    echo
done
exit $status
