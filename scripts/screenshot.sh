#!/usr/bin/env bash
# Starts a program on a virtual display, saves a picture of its window titled Tallyfox, ends it.
# The program runs in a session of its own: a copy of it, with a copy of its settings file, in a
# temporary folder, and its own runtime folder. So a Tallyfox the user is running does not refuse it as
# a second instance, and the picture shows the user's settings without the copy ever writing them.
# Usage: screenshot.sh PROGRAM OUTPUT.png
set -euo pipefail
program=$1 out=$2

session=$(mktemp -d)
xvfb_pid=
program_pid=
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    # The program may still be ending; its folder goes once it has.
    [ -n "$program_pid" ] && wait "$program_pid" 2>/dev/null || true
    rm -rf "$session"
}
trap cleanup EXIT

name=$(basename "$program")
mkdir -p "$session/bin" "$session/run"
chmod 700 "$session/run"
cp "$program" "$session/bin/$name"
# The settings file the program reads: beside it, or in the user's configuration folder when the
# program's folder cannot take one.
settings="$(dirname "$program")/${name%.*}.ini"
if [ ! -e "$settings" ] && [ ! -w "$(dirname "$program")" ]; then
    settings="${XDG_CONFIG_HOME:-$HOME/.config}/tallyfox/${name%.*}.ini"
fi
if [ -f "$settings" ]; then
    cp "$settings" "$session/bin/${name%.*}.ini"
fi
export XDG_RUNTIME_DIR="$session/run"

source "$(dirname "$0")/virtual_display.sh"
tallyfox_start_display "$session" || {
    echo "no virtual display could start:" >&2
    cat "$session/xvfb.log" >&2
    exit 1
}
export DISPLAY=$tallyfox_display

for _ in $(seq 50); do
    xdpyinfo >/dev/null 2>&1 && break || sleep 0.1
done
unset WAYLAND_DISPLAY
QT_QPA_PLATFORM=xcb "$session/bin/$name" &
program_pid=$!

mkdir -p "$(dirname "$out")"
for _ in $(seq 100); do
    # Qt also makes a 1 x 1 leader window; the main window is the one titled Tallyfox with a class.
    window=$(xwininfo -root -tree 2>/dev/null | awk '/"Tallyfox": \("/ {print $1; exit}')
    if [ -n "$window" ]; then
        # Let the window finish its first paint before taking its picture.
        sleep 1
        import -window "$window" "$out"
        exit 0
    fi
    kill -0 "$program_pid" 2>/dev/null || { echo "the program ended before its window appeared" >&2; exit 1; }
    sleep 0.2
done
echo "no window titled Tallyfox appeared" >&2
exit 1
