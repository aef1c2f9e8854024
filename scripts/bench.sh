#!/bin/sh
# Builds the native preset and runs the decoder benchmarks; prints elements per second.
# Extra arguments go to the benchmark program (e.g. --benchmark_filter=PollReply16Bit).
set -eu
cd "$(dirname "$0")/.."
cmake --preset native >/dev/null
cmake --build --preset native --target decoder_bench -j2 >/dev/null
exec build/native/bin/decoder_bench --benchmark_min_time=0.5 "$@"
