#!/usr/bin/env bash
# Builds Lodvane and runs the whole test suite headless.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${LODVANE_BUILD_DIR:-$top/build}
bash "$top/scripts/build.sh"
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure -j "$(nproc)"
