#!/bin/sh
# Requests per second of GET rooms/{id}/state and POST rooms/{id}/heartbeat against a
# tosswick-server on loopback, with wrk (Debian package "wrk"; only for measuring).
#   bench/server/http-load.sh build/server/tosswick-server [SECONDS] [CONNECTIONS]
set -eu
server=${1:?path to tosswick-server}
seconds=${2:-10}
connections=${3:-32}
dir=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null; rm -rf "$dir"' EXIT

"$server" --listen 127.0.0.1:0 --db "$dir/bench.sqlite" >"$dir/out" 2>"$dir/log" &
pid=$!
while [ ! -s "$dir/out" ]; do sleep 0.1; done
base="http://$(head -n 1 "$dir/out")"

field() { python3 -c "import json,sys; print(json.load(sys.stdin)$1)"; }
token=$(curl -s -X POST "$base/api/guest" -d '{}' | field '["token"]')
room=$(curl -s -X POST "$base/api/rooms" -H "Authorization: Bearer $token" \
    -d '{"name":"bench"}' | field '["id"]')
# Two more members, so the snapshot has some content.
code=$(curl -s "$base/api/rooms" -H "Authorization: Bearer $token" | field '[0]["invite_code"]')
for _ in 1 2; do
    other=$(curl -s -X POST "$base/api/guest" -d '{}' | field '["token"]')
    curl -s -o /dev/null -X POST "$base/api/rooms/join" -H "Authorization: Bearer $other" \
        -d "{\"code\":\"$code\"}"
done

echo "GET rooms/$room/state, $connections connections, $seconds s:"
wrk -t2 -c"$connections" -d"${seconds}s" -H "Authorization: Bearer $token" \
    "$base/api/rooms/$room/state"

cat >"$dir/heartbeat.lua" <<LUA
wrk.method = "POST"
wrk.body = '{"socket_id":"1.1","dnd":false}'
wrk.headers["Content-Type"] = "application/json"
wrk.headers["Authorization"] = "Bearer $token"
LUA
echo "POST rooms/$room/heartbeat, $connections connections, $seconds s:"
wrk -t2 -c"$connections" -d"${seconds}s" -s "$dir/heartbeat.lua" "$base/api/rooms/$room/heartbeat"
