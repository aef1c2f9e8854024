#!/bin/sh
# Builds the native preset and runs the benchmarks: the decoders (elements per second),
# burst reports end to end (values per second, CPU seconds per million values) and
# confirmed writes end to end against the simulated gateway (writes per second, median
# and 99th-percentile latency), the CPU share of an idle instance over 30 s and the
# latency from a poll gate read to its last value stored (median and 99th percentile
# over 2000 polls), and N instances in one krogw-host process against N simulated
# gateways (open and close times, polled and burst values against the plant, memory,
# threads, descriptors and CPU per instance). Extra arguments go to the decoder
# benchmark program (e.g. --benchmark_filter=PollReply16Bit).
#
# The many-instances benchmark runs N=8 only (about 35 s) unless KROGW_MANY_INSTANCES
# holds another filter of its runs: KROGW_MANY_INSTANCES=. runs N=1, 8, 32, 64 and 99
# (several minutes), KROGW_MANY_INSTANCES='instances:(1|32)/' two of them.
set -eu
cd "$(dirname "$0")/.."
cmake --preset native >/dev/null
cmake --build --preset native --target decoder_bench burst_e2e_bench write_bench \
  idle_cost_bench poll_latency_bench many_instances_bench -j2 >/dev/null
build/native/bin/decoder_bench --benchmark_min_time=0.5 "$@"
build/native/bin/burst_e2e_bench
build/native/bin/write_bench 50000
build/native/bin/idle_cost_bench 30
build/native/bin/poll_latency_bench 2000
build/native/bin/many_instances_bench --benchmark_filter="${KROGW_MANY_INSTANCES:-instances:8/}"
