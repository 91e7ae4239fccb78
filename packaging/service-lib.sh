# shellcheck shell=bash
# Sourced by the scripts that start services on loopback (the packaging checks, the gateway
# benchmark): free ports, waiting for an answer, and ending what was started.

# A free loopback port of the kind asked for: tcp or udp.
free_port() {
    python3 -c 'import socket, sys
kind = socket.SOCK_DGRAM if sys.argv[1] == "udp" else socket.SOCK_STREAM
s = socket.socket(socket.AF_INET, kind); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])' "$1"
}

# Waits up to ten seconds for a URL to answer 200, and says so when nothing does.
wait_for() {
    for _ in $(seq 100); do
        curl -fs -o /dev/null --max-time 1 "$1" && return 0
        sleep 0.1
    done
    echo "nothing answers at $1" >&2
    return 1
}

# Every process whose id is added to pids is ended on exit, and the scratch folder removed.
pids=()
end_started() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "${scratch:?}"
}
