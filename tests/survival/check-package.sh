#!/usr/bin/env bash
# Builds the Debian package from the release build, installs it as a user
# would (apt-get install ./lurn_*.deb), checks what it installed, and removes
# it again. Needs root and a machine whose packages it may change (CI).
set -euo pipefail
cd "$(dirname "$0")/../.."
src=$(pwd)

fail() { echo "check-package.sh: $*" >&2; exit 1; }
((EUID == 0)) || fail "needs root to install the package"
if dpkg-query -W -f='${Status}' lurn 2>/dev/null | grep -q 'install ok installed'; then
    fail "a lurn package is installed already; not touching it"
fi

# The package's files name /usr: the program is built for it. LURN_PACKAGE_BUILD
# names another build tree (the Debian 13 system's, beside this machine's).
build=${LURN_PACKAGE_BUILD:-build/release}
cmake --preset release -B "$build" -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build"
rm -f "$build"/lurn_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/lurn_*.deb)
[[ ${#debs[@]} -eq 1 && -f "${debs[0]}" ]] || fail "cpack made no lurn_*.deb"
deb="$src/${debs[0]}"
echo "check-package.sh: built $(basename "$deb")"

depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libxcb1 libwayland-client0 libqt6charts6 libqt6sql6 \
    qt6-qpa-plugins libqt6sql6-sqlite libqt6sql6-psql; do
    [[ "$depends" == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done

export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq "$deb" >/dev/null
trap 'apt-get purge -y -qq lurn >/dev/null' EXIT

for f in /usr/bin/lurn \
    /usr/share/applications/lurn.desktop \
    /usr/share/icons/hicolor/scalable/apps/lurn.svg \
    /usr/share/doc/lurn/README.md \
    /usr/lib/x86_64-linux-gnu/lurn/lurn-chart.so \
    /usr/share/gnome-shell/extensions/lurn-windows@lurn/metadata.json \
    /usr/share/gnome-shell/extensions/lurn-windows@lurn/extension.js \
    /etc/dconf/db/local.d/00-lurn-windows \
    /etc/dconf/db/local.d/locks/lurn-windows \
    /usr/lib/systemd/user/lurn.service \
    /etc/xdg/autostart/lurn-autostart.desktop \
    /usr/share/metainfo/example.lurn.Lurn.metainfo.xml \
    /usr/sbin/lurnd \
    /usr/lib/systemd/system/lurnd.service \
    /usr/share/dbus-1/system.d/org.lurn.Station.conf; do
    [[ -f "$f" ]] || fail "not installed: $f"
done
grep -qx 'ExecStart=/usr/bin/lurn' /usr/lib/systemd/user/lurn.service ||
    fail "the unit does not start /usr/bin/lurn"
grep -qx 'ExecStart=/usr/sbin/lurnd' /usr/lib/systemd/system/lurnd.service ||
    fail "the service's unit does not start /usr/sbin/lurnd"
grep -q 'exec /usr/bin/lurn"$' /etc/xdg/autostart/lurn-autostart.desktop ||
    fail "the autostart entry does not fall back to /usr/bin/lurn"
for conffile in /etc/xdg/autostart/lurn-autostart.desktop /etc/dconf/db/local.d/00-lurn-windows \
    /etc/dconf/db/local.d/locks/lurn-windows; do
    dpkg-query -W -f='${Conffiles}' lurn | grep -q "$conffile" || fail "$conffile is not a conffile"
done
# KWin's grant: the installed entry names the installed executable.
grep -qx 'Exec=/usr/bin/lurn' /usr/share/applications/lurn.desktop ||
    fail "the desktop entry does not start /usr/bin/lurn"
grep -qx 'X-KDE-Wayland-Interfaces=org_kde_plasma_window_management' \
    /usr/share/applications/lurn.desktop || fail "the desktop entry asks KWin for nothing"
lurn --diagnose | grep -q "^windows: " || fail "lurn --diagnose says nothing"
version=$(lurn --version)
[[ "$version" == "lurn $(dpkg-deb -f "$deb" Version)" ]] || fail "lurn --version says: $version"
"$src/tests/survival/verify-unit.sh" /usr/lib/systemd/user/lurn.service ||
    fail "systemd-analyze verify complains about the installed unit"
appstreamcli validate --no-net /usr/share/metainfo/example.lurn.Lurn.metainfo.xml >/dev/null ||
    fail "appstreamcli validate refuses the installed metainfo"

apt-get purge -y -qq lurn >/dev/null
trap - EXIT
[[ ! -e /usr/bin/lurn && ! -e /usr/lib/systemd/user/lurn.service && ! -e /etc/xdg/autostart/lurn-autostart.desktop &&
    ! -e /etc/dconf/db/local.d/00-lurn-windows && ! -e /usr/share/gnome-shell/extensions/lurn-windows@lurn ]] ||
    fail "files left behind after removing the package"
echo "check-package.sh: $(basename "$deb") installs, runs (lurn --version: $version) and removes cleanly"
