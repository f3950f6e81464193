#!/bin/bash
# Requests per second of GET rooms/{id}/state and POST rooms/{id}/heartbeat against a
# tosswick-server on loopback, with wrk (Debian package "wrk"; only for measuring).
#   bench/server/http-load.sh build/server/tosswick-server [SECONDS] [CONNECTIONS]
set -eu
server=${1:?path to tosswick-server}
seconds=${2:-10}
connections=${3:-32}
dir=$(mktemp -d)
. "$(dirname "$0")/bench-room.sh"
trap 'bench_stop; rm -rf "$dir"' EXIT

bench_room "$server" "$dir"
echo "GET rooms/$bench_room/state, $connections connections, $seconds s:"
wrk -t2 -c"$connections" -d"${seconds}s" -H "Authorization: Bearer $bench_token" \
    "$bench_base/api/rooms/$bench_room/state"
echo "POST rooms/$bench_room/heartbeat, $connections connections, $seconds s:"
wrk -t2 -c"$connections" -d"${seconds}s" -s "$dir/heartbeat.lua" \
    "$bench_base/api/rooms/$bench_room/heartbeat"
