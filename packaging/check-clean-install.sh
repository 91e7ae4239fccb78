#!/usr/bin/env bash
# Installs the Debian packages with apt on a clean, minimal Debian 12 (made with debootstrap in a
# scratch folder): starts the tool there the way its launcher says, and the gateway the way its
# systemd unit says, puts Debian's nginx in front of it with the package's nginx example exactly
# as shipped (nginx -t, a status through TLS, a cache HIT, /metrics refused), then removes and
# purges the gateway. Needs root, iproute2, openssl, debootstrap and a reachable Debian mirror;
# it takes a minute or two. CI runs it on Debian 12 hosts:
#   sudo packaging/check-clean-install.sh <build dir>   (after packaging/check-package.sh)
set -euo pipefail
# shellcheck source=packaging/service-lib.sh
source "$(dirname "$0")/service-lib.sh"
build="$(cd "${1:?usage: $0 <build dir>}" && pwd)"
mirror="${DEBIAN_MIRROR:-http://deb.debian.org/debian}"
deb=$(ls "$build"/tamarin_*.deb)
gateway_deb=$(ls "$build"/vireo-gateway_*.deb)
scratch=$(mktemp -d)
root="$scratch/bookworm"
gateway_pid=""
netns=""
cleanup() {
    if [ -n "$gateway_pid" ]; then kill "$gateway_pid" 2>/dev/null || true; fi
    if [ -n "$netns" ]; then
        for pid in $(ip netns pids "$netns" 2>/dev/null); do kill "$pid" 2>/dev/null || true; done
        ip netns delete "$netns" 2>/dev/null || true
    fi
    umount "$root/proc" 2>/dev/null || true
    rm -rf --one-file-system "$scratch"
}
trap cleanup EXIT

# CI keeps the bare debootstrap result between runs (.ci/fresh-root): the same clean system,
# without fetching it again.
tarball="${TAMARIN_ROOT_CACHE:-/var/cache/tamarin-ci}/bookworm-minbase.tar"
if [ -s "$tarball" ]; then
    mkdir -p "$root"
    tar -C "$root" -xf "$tarball"
    chmod 755 "$root"  # as an installed system's / is, for the services' own users
else
    debootstrap --variant=minbase bookworm "$root" "$mirror" >"$scratch/debootstrap.log"
fi
# Some containers may not mount /proc; apt and the tool manage without it.
mount -t proc proc "$root/proc" 2>/dev/null || echo "(the scratch root has no /proc)"
cp "$deb" "$gateway_deb" "$root/tmp/"
in_root() {
    chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
        DEBIAN_FRONTEND=noninteractive "$@"
}
in_root apt-get update -q >/dev/null
apt_in_root() {
    if ! in_root apt-get "$@" -y -q --no-install-recommends >"$scratch/apt.log" 2>&1; then
        cat "$scratch/apt.log"
        exit 1
    fi
}
apt_in_root install "/tmp/$(basename "$deb")"
echo "-- $(basename "$deb") installed with apt on a clean Debian 12"

# The launcher's command, as a desktop would run it; a terminate signal closes the window and the
# close writes the last-used values.
command=$(sed -n 's/^Exec=//p' "$root/usr/share/applications/tamarin.desktop")
in_root sh -c "XDG_CONFIG_HOME=/tmp/config QT_QPA_PLATFORM=offscreen $command 2>/dev/null & \
    app=\$!; sleep 3; kill -TERM \$app; wait \$app"
grep -q '^\[LastServer\]' "$root/tmp/config/Tamarin/Tamarin.ini"
echo "-- the launcher's command started the installed tool and it closed cleanly"

apt_in_root install "/tmp/$(basename "$gateway_deb")"
echo "-- $(basename "$gateway_deb") installed with apt on a clean Debian 12"
# Installed, not enabled: the shipped allow-list is empty.
test -f "$root/var/lib/systemd/deb-systemd-helper-enabled/vireo-gateway.service.dsh-also"
test ! -e "$root/etc/systemd/system/multi-user.target.wants/vireo-gateway.service"
# The unit's command, with the shipped configuration, on a free port (the chroot shares this
# machine's network, so curl here reaches it).
command=$(sed -n 's/^ExecStart=//p' "$root/lib/systemd/system/vireo-gateway.service")
port=$(free_port tcp)
# shellcheck disable=SC2086
(exec chroot "$root" env -i PATH=/usr/bin:/bin $command --listen "127.0.0.1:$port") \
    >"$scratch/gateway.log" 2>&1 &
gateway_pid=$!
wait_for "http://127.0.0.1:$port/healthz" || { cat "$scratch/gateway.log"; exit 1; }
kill "$gateway_pid"
wait "$gateway_pid" 2>/dev/null || true
gateway_pid=""
echo "-- the unit's command started the installed gateway with the shipped configuration"
# The nginx example as an operator uses it: Debian's own nginx, the two files copied from the
# package's examples where their header says, a certificate at the paths they name, nothing
# edited. In a network namespace of its own, so that ports 80, 443 and 8080 are free whatever
# this machine runs.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"  # nginx is started below, by hand
chmod +x "$root/usr/sbin/policy-rc.d"
apt_in_root install nginx
examples="$root/usr/share/doc/vireo-gateway/examples"
for file in vireo-gateway.conf vireo-gateway-locations.conf; do
    cmp "$examples/$file" "$(dirname "$0")/../docs/nginx/$file"
done
cp "$examples/vireo-gateway-locations.conf" "$root/etc/nginx/snippets/"
cp "$examples/vireo-gateway.conf" "$root/etc/nginx/sites-available/"
ln -s ../sites-available/vireo-gateway.conf "$root/etc/nginx/sites-enabled/vireo-gateway.conf"
# (A minimal system has no /etc/ssl/private yet: the certificate's owner makes it.)
mkdir -p "$root/etc/ssl/certs" "$root/etc/ssl/private"
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=status.example.org \
    -keyout "$root/etc/ssl/private/status.example.org.key" \
    -out "$root/etc/ssl/certs/status.example.org.pem" 2>/dev/null
netns="tamarin-ci-$$"
ip netns add "$netns"
in_netns() { ip netns exec "$netns" "$@"; }
in_netns ip link set lo up
in_netns chroot "$root" /usr/sbin/nginx -t 2>"$scratch/nginx-t.log" || { cat "$scratch/nginx-t.log"; exit 1; }
echo "-- the shipped nginx example passes nginx -t on Debian's nginx, unmodified"
in_netns python3 "$(dirname "$0")/../docs/fake-q3-server.py" 27960 &
# shellcheck disable=SC2086
in_netns chroot "$root" env -i PATH=/usr/bin:/bin $command --allow q3:127.0.0.1:27960 \
    >"$scratch/gateway.log" 2>&1 &
in_netns chroot "$root" /usr/sbin/nginx
site() { # $1: path; the status code and the cache's word for it, through the site's TLS server
    in_netns curl -sk --max-time 10 --resolve status.example.org:443:127.0.0.1 -D - -o /dev/null \
        "https://status.example.org$1" | tr -d '\r' |
        awk 'NR == 1 { code = $2 } tolower($1) == "x-cache-status:" { cache = $2 } END { print code, cache }'
}
query="/status.json?game=q3&host=127.0.0.1&port=27960"
for _ in $(seq 50); do [ "$(site /healthz)" = "200 " ] && break; sleep 0.2; done
[ "$(site "$query")" = "200 MISS" ] || { cat "$scratch/gateway.log" "$root/var/log/nginx/error.log"; echo "FAIL: first status: $(site "$query")"; exit 1; }
[ "$(site "$query")" = "200 HIT" ] || { echo "FAIL: second status not a HIT"; exit 1; }
[ "$(site /metrics)" = "404 " ] || { echo "FAIL: /metrics: $(site /metrics)"; exit 1; }
echo "-- through it: /status.json a MISS, then a HIT; /metrics 404"
in_netns chroot "$root" /usr/sbin/nginx -s quit
for pid in $(ip netns pids "$netns"); do kill "$pid" 2>/dev/null || true; done
# Removing keeps the administrator's configuration; purging takes it and the unit's state away.
apt_in_root remove vireo-gateway
test -f "$root/etc/vireo-gateway.conf"
apt_in_root purge vireo-gateway
test ! -e "$root/etc/vireo-gateway.conf"
test ! -e "$root/var/lib/systemd/deb-systemd-helper-enabled/vireo-gateway.service.dsh-also"
echo "-- removed (configuration kept), then purged (configuration and unit state gone)"
