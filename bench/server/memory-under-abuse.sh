#!/bin/sh
# Resident memory of a tosswick-server while one client uploads 1 GiB to POST guest and while
# 500 clients trickle their requests byte by byte (loopback only; stops by itself).
#   bench/server/memory-under-abuse.sh build/server/tosswick-server
set -eu
server=${1:?path to tosswick-server}
dir=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null; rm -rf "$dir"' EXIT

"$server" --listen 127.0.0.1:0 --db "$dir/bench.sqlite" >"$dir/out" 2>"$dir/log" &
pid=$!
while [ ! -s "$dir/out" ]; do sleep 0.1; done
port=$(head -n 1 "$dir/out" | cut -d: -f2)

python3 - "$pid" "$port" <<'PY'
import socket, sys, threading, time
pid, port = int(sys.argv[1]), int(sys.argv[2])

def rss_kib():
    for line in open(f"/proc/{pid}/status"):
        if line.startswith("VmRSS:"):
            return int(line.split()[1])

peak = [0]
stop = threading.Event()
def sample():
    while not stop.is_set():
        peak[0] = max(peak[0], rss_kib())
        time.sleep(0.01)

before = rss_kib()
sampler = threading.Thread(target=sample); sampler.start()
s = socket.create_connection(("127.0.0.1", port))
s.sendall(b"POST /api/guest HTTP/1.1\r\nHost: bench\r\nContent-Type: application/json\r\n"
          b"Content-Length: 1073741824\r\n\r\n")
chunk = b"x" * (1 << 20)
sent = 0
try:
    while sent < (1 << 30):
        s.sendall(chunk)
        sent += len(chunk)
except OSError:
    pass
reply = b""
try:
    s.settimeout(1)
    reply = s.recv(100)
except OSError:
    pass
s.close()
stop.set(); sampler.join()
print(f"1 GiB upload: accepted {sent >> 20} MiB before the close, reply {reply[:12]!r}, "
      f"resident {before} KiB before, {peak[0]} KiB at peak (+{peak[0] - before} KiB)")

before = rss_kib()
slow = []
for _ in range(500):
    c = socket.create_connection(("127.0.0.1", port))
    c.sendall(b"POST /api/gu")
    slow.append(c)
time.sleep(2)
during = rss_kib()
for c in slow:
    c.close()
print(f"500 slow clients: resident {before} KiB before, {during} KiB with them open "
      f"(+{during - before} KiB)")
PY
