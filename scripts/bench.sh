#!/bin/sh
# Builds the native preset and runs the benchmarks: the decoders (elements per second)
# and the burst reports end to end (values per second, CPU seconds per million values).
# Extra arguments go to the decoder benchmarks (e.g. --benchmark_filter=PollReply16Bit).
set -eu
cd "$(dirname "$0")/.."
cmake --preset native >/dev/null
cmake --build --preset native --target decoder_bench burst_e2e_bench -j2 >/dev/null
build/native/bin/decoder_bench --benchmark_min_time=0.5 "$@"
build/native/bin/burst_e2e_bench
