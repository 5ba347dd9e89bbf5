#!/usr/bin/env bash
# Configures and builds Lodvane into build/ (or $LODVANE_BUILD_DIR), with
# extra CMake options from $LODVANE_CMAKE_OPTIONS.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${LODVANE_BUILD_DIR:-$top/build}
bash "$top/scripts/setup.sh"
# shellcheck disable=SC2086 # the options are meant to split into words
cmake -S "$top" -B "$build" -DLODVANE_WERROR=ON ${LODVANE_CMAKE_OPTIONS:-} >/dev/null
cmake --build "$build" -j "$(nproc)"
