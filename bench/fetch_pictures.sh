#!/bin/bash
# Fetches the public-domain test pictures from Debian's packages into a cache folder (never the
# repository) and prints that folder. Usage: fetch_pictures.sh
set -euo pipefail
cache="${XDG_CACHE_HOME:-$HOME/.cache}/orvane-bench-pictures"
mkdir -p "$cache"
if [ ! -f "$cache/astronaut.png" ] || [ ! -f "$cache/grace_hopper.jpg" ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    (cd "$work" && apt-get download python3-skimage python-matplotlib-data >/dev/null 2>&1)
    for deb in "$work"/*.deb; do dpkg -x "$deb" "$work/x"; done
    skimage="$work/x/usr/lib/python3/dist-packages/skimage/data"
    cp "$skimage"/{astronaut.png,coffee.png,rocket.jpg,color.png,chessboard_RGB.png} "$cache/"
    cp "$work/x/usr/share/matplotlib/mpl-data/sample_data/grace_hopper.jpg" "$cache/"
fi
echo "$cache"
