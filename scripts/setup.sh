#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Orvane need; with --fuzz,
# also what the fuzz target needs.
# Idempotent and quiet when everything is already there.
set -euo pipefail

# qt6-l10n-tools has lupdate and lrelease; qt6-tools-dev, CMake's way to them.
packages=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-translations-l10n qt6-l10n-tools qt6-tools-dev libgl-dev
    libjpeg62-turbo-dev libexiv2-dev zlib1g-dev libheif-dev qt6-image-formats-plugins
    libopencv-objdetect-dev opencv-data
    fonts-wqy-zenhei fonts-arphic-ukai fonts-arphic-uming
    xvfb xauth xdotool x11-utils imagemagick libheif-examples
    desktop-file-utils appstream dpkg-dev
)
# CI also builds the fuzz targets, which need clang and its libFuzzer, and seeds them with python3.
if [ "${1:-}" = --fuzz ]; then
    packages+=(clang libclang-rt-dev python3)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
