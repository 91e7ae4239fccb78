#!/usr/bin/env bash
# Puts Debian's nginx in front of a real vireo-gateway with the locations of the nginx example
# (docs/nginx/vireo-gateway-locations.conf, included byte for byte as shipped) and shows the cache
# doing its job: the first /status.json is a MISS that reaches the gateway, the second, within
# the answer's max-age, is a HIT that does not (the gateway's own /metrics count of /status.json
# requests stays the same); /metrics is not served to visitors; and with the gateway stopped, the
# last answer is served STALE only for as long as its stale-if-error says, then nginx answers 502.
# (The whole example site, TLS and all, is tested as installed from the package on a clean Debian
# by packaging/check-clean-install.sh.) Everything runs on loopback and is stopped on exit.
# Usage: packaging/check-nginx.sh <vireo-gateway executable>
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
gateway="$(realpath "${1:?usage: $0 <vireo-gateway executable>}")"
scratch=$(mktemp -d)
# shellcheck source=packaging/service-lib.sh
source "$repo/packaging/service-lib.sh"
trap end_started EXIT

fail() {
    echo "FAIL: $*" >&2
    echo "--- nginx error log" >&2
    cat "$scratch/error.log" >&2 || true
    exit 1
}

game_port=$(free_port udp)
gateway_port=$(free_port tcp)
nginx_port=$(free_port tcp)
python3 "$repo/docs/fake-q3-server.py" "$game_port" & pids+=($!)
python3 - "$game_port" <<'PY' || { echo "FAIL: the fake game server does not answer" >&2; exit 1; }
import socket, sys, time
sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sock.settimeout(0.2)
for _ in range(50):
    try:
        sock.sendto(b"\xff\xff\xff\xffgetstatus", ("127.0.0.1", int(sys.argv[1])))
        sock.recv(2048)
        sys.exit(0)
    except OSError:
        time.sleep(0.1)
sys.exit(1)
PY
"$gateway" --listen "127.0.0.1:$gateway_port" --allow "q3:127.0.0.1:$game_port" \
    --min-refresh 2 --trusted-proxy 127.0.0.1 >"$scratch/gateway.log" 2>&1 & pids+=($!)
gateway_pid=$!
wait_for "http://127.0.0.1:$gateway_port/healthz" || { cat "$scratch"/*.log >&2; exit 1; }

# Debian's nginx, as this user, everything under the scratch folder; plain HTTP on loopback
# stands in for the example's TLS server.
mkdir -p "$scratch/cache"
user_line=""
[ "$(id -u)" -eq 0 ] && user_line="user root;"
cat >"$scratch/nginx.conf" <<CONF
$user_line
worker_processes 1;
error_log $scratch/error.log warn;
pid $scratch/nginx.pid;
events { worker_connections 64; }
http {
    access_log off;
    client_body_temp_path $scratch/client_temp;
    proxy_temp_path $scratch/proxy_temp;
    fastcgi_temp_path $scratch/fastcgi_temp;
    uwsgi_temp_path $scratch/uwsgi_temp;
    scgi_temp_path $scratch/scgi_temp;
    upstream vireo_gateway {
        server 127.0.0.1:$gateway_port;
        keepalive 4;
    }
    proxy_cache_path $scratch/cache levels=1:2 keys_zone=vireo:1m use_temp_path=off;
    limit_req_zone \$binary_remote_addr zone=vireo_clients:1m rate=10r/s;
    server {
        listen 127.0.0.1:$nginx_port;
        include $repo/docs/nginx/vireo-gateway-locations.conf;
    }
}
CONF
nginx -q -t -p "$scratch" -c "$scratch/nginx.conf"
nginx -p "$scratch" -c "$scratch/nginx.conf" -g 'daemon off;' & pids+=($!)
wait_for "http://127.0.0.1:$nginx_port/healthz" || fail "nginx did not start"

# The gateway's count of /status.json requests answered, all status codes together: it moves
# if and only if a /status.json request reached the gateway.
status_requests() {
    curl -fs --max-time 5 "http://127.0.0.1:$gateway_port/metrics" |
        awk '/^vireo_gateway_http_requests_total\{endpoint="status"/ { sum += $NF } END { printf "%d\n", sum }'
}
fetch() { # $1: path; prints the X-Cache-Status, keeps the body in $scratch/body
    curl -fs --max-time 10 -D "$scratch/headers" -o "$scratch/body" "http://127.0.0.1:$nginx_port$1"
    tr -d '\r' <"$scratch/headers" | awk -F': ' 'tolower($1) == "x-cache-status" { print $2 }'
}

query="/status.json?game=q3&host=127.0.0.1&port=$game_port"
before=$(status_requests)
[ "$(fetch "$query")" = MISS ] || fail "the first /status.json was not a MISS"
grep -q '"state": *"online"' "$scratch/body" || fail "the status is not online: $(cat "$scratch/body")"
after_miss=$(status_requests)
[ "$after_miss" -gt "$before" ] || fail "the MISS did not reach the gateway ($before, $after_miss)"
echo "-- first /status.json: MISS, answered by the gateway (online)"

[ "$(fetch "$query")" = HIT ] || fail "the second /status.json was not a HIT"
after_hit=$(status_requests)
[ "$after_hit" -eq "$after_miss" ] || fail "the HIT reached the gateway ($after_miss, $after_hit)"
echo "-- second /status.json: HIT, the gateway's /status.json count stayed at $after_hit"

[ "$(fetch /vireo.js)" = MISS ] || fail "the first /vireo.js was not a MISS"
[ "$(fetch /vireo.js)" = HIT ] || fail "the second /vireo.js was not a HIT"
echo "-- /vireo.js: MISS, then HIT"

code=$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$nginx_port/metrics")
[ "$code" = 404 ] || fail "/metrics through nginx gave $code, not 404"
echo "-- /metrics through nginx: 404"

# The gateway goes away. Its last answer (max-age 2, stale-if-error 6) may still be served for
# six seconds after it expired; then nginx has nothing to serve but its own 502. (Its background
# refresh fails at once; stale-while-revalidate, 2, is within that bound.)
fetch "$query" >/dev/null
grep -q 'stale-if-error=6' "$scratch/headers" || fail "no stale-if-error=6 in: $(cat "$scratch/headers")"
kill "$gateway_pid"
wait "$gateway_pid" 2>/dev/null || true
started=$SECONDS
stale=0
while :; do
    code=$(curl -s --max-time 10 -D "$scratch/headers" -o /dev/null -w '%{http_code}' \
        "http://127.0.0.1:$nginx_port$query")
    [ "$code" = 200 ] || break
    grep -qi '^x-cache-status: STALE' "$scratch/headers" && stale=1
    # The bound, 8 s, with a little room for whole-second clocks and the half-second polls.
    [ $((SECONDS - started)) -le 11 ] || fail "an old answer was still served after 11 s"
    sleep 0.5
done
[ "$stale" = 1 ] || fail "the expired answer was never served STALE"
[ "$code" = 502 ] || fail "after the stale answers nginx answered $code, not 502"
echo "-- gateway stopped: the last answer served STALE, then 502 after $((SECONDS - started)) s (bound: 2 + 6)"
echo "PASS: nginx caches the gateway's answers, hides /metrics and bounds stale answers"
