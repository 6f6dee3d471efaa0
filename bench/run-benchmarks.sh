#!/usr/bin/env bash
# Runs every benchmark, each on its own private X server with openbox (or in
# a headless Wayland session of its own), and prints what they report.
#   bench/run-benchmarks.sh <builddir>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: $0 <builddir>}" && pwd)

# Executables under <builddir>/bench, one line each.
benchmarks=(
    closing/BenchClosingPass
    countdown/bench_countdown # a 120 s countdown (its default --seconds)
    startup/bench_startup     # start-up time and memory against the same window built plainly
    records/bench_records_tick
)
# These also get a private PostgreSQL server of their own.
with_postgres=(
    records/bench_records_report
    console/bench_console_gui # "Sala" with 100 stations changing every second
    remote/bench_station_link # an order's insert to its answer, 1, 20 and 100 stations
    remote/bench_station_writes # a station's writes through the functions against plain upserts
)

# Executables under <builddir>/bench run once under each compositor, which
# grants them its window management.
wayland_benchmarks=(
    wayland/BenchCompositorPass
)

# The report's chart module, which the records benchmarks load from the build.
export LURN_MODULE_DIR="$build/src"

status=0
for b in "${benchmarks[@]}"; do
    echo "== $b"
    "$here/../tests/with-x.sh" --wm openbox "$build/bench/$b" || status=1
    echo
done

# The compositors run as an unprivileged user when this runs as root, and so
# do the benchmarks there: that user must reach the build tree.
if ((EUID == 0)); then
    dir=$build
    while [[ "$dir" != / ]]; do
        setpriv --reuid=nobody --regid=nogroup --clear-groups test -x "$dir" 2>/dev/null ||
            chmod o+x "$dir"
        dir=$(dirname "$dir")
    done
fi
for b in "${wayland_benchmarks[@]}"; do
    for compositor in kwin sway; do
        echo "== $b on $compositor"
        "$here/../tests/with-wayland.sh" --compositor "$compositor" --grant "$build/bench/$b" \
            "$build/bench/$b" || status=1
        echo
    done
done
# The same closing pass on Debian 13's KWin 6.3, built there against its Qt
# (tests/debian13; as root, unless LURN_DEBIAN13=0).
if ((EUID == 0)) && [[ "${LURN_DEBIAN13:-1}" != 0 ]]; then
    echo "== wayland/BenchCompositorPass on kwin 6.3 (Debian 13)"
    d13=("$here/../tests/debian13/run.sh" --)
    if "${d13[@]}" cmake --preset bench -B build/debian13-bench >/dev/null &&
        "${d13[@]}" cmake --build build/debian13-bench --target BenchCompositorPass >/dev/null; then
        d13_build=$(cd "$here/.." && pwd)/build/debian13-bench
        "${d13[@]}" tests/with-wayland.sh --compositor kwin \
            --grant "$d13_build/bench/wayland/BenchCompositorPass" \
            "$d13_build/bench/wayland/BenchCompositorPass" || status=1
    else
        status=1
    fi
    echo
fi
echo "== gnome/BenchGnomeClosingPass on GNOME Shell $(gnome-shell --version 2>/dev/null | grep -o '[0-9][0-9.]*' || echo '?')"
"$here/../tests/with-gnome-shell.sh" "$build/bench/gnome/BenchGnomeClosingPass" || status=1
echo
echo "== gnome/BenchGnomeClosingPass on GNOME Shell 48 (Debian 13)"
"$here/gnome/run-on-gnome48.sh" || status=1
echo
for b in "${with_postgres[@]}"; do
    echo "== $b"
    "$here/../tests/with-postgres.sh" "$here/../tests/with-x.sh" --wm openbox "$build/bench/$b" ||
        status=1
    echo
done
exit $status
