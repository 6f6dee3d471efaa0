#!/usr/bin/env bash
# The tests on Debian 13's desktops, as ./lurn.sh test runs them after this
# machine's: makes (or reuses) the Debian 13 system, builds Lurn in it against
# its Qt and GCC (build/debian13, warnings as errors), runs every test that
# carries the CTest label debian13 (display-free tests, KWin and sway tests),
# then builds, installs and checks the Debian package there; last, on this
# machine, boots that system as a container with systemd as PID 1 and checks
# the station harness (tests/debian13/station, CTest preset station, with the
# ci build's test list). Prints how long each part took. Needs root.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cd "$here/../.."

time_of() {
    local what=$1 started=$SECONDS
    shift
    "$@"
    echo "debian13: $what took $((SECONDS - started)) s" >&2
}

system=$(time_of "making or finding the system" "$here/system.sh")
export LURN_DEBIAN13_SYSTEM=$system
run=("$here/run.sh" --)
time_of "configuring" "${run[@]}" cmake --preset debian13 >/dev/null
time_of "the build" "${run[@]}" cmake --build --preset debian13
time_of "the tests" "${run[@]}" ctest --preset debian13
time_of "the package check" "${run[@]}" env LURN_PACKAGE_BUILD=build/debian13-release \
    tests/survival/check-package.sh
# On this machine, not in run.sh's chroot: it boots the same system with
# systemd-nspawn (host package systemd-container).
[[ -f build/ci/CTestTestfile.cmake ]] || cmake --preset ci >/dev/null
time_of "the station container's check" ctest --preset station
