#!/bin/sh
# Starts the game from a build directory, with a local game server when none answers yet.
# Usage: scripts/run-local.sh BUILD_DIR [tosswick arguments...]
# The server started here keeps its data in $XDG_DATA_HOME/tosswick-server/ and is stopped
# when the game quits; a server that was already running is left alone.
set -eu
build="${1:-build}"
[ $# -gt 0 ] && shift

address=127.0.0.1:8088
url="http://$address"
answers() {
    # Any HTTP status at all means a server is there; 000 means nothing answered.
    [ "$(curl -s -o /dev/null -m 1 -w '%{http_code}' "$url/api/connection" || true)" != 000 ]
}

server_pid=""
stop_server() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
        server_pid=""
    fi
}
trap stop_server EXIT
trap 'stop_server; exit 130' INT TERM

if ! answers; then
    data="${XDG_DATA_HOME:-$HOME/.local/share}/tosswick-server"
    mkdir -p "$data"
    "$build/server/tosswick-server" --listen "$address" --db "$data/tosswick.sqlite" \
        >/dev/null 2>>"$data/server.log" &
    server_pid=$!
    echo "Started tosswick-server on $url (log: $data/server.log)"
    tries=0
    until answers; do
        tries=$((tries + 1))
        if [ $tries -gt 50 ] || ! kill -0 "$server_pid" 2>/dev/null; then
            echo "tosswick-server did not start; see $data/server.log" >&2
            exit 1
        fi
        sleep 0.2
    done
fi

"$build/src/app/tosswick" "$@"
