#!/bin/bash
# Three tosswick-server nodes on one PostgreSQL behind HAProxy, beside one node on SQLite, in
# one run: wrk through the proxy and against the single node (GET rooms/{id}/state, POST
# rooms/{id}/heartbeat), then the change-to-frame delay for SUBSCRIBERS realtime sockets, spread
# over the nodes by the proxy, with each change sent to the first node directly.
#   bench/server/cluster-bench.sh SERVER REALTIME_BENCH [SECONDS=10] [CONNECTIONS=64]
#       [SUBSCRIBERS=100] [CHANGES=200]
# SERVER is build/server/tosswick-server, REALTIME_BENCH build/bench/server/tosswick-bench-realtime.
# Needs postgresql 15, haproxy and wrk; as root, PostgreSQL runs as the postgres account.
set -eu
server=$(realpath "${1:?path to tosswick-server}")
realtime=$(realpath "${2:?path to tosswick-bench-realtime}")
seconds=${3:-10}
connections=${4:-64}
subscribers=${5:-100}
changes=${6:-200}
here=$(cd "$(dirname "$0")" && pwd)
pgbin=/usr/lib/postgresql/15/bin
key=bench
dir=$(mktemp -d)
chmod 755 "$dir"
pids=()
. "$here/bench-room.sh"

as_postgres() {
    if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    [ -f "$dir/pg/postmaster.pid" ] && as_postgres "$pgbin/pg_ctl" -D "$dir/pg" -m fast stop >/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT
free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# PostgreSQL: a private cluster, its socket in the temporary directory.
mkdir "$dir/pg" "$dir/socket"
[ "$(id -u)" = 0 ] && chown postgres "$dir/pg" "$dir/socket"
pg_port=$(free_port)
as_postgres "$pgbin/initdb" -D "$dir/pg" -U tosswick -A trust >/dev/null
as_postgres "$pgbin/pg_ctl" -D "$dir/pg" -l "$dir/socket/log" -w \
    -o "-p $pg_port -k $dir/socket -h '' -c max_connections=200" start >/dev/null
as_postgres "$pgbin/createdb" -h "$dir/socket" -p "$pg_port" -U tosswick bench
socket=$(python3 -c 'import sys, urllib.parse; print(urllib.parse.quote(sys.argv[1], safe=""))' \
    "$dir/socket")
url="postgresql://tosswick@$socket:$pg_port/bench"

# Each node gets the same secret, as a deployment would; the first creates the schema.
node_args=(--app-key "$key" --requests-per-second 0 --guests-per-minute 0)
node_ports=()
for node in 1 2 3; do
    bench_start "$server" "$dir/node$node" --db "$url" "${node_args[@]}"
    pids+=("$bench_started_pid")
    node_ports+=("${bench_started_base##*:}")
done
first_node=http://127.0.0.1:${node_ports[0]}

# HAProxy: the shipped configuration with this run's port and nodes.
proxy_port=$(free_port)
sed -e "s/bind :8088/bind 127.0.0.1:$proxy_port/" -e '/^    server node/d' \
    "$here/../../server/deploy/haproxy.cfg" >"$dir/haproxy.cfg"
for node in 1 2 3; do
    echo "    server node$node 127.0.0.1:${node_ports[$((node - 1))]} check" >>"$dir/haproxy.cfg"
done
haproxy -q -f "$dir/haproxy.cfg" &
proxy_pid=$!
pids+=("$proxy_pid")
proxy=http://127.0.0.1:$proxy_port
until curl -sf "$proxy/healthz" >/dev/null; do
    kill -0 "$proxy_pid" 2>/dev/null || { echo "haproxy did not start" >&2; exit 1; }
    sleep 0.2
done
sleep 3 # every node passes its health checks (rise 2, inter 1 s)

bench_start "$server" "$dir/single" --db "$dir/single.sqlite" "${node_args[@]}"
pids+=("$bench_started_pid")
single=$bench_started_base

declare -A result
load=$(cut -d' ' -f1-3 /proc/loadavg)
for which in cluster single; do
    base=$proxy
    [ "$which" = single ] && base=$single
    mkdir -p "$dir/room-$which"
    bench_setup_room "$base" "$dir/room-$which"
    result[$which-get]=$(bench_wrk "$seconds" "$connections" \
        -H "Authorization: Bearer $bench_token" "$base/api/rooms/$bench_room/state")
    result[$which-heartbeat]=$(bench_wrk "$seconds" "$connections" -s "$dir/room-$which/heartbeat.lua" \
        "$base/api/rooms/$bench_room/heartbeat")
done
result[cluster-fanout]=$("$realtime" latency "$proxy" "$key" "$subscribers" "$changes" \
    "$first_node" | tail -n 1)
result[single-fanout]=$("$realtime" latency "$single" "$key" "$subscribers" "$changes" | tail -n 1)

echo "$connections connections, $seconds s per wrk run; load average before: $load"
bench_table single cluster
echo "change-to-frame, $subscribers subscribers, $changes changes:"
echo "  3 nodes behind the proxy, change sent to one node: ${result[cluster-fanout]}"
echo "  1 node on SQLite:                                  ${result[single-fanout]}"
