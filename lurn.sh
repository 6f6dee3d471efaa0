#!/usr/bin/env bash
# Lurn's one entry for newcomers and CI:
#   ./lurn.sh run    install what is missing, build, start the program
#   ./lurn.sh test   install what is missing, build with sanitizers, run every test
#   ./lurn.sh bench  install what is missing, build optimised, run the benchmarks
set -euo pipefail
cd "$(dirname "$0")"

packages=(
    cmake ninja-build pkg-config g++ clang libclang-rt-14-dev
    qt6-base-dev libgl-dev libxcb1-dev libxcb-ewmh-dev libxcb-icccm4-dev
    fonts-dejavu-core
)
test_packages=(xvfb xauth openbox x11-utils xdotool wmctrl)

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

case "${1:-}" in
run)
    install_missing "${packages[@]}"
    cmake --preset release >/dev/null
    cmake --build --preset release
    exec ./build/release/src/lurn
    ;;
test)
    install_missing "${packages[@]}" "${test_packages[@]}"
    cmake --preset ci
    cmake --build --preset ci
    ctest --preset ci
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
