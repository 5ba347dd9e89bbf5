#!/usr/bin/env bash
# Times each benchmark program run by lodvane-script, built by gcc -O0, and
# rewritten in Python 3; checks that the three print the same. Not a test.
#   bash tests/scripts/benchmark/bench.sh [build directory]
#   RUNS=N     best of N runs of each (default 3)
#   PYTHON=p   the Python to time (default: the interpreter python3 starts, so
#              that a launcher script in front of it, such as a pyenv shim,
#              is not timed with it)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../../build}" && pwd)
runner=$build/bin/lodvane-script
runs=${RUNS:-3}
python=${PYTHON:-$(python3 -c 'import sys; print(sys.executable)')}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$here" # a script finds its #include files from the folder it runs in
once() { local s e; s=$(date +%s.%N); "$@" > "$work/out"; e=$(date +%s.%N); echo "$e - $s" | bc; }
best() {
  local t b=
  for _ in $(seq "$runs"); do
    t=$(once "$@")
    if [ -z "$b" ] || [ "$(echo "$t < $b" | bc)" = 1 ]; then b=$t; fi
  done
  echo "$b"
}
printf '%-13s %10s %10s %10s %10s %10s\n' program script_s gcc_O0_s python3_s script/gcc script/py
for c in "$here"/*.c; do
  name=$(basename "$c" .c)
  gcc -O0 -w -include "$here/../differential/prelude.h" "$c" -o "$work/$name"
  ts=$(best "$runner" "$c"); cp "$work/out" "$work/script.out"
  tg=$(best "$work/$name"); cmp -s "$work/out" "$work/script.out" || echo "$name: gcc output differs"
  tp=$(best "$python" "$here/$name.py"); cmp -s "$work/out" "$work/script.out" || echo "$name: python output differs"
  printf '%-13s %10.4f %10.4f %10.4f %10.0f %10.2f\n' "$name" "$ts" "$tg" "$tp" \
    "$(echo "$ts / $tg" | bc -l)" "$(echo "$ts / $tp" | bc -l)"
done
