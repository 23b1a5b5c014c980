#!/usr/bin/env bash
# Takes the README's pictures of the preview list: starts a fresh copy of the program (its own settings
# file, no other instance in the way) in a folder of sample photos from two cameras on a virtual display
# of 1600 x 1000 pixels, puts the photos in the order they were taken from the file list's menu, opens
# the preview list by a double click on the preview line, and saves its picture, at the size it opens
# with, as docs/preview_list.png; and the same at scale 2 on a screen of 2560 x 1600 pixels as
# docs/preview_list_scale2.png.
# Builds the program first, unless one is given: preview_screenshot.sh [PROGRAM]
set -euo pipefail
TALLYFOX_ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$TALLYFOX_ROOT/scripts/deps.sh"

tallyfox_install_packages "${TALLYFOX_SCREENSHOT_PACKAGES[@]}" xdotool exiv2
program=${1:-}
if [ -z "$program" ]; then
    tallyfox_install_packages "${TALLYFOX_BUILD_PACKAGES[@]}"
    tallyfox_build "$TALLYFOX_ROOT/build/run" RelWithDebInfo -DTALLYFOX_TESTS=OFF
    program="$TALLYFOX_ROOT/build/run/bin/tallyfox"
fi
docs="$TALLYFOX_ROOT/docs"

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
# Two cameras whose numbers do not follow the time: the dates taken put them in order. One picture
# came from a program that keeps no Exif data; it falls among the photos by the time it was saved.
convert -size 8x8 xc:gray "$work/blank.jpg"
taken=("2024:04:06 09:12:05" "2024:04:06 09:40:31" "2024:04:06 10:02:17" "2024:04:06 11:25:48"
    "2024:04:06 13:03:09" "2024:04:06 14:47:55")
for i in 0 1 2 3 4 5; do
    # The second camera a few minutes behind the first, and numbered from 41.
    for camera in "IMG 1 0" "DSC 41 7"; do
        read -r prefix first later <<<"$camera"
        name=$(printf '%s_%04d.JPG' "$prefix" $((first + i)))
        cp "$work/blank.jpg" "$photos/$name"
        minute=$(printf '%02d' $((10#${taken[$i]:14:2} + later)))
        exiv2 -M"set Exif.Photo.DateTimeOriginal ${taken[$i]:0:14}$minute${taken[$i]:16}" "$photos/$name"
    done
done
cp "$work/blank.jpg" "$photos/IMG_0007.JPG"
touch -d "2024-04-06 12:10:00" "$photos/IMG_0007.JPG"
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
unset WAYLAND_DISPLAY

# shoot SCALE SCREEN OUT: one picture of the preview list, the program's pixels drawn SCALE times as large.
shoot() {
    local scale=$1 screen=$2 out=$3
    rm -f "$work/display"
    tallyfox_start_display "$work" "${screen}x24" || {
        echo "no virtual display could start:" >&2
        cat "$work/xvfb.log" >&2
        exit 1
    }
    export DISPLAY=$tallyfox_display
    for _ in $(seq 50); do
        xdpyinfo >/dev/null 2>&1 && break || sleep 0.1
    done
    (cd "$photos" && QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale exec "$work/bin/tallyfox") &
    program_pid=$!

    local main= preview=
    for _ in $(seq 100); do
        main=$(xdotool search --name '^Tallyfox$' 2>/dev/null | head -1 || true)
        [ -n "$main" ] && break
        sleep 0.2
    done
    [ -n "$main" ] || { echo "no window titled Tallyfox appeared" >&2; exit 1; }
    sleep 1
    # The file list's menu (the list in the left panel at 1, 230), its third item 並べ替え, and in it the
    # fourth, 撮影日時順: chosen with the keys (元に戻す, with no run to undo, is passed over).
    xdotool mousemove --window "$main" $((60 * scale)) $((300 * scale)) click 3
    sleep 0.5
    xdotool key Down Down Right Down Down Down Return
    sleep 1
    # The preview line: in the settings area (159, 24), its box (9, 10), the line (76, 14).
    xdotool mousemove --window "$main" $((250 * scale)) $((53 * scale)) click --repeat 2 --delay 50 1
    for _ in $(seq 50); do
        preview=$(xdotool search --name '^プレビュー一覧$' 2>/dev/null | head -1 || true)
        [ -n "$preview" ] && break
        sleep 0.2
    done
    [ -n "$preview" ] || { echo "the preview list did not open" >&2; exit 1; }
    sleep 1
    mkdir -p "$(dirname "$out")"
    import -window "$preview" "$out"
    echo "saved $out"
    kill "$program_pid" 2>/dev/null || true
    wait "$program_pid" 2>/dev/null || true
    program_pid=
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
}

shoot 1 1600x1000 "$docs/preview_list.png"
shoot 2 2560x1600 "$docs/preview_list_scale2.png"
