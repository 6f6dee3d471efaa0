#!/usr/bin/env bash
# The tests on Debian 13's desktops, as ./lurn.sh test runs them after this
# machine's: makes (or reuses) the Debian 13 system, builds Lurn in it against
# its Qt and GCC (build/debian13, warnings as errors), runs every test that
# carries the CTest label debian13 (display-free tests, KWin and sway tests),
# then builds, installs and checks the Debian package there. Prints how long
# each part took. Needs root.
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
