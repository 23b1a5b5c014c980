#!/usr/bin/env bash
# Makes the Debian package: a Release build in build/package without the tests, then cpack. Prints
# the package's path as its last line.
set -euo pipefail
TALLYFOX_ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$TALLYFOX_ROOT/scripts/deps.sh"

tallyfox_install_packages "${TALLYFOX_BUILD_PACKAGES[@]}" "${TALLYFOX_PACKAGING_PACKAGES[@]}"
build="$TALLYFOX_ROOT/build/package"
tallyfox_build "$build" Release -DTALLYFOX_TESTS=OFF
rm -f "$build"/tallyfox_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/tallyfox_*.deb
