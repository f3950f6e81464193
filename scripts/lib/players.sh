# Shell helpers to run tosswick-server and several players on one private X display, and to
# drive their controls windows with xdotool. Sourced by scripts/screenshots.sh and the
# end-to-end test. Needs: Xvfb, openbox, xdotool, xprop, xsetroot, xwininfo, sqlite3.
# Set BUILD (the build directory) before sourcing; everything lives under $WORK.

WORK=$(mktemp -d "${TMPDIR:-/tmp}/tosswick-players.XXXXXX")
PIDS=""

stop_all() {
    for pid in $PIDS; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in $PIDS; do
        wait "$pid" 2>/dev/null || true
    done
    PIDS=""
    rm -rf "$WORK"
}

fail() {
    echo "FAIL: $*" >&2
    if [ -n "${FAILURE_SCREEN:-}" ] && [ -n "${DISPLAY:-}" ]; then
        "$BUILD/tools/tosswick-grab-screen" "$FAILURE_SCREEN" && echo "screen: $FAILURE_SCREEN" >&2
    fi
    for log in "$WORK"/*.log; do
        [ -f "$log" ] && { echo "--- $log" >&2; tail -n 20 "$log" >&2; }
    done
    exit 1
}

# until_true SECONDS COMMAND...: polls the command every POLL_INTERVAL (default 0.2) seconds
# until it succeeds; fails when SECONDS have passed.
until_true() {
    deadline=$(($(date +%s) + $1))
    shift
    until "$@" >/dev/null 2>&1; do
        [ "$(date +%s)" -ge $deadline ] && return 1
        sleep "${POLL_INTERVAL:-0.2}"
    done
}

# A private display of SCREEN_SIZE (default 1280x800) with a window manager and a plain
# coloured desktop.
start_display() {
    # Another server may take the display Xvfb picked at the same moment: then try again.
    for attempt in 1 2 3; do
        rm -f "$WORK/display"
        Xvfb -displayfd 3 -screen 0 "${SCREEN_SIZE:-1280x800}x24" -nolisten tcp \
            3>"$WORK/display" 2>"$WORK/xvfb.log" &
        xvfb=$!
        PIDS="$PIDS $xvfb"
        if until_true 10 test -s "$WORK/display"; then
            export DISPLAY=":$(cat "$WORK/display")" QT_QPA_PLATFORM=xcb
            until_true 5 xprop -root && kill -0 $xvfb 2>/dev/null && break
        fi
        kill $xvfb 2>/dev/null || true
        [ $attempt = 3 ] && fail "Xvfb did not start"
    done
    openbox >"$WORK/openbox.log" 2>&1 &
    PIDS="$PIDS $!"
    until_true 10 xprop -root _NET_SUPPORTING_WM_CHECK || fail "openbox did not start"
    paint_desktop
}

# The window manager may paint the root window after it starts: paint it again before a grab.
paint_desktop() {
    xsetroot -solid '#3b5b7a'
}

# FAILURE_SCREEN: where fail() saves what the screen showed, if set.

# The game server on a free loopback port; SERVER_URL and WS_URL tell where.
start_server() {
    "$BUILD/server/tosswick-server" --listen 127.0.0.1:0 --db "$WORK/server.sqlite" \
        >/dev/null 2>"$WORK/server.log" &
    PIDS="$PIDS $!"
    until_true 15 grep -q 'listening on' "$WORK/server.log" || fail "tosswick-server did not start"
    address=$(sed -n 's/.*listening on \([0-9.:]*\).*/\1/p' "$WORK/server.log" | head -n 1)
    SERVER_URL="http://$address"
    WS_URL="ws://$address"
}

# start_player NAME [LINK...]: a tosswick process with its own home, settings and session file (no
# Secret Service: each keeps its session in its own data directory). Sets WINDOW to its
# controls window.
start_player() {
    name=$1
    shift
    home="$WORK/$name"
    mkdir -p "$home/config/tosswick" "$home/data" "$home/cache" "$home/run"
    chmod 700 "$home/run"
    printf '[General]\nserver=%s\nwebsocket=%s\n' "$SERVER_URL" "$WS_URL" \
        >"$home/config/tosswick/tosswick.conf"
    env HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" \
        XDG_CACHE_HOME="$home/cache" XDG_RUNTIME_DIR="$home/run" DBUS_SESSION_BUS_ADDRESS= \
        "$BUILD/src/app/tosswick" "$@" >"$WORK/$name.log" 2>&1 &
    pid=$!
    PIDS="$PIDS $pid"
    until_true 20 xdotool search --all --onlyvisible --pid "$pid" --name '^TOSSWICK$' \
        || fail "the controls window of $name did not show"
    WINDOW=$(xdotool search --all --onlyvisible --pid "$pid" --name '^TOSSWICK$' | head -n 1)
    echo "player $name: pid $pid window $WINDOW" >>"$WORK/players.log"
}

focus_window() {
    xdotool windowactivate --sync "$1" 2>/dev/null || xdotool windowfocus --sync "$1"
}

# Predicates for until_true; they read the server's database.
players_at_least() {
    test "$(sqlite3 "$WORK/server.sqlite" 'SELECT count(*) FROM players;')" -ge "$1"
}
room_exists() {
    test -n "$(room_code "$1")"
}
members_at_least() {
    test "$(sqlite3 "$WORK/server.sqlite" "SELECT count(*) FROM members JOIN rooms
        ON rooms.id = room_id WHERE rooms.name = '$1';")" -ge "$2"
}

# create_room WINDOW NAME: types the name into "Room name (optional)" and presses Enter.
create_room() {
    focus_window "$1"
    xdotool type --delay 20 "$2"
    xdotool key Return
    until_true 15 room_exists "$2" || fail "room $2 was not created"
}

room_code() {
    sqlite3 "$WORK/server.sqlite" "SELECT invite_code FROM rooms WHERE name = '$1';"
}

# join_room WINDOW CODE ROOM: types the Room ID into "Room ID or invitation" (one Tab after
# the room name) and presses Enter.
join_room() {
    focus_window "$1"
    xdotool key Tab
    xdotool type --delay 20 "$2"
    xdotool key Return
    until_true 15 members_at_least "$3" 2 || fail "nobody joined $3"
}

# grab FILE WINDOW: the window's content.
grab_window() {
    # xwininfo's absolute position is the content's, without the window manager's frame.
    set -- "$1" $(xwininfo -id "$2" | awk '/Absolute upper-left X/ { x = $NF }
        /Absolute upper-left Y/ { y = $NF } /Width:/ { w = $NF } /Height:/ { h = $NF }
        END { print x, y, w, h }')
    "$BUILD/tools/tosswick-grab-screen" "$@"
}

# grab_area FILE X Y WIDTH HEIGHT
grab_area() {
    paint_desktop
    "$BUILD/tools/tosswick-grab-screen" "$@"
}

# stop_player NAME: ends that player's program as the desktop would (SIGTERM).
stop_player() {
    pid=$(sed -n "s/^player $1: pid \([0-9]*\).*/\1/p" "$WORK/players.log")
    kill "$pid" && until_true 10 sh -c "! kill -0 $pid" || fail "$1 did not quit"
}
