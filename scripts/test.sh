#!/usr/bin/env bash
# Builds Lodvane and runs the whole test suite headless.
#   LODVANE_SANITIZE=1  the same with AddressSanitizer, UndefinedBehaviorSanitizer
#                       and LeakSanitizer, in build-asan/
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
if [ "${LODVANE_SANITIZE:-0}" = 1 ]; then
  export LODVANE_BUILD_DIR=${LODVANE_BUILD_DIR:-$top/build-asan}
  export LODVANE_CMAKE_OPTIONS="-DLODVANE_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug"
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export LSAN_OPTIONS=suppressions=$top/tests/sanitizer/lsan.supp:print_suppressions=0
fi
build=${LODVANE_BUILD_DIR:-$top/build}
bash "$top/scripts/build.sh"
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure -j "$(nproc)"
