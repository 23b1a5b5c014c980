#!/usr/bin/env bash
# Installs what is missing, builds, and starts Tallyfox. Without a display a copy of the program is
# started in a session of its own on a virtual display (so a Tallyfox already running does not refuse
# it, and the settings file is read but never written), a screenshot of its main window is saved and
# its path printed, and the copy ends.
set -euo pipefail
TALLYFOX_ROOT=$(cd "$(dirname "$0")" && pwd)
source "$TALLYFOX_ROOT/scripts/deps.sh"

tallyfox_install_packages "${TALLYFOX_BUILD_PACKAGES[@]}"
tallyfox_build "$TALLYFOX_ROOT/build/run" RelWithDebInfo -DTALLYFOX_TESTS=OFF
program="$TALLYFOX_ROOT/build/run/bin/tallyfox"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$program"
fi

tallyfox_install_packages "${TALLYFOX_SCREENSHOT_PACKAGES[@]}"
shot="$TALLYFOX_ROOT/build/run/screenshot.png"
"$TALLYFOX_ROOT/scripts/screenshot.sh" "$program" "$shot"
echo "no display: the main window was shown on a virtual display; screenshot: $shot"
