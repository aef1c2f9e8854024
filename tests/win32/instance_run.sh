#!/usr/bin/env bash
# Runs the Windows instance test program against two native gateway simulators, each a
# primary and a secondary on loopback, and stops them however the run ends. The
# addresses are in the loopback block krogw-test-net leased for this run
# (KROGW_TEST_NET), which the program reads as well.
#
#   instance_run.sh SIMULATOR SCENARIO_DIR PROGRAM [LOADER ...]
#
# Without a simulator (the Windows build configured without KROGW_NATIVE_GWSIM) the
# test is skipped with the reason.
set -uo pipefail
simulator=$1
scenarios=$2
program=$3
shift 3
skip=77

if [ -z "$simulator" ]; then
  echo "SKIPPED: no native gateway simulator; configure this build with" \
    "-DKROGW_NATIVE_GWSIM=<native build>/bin/krogw-gwsim (scripts/test.sh does)"
  exit $skip
fi
if [ ! -x "$simulator" ]; then
  echo "FAILED: the native gateway simulator $simulator is not built" \
    "(cmake --preset native && cmake --build --preset native --target krogw-gwsim)"
  exit 1
fi

net=${KROGW_TEST_NET:?run this test through krogw-test-net}
work=$(mktemp -d)
simulators=()
cleanup() {
  for pid in "${simulators[@]}"; do
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT

serve() {
  local pair=$1 primary=$2 secondary=$3
  "$simulator" --address "$primary" --address "$secondary" --scenario "$scenarios/$pair.scn" \
    --duration 100 >"$work/$pair.log" 2>&1 &
  simulators+=($!)
}
show_logs() {
  for log in "$work"/pair_*.log; do
    echo "--- last lines of the simulator log $(basename "$log")"
    tail -n 25 "$log"
  done
}

serve pair_a "127.$net.130.1" "127.$net.130.2"
serve pair_b "127.$net.130.3" "127.$net.130.4"
listening() { cat "$work"/pair_*.log | grep -c 'listening on'; }
for _ in $(seq 100); do
  [ "$(listening)" -eq 4 ] && break
  sleep 0.1
done
if [ "$(listening)" -ne 4 ]; then
  echo "FAILED: the simulators do not listen on 127.$net.130.1 to 127.$net.130.4"
  show_logs
  exit 1
fi

(cd "$work" && "$@" "$program")
status=$?
# Close and the end of the clients release the channels of all four gateways.
for pair in pair_a pair_b; do
  for gateway in gw1 gw2; do
    if ! grep -q "^[0-9:.]* $gateway connection [0-9]* <- close channel" "$work/$pair.log"; then
      echo "FAILED: $gateway of $pair was never asked to close its channel"
      status=1
    fi
  done
done
[ "$status" -eq 0 ] || show_logs
exit "$status"
