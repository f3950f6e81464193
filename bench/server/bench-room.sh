# Sourced by the HTTP load scripts: starts a tosswick-server on loopback with a new database
# and sets up one room of three members for wrk.
#   bench_room SERVER DIR [SERVER ARGUMENTS...]
# sets bench_pid, bench_base, bench_token (the owner's) and bench_room, and writes
# DIR/heartbeat.lua, a wrk script for POST rooms/{id}/heartbeat as the owner.
# bench_stop ends the server again.

bench_field() { python3 -c "import json,sys; print(json.load(sys.stdin)$1)"; }

# bench_start SERVER OUT [SERVER ARGUMENTS...]: a server on a free loopback port, its stdout in
# OUT and its log in OUT.log; sets bench_started_pid and bench_started_base.
bench_start() {
    local server=$1 out=$2
    shift 2
    rm -f "$out"
    "$server" --listen 127.0.0.1:0 "$@" >"$out" 2>"$out.log" &
    bench_started_pid=$!
    while [ ! -s "$out" ]; do
        kill -0 "$bench_started_pid" 2>/dev/null || { cat "$out.log" >&2; return 1; }
        sleep 0.1
    done
    bench_started_base="http://$(head -n 1 "$out")"
}

# bench_setup_room BASE DIR: the room of three members on the server at BASE.
bench_setup_room() {
    local base=$1 dir=$2 code other
    bench_token=$(curl -s -X POST "$base/api/guest" -d '{}' | bench_field '["token"]')
    bench_room=$(curl -s -X POST "$base/api/rooms" -H "Authorization: Bearer $bench_token" \
        -d '{"name":"bench"}' | bench_field '["id"]')
    # Two more members, so the snapshot has some content.
    code=$(curl -s "$base/api/rooms" -H "Authorization: Bearer $bench_token" \
        | bench_field '[0]["invite_code"]')
    for _ in 1 2; do
        other=$(curl -s -X POST "$base/api/guest" -d '{}' | bench_field '["token"]')
        curl -s -o /dev/null -X POST "$base/api/rooms/join" \
            -H "Authorization: Bearer $other" -d "{\"code\":\"$code\"}"
    done
    cat >"$dir/heartbeat.lua" <<LUA
wrk.method = "POST"
wrk.body = '{"socket_id":"1.1","dnd":false}'
wrk.headers["Content-Type"] = "application/json"
wrk.headers["Authorization"] = "Bearer $bench_token"
LUA
}

bench_room() {
    local server=$1 dir=$2
    shift 2
    bench_start "$server" "$dir/out" --db "$dir/bench-$$-$(date +%s%N).sqlite" "$@" || return 1
    bench_pid=$bench_started_pid
    bench_base=$bench_started_base
    bench_setup_room "$bench_base" "$dir"
}

# bench_wrk SECONDS CONNECTIONS WRK ARGUMENTS...: one wrk run as a line: requests/s, p50, p90,
# p99, non-2xx responses, socket errors.
bench_wrk() {
    local seconds=$1 connections=$2 output
    shift 2
    output=$(wrk -t2 -c"$connections" -d"${seconds}s" --latency "$@")
    echo "$output" | awk '
        /Requests\/sec:/ { rate = $2 }
        /^ +50%/ { p50 = $2 } /^ +90%/ { p90 = $2 } /^ +99%/ { p99 = $2 }
        /Non-2xx/ { bad = $NF }
        /Socket errors:/ { errors = $0; sub(/.*Socket errors: */, "", errors); gsub(/ /, "", errors) }
        END { printf "%s %s %s %s %s %s\n", rate, p50, p90, p99, bad + 0, errors == "" ? "-" : errors }'
}

# bench_table FIRST SECOND: the wrk lines in result[FIRST-get], result[SECOND-get],
# result[FIRST-heartbeat] and result[SECOND-heartbeat] (an associative array of the caller's) as
# a table, with SECOND's requests/s over FIRST's.
bench_table() {
    local first=$1 second=$2 endpoint label which rate p50 p90 p99 bad errors
    printf '%-16s %-14s %10s %9s %9s %9s %8s  %s\n' endpoint run "req/s" p50 p90 p99 non-2xx \
        "socket errors"
    for endpoint in get heartbeat; do
        label="GET state"
        [ "$endpoint" = heartbeat ] && label="POST heartbeat"
        for which in "$first" "$second"; do
            read -r rate p50 p90 p99 bad errors <<<"${result[$which-$endpoint]}"
            printf '%-16s %-14s %10s %9s %9s %9s %8s  %s\n' "$label" "$which" "$rate" "$p50" \
                "$p90" "$p99" "$bad" "$errors"
        done
        printf '%-16s %-14s %10s\n' "$label" "$second/$first" "$(awk \
            -v a="${result[$second-$endpoint]%% *}" -v b="${result[$first-$endpoint]%% *}" \
            'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')"
    done
}

bench_stop() {
    if [ -n "${bench_pid:-}" ]; then
        kill "$bench_pid" 2>/dev/null || true
        wait "$bench_pid" 2>/dev/null || true
        bench_pid=
    fi
}
