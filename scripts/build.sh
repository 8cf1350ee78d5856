#!/usr/bin/env bash
# Installs what is missing, then configures and builds. Settings through the environment:
#   ORVANE_BUILD_DIR (default build), ORVANE_CMAKE_ARGS (extra cmake arguments).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build=${ORVANE_BUILD_DIR:-build}
# shellcheck disable=SC2086
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release ${ORVANE_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j2
