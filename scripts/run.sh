#!/usr/bin/env bash
# Sets up, builds and starts Orvane.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh >/dev/null
exec "${ORVANE_BUILD_DIR:-build}/src/app/orvane"
