#!/usr/bin/env bash
# Configures and builds Lodvane into build/ (or $LODVANE_BUILD_DIR).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${LODVANE_BUILD_DIR:-$top/build}
bash "$top/scripts/setup.sh"
cmake -S "$top" -B "$build" -DLODVANE_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc)"
