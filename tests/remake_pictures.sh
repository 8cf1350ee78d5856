#!/usr/bin/env bash
# Writes the window pictures that tst_window compares against, from the current build.
# Usage: tests/remake_pictures.sh [build dir]
set -euo pipefail
cd "$(dirname "$0")/.."
ORVANE_REMAKE_PICTURES=1 QT_QPA_PLATFORM=offscreen "${1:-build}/tests/tst_window" looksAsDrawn
git status --short tests/pictures
