#!/usr/bin/env bash
# The demo: builds the driver and its tools, starts the gateway simulator with the sample
# scenario on 127.0.0.1:5001, runs the console host with the driver, and checks the sample
# configuration and gate addresses the way the driver reads them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc)" >/dev/null

bin=build/native/bin
echo "=== gateway simulator (127.0.0.1:5001, sample scenario) ==="
"$bin/krogw-gwsim" --address 127.0.0.1 --scenario tools/gwsim/samples/three_rtus.scn \
  --duration 5 &
gwsim=$!
trap 'kill $gwsim 2>/dev/null || true' EXIT
sleep 1

echo "=== console host ==="
(cd "$bin" && ./krogw-console ./libkrogw.so "$@")

echo "=== configuration check (tools/check/samples) ==="
"$bin/krogw-check" tools/check/samples/kroGW01.int tools/check/samples/addresses.txt || true

wait "$gwsim" || true
