#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each for
# a fixed time on its committed corpus (tests/fuzz/corpus/NAME) plus what it
# finds on the way (build-fuzz/corpus/NAME).
#   bash scripts/fuzz.sh [SECONDS] [TARGET...]     default 60 seconds, all targets
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${LODVANE_FUZZ_BUILD_DIR:-$top/build-fuzz}
# Absolute: the engine target runs each script in a folder of its own, and
# libFuzzer writes a crashing input relative to the folder it is in then.
mkdir -p "$build"
build=$(cd "$build" && pwd)
seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(bootstream xmodem_rx handshake engine state_loader)
fi

bash "$top/scripts/setup.sh"
cmake -S "$top" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLODVANE_FUZZ=ON -DLODVANE_WERROR=ON >/dev/null
for t in "${targets[@]}"; do
  cmake --build "$build" -j "$(nproc)" --target "fuzz_$t"
done

# UndefinedBehaviorSanitizer findings count as crashes, as leaks do.
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export LSAN_OPTIONS=suppressions=$top/tests/sanitizer/lsan.supp:print_suppressions=0
# The engine target's scripts write below here and nowhere else.
export TMPDIR="$build/tmp"
rm -rf "$TMPDIR"
mkdir -p "$build/artifacts" "$TMPDIR"
status=0
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t"
  seeds=("$top/tests/fuzz/corpus/$t")
  # The engine also starts from the project's own script tests, read in place.
  if [ "$t" = engine ]; then
    seeds+=("$top/tests/scripts" "$top/tests/scripts/differential")
  fi
  echo "fuzz: $t for ${seconds}s"
  if ! "$build/bin/fuzz_$t" "$build/corpus/$t" "${seeds[@]}" \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/$t-" 2>"$build/fuzz-$t.log"; then
    echo "fuzz: $t FAILED; see $build/fuzz-$t.log and $build/artifacts/" >&2
    tail -n 40 "$build/fuzz-$t.log" >&2
    status=1
  else
    grep -E '^stat::(number_of_executed_units|peak_rss_mb)|cov: ' "$build/fuzz-$t.log" | tail -n 3
  fi
done
rm -rf "$TMPDIR"
exit "$status"
