#!/usr/bin/env bash
# Starts a program on a virtual display, saves a picture of its window titled Tallyfox, ends it.
# Usage: screenshot.sh PROGRAM OUTPUT.png
set -euo pipefail
program=$1 out=$2

display_number=$((90 + RANDOM % 100))
while [ -e "/tmp/.X${display_number}-lock" ]; do display_number=$((display_number + 1)); done
export DISPLAY=":$display_number"
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
program_pid=
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
    kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

for _ in $(seq 50); do
    xdpyinfo >/dev/null 2>&1 && break || sleep 0.1
done
unset WAYLAND_DISPLAY
QT_QPA_PLATFORM=xcb "$program" &
program_pid=$!

mkdir -p "$(dirname "$out")"
for _ in $(seq 100); do
    # Qt also makes a 1 x 1 leader window of that title; the main window is the one with a class.
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
