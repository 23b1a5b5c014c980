#!/usr/bin/env bash
# Installs the Debian packages given as arguments when any of them is missing.
# Sourced by run.sh, test.sh and bench.sh; nothing is ever installed by hand.
set -euo pipefail

# What every build needs, with what the program built needs to run as it should and its tests check:
# the Japanese face its windows are laid out for and the toolkit's Japanese texts (qtbase_ja.qm), which
# the program loads at start for the toolkit's own dialogs.
TALLYFOX_BUILD_PACKAGES=(cmake g++ make pkg-config qt6-base-dev qt6-qpa-plugins libgl-dev libicu-dev
    libgtest-dev libexiv2-dev fonts-ipafont-gothic qt6-translations-l10n)
# What making the Debian package needs beyond the build: dpkg-shlibdeps, which computes the package's
# dependencies, and the file type tool it relies on.
TALLYFOX_PACKAGING_PACKAGES=(dpkg-dev file)
# What a picture of the window on a virtual display needs.
TALLYFOX_SCREENSHOT_PACKAGES=(xvfb xauth x11-utils imagemagick)
# What the tests need beyond the build: the checkers of the installed launcher and of the
# software-centre metadata, the packaging tools, a virtual display with its tools (the window titles on
# X11, the picture of a headless run, and the installed package, whose buttons are pressed and whose
# opened files are watched), a small window manager, for where the window stands from one start to
# the next under a frame, an NTFS driver in user space, whose folders can ignore case as a camera's
# card does, the tools that make FAT and exFAT cards, with the exFAT driver in user space, whose
# names are judged on a card for real, the desktop's own answer to which program opens a folder, and
# the formatter that man reads the manual page with.
TALLYFOX_TEST_PACKAGES=(desktop-file-utils appstream "${TALLYFOX_PACKAGING_PACKAGES[@]}"
    "${TALLYFOX_SCREENSHOT_PACKAGES[@]}" xdotool inotify-tools openbox ntfs-3g dosfstools exfatprogs exfat-fuse
    xdg-utils groff-base)

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
