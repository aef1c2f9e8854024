#!/usr/bin/env bash
# The README's demo, step for step, on this run's loopback block (KROGW_TEST_NET, leased
# by krogw-test-net): the test run fails whenever the demo would.
#   demo_test.sh SOURCE_DIR BIN_DIR OUT_DIR
set -uo pipefail
net=${KROGW_TEST_NET:?run this test through krogw-test-net}
rm -rf "$3"
"$1/scripts/demo-run.sh" "$2" "$3" "127.$net.160.1" "127.$net.160.2"
status=$?
if [ "$status" -ne 0 ]; then
  echo "--- host output"; cat "$3/host.out" "$3/host.out.err"
fi
exit "$status"
