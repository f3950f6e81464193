#!/bin/sh
# CPU of a shown overlay over SECONDS (default 30) on a private Xvfb, without and with a
# compositing manager (xcompmgr), for a parked ball, no ball, and a ball thrown again and
# again; for the last also the X server's CPU over the run.
# Usage: bench/overlay-idle.sh BUILD_DIR [SECONDS]
set -eu
build=$(cd "${1:-build}" && pwd)
seconds=${2:-30}
tmp=$(mktemp -d)
xvfb=""
compositor=""
cleanup() {
    [ -n "$compositor" ] && kill "$compositor" 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$tmp/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 50); do
    [ -s "$tmp/display" ] && break
    sleep 0.1
done
export DISPLAY=":$(cat "$tmp/display")" QT_QPA_PLATFORM=xcb
xserver_ticks() { awk '{ print $14 + $15 }' "/proc/$xvfb/stat"; }

for with in no yes; do
    if [ "$with" = yes ]; then
        xcompmgr &
        compositor=$!
        sleep 1
    fi
    for mode in parked none throwing; do
        before=$(xserver_ticks)
        /usr/bin/time -f "  /usr/bin/time: %e s wall, %U s user, %S s sys, %P CPU" \
            "$build/bench/overlay_idle" "$seconds" "$mode" 2>&1 | grep -v XDG_RUNTIME_DIR
        echo "  X server: $(( $(xserver_ticks) - before )) ticks of 1/$(getconf CLK_TCK) s"
    done
    if [ -n "$compositor" ]; then
        kill "$compositor"
        compositor=""
    fi
done
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
