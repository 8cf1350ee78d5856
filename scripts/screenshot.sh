#!/usr/bin/env bash
# Starts the built program on a private X server and saves a picture of its window.
# Usage: scripts/screenshot.sh [build dir] [output.png]
set -euo pipefail
build=${1:-build}
out=${2:-docs/window.png}
work=$(mktemp -d)
trap 'kill $prog $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT

mkdir -m 700 "$work/run"
export XDG_RUNTIME_DIR="$work/run"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

"$build/src/app/orvane" &
prog=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Orvane2012$' | head -n 1)
sleep 1 # let the first paint finish
mkdir -p "$(dirname "$out")"
import -window "$window" "$out"
echo "$out"
