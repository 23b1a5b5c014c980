#!/usr/bin/env bash
# The picture a headless ./run.sh takes while another Tallyfox runs: the copy on the virtual display
# runs in a session of its own, so it is not refused as a second instance, and leaves the settings
# file of the program it was started as just as it was.
# Skipped (exit 77) only when no virtual display can start.
# Usage: headless_run_test.sh SCREENSHOT_SCRIPT PROGRAM
set -euo pipefail
screenshot=$1 program=$2

for tool in Xvfb xdpyinfo xwininfo import flock; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "FAIL: $tool is missing; install the test packages of scripts/deps.sh" >&2
        exit 1
    fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

source "$(dirname "$0")/../../scripts/virtual_display.sh"
started=0
tallyfox_start_display "$work" 320x240x24 && started=1
kill "$xvfb_pid" 2>/dev/null || true
wait "$xvfb_pid" 2>/dev/null || true
if [ "$started" -eq 0 ]; then
    echo "SKIP: Xvfb could not start a virtual display:" >&2
    cat "$work/xvfb.log" >&2
    exit 77
fi

mkdir -p "$work/bin" "$work/run" "$work/folder"
chmod 700 "$work/run"
cp "$program" "$work/bin/tallyfox"
printf '[Name]\nPrev=mine_\n' >"$work/bin/tallyfox.ini"
cp "$work/bin/tallyfox.ini" "$work/settings.before"

# Another Tallyfox of this session holds the single-instance lock.
exec 9>"$work/run/EX_Mutex4.lock"
flock -n 9

status=0
(cd "$work/folder" && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$work/run" \
    timeout 60 bash "$screenshot" "$work/bin/tallyfox" "$work/shot.png") >"$work/output" 2>&1 || status=$?

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
[ "$status" -eq 0 ] || fail "the screenshot script ended with $status: $(cat "$work/output")"
[ -f "$work/shot.png" ] && [ "$(head -c 8 "$work/shot.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
    fail "no picture was saved"
cmp -s "$work/settings.before" "$work/bin/tallyfox.ini" || fail "the program's settings file was changed"
[ "$(ls -A "$work/bin" | tr '\n' ' ')" = "tallyfox tallyfox.ini " ] ||
    fail "more than the program and its settings beside the program: $(ls -A "$work/bin" | tr '\n' ' ')"
[ "$(ls -A "$work/folder")" = "" ] || fail "files left in the folder the run was started from"
[ "$failures" -eq 0 ] || exit 1
echo "the headless copy ran beside another Tallyfox and left its settings alone"
