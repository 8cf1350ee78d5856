#!/usr/bin/env bash
# Shows the built program at work on a private X server and saves two pictures of its window:
# a portrait with a colour cast before and after correction towards the same portrait's own
# skin. The portrait (Eileen Collins, NASA, public domain) comes from Debian's python3-skimage
# package, fetched but not installed.
# Usage: scripts/screenshot.sh [build dir] [output folder]; writes before.png and window.png
set -euo pipefail
build=${1:-build}
out=${2:-docs}
work=$(mktemp -d)
trap 'kill $prog $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT

(cd "$work" && apt-get download -qq python3-skimage 2>/dev/null && dpkg -x python3-skimage_*.deb x)
portrait=$(find "$work/x" -name astronaut.png | head -n 1)
cp "$portrait" "$work/reference.png"
# Poor light: too little red, too much blue.
convert "$portrait" -channel R -evaluate multiply 0.78 -channel B -evaluate multiply 1.15 \
    +channel -quality 92 "$work/target.jpg"

mkdir -m 700 "$work/run"
export XDG_RUNTIME_DIR="$work/run" HOME="$work"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

"$build/src/app/orvane" "$work/target.jpg" &
prog=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Orvane2012$' | sed -n 1p)
eval "$(xwininfo -id "$window" | awk '/Absolute upper-left X/ {print "wx=" $4} /Absolute upper-left Y/ {print "wy=" $4}')"
at() { xdotool mousemove --sync $((wx + $1)) $((wy + $2)); }
click() { at "$1" "$2"; sleep 0.2; xdotool click 1; sleep 0.3; }

click 55 581 # 导入标准照片, then type the path into the dialog
dialog=$(timeout 20 xdotool search --sync --onlyvisible --name '导入|打开|Open|标准' | sed -n 1p || true)
sleep 0.5
xdotool type --delay 5 "$work/reference.png"
xdotool key Return
sleep 1
# The same cheek in both 512 x 512 photos, each centred in its pane.
click 156 160 # the ideal skin, in the reference
click 580 160 # the same skin, in the photo to correct
sleep 0.5
import -window "$window" "$out/before.png"
click 880 429 # 校正
sleep 2
at 600 300
import -window "$window" "$out/window.png"
echo "$out/before.png $out/window.png"
