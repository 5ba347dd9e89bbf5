#!/usr/bin/env bash
# Builds Lodvane, starts the virtual board (lodvane-sim) on a pseudo-terminal
# and then the program with that port in its list; the board stops when the
# program exits. LODVANE_SIM_OPTIONS adds options for the board (e.g.
# "--core BF592 --baud 115200"); its FLASH persists in build/sim/flash.bin.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${LODVANE_BUILD_DIR:-$top/build}
bash "$top/scripts/build.sh"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<MSG
start: there is no display here (neither DISPLAY nor WAYLAND_DISPLAY is set),
so the Lodvane window cannot open. A headless PROGRAM through a command-line
front end is not available yet. The build is done; on this machine you can
still run the tests (bash scripts/test.sh) or try the virtual board alone:
  $build/bin/lodvane-sim --help
MSG
  exit 1
fi

state="$build/sim"
mkdir -p "$state"
port_file="$state/port.txt"
rm -f "$port_file"
# shellcheck disable=SC2086 # the options are meant to split into words
"$build/bin/lodvane-sim" --link "$state/port" --flash "$state/flash.bin" --trace "$state/trace.log" \
  ${LODVANE_SIM_OPTIONS:-} >"$port_file" 2>"$state/sim.log" &
sim_pid=$!
stop_sim() {
  kill -TERM "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
}
trap stop_sim EXIT

# The board prints its port as its first line; wait for it (at most 5 s).
port=""
for _ in $(seq 50); do
  port=$(head -n 1 "$port_file" 2>/dev/null || true)
  [ -n "$port" ] && break
  if ! kill -0 "$sim_pid" 2>/dev/null; then
    echo "start: the virtual board did not start:" >&2
    cat "$state/sim.log" >&2
    exit 1
  fi
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "start: the virtual board did not report its port" >&2
  exit 1
fi

echo "start: virtual board on $port (log $state/sim.log, trace $state/trace.log)"
echo "start: try Binary $top/examples/demo-monitor.ldr with RAM, FLASH or Ext.FLASH"
export LODVANE_EXTRA_PORTS="$port${LODVANE_EXTRA_PORTS:+:$LODVANE_EXTRA_PORTS}"
status=0
"$build/bin/lodvane" "$@" || status=$?
exit "$status"
