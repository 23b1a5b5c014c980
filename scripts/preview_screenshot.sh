#!/usr/bin/env bash
# Takes the README's picture of the preview list: starts a fresh copy of the program (its own settings
# file, no other instance in the way) in a folder of sample photos on a virtual display, opens the
# preview list by a double click on the preview line, and saves its picture as docs/preview_list.png.
# Builds the program first, unless one is given: preview_screenshot.sh [PROGRAM]
set -euo pipefail
TALLYFOX_ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$TALLYFOX_ROOT/scripts/deps.sh"

tallyfox_install_packages "${TALLYFOX_SCREENSHOT_PACKAGES[@]}" xdotool
program=${1:-}
if [ -z "$program" ]; then
    tallyfox_install_packages "${TALLYFOX_BUILD_PACKAGES[@]}"
    tallyfox_build "$TALLYFOX_ROOT/build/run" RelWithDebInfo -DTALLYFOX_TESTS=OFF
    program="$TALLYFOX_ROOT/build/run/bin/tallyfox"
fi
out="$TALLYFOX_ROOT/docs/preview_list.png"

work=$(mktemp -d)
xvfb_pid=
program_pid=
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    [ -n "$program_pid" ] && wait "$program_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

photos="$work/写真/kyoto"
album="$work/写真/アルバム"
mkdir -p "$work/bin" "$work/run" "$work/home" "$photos" "$album"
chmod 700 "$work/run"
cp "$program" "$work/bin/tallyfox"
for i in $(seq 1 12); do
    printf 'photo %d' "$i" >"$photos/$(printf 'IMG_%04d.JPG' "$i")"
done
# What a real folder holds besides: a link left by a photo manager to a picture that is gone (it holds
# a name without being listed), and an album where two earlier copies already lie.
ln -s ../old/kyoto_008.jpg "$photos/kyoto_008.jpg"
: >"$album/kyoto_002.jpg"
: >"$album/kyoto_003.jpg"
# A copy into the album with a name before the number and lower-case extensions.
cat >"$work/bin/tallyfox.ini" <<INI
[Setting]
File=1
Pattern=1
Ext=2
[Name]
Prev=kyoto_
[SaveDir]
Path=$album/
INI

export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/run"
source "$TALLYFOX_ROOT/scripts/virtual_display.sh"
tallyfox_start_display "$work" || {
    echo "no virtual display could start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
}
export DISPLAY=$tallyfox_display
for _ in $(seq 50); do
    xdpyinfo >/dev/null 2>&1 && break || sleep 0.1
done
unset WAYLAND_DISPLAY
cd "$photos"
QT_QPA_PLATFORM=xcb "$work/bin/tallyfox" &
program_pid=$!

main=
for _ in $(seq 100); do
    main=$(xdotool search --name '^Tallyfox$' 2>/dev/null | head -1 || true)
    [ -n "$main" ] && break
    sleep 0.2
done
[ -n "$main" ] || { echo "no window titled Tallyfox appeared" >&2; exit 1; }
sleep 1
# The preview line: in the settings area (159, 24), its box (9, 10), the line (76, 14).
xdotool mousemove --window "$main" 250 53 click --repeat 2 --delay 50 1
preview=
for _ in $(seq 50); do
    preview=$(xdotool search --name '^プレビュー一覧$' 2>/dev/null | head -1 || true)
    [ -n "$preview" ] && break
    sleep 0.2
done
[ -n "$preview" ] || { echo "the preview list did not open" >&2; exit 1; }
xdotool windowsize "$preview" 900 330
sleep 1
mkdir -p "$(dirname "$out")"
import -window "$preview" "$out"
echo "saved $out"
