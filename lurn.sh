#!/usr/bin/env bash
# Lurn's one entry for newcomers and CI:
#   ./lurn.sh run    install what is missing, build, start the program
#   ./lurn.sh test   install what is missing, build with sanitizers, run every test
#                    (then again on Debian 13's desktops, in a system of its own)
#   ./lurn.sh bench  install what is missing, build optimised, run the benchmarks
set -euo pipefail
cd "$(dirname "$0")"

packages=(
    cmake ninja-build pkg-config g++ clang libclang-rt-14-dev
    qt6-base-dev libgl-dev libxcb1-dev libxcb-ewmh-dev libxcb-icccm4-dev libfontconfig-dev
    libwayland-dev libwayland-bin qt6-charts-dev libqt6sql6-sqlite libqt6sql6-psql
    libsqlite3-dev libpq-dev
    libqt6opengl6-dev # Qt Charts' CMake files need it; Debian 12 forgets to say so
    fonts-dejavu-core
    qt6-tools-dev qt6-l10n-tools qt6-translations-l10n # Linguist tools for Lurn's languages; Qt's own strings
    libxcb-damage0-dev # the start-up benchmark sees when a window is first drawn
)
# The real parts the tests start: an X server and window manager, Wayland
# compositors (KWin, sway, GNOME Shell) with XWayland, a session bus,
# PostgreSQL; and the tools that check the package.
test_packages=(
    xvfb xauth openbox x11-utils xdotool wmctrl
    kwin-wayland xwayland sway weston qt6-wayland
    gnome-shell gjs dbus-daemon libglib2.0-bin libgl1-mesa-dri dconf-cli
    postgresql sqlite3 util-linux tzdata
    dpkg-dev file appstream systemd
    at-spi2-core python3-pyatspi # the accessibility bus and a client that walks it
)

install_missing() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if ((${#missing[@]})); then
        echo "lurn.sh: installing ${missing[*]}" >&2
        local sudo=()
        ((EUID == 0)) || sudo=(sudo)
        "${sudo[@]}" apt-get update -qq
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

# The compositors run as an unprivileged user (they refuse root, or grant less
# to it), and so do the programs under test there: that user must be able to
# reach the build tree, even when the checkout lies under a private home.
reachable_for_test_user() {
    local dir
    dir=$(pwd)
    while [[ "$dir" != / ]]; do
        if ! setpriv --reuid=nobody --regid=nogroup --clear-groups test -x "$dir" 2>/dev/null; then
            chmod o+x "$dir"
        fi
        dir=$(dirname "$dir")
    done
}

case "${1:-}" in
run)
    install_missing "${packages[@]}"
    cmake --preset release >/dev/null
    cmake --build --preset release
    exec ./build/release/src/lurn
    ;;
test)
    install_missing "${packages[@]}" "${test_packages[@]}"
    ((EUID == 0)) && reachable_for_test_user
    cmake --preset ci
    cmake --build --preset ci
    ctest --preset ci
    # The Debian package, built from the release build, installed with
    # apt-get and removed again: only where this machine's packages are ours
    # to change (CI runs as root on a machine of its own).
    if ((EUID == 0)); then
        tests/survival/check-package.sh
    else
        echo "lurn.sh: not root: the Debian package is not installed and checked" >&2
    fi
    # The same on Debian 13's desktops and Qt, in a Debian 13 system made
    # once and kept under /var/cache/lurn-tests (LURN_DEBIAN13=0 skips it).
    if ((EUID == 0)) && [[ "${LURN_DEBIAN13:-1}" != 0 ]]; then
        install_missing debootstrap systemd-container # systemd-nspawn boots it for the station's tests
        tests/debian13/check.sh
    else
        echo "lurn.sh: not root or LURN_DEBIAN13=0: the Debian 13 tests do not run" >&2
    fi
    ;;
bench)
    install_missing "${packages[@]}" "${test_packages[@]}"
    cmake --preset bench >/dev/null
    cmake --build --preset bench
    exec ./bench/run-benchmarks.sh build/bench
    ;;
*)
    echo "usage: $0 run|test|bench" >&2
    exit 2
    ;;
esac
