# shellcheck shell=bash
# Shared by the screenshot scripts (sourced, not run): an X server with a window manager, a
# server configuration to start with, and a shot of the tool's window with its frame.

# on_desktop <width>x<height> "$@": re-runs the calling script under Xvfb, then starts openbox.
on_desktop() {
    local screen=$1
    shift
    if [ -z "${TAMARIN_UNDER_XVFB:-}" ]; then
        export TAMARIN_UNDER_XVFB=1
        exec xvfb-run -a -s "-screen 0 ${screen}x24" "$0" "$@"
    fi
    openbox --sm-disable >/dev/null 2>&1 &
    sleep 1
}

# last_server <port>: a fresh settings folder whose last-used server is the fake one on <port>,
# a Quake III Arena server (the sixth of the first catalogue's games, as the list sorts them).
last_server() {
    export XDG_CONFIG_HOME
    XDG_CONFIG_HOME=$(mktemp -d)
    mkdir -p "$XDG_CONFIG_HOME/Tamarin"
    printf '[LastServer]\nGame=6\nPlayers=8\nIP=127.0.0.1\nPort=%s\nRefresh=30\nDetails=1\n' "$1" \
        >"$XDG_CONFIG_HOME/Tamarin/Tamarin.ini"
}

# shoot <output.png>: the tool's window with the frame the window manager put around it.
shoot() {
    local id frame geometry
    id=$(xdotool search --sync --name "^Vireo HTML Generator$" | head -n 1)
    sleep 1.5
    frame=$(xwininfo -id "$id" -children | awk '/Parent window id/ {print $4}')
    geometry=$(xwininfo -id "$frame" |
        awk '/Width:/ {w=$2} /Height:/ {h=$2} /Absolute upper-left X:/ {x=$4}
             /Absolute upper-left Y:/ {y=$4} END {print w "x" h "+" x "+" y}')
    import -window root -crop "$geometry" +repage "$1"
}
