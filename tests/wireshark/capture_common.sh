# Shared by the loopback capture tests: capturing with dumpcap, decoding with the
# dissector, and the checks every real capture must pass. Source it; it sets $work.
skip=77

for tool in tshark dumpcap; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is not installed (scripts/install-deps.sh installs tshark)"
    exit $skip
  fi
done

work=$(mktemp -d)
dumpcap_pid=
capture_cleanups=()
cleanup() {
  if [ -n "$dumpcap_pid" ]; then kill "$dumpcap_pid" 2>/dev/null || true; fi
  for command in "${capture_cleanups[@]}"; do eval "$command" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# A refused connection to this address and port, captured as well, marks the end of
# the traffic: once the capture file holds it, every earlier segment is in it too. One to
# the start port marks that the capture is running: dumpcap says "Capturing on" a moment
# before its filter takes the first packet.
marker_address=127.${KROGW_TEST_NET:?run this test through krogw-test-net}.250.1
marker_port=5999
start_marker_port=5998

captured() { [ -n "$(tshark -r "$work/run.pcapng" -Y "tcp.port == $1" 2>/dev/null)" ]; }
knock() { (exec 3<>"/dev/tcp/$marker_address/$1") 2>/dev/null || true; }

# start_capture FILTER: captures port 5001 on the loopback between the given hosts.
start_capture() {
  dumpcap -i lo \
    -f "(tcp port 5001 and ($1)) or (host $marker_address and (tcp port $marker_port or tcp port $start_marker_port))" \
    -w "$work/run.pcapng" 2>"$work/dumpcap.log" &
  dumpcap_pid=$!
  for _ in $(seq 50); do
    if grep -q 'Capturing on' "$work/dumpcap.log"; then
      for _ in $(seq 50); do
        knock $start_marker_port
        captured $start_marker_port && return
        sleep 0.1
      done
      echo "FAILED: dumpcap runs but captures nothing on the loopback"
      exit 1
    fi
    if ! kill -0 "$dumpcap_pid" 2>/dev/null; then
      echo "SKIPPED: dumpcap cannot capture on the loopback here: $(tr '\n' ' ' <"$work/dumpcap.log")"
      exit $skip
    fi
    sleep 0.1
  done
}

stop_capture() {
  knock $marker_port
  for _ in $(seq 100); do
    captured $marker_port && break
    sleep 0.1
  done
  kill "$dumpcap_pid"
  wait "$dumpcap_pid" || true
  dumpcap_pid=
}

count_command() { grep -c -x "$1" <<<"$commands" || true; }

decode() {
  tshark -2 -r "$work/run.pcapng" -X lua_script:"$dissector" -o tcp.analyze_sequence_numbers:FALSE \
    "$@" 2>/dev/null
}

# Fails on a Lua error or on any malformed or unmatched message in the capture.
expect_no_faults() {
  local faults='_ws.lua.error || krogw.expert.short || krogw.expert.too_long ||
    krogw.expert.truncated || krogw.expert.data_length || krogw.expert.unknown_opcode ||
    krogw.expert.unmatched_reply || krogw.expert.section_overrun || krogw.expert.head_mark'
  if [ -n "$(decode -Y "$faults")" ]; then
    echo "FAILED: frames with faults:"
    decode -Y "$faults" -V -O krogw
    exit 1
  fi
}

# Sets polls, replies and bursts: how many of each the dissector found.
count_messages() {
  commands=$(decode -Y krogw -T fields -E occurrence=a -E aggregator=' ' -e krogw.command | tr ' ' '\n')
  polls=$(($(count_command 0x00000101) + $(count_command 0x00000105)))
  replies=$(($(count_command 0x80000101) + $(count_command 0x80000105)))
  bursts=$(count_command 0x00000801)
  echo "$(wc -l <<<"$commands") messages: $polls polls, $replies poll replies, $bursts burst reports"
}
