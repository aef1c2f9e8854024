#!/usr/bin/env bash
# Captures the simulator's data tests on the loopback with dumpcap and decodes the capture
# with the dissector: real segmentation, polls of both forms, writes, set-time, SetCall and
# burst reports. No Lua error and no malformed message; every poll answered, every reply
# matched to its request.
set -euo pipefail

gwsim_test=$1
dissector=$2
# The data tests that send only well-formed requests; their gateways' addresses, in the
# loopback block krogw-test-net leased for this run and gwsim_test takes from it.
tests='GwsimData.*:-GwsimData.WritesThatDoNotFit*'
net=${KROGW_TEST_NET:?run this test through krogw-test-net}
source "$(dirname "$0")/capture_common.sh"

start_capture "net 127.$net.50.16/28 or net 127.$net.80.0/30"
"$gwsim_test" --gtest_filter="$tests" >"$work/gwsim_test.log" || {
  cat "$work/gwsim_test.log"
  exit 1
}
stop_capture
expect_no_faults
count_messages
if [ "$polls" -eq 0 ] || [ "$polls" -ne "$replies" ] || [ "$bursts" -eq 0 ]; then
  echo "FAILED: expected as many poll replies as polls, and burst reports"
  exit 1
fi
