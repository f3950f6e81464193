#!/bin/sh
# Installs every Debian package that building, running and testing Tosswick needs.
# Runs apt-get update once, and only when something is missing.
# Usage: scripts/setup-deps.sh [fuzz]   (fuzz: also clang and its libFuzzer runtime, for make fuzz)
set -eu

PACKAGES="
build-essential cmake pkg-config
qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite qt6-websockets-dev qt6-httpserver-dev
qcoro-qt6-dev libbox2d-dev qtkeychain-qt6-dev libqt6keychain1 libsecret-1-0
libcanberra-dev libxcb1-dev libxcb-shape0-dev libgl-dev libxkbcommon-dev
libbenchmark-dev libboost1.81-dev
curl chromium sqlite3
postgresql libpq-dev libqt6sql6-psql haproxy
xvfb xauth xdotool x11-utils x11-xserver-utils xcompmgr openbox
dbus dbus-x11 gnome-keyring
fonts-dejavu-core
"
if [ "${1:-}" = fuzz ]; then
    PACKAGES="$PACKAGES clang libclang-rt-14-dev"
fi

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing="$missing $p"
    fi
done

[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    SUDO=""
else
    SUDO="sudo"
fi
echo "Installing:$missing"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
