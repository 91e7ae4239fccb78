#!/usr/bin/env bash
# Scale-out, as the nginx example's commented variant does it: two gateways behind one nginx
# upstream that hashes each request's game, host and port (consistent), with the example's
# locations included as shipped. 20 fake game servers, allowed on both gateways, each logging
# every query it gets; 500 requests spread over them through nginx. It shows that each server is
# asked by one gateway only and at most once per refresh period, that each gateway has about
# half of the servers, and that when one gateway stops its servers move to the other and no other
# server moves. Everything runs on loopback and is stopped on exit.
# Usage: packaging/check-scale-out.sh <vireo-gateway executable>
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
gateway="$(realpath "${1:?usage: $0 <vireo-gateway executable>}")"
scratch=$(mktemp -d)
# shellcheck source=packaging/service-lib.sh
source "$repo/packaging/service-lib.sh"
trap end_started EXIT
servers=20
period=2

fail() {
    echo "FAIL: $*" >&2
    cat "$scratch"/*.log >&2 || true
    exit 1
}

# 20 consecutive UDP ports, one process answering on all of them.
for _ in 1 2 3 4 5; do
    first=$((20000 + RANDOM % 30000))
    coproc fakes { exec python3 "$repo/bench/gateway/fake-q3-servers.py" "$first" "$servers" \
        "$scratch/queries.txt" 2>/dev/null; }
    pids+=("$fakes_PID")
    read -r -t 10 ready <&"${fakes[0]}" && [ "$ready" = ready ] && break
    first=""
done
[ -n "$first" ] || fail "no 20 free UDP ports for the fake servers"

allow=()
for ((port = first; port < first + servers; port++)); do allow+=(--allow "q3:127.0.0.1:$port"); done
gateway_ports=()
gateway_pids=()
for name in a b; do
    port=$(free_port tcp)
    "$gateway" --listen "127.0.0.1:$port" --min-refresh "$period" --rate 0 --trusted-proxy 127.0.0.1 \
        "${allow[@]}" \
        >"$scratch/gateway-$name.log" 2>&1 & pids+=($!)
    gateway_pids+=($!)
    gateway_ports+=("$port")
    wait_for "http://127.0.0.1:$port/healthz" || fail "gateway $name did not start"
done

nginx_port=$(free_port tcp)
user_line=""
[ "$(id -u)" -eq 0 ] && user_line="user root;"
cat >"$scratch/nginx.conf" <<CONF
$user_line
worker_processes 1;
error_log $scratch/error.log warn;
pid $scratch/nginx.pid;
events { worker_connections 256; }
http {
    log_format scale '\$arg_port \$upstream_cache_status \$status \$upstream_addr';
    access_log $scratch/access.txt scale;
    client_body_temp_path $scratch/client_temp;
    proxy_temp_path $scratch/proxy_temp;
    fastcgi_temp_path $scratch/fastcgi_temp;
    uwsgi_temp_path $scratch/uwsgi_temp;
    scgi_temp_path $scratch/scgi_temp;
    upstream vireo_gateway {
        hash \$arg_game\$arg_host\$arg_port consistent;
        server 127.0.0.1:${gateway_ports[0]};
        server 127.0.0.1:${gateway_ports[1]};
        keepalive 8;
    }
    proxy_cache_path $scratch/cache levels=1:2 keys_zone=vireo:1m use_temp_path=off;
    limit_req_zone \$binary_remote_addr zone=vireo_clients:1m rate=1000r/s;
    server {
        listen 127.0.0.1:$nginx_port;
        include $repo/docs/nginx/vireo-gateway-locations.conf;
    }
}
CONF
nginx -q -t -p "$scratch" -c "$scratch/nginx.conf"
nginx -p "$scratch" -c "$scratch/nginx.conf" -g 'daemon off;' & pids+=($!)
wait_for "http://127.0.0.1:$nginx_port/healthz" || fail "nginx did not start"

# COUNT requests from 8 clients at once, spread evenly over the servers and over SECONDS.
send() {
    python3 - "$nginx_port" "$first" "$servers" "$1" "$2" <<'PY'
import sys, threading, time, urllib.request
port, first, servers, count, seconds = map(int, sys.argv[1:])
failed = []
def client(k):
    for i in range(k, count, 8):
        time.sleep(seconds / count * 8 * 0.9)
        url = f"http://127.0.0.1:{port}/status.json?game=q3&host=127.0.0.1&port={first + i % servers}"
        try:
            urllib.request.urlopen(url, timeout=10).read()
        except Exception as e:
            failed.append(f"{url}: {e}")
threads = [threading.Thread(target=client, args=(k,)) for k in range(8)]
for t in threads: t.start()
for t in threads: t.join()
sys.exit(f"{len(failed)} requests failed, e.g. {failed[0]}" if failed else 0)
PY
}

# Which gateway each server's requests went to, from nginx's log: "port gateway" lines (the last
# upstream tried, after one that refused).
owners() {
    awk '$1 != "-" && $NF != "-" { print $1, $NF }' "$scratch/access.txt" | sort -u
}

start=$(python3 -c 'import time; print(time.monotonic())')
send 500 8 || fail "requests through nginx failed"
end=$(python3 -c 'import time; print(time.monotonic())')
owners >"$scratch/owners-before.txt"
[ "$(wc -l <"$scratch/owners-before.txt")" -eq "$servers" ] ||
    fail "a server's requests went to more than one gateway: $(cat "$scratch/owners-before.txt")"
on_a=$(grep -c " 127.0.0.1:${gateway_ports[0]}\$" "$scratch/owners-before.txt" || true)
on_b=$((servers - on_a))
echo "-- 500 requests: each of $servers servers asked through one gateway; $on_a on gateway a, $on_b on b"
# The ring's points fall where the ports' hashes put them, so one gateway may well get 15 of the
# 20: shared out means each has a few, not half.
{ [ "$on_a" -ge 2 ] && [ "$on_b" -ge 2 ]; } || fail "the servers are not shared out: $on_a and $on_b"

# Each server: queries no closer together than the refresh period, and no more than it allows;
# nginx keeps time in whole seconds, so a cached answer may outlive its max-age by up to one.
python3 - "$scratch/queries.txt" "$first" "$servers" "$period" "$start" "$end" <<'PY' || fail "a server was not queried once per period"
import sys, collections
path, first, servers, period, start, end = sys.argv[1], *map(int, sys.argv[2:5]), *map(float, sys.argv[5:])
times = collections.defaultdict(list)
for line in open(path):
    port, t = line.split()
    times[int(port)].append(float(t))
bad = []
for port in range(first, first + servers):
    got = sorted(times[port])
    allowed = int((end - start) / period) + 1
    gaps = [b - a for a, b in zip(got, got[1:])]
    # Queries start when a request comes after the period; the clocks differ by a few milliseconds.
    # And not much fewer: a server asked about all the time is queried again soon after each period.
    if len(got) < (end - start) / (2 * period) or len(got) > allowed or (gaps and min(gaps) < period - 0.05):
        bad.append(f"{port}: {len(got)} queries (at most {allowed}), smallest gap {min(gaps, default=0):.2f} s")
counts = sorted(len(times[p]) for p in range(first, first + servers))
gaps = sorted(b - a for p in times for a, b in zip(sorted(times[p]), sorted(times[p])[1:]))
firsts = sorted(min(times[p]) - start for p in times)
print(f"-- queries per server over {end - start:.1f} s at one per {period} s: {counts[0]} to {counts[-1]}, "
      f"{sum(counts)} in all; a server's queries {gaps[0]:.2f} to {gaps[-1]:.2f} s apart, its first "
      f"{firsts[0]:.2f} to {firsts[-1]:.2f} s in")
sys.exit("\n".join(bad) if bad else 0)
PY

# Gateway b stops: its servers move to a, and a keeps its own.
kill "${gateway_pids[1]}"
wait "${gateway_pids[1]}" 2>/dev/null || true
: >"$scratch/access.txt"
# Every answer past its max-age and past the stale-while-revalidate that follows it: otherwise
# nginx may serve it stale and refresh it in a background subrequest, which it does not log.
sleep $((2 * period + 1))
send 200 4 || fail "requests failed after gateway b stopped"
owners | grep -v " 127.0.0.1:${gateway_ports[1]}\$" | sort -u >"$scratch/owners-after.txt"
moved=0
while read -r port owner; do
    now=$(awk -v p="$port" '$1 == p { print $2 }' "$scratch/owners-after.txt")
    [ "$now" = "127.0.0.1:${gateway_ports[0]}" ] || fail "server $port is not on gateway a now: '$now'"
    [ "$owner" = "$now" ] || moved=$((moved + 1))
done <"$scratch/owners-before.txt"
[ "$moved" -eq "$on_b" ] || fail "$moved servers moved, not the $on_b of gateway b"
echo "-- gateway b stopped: its $on_b servers moved to gateway a, the other $on_a stayed"
echo "PASS: two gateways behind one nginx share the servers, one query per server per period"
