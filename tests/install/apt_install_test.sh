#!/usr/bin/env bash
# Installs the Debian package with apt-get as a user would, starts the installed program on a virtual
# display, opens its help and closes it with its buttons, checks that the help file was read from the
# package and that the settings went to the user's own folder, also when root starts it; checks that
# file managers offer it on a folder but never open folders with it; and removes the package again with
# nothing of it left behind. Changes the machine while it runs, so test.sh runs it after ctest, never
# ctest itself; the package is removed however the test ends.
# Usage: apt_install_test.sh PACKAGE.deb (as root, or a user who may use sudo)
set -euo pipefail
deb=$(realpath "$1")

priv=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || {
        echo "FAIL: installing a package needs root rights or sudo" >&2
        exit 1
    }
    priv=(sudo)
fi
for tool in apt-get dpkg-deb Xvfb xwininfo xdotool inotifywait setpriv xdg-mime desktop-file-validate; do
    command -v "$tool" >/dev/null || {
        echo "FAIL: $tool is missing; install the test packages (scripts/deps.sh)" >&2
        exit 1
    }
done
package_state() {
    dpkg-query -W -f='${db:Status-Status}' tallyfox 2>/dev/null || true
}
state=$(package_state)
if [ -n "$state" ] && [ "$state" != not-installed ]; then
    echo "FAIL: a tallyfox package is already on this machine ($state); this test would replace and remove it" >&2
    exit 1
fi

work=$(mktemp -d)
chmod 755 "$work"
installed=0 planted=0 xvfb_pid= program_pid= watch_pid=
cleanup() {
    for pid in "$program_pid" "$watch_pid" "$xvfb_pid"; do
        [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    done
    if [ "$installed" = 1 ] && [ "$(package_state)" != not-installed ] && [ -n "$(package_state)" ]; then
        echo "removing the package left installed by the failed test" >&2
        DEBIAN_FRONTEND=noninteractive "${priv[@]}" apt-get remove --purge -y -qq tallyfox >/dev/null 2>&1 || true
    fi
    [ "$planted" = 0 ] || "${priv[@]}" rm -f /usr/bin/tallyfox.ini
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# What of the package is not on the machine before: all of it must be gone again at the end.
mapfile -t paths < <(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|; s|/$||' | grep -v '^$')
new_paths=()
for path in "${paths[@]}"; do
    [ -e "$path" ] || new_paths+=("$path")
done

cp "$deb" "$work/"
installed=1
(cd "$work" && DEBIAN_FRONTEND=noninteractive "${priv[@]}" apt-get install -y -qq "./$(basename "$deb")") >"$work/apt.log" 2>&1 \
    || { cat "$work/apt.log" >&2; echo "FAIL: apt-get could not install $(basename "$deb")" >&2; exit 1; }
[ "$(package_state)" = installed ] || fail "the package is '$(package_state)' after apt-get install"
version=$(dpkg-deb -f "$deb" Version)
[ "$(env PATH=/usr/bin:/bin tallyfox --version)" = "Tallyfox $version" ] || fail "tallyfox --version does not say $version"

# File managers offer it on a folder through their actions, and never open a folder with it.
desktop-file-validate /usr/share/applications/tallyfox.desktop || fail "desktop-file-validate refused the launcher"
source "$(dirname "$0")/folder_actions.sh"
tallyfox_check_folder_actions /usr/share

# The program runs as a user who cannot write its folder, as on a desktop (as root, as nobody), in a
# home of its own; the settings folder is the default one under that home.
home="$work/home" run="$work/run"
mkdir -p "$home" "$run"
chmod 700 "$run"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    chown 65534:65534 "$home" "$run"
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
# The program that opens a folder, as a desktop without a file manager of its own registered asks for it.
folder_handler=$(cd "$home" && env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u KDE_FULL_SESSION \
    -u GNOME_DESKTOP_SESSION_ID -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u XDG_DATA_DIRS HOME="$home" \
    "${as_user[@]}" xdg-mime query default inode/directory 2>&1) || true
[[ "$folder_handler" != *tallyfox* ]] || fail "folders open with Tallyfox: xdg-mime names $folder_handler"

source "$(dirname "$0")/../../scripts/virtual_display.sh"
tallyfox_start_display "$work" || {
    echo "no virtual display could start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
}
export DISPLAY=$tallyfox_display
for _ in $(seq 50); do
    xwininfo -root >/dev/null 2>&1 && break || sleep 0.1
done

help_file=/usr/share/tallyfox/tallyfox.hlp
inotifywait -t 60 -e open "$help_file" >"$work/watch.out" 2>"$work/watch.err" &
watch_pid=$!
for _ in $(seq 50); do
    grep -q 'Watches established' "$work/watch.err" && break || sleep 0.1
done

# Sets window to the main window of the program started as program_pid; fails the test when none shows.
main_window() {
    # Qt also makes a 1 x 1 leader window of that title; the main window is the one with a class.
    window=
    for _ in $(seq 100); do
        window=$(xwininfo -root -tree 2>/dev/null | awk '/"Tallyfox": \("/ {print $1; exit}')
        [ -n "$window" ] && break
        kill -0 "$program_pid" 2>/dev/null || break
        sleep 0.2
    done
    if [ -z "$window" ]; then
        cat "$work/program.log" >&2
        echo "FAIL: the installed program showed no main window" >&2
        exit 1
    fi
    sleep 1
}

# Presses 終了 (sbExit), by its fixed place in the tool bar, and waits for the program to end well.
close_with_exit_button() {
    xdotool mousemove --window "$window" 348 12 click 1
    for _ in $(seq 100); do
        kill -0 "$program_pid" 2>/dev/null || break
        sleep 0.2
    done
    if kill -0 "$program_pid" 2>/dev/null; then
        fail "the program did not end with its exit button"
    else
        local status=0
        wait "$program_pid" || status=$?
        [ "$status" = 0 ] || fail "the program ended with status $status"
    fi
    program_pid=
}

(cd "$home" && exec env -u XDG_CONFIG_HOME -u WAYLAND_DISPLAY PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$run" \
    QT_QPA_PLATFORM=xcb "${as_user[@]}" tallyfox) >"$work/program.log" 2>&1 &
program_pid=$!
main_window

# The tool bar's "?" (sbHelp) by its fixed place in the window.
xdotool mousemove --window "$window" 261 12 click 1
if wait "$watch_pid"; then
    watch_pid=
else
    watch_pid=
    fail "the installed program did not open $help_file for its help"
fi
for _ in $(seq 50); do
    xdotool search --name '^Tallyfox ヘルプ' >/dev/null 2>&1 && break || sleep 0.1
done
xdotool search --name '^Tallyfox ヘルプ' >/dev/null 2>&1 || fail "no help window appeared"
close_with_exit_button

settings="$home/.config/tallyfox/tallyfox.ini"
[ -s "$settings" ] || fail "no settings at $settings"
[ ! -e /usr/bin/tallyfox.ini ] || fail "the program wrote its settings beside itself, in /usr/bin"
if [ "$failures" -ne 0 ]; then
    cat "$work/program.log" >&2
fi

# Root may write /usr/bin, and still gets settings of its own there, as every user does.
admin="$work/admin"
"${priv[@]}" mkdir -m 700 "$admin" "$admin/run"
(cd / && exec "${priv[@]}" env -u WAYLAND_DISPLAY PATH=/usr/bin:/bin HOME="$admin" XDG_CONFIG_HOME="$admin/config" \
    XDG_STATE_HOME="$admin/state" XDG_RUNTIME_DIR="$admin/run" DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb tallyfox) \
    >"$work/program.log" 2>&1 &
program_pid=$!
main_window
close_with_exit_button
[ ! -e /usr/bin/tallyfox.ini ] || fail "started by root, the program wrote its settings beside itself, in /usr/bin"
"${priv[@]}" test -s "$admin/config/tallyfox/tallyfox.ini" || fail "started by root, the program kept no settings in \$XDG_CONFIG_HOME"
"${priv[@]}" rm -rf "$admin"

# What an earlier version, started by root, could leave beside the program goes with the package.
planted=1
printf '[Window]\r\nLeft=0\r\n' | "${priv[@]}" tee /usr/bin/tallyfox.ini >/dev/null

# Removed with everything it brought.
DEBIAN_FRONTEND=noninteractive "${priv[@]}" apt-get remove --purge -y -qq tallyfox >"$work/apt.log" 2>&1 \
    || { cat "$work/apt.log" >&2; fail "apt-get could not remove the package"; }
state=$(package_state)
[ -z "$state" ] || [ "$state" = not-installed ] || fail "the package is '$state' after apt-get remove --purge"
installed=0
for path in "${new_paths[@]}" /usr/bin/tallyfox.ini; do
    [ ! -e "$path" ] || fail "$path is left after the package was removed"
done

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "$(basename "$deb"): installed with apt-get, ran, found its help, kept its settings per user (root too), offered on folders without opening them, removed cleanly"
