#!/usr/bin/env bash
# Takes the README's picture of the save-folder browser: starts a fresh copy of the program (its own
# settings file, no other instance in the way) set to copy into a save folder, on a virtual display;
# opens the browser with the "..." button, goes to a folder of albums, makes a new folder there with the
# browser's new-folder button and names it, and saves the picture of the browser.
# Builds the program first, unless one is given: browser_screenshot.sh [PROGRAM [SCALE [OUTPUT.png]]]
# SCALE is the toolkit's whole scale factor (1 unless given); OUTPUT is docs/folder_browser.png unless
# given. The program runs as on a Japanese desktop (LANG=ja_JP.UTF-8), whose date format the browser's
# list follows.
set -euo pipefail
TALLYFOX_ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$TALLYFOX_ROOT/scripts/deps.sh"

tallyfox_install_packages "${TALLYFOX_SCREENSHOT_PACKAGES[@]}" xdotool
program=${1:-}
scale=${2:-1}
out=${3:-$TALLYFOX_ROOT/docs/folder_browser.png}
if [ -z "$program" ]; then
    tallyfox_install_packages "${TALLYFOX_BUILD_PACKAGES[@]}"
    tallyfox_build "$TALLYFOX_ROOT/build/run" RelWithDebInfo -DTALLYFOX_TESTS=OFF
    program="$TALLYFOX_ROOT/build/run/bin/tallyfox"
fi

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
albums="$work/写真/アルバム"
mkdir -p "$work/bin" "$work/run" "$photos" "$albums/2023 奈良" "$albums/2024 箱根"
chmod 700 "$work/run"
cp "$program" "$work/bin/tallyfox"
for i in $(seq 1 8); do
    : >"$photos/$(printf 'IMG_%04d.JPG' "$i")"
done
# A copy into a save folder: the "..." button is in use.
cat >"$work/bin/tallyfox.ini" <<INI
[Setting]
File=1
INI

# The albums are the home folder of this session, where the browser's Ctrl+Shift+H goes.
export HOME="$albums" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
source "$TALLYFOX_ROOT/scripts/virtual_display.sh"
tallyfox_start_display "$work" 1600x1200x24 || {
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
LANG=ja_JP.UTF-8 QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR="$scale" "$work/bin/tallyfox" 2>"$work/program.log" &
program_pid=$!

# Waits for the window whose title is $1 and prints its id. (Read from the window tree, which names a
# Japanese title whatever the locale of this shell.)
window_titled() {
    local id=
    for _ in $(seq 100); do
        id=$(xwininfo -root -tree 2>/dev/null | awk -v title="\"$1\": (\"" 'index($0, title) {print $1; exit}')
        [ -n "$id" ] && { echo "$id"; return 0; }
        kill -0 "$program_pid" 2>/dev/null || break
        sleep 0.2
    done
    echo "no window titled $1 appeared" >&2
    cat "$work/program.log" >&2
    return 1
}

main=$(window_titled Tallyfox)
sleep 1
# The "..." button: in the settings area (159, 24), its box (9, 119), the button (217, 16), 20 x 20.
xdotool mousemove --window "$main" $((395 * scale)) $((169 * scale)) click 1
browser=$(window_titled 'フォルダを選択して下さい。')
sleep 1
xdotool windowactivate --sync "$browser" 2>/dev/null || xdotool windowfocus --sync "$browser"
xdotool key --delay 200 ctrl+shift+h
sleep 1
# From the name line back to the list, whose menu makes a new folder (N); its name is typed at once.
xdotool key --delay 200 shift+Tab Menu n
sleep 1
xdotool type --delay 50 "2025 京都"
xdotool key Return
sleep 1
mkdir -p "$(dirname "$out")"
import -window "$browser" "$out"
echo "saved $out"
