#!/bin/sh
# Takes the README's pictures on a private X display: the controls window of a player in a
# room with a colleague, and the overlay with the ball over the desktop.
# Usage: scripts/screenshots.sh [BUILD_DIR] [OUT_DIR]   (defaults: build, docs)
set -eu
BUILD=$(cd "${1:-build}" && pwd)
out=$(mkdir -p "${2:-docs}" && cd "${2:-docs}" && pwd)
. "$(dirname "$0")/lib/players.sh"
trap stop_all EXIT INT TERM

# A wide screen: the overlay's field is a centred square, the controls windows stand to the
# right of it.
SCREEN_SIZE=1720x800
start_display
start_server

start_player ada
ada=$WINDOW
until_true 15 players_at_least 1 || fail "no guest session for ada"
create_room "$ada" "Design team"
start_player bob
bob=$WINDOW
until_true 15 players_at_least 2 || fail "no guest session for bob"
join_room "$bob" "$(room_code 'Design team')" "Design team"

# Ada holds the ball and sees Bob available once his heartbeat reached the server.
xdotool windowmove --sync "$bob" 0 30
xdotool windowmove --sync "$ada" 1320 40
focus_window "$ada"
sleep 4
grab_window "$out/controls-window.png" "$ada"
echo "wrote $out/controls-window.png"

# The overlay around its field, Ada's alone: Bob has quit.
stop_player bob
sleep 2
grab_area "$out/overlay.png" 160 0 1120 800
echo "wrote $out/overlay.png"
