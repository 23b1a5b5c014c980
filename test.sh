#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through ctest.
set -euo pipefail
TALLYFOX_ROOT=$(cd "$(dirname "$0")" && pwd)
source "$TALLYFOX_ROOT/scripts/deps.sh"

tallyfox_install_packages "${TALLYFOX_BUILD_PACKAGES[@]}" "${TALLYFOX_TEST_PACKAGES[@]}"
tallyfox_build "$TALLYFOX_ROOT/build/test" Debug -DTALLYFOX_WERROR=ON
cd "$TALLYFOX_ROOT/build/test"
ctest --output-on-failure --parallel "$(nproc)" "$@"
