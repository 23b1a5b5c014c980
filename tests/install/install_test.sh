#!/usr/bin/env bash
# Installs the built program into a fresh folder and checks that what a desktop needs is there and
# works: the program starts, finds its help file, and has its launcher, icon, software-centre
# metadata and actions on a folder for file managers in their places.
# Usage: install_test.sh CMAKE BUILD_FOLDER HELP_PROBE DESKTOP_FILE_VALIDATE APPSTREAMCLI
set -euo pipefail
cmake=$1 build=$2 probe=$3 validate=$4 appstream=$5

if [ ! -x "$validate" ]; then
    echo "FAIL: desktop-file-validate is missing; install desktop-file-utils (scripts/deps.sh)" >&2
    exit 1
fi
if [ ! -x "$appstream" ]; then
    echo "FAIL: appstreamcli is missing; install appstream (scripts/deps.sh)" >&2
    exit 1
fi

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

"$cmake" --install "$build" --prefix "$prefix" >/dev/null

program="$prefix/bin/tallyfox"
help="$prefix/share/tallyfox/tallyfox.hlp"
launcher="$prefix/share/applications/tallyfox.desktop"

[ -x "$program" ] || fail "no program at $program"
[ -f "$help" ] || fail "no help file at $help"
cmp -s "$help" "$build/bin/tallyfox.hlp" || fail "the installed help file differs from the built one"
grep -q '<html' "$help" || fail "the help file is no HTML document"

# The launcher is valid and names the installed program and icon.
[ -f "$launcher" ] || fail "no launcher at $launcher"
"$validate" "$launcher" || fail "desktop-file-validate refused the launcher"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$launcher")
# A folder dropped on the launcher is handed to the program, which starts in it.
grep -qE '^Exec=[^ ]+ %f$' "$launcher" || fail "the launcher does not hand the program a folder (%f)"
# File managers offer the program through their actions on a folder; the launcher claims no files.
source "$(dirname "$0")/folder_actions.sh"
tallyfox_check_folder_actions "$prefix/share"
icon_name=$(sed -n 's/^Icon=//p' "$launcher")
[ -x "$prefix/bin/$exec_name" ] || fail "the launcher starts '$exec_name', which is not installed"
# A software centre's search finds the program by its kind and by words, in English and in Japanese.
for key in 'GenericName' 'GenericName\[ja\]' 'Keywords' 'Keywords\[ja\]'; do
    grep -q "^$key=." "$launcher" || fail "the launcher has no ${key//\\/}"
done

# The software-centre metadata is valid, names the installed launcher, and agrees with the launcher
# and icon installed beside it. --no-net: the validator would otherwise fetch the screenshot from the
# home page, which a test must not depend on (no network in CI, nor a published page).
metainfo="$prefix/share/metainfo/org.example.tallyfox.metainfo.xml"
if [ -f "$metainfo" ]; then
    "$appstream" validate --no-net "$metainfo" || fail "appstreamcli refused the metainfo file"
    "$appstream" validate-tree --no-net "$prefix" || fail "appstreamcli refused the installed tree"
    grep -q "<launchable type=\"desktop-id\">$(basename "$launcher")</launchable>" "$metainfo" \
        || fail "the metainfo file does not name the launcher $(basename "$launcher")"
else
    fail "no metainfo file at $metainfo"
fi

# The icon at every size, each a PNG of that size.
for size in 16 22 24 32 48 64 128 256; do
    icon="$prefix/share/icons/hicolor/${size}x${size}/apps/$icon_name.png"
    if [ ! -f "$icon" ]; then
        fail "no icon at $icon"
        continue
    fi
    [ "$(head -c 8 "$icon" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "$icon is no PNG"
    read -r width height < <(od -An -tu1 -j16 -N8 "$icon" | awk '{print $3*256+$4, $7*256+$8}')
    [ "$width" = "$size" ] && [ "$height" = "$size" ] || fail "$icon is ${width}x${height}"
done

# Nothing lies beside the installed program but the program: its help comes from the data folder.
found=$("$probe" "$program")
[ "$found" = "$help" ] || fail "the installed program looks for its help file at $found"
[ -z "$(ls "$prefix/bin" | grep -v '^tallyfox$')" ] || fail "more than the program in $prefix/bin"

# The manual page: compressed as Debian's policy asks (gzip -9n: no name, no time inside), and read
# by groff as man reads it (its UTF-8 through preconv), without a warning.
manpage="$prefix/share/man/man1/tallyfox.1.gz"
if [ -f "$manpage" ]; then
    gzip -t "$manpage" || fail "$manpage is no whole gzip file"
    [ "$(od -An -tx1 -j3 -N5 "$manpage" | tr -d ' \n')" = 0000000000 ] \
        || fail "$manpage carries a file name or a time (gzip -n)"
    if command -v groff >/dev/null; then
        warnings=$(gzip -dc "$manpage" | groff -k -man -Tutf8 -ww -z 2>&1)
        [ -z "$warnings" ] || fail "groff warns about the manual page: $warnings"
        gzip -dc "$manpage" | groff -k -man -Tutf8 2>/dev/null | grep -q 'tallyfox number' \
            || fail "the manual page does not show the command tallyfox number"
    else
        fail "groff is missing; install groff-base (scripts/deps.sh)"
    fi
else
    fail "no manual page at $manpage"
fi

# A command runs without a display, and without a journal folder yet says there is no run.
mkdir -p "$prefix/state"
listed=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=no-such-platform XDG_STATE_HOME="$prefix/state" \
    "$program" history 2>&1) || fail "tallyfox history ended with a failure: $listed"
[ "$listed" = "記録された処理はありません。" ] || fail "tallyfox history said: $listed"

# The installed program starts and keeps running until it is stopped.
mkdir -p "$prefix/run" "$prefix/home"
chmod 700 "$prefix/run"
status=0
(cd "$prefix/home" && HOME="$prefix/home" XDG_RUNTIME_DIR="$prefix/run" XDG_CONFIG_HOME="$prefix/home/.config" \
    QT_QPA_PLATFORM=offscreen timeout 3 "$program") >/dev/null 2>&1 || status=$?
[ "$status" = 124 ] || fail "the installed program ended with status $status instead of running"

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "installed into $prefix: program, help file, launcher, icons and folder actions are in place"
