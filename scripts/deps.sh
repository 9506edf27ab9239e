#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the screenshots need (as root).
set -euo pipefail
packages=(cmake g++ make qtbase5-dev qtbase5-dev-tools libqt5svg5-dev xvfb xauth fonts-wqy-zenhei)
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
