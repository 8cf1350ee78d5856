#!/usr/bin/env bash
# Validates what an install puts in place and builds the Debian package from a built tree.
# Usage: scripts/check_package.sh [build dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
# The strictest umask a builder may have: what is installed and packaged must not depend on it.
umask 077
id=io.github.orvane.Orvane
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

desktop-file-validate "resources/$id.desktop"
appstreamcli validate --no-net "resources/$id.metainfo.xml"

DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null
expected=(
    usr/bin/orvane
    "usr/share/applications/$id.desktop"
    "usr/share/metainfo/$id.metainfo.xml"
    "usr/share/icons/hicolor/scalable/apps/$id.svg"
    usr/share/man/man1/orvane.1.gz
)
for size in 16 22 24 32 48 64 128 256; do
    expected+=("usr/share/icons/hicolor/${size}x$size/apps/$id.png")
done
for file in "${expected[@]}"; do
    [ -s "$stage/$file" ] || { echo "not installed: $file" >&2; exit 1; }
done
[ -x "$stage/usr/bin/orvane" ] || { echo "not executable: usr/bin/orvane" >&2; exit 1; }
desktop-file-validate "$stage/usr/share/applications/$id.desktop"

# A staging folder left by an earlier run would keep its modes.
rm -rf "$build/_CPack_Packages"
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/orvane_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libjpeg62-turbo libheif1 libopencv-objdetect406 opencv-data \
    qt6-image-formats-plugins fonts-wqy-zenhei \
    qt6-translations-l10n; do
    [[ $depends == *"$needed"* ]] || { echo "$deb does not depend on $needed" >&2; exit 1; }
done
contents=$(dpkg-deb -c "$deb")
[[ $contents == *" ./usr/bin/orvane"* ]] || { echo "$deb lacks the program" >&2; exit 1; }
# Whatever the builder's umask: folders 0755, files 0644, the program 0755, all root's.
odd=$(dpkg-deb -c "$deb" | awk '$2 != "root/root" ||
    ($1 ~ /^d/ && $1 != "drwxr-xr-x") ||
    ($1 ~ /^-/ && $1 != "-rw-r--r--" && !($1 == "-rwxr-xr-x" && $6 == "./usr/bin/orvane"))')
[ -z "$odd" ] || { echo "$deb has entries with unexpected owners or modes:" >&2; echo "$odd" >&2; exit 1; }
echo "package checks passed: $deb"
