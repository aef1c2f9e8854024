#!/usr/bin/env bash
# Runs the demo with built programs: a primary and a secondary simulated gateway serve the
# demo plant (demo/plant.scn), and the console host krogw-host with the driver runs
# demo/plant.prj, driven through its commands. Every step is judged by what the host's
# gates and the simulator's records show; exits 0 only when every step was seen.
#   scripts/demo-run.sh BIN_DIR OUT_DIR PRIMARY SECONDARY
# scripts/demo.sh runs it on 127.0.0.1 and 127.0.0.2; the test run on its own loopback block.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=$1
out=$2
primary=$3
secondary=$4
mkdir -p "$out/plant"
cp demo/plant.prj demo/plant.scn "$out/plant/"
sed -e "s/^PRIMARY=.*/PRIMARY=$primary/" -e "s/^SECONDARY=.*/SECONDARY=$secondary/" \
  demo/kroGW01.int >"$out/plant/kroGW01.int"
. tools/console/drive.sh

gwsim_log=$out/gwsim.log
"$bin/krogw-gwsim" --address "$primary" --address "$secondary" --scenario demo/plant.scn \
  --duration 90 >"$gwsim_log" 2>&1 &
gwsim=$!
trap 'kill $gwsim 2>/dev/null || true' EXIT
gwsim_wait "$gwsim_log" "$secondary" 10 || exit 1
host_start "$out/host.out" "$bin/krogw-host" --duration 85 --log "$out/driver.log" --level 32 \
  "$out/plant/plant.prj"

missed=0
seen() {  # seen WHAT EVIDENCE
  printf '%5ds  %-44s %s\n' "$SECONDS" "$1" "$2"
}
missing() {  # missing WHAT
  printf '%5ds  %-44s MISSING\n' "$SECONDS" "$1"
  missed=$((missed + 1))
}
step() {  # step WHAT REGEX SECONDS [MARK]: a line of the host's output
  if host_wait "$2" "$3" "${4:-0}"; then
    seen "$1" "$(tail -n +"$((${4:-0} + 1))" "$host_out" | grep -m1 -E "$2" | sed 's/^ *[0-9.]* //')"
  else
    missing "$1"
  fi
}
# True once a line after MARK of the simulator's log matches, within SECONDS.
gwsim_saw() {  # gwsim_saw REGEX SECONDS MARK
  local end=$((SECONDS + $2))
  until tail -n +"$(($3 + 1))" "$gwsim_log" | grep -qE "$1"; do
    [ "$SECONDS" -le "$end" ] || return 1
    sleep 0.2
  done
}
# Sends the command every two seconds until the host's answer matches, within SECONDS.
retry() {  # retry COMMAND REGEX SECONDS
  local end=$((SECONDS + $3)) mark
  while [ "$SECONDS" -le "$end" ]; do
    mark=$(host_lines)
    host_send "$1"
    host_wait "$2" 2 "$mark" && return 0
  done
  return 1
}
# The values a table gate has received so far, as the host holds them; -1 without an answer.
updates_of() {  # updates_of GATE
  local mark
  mark=$(host_lines)
  host_send "show $1"
  if host_wait "command show $1: " 5 "$mark"; then
    tail -n +"$((mark + 1))" "$host_out" | grep -m1 "command show $1: " |
      sed -nE 's/.* updates ([0-9]+)$/\1/p;t;s/.*/0/p'
  else
    echo -1
  fi
}

echo "=== krogw-host on demo/plant.prj; gateways $primary (primary) and $secondary ==="
step "value by poll (RTU 1, 16-bit)" "gate poll_r1_u16 value 1234 " 15
step "value by poll (RTU 1, 32-bit)" "gate poll_r1_u32 value 305419896 " 5
step "value by poll (RTU 3, scaled 0.1)" "gate poll_r3_u16 value 300 " 5
step "value by burst (RTU 1, time-stamped)" "gate burst_r1_stamped value 500 stamp" 10
step "value by burst (RTU 2, bit)" "gate burst_r2_bit value 1 " 10
mark=$(host_lines)
gwsim_mark=$(wc -l <"$gwsim_log")
host_send "write poll_r1_u16 4321"
step "write accepted" "command write poll_r1_u16 4321: done" 5 "$mark"
if gwsim_saw "gw1 connection [0-9]+ -> send command reply .* result 0 " 5 "$gwsim_mark"; then
  seen "write confirmed by the gateway" "gateway 1 received the write and confirmed it"
else
  missing "write confirmed by the gateway"
fi
step "written value polled back from the RTU" "gate poll_r1_u16 value 4321 " 5 "$mark"
mark=$(host_lines)
host_send "disable 2"
step "RTU 2 disabled" "rtu 1/2 disabled" 5 "$mark"
mark=$(host_lines)
host_send "enable 2"
step "RTU 2 enabled and answering" "rtu 1/2 active" 8 "$mark"
mark=$(host_lines)
step "primary stopped: traffic on gateway 2" "instance 1 gateway 2" 30 "$mark"
# The plant keeps this value, so a value through gateway 2 shows only in the gate's count.
before=$(updates_of poll_r2_u16)
gwsim_mark=$(wc -l <"$gwsim_log")
after=$before
end=$((SECONDS + 10))
while [ "$after" -le "$before" ] && [ "$SECONDS" -le "$end" ]; do
  sleep 1
  after=$(updates_of poll_r2_u16)
done
if [ "$before" -ge 0 ] && [ "$after" -gt "$before" ] &&
  gwsim_saw "gw2 connection [0-9]+ -> poll reply" 1 "$gwsim_mark"; then
  seen "values by poll through gateway 2" "poll_r2_u16 received $((after - before)) more, gateway 2 replied to polls"
else
  missing "values by poll through gateway 2"
fi
mark=$(host_lines)
retry "reconnect 1" "reconnect gateway 1 done" 20 || true
step "primary back and reconnected" "reconnect gateway 1 done" 1 "$mark"
mark=$(host_lines)
retry "switch" "instance 1 gateway 1" 12 || true
step "traffic back on gateway 1" "instance 1 gateway 1" 1 "$mark"

# The values each table gate of the project received, as the host counts them.
received() {  # received PREFIX
  local sum=0 gate count
  for gate in $(awk -v prefix="$1" '$1 == "gate" && index($2, prefix) == 1 && $3 ~ /^[0-9]/ { print $2 }' demo/plant.prj); do
    count=$(updates_of "$gate")
    [ "$count" -ge 0 ] && sum=$((sum + count))
  done
  echo "$sum"
}
by_poll=$(received poll_)
by_burst=$(received burst_)
host_end 20 || missed=$((missed + 1))
closing=$(grep -E "^ *[0-9.]+ end \(" "$host_out" | tail -n 1)
[ -n "$closing" ] || { echo "the host printed no closing line"; missed=$((missed + 1)); }
echo "=== summary ==="
echo "values received by poll:  $by_poll"
echo "values received by burst: $by_burst"
echo "writes confirmed:         $(sed -nE 's/.* writes ([0-9]+) done.*/\1/p' <<<"$closing")"
echo "switch-overs:             $(sed -nE 's/.* ([0-9]+) switch-overs?$/\1/p' <<<"$closing")"
echo "host:                     $(sed -E 's/^ *[0-9.]+ //' <<<"$closing")"
echo "steps missing:            $missed   (output in $out/host.out, driver log in $out/driver.log)"
[ "$missed" -eq 0 ]
