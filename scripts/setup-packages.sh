#!/usr/bin/env bash
# Installs the Debian packages that building and testing Postlint need, when they are missing.
# Usage: scripts/setup-packages.sh [extra-package ...]
set -euo pipefail

# libqt6svg6: Qt's SVG plugins, which draw the program's icon.
packages=(cmake g++ make pkg-config qt6-base-dev libqt6svg6 libxml2-dev libicu-dev libgl-dev "$@")
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    sudo=()
else
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
