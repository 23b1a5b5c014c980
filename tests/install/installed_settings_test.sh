#!/usr/bin/env bash
# Where the program keeps its settings, whoever starts it. A build configured for a fresh prefix is
# installed there with `cmake --install`; the installed program, started by the one who runs the test
# (root, as an administrator trying it out, or the prefix's owner: both may write its folder), with
# folders of its own for the user's files, keeps its settings in $XDG_CONFIG_HOME/tallyfox/ and nothing
# beside itself. A copy of the same program in a folder of its own reads and keeps its settings beside
# itself. Each closes with its exit button on a virtual display, as a user closes it.
# Skipped (exit 77) only when no virtual display can start; builds the program once more, in minutes.
# Usage: installed_settings_test.sh CMAKE SOURCE_FOLDER GENERATOR CXX_COMPILER
set -euo pipefail
cmake=$1 source=$2 generator=$3 cxx=$4

for tool in Xvfb xwininfo xdotool; do
    command -v "$tool" >/dev/null || {
        echo "FAIL: $tool is missing; install the test packages (scripts/deps.sh)" >&2
        exit 1
    }
done

work=$(mktemp -d)
xvfb_pid= program_pid=
cleanup() {
    for pid in "$program_pid" "$xvfb_pid"; do
        [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    done
    [ -n "$program_pid" ] && wait "$program_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

source "$(dirname "$0")/../../scripts/virtual_display.sh"
tallyfox_start_display "$work" || {
    echo "SKIP: Xvfb could not start a virtual display:" >&2
    cat "$work/xvfb.log" >&2
    exit 77
}
export DISPLAY=$tallyfox_display
unset WAYLAND_DISPLAY

# Configured for the prefix it is installed into, as a user installing from source does.
prefix="$work/prefix"
build="$work/build"
{
    "$cmake" -S "$source" -B "$build" -G "$generator" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE= \
        -DTALLYFOX_TESTS=OFF -DCMAKE_INSTALL_PREFIX="$prefix" &&
        nice "$cmake" --build "$build" --parallel "$(nproc)" --target tallyfox tallyfox_icons tallyfox_man_page &&
        "$cmake" --install "$build"
} >"$work/build.log" 2>&1 || {
    tail -n 40 "$work/build.log" >&2
    echo "FAIL: the program could not be built and installed into $prefix" >&2
    exit 1
}
program="$prefix/bin/tallyfox"
[ -x "$program" ] || {
    echo "FAIL: no program at $program" >&2
    exit 1
}

# Starts PROGRAM in an empty folder with the user's folders under $work/$2 and presses its exit button.
run_and_close() {
    local program=$1 user="$work/$2"
    mkdir -p "$user/home" "$user/run" "$user/folder"
    chmod 700 "$user/run"
    (cd "$user/folder" && exec env HOME="$user/home" XDG_CONFIG_HOME="$user/config" XDG_STATE_HOME="$user/state" \
        XDG_RUNTIME_DIR="$user/run" QT_QPA_PLATFORM=xcb "$program") >"$user/program.log" 2>&1 &
    program_pid=$!
    # Qt also makes a 1 x 1 leader window of that title; the main window is the one with a class.
    local window=
    for _ in $(seq 100); do
        window=$(xwininfo -root -tree 2>/dev/null | awk '/"Tallyfox": \("/ {print $1; exit}')
        [ -n "$window" ] && break
        kill -0 "$program_pid" 2>/dev/null || break
        sleep 0.2
    done
    if [ -z "$window" ]; then
        cat "$user/program.log" >&2
        fail "$program showed no main window"
        return
    fi
    sleep 1
    # The tool bar's 終了 (sbExit) by its fixed place in the window.
    xdotool mousemove --window "$window" 348 12 click 1
    for _ in $(seq 100); do
        kill -0 "$program_pid" 2>/dev/null || break
        sleep 0.2
    done
    if kill -0 "$program_pid" 2>/dev/null; then
        fail "$program did not end with its exit button"
        kill "$program_pid" 2>/dev/null || true
    fi
    local status=0
    wait "$program_pid" || status=$?
    program_pid=
    [ "$status" = 0 ] || {
        cat "$user/program.log" >&2
        fail "$program ended with status $status"
    }
}

# The installed program: settings per user, none beside it, though its starter may write its folder.
[ -w "$prefix/bin" ] || fail "the test cannot write $prefix/bin, so it would not show where the program writes"
run_and_close "$program" installed
[ ! -e "$prefix/bin/tallyfox.ini" ] || fail "the installed program wrote its settings beside itself"
[ "$(ls -A "$prefix/bin")" = tallyfox ] || fail "more than the program in $prefix/bin: $(ls -A "$prefix/bin" | tr '\n' ' ')"
[ -s "$work/installed/config/tallyfox/tallyfox.ini" ] ||
    fail "the installed program kept no settings in \$XDG_CONFIG_HOME/tallyfox/"

# A copy in a folder of its own: the settings file beside it is read, and written back there.
mkdir -p "$work/portable"
cp "$program" "$work/portable/tallyfox"
printf '[Name]\r\nPrev=mine_\r\n' >"$work/portable/tallyfox.ini"
run_and_close "$work/portable/tallyfox" portable
grep -q '^Prev=mine_' "$work/portable/tallyfox.ini" ||
    fail "the copy did not keep the settings it found beside itself: $(tr '\r\n' '  ' <"$work/portable/tallyfox.ini")"
grep -q '^\[Window\]' "$work/portable/tallyfox.ini" || fail "the copy wrote no settings beside itself"
[ ! -e "$work/portable/config" ] || fail "the copy kept its settings in \$XDG_CONFIG_HOME"

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "installed as $(id -un): its settings went to \$XDG_CONFIG_HOME/tallyfox/; a copy of its own kept them beside itself"
