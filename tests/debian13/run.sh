#!/usr/bin/env bash
# Runs a command as root inside the Debian 13 system that system.sh makes
# (making it first if needed), e.g.
#   tests/debian13/run.sh -- cmake --preset debian13
#   tests/debian13/run.sh -- ctest --test-dir build/debian13 -L debian13
# The command runs in the current directory when that lies inside the Lurn
# tree, which is bound at the same path as outside (so build trees and paths
# match), else in the tree's top. Inside: /proc, /dev and /sys (Xwayland under
# GNOME Shell needs /sys), a fresh /tmp with a root-owned 1777 /tmp/.X11-unix
# (mutter refuses any other), a fresh /run. Everything is mounted in a private
# mount namespace, so nothing shows on the host and all of it is gone when
# the command ends, however it ends. The environment is a clean one, plus
# TERM and any LURN_*, CTEST_* and QT_* variables of the caller.
# LURN_DEBIAN13_SYSTEM=DIR uses DIR instead of making or finding the system.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tree=$(cd "$here/../.." && pwd)
[[ "${1:-}" == -- ]] && shift
if (($# == 0)); then
    echo "usage: run.sh [--] command args..." >&2
    exit 2
fi
if ((EUID != 0)); then
    echo "run.sh: needs root (mounts, chroot)" >&2
    exit 1
fi
system=${LURN_DEBIAN13_SYSTEM:-$("$here/system.sh")}
case "$PWD/" in
"$tree"/*) cwd=$PWD ;;
*) cwd=$tree ;;
esac

pass=(PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root
      LANG=C.UTF-8 TERM="${TERM:-dumb}")
while IFS='=' read -r name _; do
    [[ "$name" == LURN_* || "$name" == CTEST_* || "$name" == QT_* ]] && pass+=("$name=${!name}")
done < <(env)

# shellcheck disable=SC2016
exec unshare --mount --propagation private -- bash -euc '
system=$1 tree=$2 cwd=$3
shift 3
mount -t proc proc "$system/proc"
mount --rbind /dev "$system/dev"
mount --rbind /sys "$system/sys"
mount -t tmpfs -o mode=1777 tmpfs "$system/tmp"
mount -t tmpfs -o mode=755 tmpfs "$system/run"
mkdir -m 1777 "$system/tmp/.X11-unix"
mkdir -p "$system/run/lock" "$system/run/dbus"
mkdir -p "$system$tree"
mount --bind "$tree" "$system$tree"
cp /etc/resolv.conf "$system/etc/resolv.conf" 2>/dev/null || true
exec chroot "$system" /usr/bin/env -i "$@"
' run.sh "$system" "$tree" "$cwd" "${pass[@]}" /bin/sh -c 'cd "$0" && exec "$@"' "$cwd" "$@"
