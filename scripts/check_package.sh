#!/usr/bin/env bash
# Validates what an install puts in place and builds the Debian package from a built tree.
# Usage: scripts/check_package.sh [build dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
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

(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/orvane_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libjpeg62-turbo fonts-wqy-zenhei qt6-translations-l10n; do
    [[ $depends == *"$needed"* ]] || { echo "$deb does not depend on $needed" >&2; exit 1; }
done
contents=$(dpkg-deb -c "$deb")
[[ $contents == *" ./usr/bin/orvane"* ]] || { echo "$deb lacks the program" >&2; exit 1; }
echo "package checks passed: $deb"
