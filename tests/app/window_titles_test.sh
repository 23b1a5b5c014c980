#!/usr/bin/env bash
# The titles a user sees on an X11 display: the program, with the toolkit's own dialogs, opens each of
# its boxes and dialogs on a virtual display, and every window's title as the display holds it is
# exactly the caption the program gives. Skipped (exit 77) only when no virtual display can start.
# Usage: window_titles_test.sh TITLE_PROBE
set -euo pipefail
probe=$1

for tool in Xvfb xprop; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "FAIL: $tool is missing; install the test packages of scripts/deps.sh" >&2
        exit 1
    fi
done

work=$(mktemp -d)
xvfb_pid=
cleanup() {
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

# A session of its own: the probe's settings file, the single-instance lock and the folder it lists.
mkdir -p "$work/bin" "$work/run" "$work/home" "$work/folder"
chmod 700 "$work/run"
cp "$probe" "$work/bin/tallyfox"
# Rename and copy, so that the save folder's button is there to press.
printf '[Setting]\nFile=1\n' >"$work/bin/tallyfox.ini"
status=0
(cd "$work/folder" && env -u WAYLAND_DISPLAY DISPLAY="$tallyfox_display" QT_QPA_PLATFORM=xcb \
    HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/run" \
    timeout 60 "$work/bin/tallyfox") >"$work/titles" 2>"$work/stderr" || status=$?

# Each window: the title the program gave it, then the title on the display.
expected=$(printf '%s\t%s\n' \
    "Tallyfox" "Tallyfox" \
    "ヴァージョン情報" "ヴァージョン情報" \
    "リセットの確認" "リセットの確認" \
    "確認" "確認" \
    "フォルダを選択して下さい。" "フォルダを選択して下さい。" \
    "オプション" "オプション" \
    "ヒント" "ヒント" \
    "Tallyfox ヘルプ" "Tallyfox ヘルプ")
if [ "$status" -ne 0 ] || [ "$(cat "$work/titles")" != "$expected" ]; then
    echo "FAIL: the windows' titles on the display (exit status $status):" >&2
    diff <(echo "$expected") "$work/titles" >&2 || true
    cat "$work/stderr" >&2
    exit 1
fi
echo "every window's title on the display is its caption"
