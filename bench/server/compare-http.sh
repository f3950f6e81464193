#!/bin/bash
# Two tosswick-server binaries side by side under the same load: the same room of three
# members on each in turn, wrk --latency on GET rooms/{id}/state and POST rooms/{id}/heartbeat.
# Prints per endpoint both requests/s, NEW/OLD and the 50/90/99% latencies.
#   bench/server/compare-http.sh OLD_SERVER NEW_SERVER [SECONDS=10] [CONNECTIONS=64]
# NEW_ARGS (default: --requests-per-second 0) goes to the new server only: wrk sends as one
# player, far above the per-player limit a real client meets.
set -eu
old=${1:?path to the old tosswick-server}
new=${2:?path to the new tosswick-server}
seconds=${3:-10}
connections=${4:-64}
dir=$(mktemp -d)
. "$(dirname "$0")/bench-room.sh"
trap 'bench_stop; rm -rf "$dir"' EXIT

measure() { bench_wrk "$seconds" "$connections" "$@"; }

declare -A result
load=$(cut -d' ' -f1-3 /proc/loadavg)
for which in old new; do
    if [ "$which" = new ]; then
        # shellcheck disable=SC2086
        bench_room "$new" "$dir" ${NEW_ARGS---requests-per-second 0}
    else
        bench_room "$old" "$dir"
    fi
    result[$which-get]=$(measure -H "Authorization: Bearer $bench_token" \
        "$bench_base/api/rooms/$bench_room/state")
    result[$which-heartbeat]=$(measure -s "$dir/heartbeat.lua" \
        "$bench_base/api/rooms/$bench_room/heartbeat")
    bench_stop
done

echo "$connections connections, $seconds s per run; load average before: $load"
bench_table old new
