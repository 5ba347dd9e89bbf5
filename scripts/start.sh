#!/usr/bin/env bash
# Builds Lodvane and starts the program.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${LODVANE_BUILD_DIR:-$top/build}
bash "$top/scripts/build.sh"
exec "$build/bin/lodvane" "$@"
