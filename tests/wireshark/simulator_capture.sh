#!/usr/bin/env bash
# Captures the simulator's data tests on the loopback with dumpcap and decodes the capture
# with the dissector: real segmentation, polls of both forms, writes, set-time, SetCall and
# burst reports. No Lua error and no malformed message; every poll answered, every reply
# matched to its request.
set -euo pipefail

gwsim_test=$1
dissector=$2
skip=77
# The data tests that send only well-formed requests; their gateways' addresses.
tests='GwsimData.*:-GwsimData.WritesThatDoNotFit*'
addresses='net 127.0.50.16/28 or net 127.0.80.0/30'

for tool in tshark dumpcap; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is not installed (scripts/install-deps.sh installs tshark)"
    exit $skip
  fi
done

work=$(mktemp -d)
dumpcap_pid=
cleanup() {
  [ -n "$dumpcap_pid" ] && kill "$dumpcap_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

dumpcap -i lo -f "tcp port 5001 and ($addresses)" -w "$work/run.pcapng" 2>"$work/dumpcap.log" &
dumpcap_pid=$!
for _ in $(seq 50); do
  grep -q 'Capturing on' "$work/dumpcap.log" && break
  if ! kill -0 "$dumpcap_pid" 2>/dev/null; then
    echo "SKIPPED: dumpcap cannot capture on the loopback here: $(tr '\n' ' ' <"$work/dumpcap.log")"
    exit $skip
  fi
  sleep 0.1
done

"$gwsim_test" --gtest_filter="$tests" >"$work/gwsim_test.log" || {
  cat "$work/gwsim_test.log"
  exit 1
}
sleep 0.5  # the last segments reach the capture file
kill "$dumpcap_pid"
wait "$dumpcap_pid" || true
dumpcap_pid=

decode() {
  tshark -2 -r "$work/run.pcapng" -X lua_script:"$dissector" -o tcp.analyze_sequence_numbers:FALSE \
    "$@" 2>/dev/null
}

faults='_ws.lua.error || krogw.expert.short || krogw.expert.too_long || krogw.expert.truncated ||
        krogw.expert.data_length || krogw.expert.unknown_opcode || krogw.expert.unmatched_reply ||
        krogw.expert.section_overrun || krogw.expert.head_mark'
if [ -n "$(decode -Y "$faults")" ]; then
  echo "FAILED: frames with faults:"
  decode -Y "$faults" -V -O krogw
  exit 1
fi

commands=$(decode -Y krogw -T fields -E occurrence=a -E aggregator=' ' -e krogw.command | tr ' ' '\n')
count() { grep -c -x "$1" <<<"$commands" || true; }
polls=$(($(count 0x00000101) + $(count 0x00000105)))
replies=$(($(count 0x80000101) + $(count 0x80000105)))
bursts=$(count 0x00000801)
echo "$(wc -l <<<"$commands") messages: $polls polls, $replies poll replies, $bursts burst reports"
if [ "$polls" -eq 0 ] || [ "$polls" -ne "$replies" ] || [ "$bursts" -eq 0 ]; then
  echo "FAILED: expected as many poll replies as polls, and burst reports"
  exit 1
fi
