#!/usr/bin/env bash
# Where the window stands from one start to the next on an X11 desktop with a window manager, which
# frames it: a stored place that fits is where the frame stands, and five starts and closes store the
# same place (no creeping by the frame); a place off the screen comes back whole onto it. Skipped (exit
# 77) only when no virtual display can start.
# Usage: window_place_test.sh PLACE_PROBE
set -euo pipefail
probe=$1

for tool in Xvfb openbox; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "FAIL: $tool is missing; install the test packages of scripts/deps.sh" >&2
        exit 1
    fi
done

work=$(mktemp -d)
xvfb_pid=
wm_pid=
cleanup() {
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

source "$(dirname "$0")/../../scripts/virtual_display.sh"
if ! tallyfox_start_display "$work"; then
    echo "SKIP: Xvfb could not start a virtual display:" >&2
    cat "$work/xvfb.log" >&2
    exit 77
fi
display=$tallyfox_display

mkdir -p "$work/bin" "$work/run" "$work/home" "$work/folder"
chmod 700 "$work/run"
cp "$probe" "$work/bin/tallyfox"
ini="$work/bin/tallyfox.ini"

HOME="$work/home" DISPLAY="$display" openbox --sm-disable >"$work/wm.log" 2>&1 &
wm_pid=$!
# The window manager has taken the display once it names itself on the root window; on a loaded machine
# that may take a while, and without it no window is framed.
managed=
for _ in $(seq 300); do
    if DISPLAY="$display" xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
        managed=yes
        break
    fi
    kill -0 "$wm_pid" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$managed" ]; then
    echo "FAIL: the window manager did not take the display:" >&2
    cat "$work/wm.log" >&2
    exit 1
fi

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# One start and close, to its end; prints the frame as the program saw it.
start() {
    (cd "$work/folder" && env -u WAYLAND_DISPLAY DISPLAY="$display" QT_QPA_PLATFORM=xcb HOME="$work/home" \
        XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/run" timeout 60 "$work/bin/tallyfox") \
        2>>"$work/stderr" || fail "the program ended with status $? ($(cat "$work/stderr"))"
}

stored() {
    printf '%s %s' "$(sed -n 's/^Left=//p' "$ini")" "$(sed -n 's/^Top=//p' "$ini")"
}

printf '[Window]\nLeft=428\nTop=265\n' >"$ini"
for i in 1 2 3 4 5; do
    frame=$(start)
    read -r x y width height <<<"$frame"
    [ "$width" -gt 421 ] && [ "$height" -gt 453 ] || fail "start $i: the window manager did not frame the window"
    [ "$x $y" = "428 265" ] || fail "start $i: the frame stands at $x,$y, stored at 428,265"
    [ "$(stored)" = "428 265" ] || fail "start $i: closing stored $(stored), the window was placed at 428,265"
    echo "start $i: frame at $x,$y ${width}x$height, stored $(stored)"
done

# Stored on a larger screen: the whole frame comes onto this one, and that place is stored.
printf '[Window]\nLeft=5000\nTop=4000\n' >"$ini"
frame=$(start)
read -r x y width height <<<"$frame"
[ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + width)) -le 1024 ] && [ $((y + height)) -le 768 ] ||
    fail "stored at 5000,4000: the frame ${width}x$height stands at $x,$y, not whole on the 1024x768 screen"
[ "$(stored)" = "$x $y" ] || fail "stored at 5000,4000: closing stored $(stored), the frame stood at $x,$y"
echo "stored off the screen: frame at $x,$y ${width}x$height, stored $(stored)"
