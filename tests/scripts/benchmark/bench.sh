#!/usr/bin/env bash
# Times each benchmark program run by lodvane-script, built by gcc -O0, and
# rewritten in Python 3; checks that the three print the same. Not a test.
#   bash tests/scripts/benchmark/bench.sh [build directory]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../../build}
runner=$build/bin/lodvane-script
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seconds() { local s e; s=$(date +%s.%N); "$@" > "$work/out" ; e=$(date +%s.%N); echo "$e - $s" | bc; }
printf '%-10s %12s %12s %12s %10s %10s\n' program script_s gcc_O0_s python3_s script/gcc script/py
for c in "$here"/*.c; do
  name=$(basename "$c" .c)
  gcc -O0 -w -include "$here/../differential/prelude.h" "$c" -o "$work/$name"
  ts=$(seconds "$runner" "$c"); cp "$work/out" "$work/script.out"
  tg=$(seconds "$work/$name"); cmp -s "$work/out" "$work/script.out" || echo "$name: gcc output differs"
  tp=$(seconds python3 "$here/$name.py"); cmp -s "$work/out" "$work/script.out" || echo "$name: python output differs"
  printf '%-10s %12.4f %12.4f %12.4f %10.0f %10.1f\n' "$name" "$ts" "$tg" "$tp" \
    "$(echo "$ts / $tg" | bc -l)" "$(echo "$ts / $tp" | bc -l)"
done
