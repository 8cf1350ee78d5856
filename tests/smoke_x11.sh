#!/usr/bin/env bash
# Starts the real program on a private X server: its window appears with the right client
# size, a second start is refused with a box, a killed instance's lock does not block the
# next start, Esc ends the program, and so does SIGTERM, leaving no lock behind.
set -euo pipefail
program=$1
work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -m 700 "$work/run"
export XDG_RUNTIME_DIR="$work/run"
unset QT_QPA_PLATFORM
# Without -noreset the server resets whenever its last client leaves (after the kill below),
# and a client connecting meanwhile gets "Can't open display".
Xvfb -displayfd 3 -noreset -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
disown
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(cat "$work/display")"

# sed reads to the end: head would leave xdotool to die of SIGPIPE, failing the pipeline.
find_window() { timeout 20 xdotool search --sync --onlyvisible --name "$1" | sed -n 1p; }
client_size() { xwininfo -id "$1" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}'; }
ends_cleanly() { # pid: true when it ends within 10 s with status 0
    for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$1" 2>/dev/null && return 1
    wait "$1"
}

"$program" & first=$!; pids+=($first)
window=$(find_window '^Orvane2012$') || fail "no window titled Orvane2012"
[ "$(client_size "$window")" = "921x599" ] || fail "client size $(client_size "$window")"

"$program" & second=$!; pids+=($second)
box=$(find_window '^Orvane$') || fail "a second start showed no box titled Orvane"
xdotool windowfocus --sync "$box" key Return
ends_cleanly "$second" || fail "the refused second start did not end cleanly"
[ "$(xdotool search --onlyvisible --name '^Orvane2012$' | wc -l)" = 1 ] || fail "window count"

kill -9 "$first"
wait "$first" 2>/dev/null || true
"$program" & third=$!; pids+=($third)
window=$(find_window '^Orvane2012$') || fail "a killed instance's lock blocked the next start"

xdotool windowfocus --sync "$window" key Escape
ends_cleanly "$third" || fail "Esc did not end the program cleanly"

"$program" & fourth=$!; pids+=($fourth)
find_window '^Orvane2012$' >/dev/null || fail "no window after a clean exit"
kill -TERM "$fourth"
ends_cleanly "$fourth" || fail "SIGTERM did not end the program cleanly"
[ -z "$(ls -A "$XDG_RUNTIME_DIR/Orvane")" ] || fail "SIGTERM left $(ls -A "$XDG_RUNTIME_DIR/Orvane")"
echo "smoke_x11: 1 passed, 0 failed"
