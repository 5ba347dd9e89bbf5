# Sourced by the install and package tests: erase_virtual_board BIN WORK
# starts BIN/lodvane-sim and erases it through BIN/lodvane-cli with its
# default loader, which must then have been found beside the installed
# program. The caller's EXIT trap runs stop_virtual_board.
sim_pid=
stop_virtual_board() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  sim_pid=
}
erase_virtual_board() {
  local bin=$1 work=$2 port=
  "$bin/lodvane-sim" --flash-size 65536 > "$work/port" 2>/dev/null &
  sim_pid=$!
  for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
  port=$(head -n 1 "$work/port")
  [ -n "$port" ] || fail "the installed lodvane-sim did not start"
  "$bin/lodvane-cli" erase --port "$port" --core bf518 --flash-size 65536 > "$work/erase.log" \
    || { cat "$work/erase.log" >&2; fail "erase through the installed loader failed"; }
  grep -q '^FLASH fully erased\.$' "$work/erase.log" || fail "no success line from the installed lodvane-cli"
  stop_virtual_board
}
