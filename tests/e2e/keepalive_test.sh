#!/bin/sh
# Runs the keepalive test in a network namespace of its own, where taking loopback down
# touches nothing else. Where the machine allows none, says so and counts as skipped.
test_binary=$1
if ! unshare -rn true 2>/dev/null; then
  echo "keepalive_test: skipped, this machine does not allow a network namespace (unshare -rn)"
  exit 77
fi
if ! command -v ip >/dev/null 2>&1; then
  echo "keepalive_test: skipped, the ip command (iproute2) is missing"
  exit 77
fi
KROGW_OWN_NETWORK_NAMESPACE=1 exec unshare -rn sh -c 'ip link set lo up && exec "$0"' "$test_binary"
