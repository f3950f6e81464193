#!/bin/sh
# End to end with the built programs: tosswick-server and two tosswick processes on one
# private X display, each with its own settings and session. Ada creates a room and Bob joins
# it by typing into their controls windows; Ada passes the ball by throwing it out of the
# field on her overlay; Bob throws it with a drag towards the hoop and scores; the server's
# database shows his point. A third player joins through a join link given at start. Ended
# by SIGTERM, Bob's game tells the server he left.
# Usage: two_players.sh BUILD_DIR
set -eu
BUILD=$(cd "$1" && pwd)
. "$(dirname "$0")/../../scripts/lib/players.sh"
trap stop_all EXIT INT TERM
FAILURE_SCREEN=${FAILURE_SCREEN:-}

sql() { sqlite3 "$WORK/server.sqlite" "$1"; }

# A player's session token, from the session file the game keeps when no Secret Service runs.
token_of() {
    cat "$WORK/$1"/data/tosswick/sessions/* | sed -n 's/.*"token":"\([^"]*\)".*/\1/p'
}
room_state() {
    curl -s -m 5 -H "Authorization: Bearer $(token_of "$1")" "$SERVER_URL/api/rooms/$2/state"
}
both_online() {
    test "$(room_state ada "$room" | grep -o '"status":"ONLINE"' | wc -l)" -ge 2
}
round_active() {
    test -n "$(sql "SELECT id FROM rounds WHERE room_id = $room AND state = 'ACTIVE';")"
}
bob_offline() {
    room_state ada "$room" | grep -q "\"id\":$bob_id,\"name\":\"[^\"]*\",\"status\":\"OFFLINE\""
}
bob_scored() {
    test "$(sql "SELECT points FROM scores WHERE room_id = $room AND player_id = $bob_id;")" = 1
}

# drag X0 Y0 X1 Y1: presses at the first point, moves in steps, lets go at the second.
drag() {
    xdotool mousemove "$1" "$2"
    sleep 0.2
    xdotool mousedown 1
    for step in 1 2 3 4 5; do
        xdotool mousemove $(($1 + ($3 - $1) * step / 5)) $(($2 + ($4 - $2) * step / 5))
        sleep 0.05
    done
    xdotool mouseup 1
}

SCREEN_SIZE=1280x800
start_display
start_server

start_player ada
ada=$WINDOW
until_true 20 players_at_least 1 || fail "no guest session for ada"
create_room "$ada" "End to end"
room=$(sql "SELECT id FROM rooms WHERE name = 'End to end';")
start_player bob
bob=$WINDOW
until_true 20 players_at_least 2 || fail "no guest session for bob"
join_room "$bob" "$(room_code 'End to end')" "End to end"
bob_id=$(sql "SELECT player_id FROM members WHERE room_id = $room AND player_id !=
    (SELECT owner_id FROM rooms WHERE id = $room);")
# The windows step aside from the field (the overlay is on top of them anyway).
xdotool windowmove --sync "$ada" 880 20
xdotool windowmove --sync "$bob" 880 60
until_true 30 both_online || fail "the players did not both come online"

# The field is the centred 800-point square: the ball waits at (0.18, 0.18) of it.
ball_x=$((240 + 144))
ball_y=$((800 - 144))
# Ada holds the ball and practises; thrown out at the left, it goes to Bob.
drag $ball_x $ball_y $((ball_x - 100)) $((ball_y - 40))
until_true 30 round_active || fail "no round started for bob"

# Bob's ball waits at the same spot; a drag up and to the right is helped into the hoop.
drag $ball_x $ball_y $((ball_x + 40)) $((ball_y - 60))
until_true 30 bob_scored || fail "bob's point did not reach the server"

# Cy starts the game with the room's join link: the invitation waits in the window, Enter on
# its focused "Join room" accepts it.
start_player cy "tosswick://join?room=$(room_code 'End to end')&api=$SERVER_URL&ws=$WS_URL&key=desk-hoops-sample"
focus_window "$WINDOW"
xdotool key Return
until_true 20 members_at_least "End to end" 3 || fail "cy did not join through the link"

# Bob's session ends (SIGTERM): the game tells the server he left. Without that notice he
# would stay online for 10 s after his last heartbeat, which was at most 3 s ago.
stop_player bob
until_true 6 bob_offline || fail "the server did not hear that bob left"
echo "1 passed, 0 failed"
