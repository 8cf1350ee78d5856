#!/usr/bin/env bash
# Runs tst_hidpi on a private X server at 100 %, 150 % and 200 %: the pointer is moved to exact
# screen pixels, as a user's would be, and the readout and the pick must follow it.
set -euo pipefail
test_program=$1
work=$(mktemp -d)
xvfb=
cleanup() {
    [ -n "$xvfb" ] && kill -9 "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -m 700 "$work/run" "$work/config"
export XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb
# Room for the window at twice its size.
Xvfb -displayfd 3 -screen 0 2000x1300x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(cat "$work/display")"

status=0
for scale in 1 1.5 2; do
    echo "QT_SCALE_FACTOR=$scale"
    QT_SCALE_FACTOR=$scale "$test_program" || status=1
done
exit $status
