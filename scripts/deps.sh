#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests, the screenshots and the fuzz targets need
# (as root). libusb-1.0 (with pkg-config to find it) is how the USB programmers reach the
# hardware; zlib gives the CRC-32 of images; clang and libclang-rt-14-dev give libFuzzer and the
# sanitizers for scripts/fuzz.sh; g++-mingw-w64-i686 compiles the Windows loader of adapter
# libraries (a test); desktop-file-utils, appstream, man-db, dpkg-dev and file check the
# installation and build the Debian package (scripts/install-check.sh); qttools5-dev-tools and
# qttools5-dev (Qt Linguist: lupdate, lrelease and their CMake package) build the translations and
# check that they are complete.
set -euo pipefail
packages=(cmake g++ make pkg-config libusb-1.0-0-dev zlib1g-dev qtbase5-dev qtbase5-dev-tools libqt5svg5-dev xvfb xauth
    fonts-wqy-zenhei clang libclang-rt-14-dev g++-mingw-w64-i686 desktop-file-utils appstream man-db
    groff-base dpkg-dev file qttools5-dev-tools qttools5-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
