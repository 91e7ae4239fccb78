#!/usr/bin/env bash
# Builds the Debian packages from a configured build directory and checks the tool's as a desktop
# would meet it: unpacked into a scratch root, the launcher and the AppStream metainfo validate,
# the icon is there at every size, the launcher's command starts the tool (offscreen) and the
# package's dependencies resolve on this Debian. Usage: packaging/check-package.sh <build dir>
set -euo pipefail
build="$(cd "${1:?usage: $0 <build dir>}" && pwd)"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Everything the packages hold: the tool, the gateway, the compressed manuals and changelogs.
cmake --build "$build"
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/tamarin_*.deb)
echo "-- $(basename "$deb")"
dpkg-deb --field "$deb" Package Version Depends

root="$scratch/root"
dpkg -x "$deb" "$root"
share="$root/usr/share"
desktop-file-validate "$share/applications/tamarin.desktop"
appstreamcli validate --no-net "$share/metainfo/example.vireo.Tamarin.metainfo.xml"
appstreamcli validate-tree --no-net "$root"
for size in 16 32 64 128 256; do
    test -s "$share/icons/hicolor/${size}x${size}/apps/tamarin.png"
done
test -s "$share/icons/hicolor/scalable/apps/tamarin.svg"

# Start the tool as the launcher says, from the unpacked tree; a terminate signal closes the
# window as the desktop would, and the close writes the last-used values.
command=$(sed -n 's/^Exec=//p' "$share/applications/tamarin.desktop")
export XDG_CONFIG_HOME="$scratch/config"
PATH="$root/usr/bin:$PATH" QT_QPA_PLATFORM=offscreen $command 2>/dev/null & app=$!
sleep 3
kill -TERM "$app"
wait "$app"
grep -q '^\[LastServer\]' "$XDG_CONFIG_HOME/Tamarin/Tamarin.ini"
echo "-- the launcher's command started the tool and it closed cleanly"

# Every dependency can be installed from this system's archive (a simulation: nothing installs).
apt-get install --simulate --no-install-recommends "$deb" >"$scratch/simulate.txt"
grep -q '^Inst tamarin ' "$scratch/simulate.txt"
echo "-- dependencies resolve: $(grep -c '^Inst ' "$scratch/simulate.txt") package(s) would install"

# Each package names, in Depends, the package of every library its binary links: checked against
# the binary itself, so a dependency scan that quietly found nothing cannot ship.
depends_cover_needed() { # $1: .deb, $2: the binary's path inside it
    local unpacked="$scratch/needed" missing=() library path owner
    rm -rf "$unpacked" && dpkg -x "$1" "$unpacked"
    local depends
    depends=$(dpkg-deb --field "$1" Depends | tr ',|' '\n' | awk '{ print $1 }')
    for library in $(objdump -p "$unpacked$2" | awk '$1 == "NEEDED" { print $2 }'); do
        # (awk reads all its input: a reader that stops early would end the writer with SIGPIPE.)
        path=$(ldconfig -p | awk -v l="$library" '$1 == l && !found { print $NF; found = 1 }')
        # The file as the linker finds it, or as dpkg registered it (merged /usr has both).
        owner=$( (dpkg -S "$(realpath "$path")" || dpkg -S "$path") 2>/dev/null |
            awk -F: 'NR == 1 { print $1 }')
        grep -qx "$owner" <<<"$depends" || missing+=("$library ($owner)")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "FAIL: $(basename "$1") links libraries its Depends does not name: ${missing[*]}" >&2
        exit 1
    fi
    echo "-- $(basename "$1"): Depends names the package of every library $2 links"
}
depends_cover_needed "$deb" /usr/bin/tamarin
depends_cover_needed "$(ls "$build"/vireo-gateway_*.deb)" /usr/bin/vireo-gateway
