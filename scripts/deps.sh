#!/usr/bin/env bash
# Installs the Debian packages given as arguments when any of them is missing.
# Sourced by run.sh, test.sh and bench.sh; nothing is ever installed by hand.
set -euo pipefail

# What every build needs.
TALLYFOX_BUILD_PACKAGES=(cmake g++ make pkg-config qt6-base-dev qt6-qpa-plugins libgl-dev libicu-dev
    libgtest-dev fonts-ipafont-gothic qt6-translations-l10n)
# What a picture of the window on a virtual display needs.
TALLYFOX_SCREENSHOT_PACKAGES=(xvfb xauth x11-utils imagemagick)
# What the tests need beyond the build: the checker of the installed launcher, and a virtual display
# with its tools, for the window titles on X11 and the picture of a headless run, and a small window
# manager, for where the window stands from one start to the next under a frame.
TALLYFOX_TEST_PACKAGES=(desktop-file-utils openbox "${TALLYFOX_SCREENSHOT_PACKAGES[@]}")

tallyfox_install_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null 2>&1 || {
            echo "missing packages (${missing[*]}) and no root rights to install them" >&2
            return 1
        }
        sudo=(sudo)
    fi
    echo "installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Configures and builds the tree in the given folder with the given build type.
tallyfox_build() {
    local dir=$1 type=$2
    shift 2
    cmake -S "$TALLYFOX_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE="$type" "$@" >/dev/null
    cmake --build "$dir" --parallel "$(nproc)"
}
