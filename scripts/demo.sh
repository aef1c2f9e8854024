#!/usr/bin/env bash
# The demo: builds what is missing, starts a primary and a secondary simulated gateway
# (127.0.0.1 and 127.0.0.2) serving the demo plant (demo/plant.scn), runs the console
# host krogw-host with the driver on demo/plant.prj and drives it through its commands
# (scripts/demo-run.sh): values by poll and by burst, a write, an RTU disabled and
# enabled, the primary stopped (traffic moves to the secondary) and brought back. Exits 0
# only when every step was seen.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
[ -f build/native/build.ninja ] || cmake --preset native >/dev/null
cmake --build --preset native --target krogw krogw-gwsim krogw-host -j "$(nproc)" >/dev/null

exec scripts/demo-run.sh build/native/bin build/demo 127.0.0.1 127.0.0.2
