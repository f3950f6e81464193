#!/bin/sh
# Runs every test the way CI does: in a throw-away home, under a private Xvfb display
# and a private D-Bus session with an unlocked gnome-keyring (a real Secret Service).
# Usage: scripts/run-tests.sh BUILD_DIR [ctest arguments...]
set -eu
build=$(cd "${1:-build}" && pwd)
[ $# -gt 0 ] && shift

tmp=$(mktemp -d "${TMPDIR:-/tmp}/tosswick-test.XXXXXX")
xvfb_pid=""
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir -p "$tmp/home" "$tmp/config" "$tmp/data" "$tmp/cache" "$tmp/run"
chmod 700 "$tmp/run"
export HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data"
export XDG_CACHE_HOME="$tmp/cache" XDG_RUNTIME_DIR="$tmp/run"

# Let Xvfb pick a free display and tell us which.
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 50); do
    [ -s "$tmp/display" ] && break
    sleep 0.1
done
[ -s "$tmp/display" ] || { echo "Xvfb did not start:"; cat "$tmp/xvfb.log"; exit 1; }
export DISPLAY=":$(cat "$tmp/display")"
export QT_QPA_PLATFORM=xcb

export TOSSWICK_BUILD="$build"
dbus-run-session -- sh -c '
    printf pw | gnome-keyring-daemon --unlock --components=secrets >/dev/null
    exec ctest --test-dir "$TOSSWICK_BUILD" --output-on-failure "$@"
' ctest "$@"
