#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through ctest; then makes the Debian package
# in Release and installs, starts and removes it for real (apt_install_test.sh), which ctest does not do
# because it changes the machine. TALLYFOX_SKIP_PACKAGE_TEST=1 leaves out the second part.
set -euo pipefail
TALLYFOX_ROOT=$(cd "$(dirname "$0")" && pwd)
source "$TALLYFOX_ROOT/scripts/deps.sh"

tallyfox_install_packages "${TALLYFOX_BUILD_PACKAGES[@]}" "${TALLYFOX_TEST_PACKAGES[@]}"
tallyfox_build "$TALLYFOX_ROOT/build/test" Debug -DTALLYFOX_WERROR=ON
(cd "$TALLYFOX_ROOT/build/test" && ctest --output-on-failure --parallel "$(nproc)" "$@")

if [ "${TALLYFOX_SKIP_PACKAGE_TEST:-0}" != 1 ]; then
    "$TALLYFOX_ROOT/scripts/package.sh"
    bash "$TALLYFOX_ROOT/tests/install/apt_install_test.sh" "$TALLYFOX_ROOT"/build/package/tallyfox_*.deb
fi
