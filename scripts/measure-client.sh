#!/bin/sh
# Start-up time of the game until its controls window is on screen, and its resident memory
# after a minute of idling signed in, each the median of RUNS (default 5) runs, on a private
# X display with a local server. Prints the figures; asserts nothing.
# Usage: scripts/measure-client.sh [BUILD_DIR]
set -eu
BUILD=$(cd "${1:-build}" && pwd)
RUNS=${RUNS:-5}
IDLE_SECONDS=${IDLE_SECONDS:-60}
. "$(dirname "$0")/lib/players.sh"
trap stop_all EXIT INT TERM

now_ms() { echo $(($(date +%s%N) / 1000000)); }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

start_display
start_server

# Start-up, one run at a time: from exec to the window being viewable, polled every 10 ms.
POLL_INTERVAL=0.01
for run in $(seq "$RUNS"); do
    before=$(now_ms)
    start_player "startup$run"
    echo $(($(now_ms) - before)) >>"$WORK/startup.txt"
    stop_player "startup$run"
done
POLL_INTERVAL=0.2

# Memory: all runs idle side by side for a minute, signed in, controls window shown.
signed_in=$(sqlite3 "$WORK/server.sqlite" 'SELECT count(*) FROM players;')
for run in $(seq "$RUNS"); do
    start_player "idle$run"
done
until_true 30 players_at_least $((signed_in + RUNS)) || fail "the idle players did not sign in"
sleep "$IDLE_SECONDS"
for pid in $(sed -n 's/^player idle[0-9]*: pid \([0-9]*\).*/\1/p' "$WORK/players.log"); do
    awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status"
done >"$WORK/rss.txt"

echo "start-up to controls window (ms), median of $RUNS: $(median <"$WORK/startup.txt")" \
    "(runs: $(tr '\n' ' ' <"$WORK/startup.txt"))"
echo "resident memory after ${IDLE_SECONDS}s idle (MiB), median of $RUNS:" \
    "$(median <"$WORK/rss.txt" | awk '{ printf "%.1f", $1 / 1024 }')" \
    "(KiB: $(tr '\n' ' ' <"$WORK/rss.txt"))"
