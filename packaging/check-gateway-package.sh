#!/usr/bin/env bash
# Checks both Debian packages with lintian (any error fails) and the gateway's package as an
# administrator would meet it: unpacked into a scratch root, its systemd unit verifies, its
# default configuration is a conffile that the packaged executable starts with, its manual names
# every option the executable's --help lists, and its dependencies resolve on this Debian.
# Usage: packaging/check-gateway-package.sh <build dir>   (after packaging/check-package.sh)
set -euo pipefail
# shellcheck source=packaging/service-lib.sh
source "$(dirname "$0")/service-lib.sh"
build="$(cd "${1:?usage: $0 <build dir>}" && pwd)"
scratch=$(mktemp -d)
trap end_started EXIT

compgen -G "$build/vireo-gateway_*.deb" >/dev/null || (cd "$build" && cpack -G DEB >/dev/null)
tool_deb=$(ls "$build"/tamarin_*.deb)
deb=$(ls "$build"/vireo-gateway_*.deb)
echo "-- $(basename "$deb")"
dpkg-deb --field "$deb" Package Version Depends

# Errors fail the check; warnings are shown for whoever reads the log.
lintian --fail-on error "$tool_deb" "$deb" 2>&1 | { grep -v 'running with root' || true; } | sed 's/^/   /'
echo "-- lintian: no errors in $(basename "$tool_deb") or $(basename "$deb")"

root="$scratch/root"
dpkg -x "$deb" "$root"
dpkg-deb --ctrl-tarfile "$deb" | tar -x -O ./conffiles | grep -qx /etc/vireo-gateway.conf
executable="$root/usr/bin/vireo-gateway"
for file in "$executable" "$root/lib/systemd/system/vireo-gateway.service" \
    "$root/usr/share/man/man1/vireo-gateway.1.gz" "$root/usr/share/doc/vireo-gateway/copyright" \
    "$root/usr/share/doc/vireo-gateway/changelog.gz"; do
    test -s "$file"
done

# The unit as systemd reads it, its command pointed at the unpacked executable and its manual
# looked up in the unpacked tree.
sed "s|/usr/bin/vireo-gateway|$executable|" "$root/lib/systemd/system/vireo-gateway.service" \
    >"$scratch/vireo-gateway.service"
MANPATH="$root/usr/share/man" systemd-analyze verify "$scratch/vireo-gateway.service"
echo "-- systemd-analyze verify: the unit is sound"

missing=""
manual=$(zcat "$root/usr/share/man/man1/vireo-gateway.1.gz" | sed 's/\\-/-/g')
for option in $("$executable" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -q -- "$option" <<<"$manual" || missing="$missing $option"
done
# Every game --help lists (from the one table of games) is in the manual too, by its code; the
# older ids --help accepts after them are the same games.
while read -r code _; do
    grep -qw -- "$code" <<<"$manual" || missing="$missing $code"
done < <("$executable" --help | sed -n '/^Games:/,/^Also accepted/p' | grep '^  [a-z0-9]' | grep -v '=')
[ -z "$missing" ] || { echo "FAIL: the manual does not describe:$missing" >&2; exit 1; }
echo "-- the manual describes every option and every game of --help"

# The shipped configuration, as the unit passes it (the listening port moved to a free one).
port=$(free_port tcp)
"$executable" --config "$root/etc/vireo-gateway.conf" --listen "127.0.0.1:$port" \
    >"$scratch/gateway.log" 2>&1 & pids+=($!)
wait_for "http://127.0.0.1:$port/healthz" ||
    { cat "$scratch/gateway.log" >&2; echo "FAIL: not started with the shipped configuration" >&2; exit 1; }
echo "-- the packaged executable starts with the shipped configuration"

apt-get install --simulate --no-install-recommends "$deb" >"$scratch/simulate.txt"
grep -q '^Inst vireo-gateway ' "$scratch/simulate.txt"
echo "-- dependencies resolve: $(grep -c '^Inst ' "$scratch/simulate.txt") package(s) would install"
