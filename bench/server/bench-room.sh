# Sourced by the HTTP load scripts: starts a tosswick-server on loopback with a new database
# and sets up one room of three members for wrk.
#   bench_room SERVER DIR [SERVER ARGUMENTS...]
# sets bench_pid, bench_base, bench_token (the owner's) and bench_room, and writes
# DIR/heartbeat.lua, a wrk script for POST rooms/{id}/heartbeat as the owner.
# bench_stop ends the server again.

bench_field() { python3 -c "import json,sys; print(json.load(sys.stdin)$1)"; }

bench_room() {
    local server=$1 dir=$2
    shift 2
    rm -f "$dir/out"
    "$server" --listen 127.0.0.1:0 --db "$dir/bench-$$-$(date +%s%N).sqlite" "$@" \
        >"$dir/out" 2>"$dir/log" &
    set -- "$server" "$dir"
    bench_pid=$!
    while [ ! -s "$2/out" ]; do
        kill -0 "$bench_pid" 2>/dev/null || { cat "$2/log" >&2; return 1; }
        sleep 0.1
    done
    bench_base="http://$(head -n 1 "$2/out")"
    bench_token=$(curl -s -X POST "$bench_base/api/guest" -d '{}' | bench_field '["token"]')
    bench_room=$(curl -s -X POST "$bench_base/api/rooms" -H "Authorization: Bearer $bench_token" \
        -d '{"name":"bench"}' | bench_field '["id"]')
    # Two more members, so the snapshot has some content.
    local code other
    code=$(curl -s "$bench_base/api/rooms" -H "Authorization: Bearer $bench_token" \
        | bench_field '[0]["invite_code"]')
    for _ in 1 2; do
        other=$(curl -s -X POST "$bench_base/api/guest" -d '{}' | bench_field '["token"]')
        curl -s -o /dev/null -X POST "$bench_base/api/rooms/join" \
            -H "Authorization: Bearer $other" -d "{\"code\":\"$code\"}"
    done
    cat >"$2/heartbeat.lua" <<LUA
wrk.method = "POST"
wrk.body = '{"socket_id":"1.1","dnd":false}'
wrk.headers["Content-Type"] = "application/json"
wrk.headers["Authorization"] = "Bearer $bench_token"
LUA
}

bench_stop() {
    if [ -n "${bench_pid:-}" ]; then
        kill "$bench_pid" 2>/dev/null || true
        wait "$bench_pid" 2>/dev/null || true
        bench_pid=
    fi
}
