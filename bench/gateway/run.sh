#!/usr/bin/env bash
# Throughput and latency of a cached /status.json, side by side, at 1, 64 and 512 keep-alive
# connections (wrk, SECONDS a run):
#   vireo-gateway                    the Release build's executable
#   nginx, static file               the same JSON bytes served by Debian's nginx: the ceiling
#   express + gamedig                the do-it-yourself Node.js peer with a 5-second cache
# Each server runs on CPU 1 and wrk on CPU 0, so every server gets one core. Then the gateway's
# peak memory (VmHWM) with 1,000 distinct servers cached. Everything talks over loopback; npm
# installs express and gamedig under the build directory on the first run.
# Usage: bench/gateway/run.sh [Release build dir, default build/release] [SECONDS, default 5]
#                            [ROUNDS, default 3]
set -euo pipefail
repo="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$repo/build/release}" && pwd)"
seconds="${2:-5}"
rounds="${3:-3}"
gateway="$build/gateway/vireo-gateway"
[ -x "$gateway" ] || { echo "no $gateway: build the vireo-gateway target first" >&2; exit 1; }
for tool in wrk nginx node npm taskset curl; do
    command -v "$tool" >/dev/null || { echo "$tool is needed" >&2; exit 1; }
done

scratch=$(mktemp -d)
# shellcheck source=packaging/service-lib.sh
source "$repo/packaging/service-lib.sh"
trap end_started EXIT
ulimit -n 8192 2>/dev/null || true

# The Node.js peer's packages, kept with the build and never committed.
node_dir="$build/bench-gateway/node"
if [ ! -d "$node_dir/node_modules/gamedig" ] || [ ! -d "$node_dir/node_modules/express" ]; then
    mkdir -p "$node_dir"
    echo '{"private": true}' >"$node_dir/package.json"
    (cd "$node_dir" && npm install --no-package-lock --no-audit --no-fund --silent express@5 gamedig@5)
fi
cp "$repo/bench/gateway/node-peer.mjs" "$node_dir/"

game_port=$(free_port udp)
gateway_port=$(free_port tcp)
nginx_port=$(free_port tcp)
node_port=$(free_port tcp)
query="/status.json?game=q3&host=127.0.0.1&port=$game_port"

start_fake_servers() { # $1: first port, $2: how many; returns once they answer
    python3 "$repo/bench/gateway/fake-q3-servers.py" "$1" "$2" >"$scratch/fakes-$1.txt" & pids+=($!)
    for _ in $(seq 100); do grep -qs ready "$scratch/fakes-$1.txt" && return 0; sleep 0.1; done
    echo "the fake game servers did not start" >&2
    return 1
}
start_fake_servers "$game_port" 1
taskset -c 1 "$gateway" --listen "127.0.0.1:$gateway_port" --allow "q3:127.0.0.1:$game_port" \
    --max-connections-per-client 100000 \
    --rate 0 --max-connections 4096 --min-refresh 5 >/dev/null & pids+=($!)
gateway_pid=$!
(cd "$node_dir" && exec taskset -c 1 node node-peer.mjs "$node_port" "q3:127.0.0.1:$game_port") &
pids+=($!)
node_pid=$!
wait_for "http://127.0.0.1:$gateway_port$query"
wait_for "http://127.0.0.1:$node_port$query"

# nginx serves the gateway's own answer as a file, with one worker like the others' one thread.
mkdir -p "$scratch/www"
curl -fs "http://127.0.0.1:$gateway_port$query" >"$scratch/www/status.json"
user_line=""
[ "$(id -u)" -eq 0 ] && user_line="user root;"
cat >"$scratch/nginx.conf" <<CONF
$user_line
worker_processes 1;
worker_rlimit_nofile 8192;
error_log $scratch/error.log warn;
pid $scratch/nginx.pid;
events { worker_connections 4096; }
http {
    access_log off;
    sendfile on;
    tcp_nopush on;
    keepalive_requests 100000000;
    open_file_cache max=16;
    client_body_temp_path $scratch/client_temp;
    proxy_temp_path $scratch/proxy_temp;
    fastcgi_temp_path $scratch/fastcgi_temp;
    uwsgi_temp_path $scratch/uwsgi_temp;
    scgi_temp_path $scratch/scgi_temp;
    server {
        listen 127.0.0.1:$nginx_port;
        root $scratch/www;
        location = /status.json {
            default_type "application/json; charset=utf-8";
            add_header Cache-Control "public, max-age=5";
        }
    }
}
CONF
taskset -c 1 nginx -p "$scratch" -c "$scratch/nginx.conf" -g 'daemon off;' & pids+=($!)
wait_for "http://127.0.0.1:$nginx_port$query"

to_ms() { # wrk's "1.23ms" / "456.00us" / "1.02s" in milliseconds
    awk -v t="$1" 'BEGIN {
        v = t + 0
        if (t ~ /us$/) v /= 1000; else if (t ~ /ms$/) v *= 1; else if (t ~ /s$/) v *= 1000
        printf "%.2f", v }'
}
cpu_ticks() { # $@: process ids; their user + system CPU time so far, in clock ticks
    local total=0 pid
    for pid in "$@"; do
        total=$((total + $(awk '{ print $14 + $15 }' "/proc/$pid/stat")))
    done
    echo "$total"
}
# One wrk run; appends "server connections requests/s p50 p99 errors requests-per-CPU-second".
measure() { # $1: name, $2: connections, $3: URL, $4...: the server's process ids
    local name=$1 connections=$2 url=$3
    shift 3
    local before after
    # The server measured before may still be draining its last connections on the same core
    # (the Node.js peer takes a moment after 512): let it finish first.
    sleep 1
    before=$(cpu_ticks "$@")
    taskset -c 0 wrk -t1 -c"$connections" -d"${seconds}s" --latency "$url" >"$scratch/wrk.txt"
    after=$(cpu_ticks "$@")
    local rps p50 p99 errors
    rps=$(awk '/^Requests\/sec/ { printf "%.0f", $2 }' "$scratch/wrk.txt")
    p50=$(to_ms "$(awk '$1 == "50%" { print $2 }' "$scratch/wrk.txt")")
    p99=$(to_ms "$(awk '$1 == "99%" { print $2 }' "$scratch/wrk.txt")")
    errors=$(awk '/Non-2xx/ { n += $NF } /Socket errors/ { gsub(/[^0-9 ]/, " "); n += $1 + $2 + $3 + $4 }
                  END { print n + 0 }' "$scratch/wrk.txt")
    local per_cpu_second
    per_cpu_second=$(awk -v r="$rps" -v s="$seconds" -v t=$((after - before)) -v hz="$(getconf CLK_TCK)" \
        'BEGIN { printf "%.0f", (t > 0 ? r * s / (t / hz) : 0) }')
    echo "$name|$connections|$rps|$p50|$p99|$errors|$per_cpu_second" >>"$scratch/results.txt"
}

# The machine is shared: rounds interleave the servers so a busy moment does not fall on one of
# them only, and the table shows each case's median round (by requests/s). Requests per CPU
# second (the server's own user + system time) are what the server could do with a whole core.
nginx_pids=("$(cat "$scratch/nginx.pid")")
mapfile -t -O 1 nginx_pids < <(pgrep -P "${nginx_pids[0]}")
: >"$scratch/results.txt"
for ((round = 1; round <= rounds; ++round)); do
    for connections in 1 64 512; do
        measure "vireo-gateway" "$connections" "http://127.0.0.1:$gateway_port$query" "$gateway_pid"
        measure "nginx, static file" "$connections" "http://127.0.0.1:$nginx_port$query" "${nginx_pids[@]}"
        measure "express + gamedig" "$connections" "http://127.0.0.1:$node_port$query" "$node_pid"
    done
done

echo "Cached /status.json ($(wc -c <"$scratch/www/status.json") bytes); median of $rounds rounds of" \
    "wrk -t1 for ${seconds} s; server on CPU 1, wrk on CPU 0;" \
    "$(nproc) CPUs: $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1)"
echo
echo "| server | connections | requests/s | p50 | p99 | requests per CPU second | errors |"
echo "|---|---:|---:|---:|---:|---:|---:|"
for name in "vireo-gateway" "nginx, static file" "express + gamedig"; do
    for connections in 1 64 512; do
        awk -F'|' -v n="$name" -v c="$connections" '$1 == n && $2 == c' "$scratch/results.txt" |
            sort -t'|' -k3,3n | awk -v m=$(((rounds + 1) / 2)) -F'|' 'NR == m {
                printf "| %s | %s | %s | %s ms | %s ms | %s | %s |\n", $1, $2, $3, $4, $5, $7, $6 }'
    done
done
echo
echo "vireo-gateway peak memory after the runs above: $(awk '/VmHWM/ { printf "%.1f MiB", $2 / 1024 }' \
    "/proc/$gateway_pid/status")"

# Peak memory with 1,000 distinct servers cached: a fresh gateway whose allow-list names 1,000
# ports of one fake-server process, each asked for once. Then again with every reply as large as a
# datagram may be (63 KB), which the gateway cuts to what a panel shows before caching it.
peak_with_many() { # $1: "" or "big"
    local count=1000 first
    first=$(python3 -c 'import random; print(random.randrange(30000, 40000))')
    BIG=$([ "$1" = big ] && echo 1 || echo 0) start_fake_servers "$first" "$count"
    {
        echo "listen = 127.0.0.1:$(free_port tcp)"
        for ((port = first; port < first + count; ++port)); do echo "allow = q3:127.0.0.1:$port"; done
        echo "rate = 0"
        echo "min-refresh = 300"
    } >"$scratch/many.conf"
    local many_port many_pid start_hwm cached
    many_port=$(sed -n 's/^listen = 127.0.0.1://p' "$scratch/many.conf")
    "$gateway" --config "$scratch/many.conf" >/dev/null & pids+=($!)
    many_pid=$!
    wait_for "http://127.0.0.1:$many_port/healthz"
    start_hwm=$(awk '/VmHWM/ { print $2 }' "/proc/$many_pid/status")
    python3 - "$many_port" "$first" "$count" <<'PY'
import http.client, json, sys
port, first, count = (int(a) for a in sys.argv[1:])
connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
online = 0
for p in range(first, first + count):
    connection.request("GET", f"/status.json?game=q3&host=127.0.0.1&port={p}")
    answer = connection.getresponse()
    online += json.loads(answer.read()).get("state") == "online"
print(f"{online} of {count} servers online in the gateway's cache")
PY
    cached=$(curl -fs "http://127.0.0.1:$many_port/metrics" | awk '/^vireo_gateway_cache_entries / { print $2 }')
    echo "vireo-gateway peak memory (VmHWM): $(awk -v k="$start_hwm" 'BEGIN { printf "%.1f MiB", k / 1024 }') at start," \
        "$(awk '/VmHWM/ { printf "%.1f MiB", $2 / 1024 }' "/proc/$many_pid/status") with $cached servers cached" \
        "$([ "$1" = big ] && echo "(every reply 63 KB)")"
    kill "$many_pid"
}
peak_with_many ""
peak_with_many big
