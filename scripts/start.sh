#!/usr/bin/env bash
# Builds Lodvane, starts the virtual board (lodvane-sim) on a pseudo-terminal
# and then the program with that port in its list; the board stops when the
# program exits. LODVANE_SIM_OPTIONS adds options for the board (e.g.
# "--core BF592 --baud 115200"); its FLASH persists in build/sim/flash.bin.
# The program runs in a work folder outside the checkout (LODVANE_WORK_DIR,
# default ~/lodvane-work), where files from the board land and where a copy
# of examples/eeprom.c waits to be run (Save rewrites the script it runs).
#
# Without a display the same PROGRAM runs headless through lodvane-cli:
#   start.sh [program|ram|verify|erase|inspect] [FILE] [more lodvane-cli options]
# (default: program examples/demo-monitor.ldr to FLASH), printing the LOG.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${LODVANE_BUILD_DIR:-$top/build}
bash "$top/scripts/build.sh"
build=$(cd "$build" && pwd)

headless=0
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  headless=1
fi

state="$build/sim"
mkdir -p "$state"
port_file="$state/port.txt"
rm -f "$port_file"
# shellcheck disable=SC2086 # the options are meant to split into words
"$build/bin/lodvane-sim" --boot-flash --link "$state/port" --flash "$state/flash.bin" --trace "$state/trace.log" \
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

core=$(sed -n 's/^lodvane-sim: \(ADSP-[^ ]*\) with .*/\1/p' "$state/sim.log" | head -n 1)
echo "start: virtual board ($core) on $port (log $state/sim.log, trace $state/trace.log)"

if [ "$headless" -eq 1 ]; then
  command=${1:-program}
  [ $# -gt 0 ] && shift
  file_args=()
  if [ "$command" != erase ]; then
    # The file is optional: without one (or when options follow at once)
    # the demo image is the binary.
    if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then
      file_args=("$1")
      shift
    else
      file_args=("$top/examples/demo-monitor.ldr")
    fi
  fi
  echo "start: no display here; running: lodvane-cli $command ${file_args[*]} --port $port $*"
  status=0
  "$build/bin/lodvane-cli" "$command" "${file_args[@]}" --port "$port" "$@" || status=$?
  echo "start: lodvane-cli exited with $status"
  exit "$status"
fi

work=${LODVANE_WORK_DIR:-$HOME/lodvane-work}
mkdir -p "$work"
# A copy that is already there holds the user's saved values: kept.
[ -e "$work/eeprom.c" ] || cp "$top/examples/eeprom.c" "$work/eeprom.c"
echo "start: work folder $work (files from the board land here; Script runs its eeprom.c)"
echo "start: choose Core $core, then Binary $top/examples/demo-monitor.ldr with RAM, FLASH or Ext.FLASH"
cd "$work"
export LODVANE_EXTRA_PORTS="$port${LODVANE_EXTRA_PORTS:+:$LODVANE_EXTRA_PORTS}"
status=0
"$build/bin/lodvane" "$@" || status=$?
exit "$status"
