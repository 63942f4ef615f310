#!/usr/bin/env bash
# Installs every Debian package the build, the program and the tests need,
# asking apt only for what is missing. On Debian 12, as root or as a user who
# may use sudo: sudo is asked only when something is missing.
set -euo pipefail
. "$(dirname "$0")/common.sh"

packages=(
    build-essential cmake pkg-config ccache python3 python3-yaml
    juce-modules-source libgtest-dev fonts-quicksand
    # inflating the archives
    libdeflate-dev
    xvfb xauth xdotool imagemagick python3-xlib unzip strace
    # the desktop's own folder chooser, which takes a typed path from the keyboard
    zenity
    # the Windows build and its tests
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    mingw-w64-x86-64-dev libz-mingw-w64-dev googletest
    wine wine64 librsvg2-bin icoutils dpkg-dev xz-utils
    # signing the Windows executable, and the signing test's throwaway certificate
    osslsigncode openssl
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
