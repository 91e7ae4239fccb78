#!/usr/bin/env bash
# Installs the Debian package with apt on a clean, minimal Debian 12 (made with debootstrap in a
# scratch folder) and starts the tool there the way its launcher says. Needs root, debootstrap and
# a reachable Debian mirror; it takes about a minute. CI runs it on Debian 12 hosts:
#   sudo packaging/check-clean-install.sh <build dir>   (after packaging/check-package.sh)
set -euo pipefail
build="$(cd "${1:?usage: $0 <build dir>}" && pwd)"
mirror="${DEBIAN_MIRROR:-http://deb.debian.org/debian}"
deb=$(ls "$build"/tamarin_*.deb)
scratch=$(mktemp -d)
root="$scratch/bookworm"
cleanup() {
    umount "$root/proc" 2>/dev/null || true
    rm -rf --one-file-system "$scratch"
}
trap cleanup EXIT

debootstrap --variant=minbase bookworm "$root" "$mirror" >"$scratch/debootstrap.log"
# Some containers may not mount /proc; apt and the tool manage without it.
mount -t proc proc "$root/proc" 2>/dev/null || echo "(the scratch root has no /proc)"
cp "$deb" "$root/tmp/"
in_root() {
    chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
        DEBIAN_FRONTEND=noninteractive "$@"
}
in_root apt-get update -q >/dev/null
if ! in_root apt-get install -y -q --no-install-recommends "/tmp/$(basename "$deb")" \
    >"$scratch/install.log" 2>&1; then
    cat "$scratch/install.log"
    exit 1
fi
echo "-- $(basename "$deb") installed with apt on a clean Debian 12"

# The launcher's command, as a desktop would run it; a terminate signal closes the window and the
# close writes the last-used values.
command=$(sed -n 's/^Exec=//p' "$root/usr/share/applications/tamarin.desktop")
in_root sh -c "XDG_CONFIG_HOME=/tmp/config QT_QPA_PLATFORM=offscreen $command 2>/dev/null & \
    app=\$!; sleep 3; kill -TERM \$app; wait \$app"
grep -q '^\[LastServer\]' "$root/tmp/config/Tamarin/Tamarin.ini"
echo "-- the launcher's command started the installed tool and it closed cleanly"
