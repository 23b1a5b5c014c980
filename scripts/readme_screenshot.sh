#!/usr/bin/env bash
# Takes the README's picture of the main window: builds the program, starts a fresh copy of it (its own
# settings file, no other instance in the way) in a folder of sample photos on a virtual display,
# and saves the picture as docs/screenshot.png.
set -euo pipefail
TALLYFOX_ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$TALLYFOX_ROOT/scripts/deps.sh"

tallyfox_install_packages "${TALLYFOX_BUILD_PACKAGES[@]}" "${TALLYFOX_SCREENSHOT_PACKAGES[@]}"
tallyfox_build "$TALLYFOX_ROOT/build/run" RelWithDebInfo -DTALLYFOX_TESTS=OFF

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
photos="$work/写真/kyoto"
mkdir -p "$work/bin" "$work/run" "$work/home" "$photos"
chmod 700 "$work/run"
cp "$TALLYFOX_ROOT/build/run/bin/tallyfox" "$work/bin/"
for i in $(seq 1 8); do
    : >"$photos/$(printf 'IMG_%04d.JPG' "$i")"
done
# A pattern in use, so that the preview shows what the first photo would be called.
cat >"$work/bin/tallyfox.ini" <<'INI'
[Setting]
Pattern=1
Ext=2
[Name]
Prev=kyoto_
INI

cd "$photos"
HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/run" \
    "$TALLYFOX_ROOT/scripts/screenshot.sh" "$work/bin/tallyfox" "$TALLYFOX_ROOT/docs/screenshot.png"
echo "saved $TALLYFOX_ROOT/docs/screenshot.png"
