#!/usr/bin/env bash
# The installed desktop entry is what earns the installed program KWin's
# window management: it names the installed executable by its absolute path
# and lists the interface.
#   installed-entry.sh <builddir>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: $0 <builddir>}" && pwd)

fail() {
    echo "installed-entry.sh: $*" >&2
    exit 1
}

root=$(mktemp -d /tmp/lurn-install.XXXXXX)
trap 'rm -rf "$root"' EXIT
chmod 755 "$root"

# Installed where the prefix says, the entry names that executable.
prefix=$root/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
entry=$prefix/share/applications/lurn.desktop
[[ -x "$prefix/bin/lurn" ]] || fail "no installed executable"
grep -qx "Exec=$prefix/bin/lurn" "$entry" || fail "Exec= does not name $prefix/bin/lurn: $(grep '^Exec=' "$entry")"
grep -qx 'X-KDE-Wayland-Interfaces=org_kde_plasma_window_management' "$entry" ||
    fail "no X-KDE-Wayland-Interfaces"
for key in 'Type=Application' 'Name=Lurn' 'Icon=lurn' 'Terminal=false' 'Categories=Utility;Clock;Qt;'; do
    grep -qxF "$key" "$entry" || fail "$key is missing"
done
grep -q '@' "$entry" && fail "a placeholder was left: $(grep '@' "$entry")"

# Staged for a package (DESTDIR), it names where the package puts it.
DESTDIR=$root/stage cmake --install "$build" --prefix /opt/lurn >/dev/null
grep -qx "Exec=/opt/lurn/bin/lurn" "$root/stage/opt/lurn/share/applications/lurn.desktop" ||
    fail "a staged entry does not name /opt/lurn/bin/lurn"

# KWin reads the installed entry and grants the installed program.
out=$("$here/../with-wayland.sh" --compositor kwin --data-dir "$prefix/share" \
    "$prefix/bin/lurn" --diagnose)
grep -qx 'windows: kde-plasma-window-management' <<<"$out" || fail "not granted: $out"
echo "installed-entry.sh: $entry names $prefix/bin/lurn, and KWin grants it"
