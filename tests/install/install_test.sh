#!/usr/bin/env bash
# install_test.sh BUILD_DIR SOURCE_DIR: cmake --install into a temporary
# prefix, then use what was installed as a user would.
set -euo pipefail
build=$1
source=$2
prefix=$(mktemp -d)
work=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$prefix" "$work"
}
trap cleanup EXIT
fail() { echo "install test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

# Everything a user finds after installing.
for f in bin/lodvane bin/lodvane-cli bin/lodvane-sim \
         libexec/lodvane/sys/ADSP-BF51x/FlashLoader.ldr libexec/lodvane/sys/ADSP-BF592/FlashLoader.ldr \
         share/applications/lodvane.desktop share/icons/hicolor/48x48/apps/lodvane.png \
         share/icons/hicolor/256x256/apps/lodvane.png share/icons/hicolor/scalable/apps/lodvane.svg \
         share/lodvane/examples/demo-monitor.ldr share/man/man1/lodvane.1 share/man/man1/lodvane-cli.1 \
         share/man/man1/lodvane-sim.1; do
  [ -e "$prefix/$f" ] || fail "missing $f"
done
grep -q '^Exec=lodvane$' "$prefix/share/applications/lodvane.desktop" || fail "desktop entry does not start lodvane"

# Each tool answers --help (listing its options) and --version; the script
# runner's exit statuses are the script tests' concern.
for tool in lodvane-cli lodvane-sim lodvane-script; do
  help=$("$prefix/bin/$tool" --help) || fail "$tool --help failed"
  echo "$help" | grep -q -- '--version' || fail "$tool --help does not list --version"
  "$prefix/bin/$tool" --version | grep -q "^$tool [0-9]" || fail "$tool --version"
done

# The installed programmer finds its installed loader: the installed
# lodvane-cli erases the installed lodvane-sim with its default loader.
"$prefix/bin/lodvane-sim" --flash-size 65536 > "$work/port" 2>/dev/null &
sim_pid=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(head -n 1 "$work/port")
[ -n "$port" ] || fail "the installed lodvane-sim did not start"
"$prefix/bin/lodvane-cli" erase --port "$port" --core bf518 --flash-size 65536 > "$work/erase.log" \
  || { cat "$work/erase.log" >&2; fail "erase through the installed loader failed"; }
grep -q '^FLASH fully erased\.$' "$work/erase.log" || fail "no success line from the installed lodvane-cli"

# The installed window starts (offscreen) and keeps running until stopped.
set +e
timeout -s TERM 3 "$prefix/bin/lodvane" >/dev/null 2>"$work/window.err"
status=$?
set -e
[ "$status" = 124 ] || { cat "$work/window.err" >&2; fail "the installed program exited early ($status)"; }
echo "install test: all checks passed"
