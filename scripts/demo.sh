#!/usr/bin/env bash
# The demo: builds the driver and its tools, then runs the console host with the driver.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc)" >/dev/null
cd build/native/bin
exec ./krogw-console ./libkrogw.so "$@"
