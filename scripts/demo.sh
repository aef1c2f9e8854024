#!/usr/bin/env bash
# The demo: builds what is missing, starts a primary and a secondary simulated gateway
# (127.0.0.1 and 127.0.0.2) serving the demo plant (demo/plant.scn), runs the console
# host krogw-host with the driver on demo/plant.prj and drives it through its commands:
# values by poll and by burst, a write, an RTU disabled and enabled, the primary stopped
# (traffic moves to the secondary) and brought back. Exits 0 only when every step was seen.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
[ -f build/native/build.ninja ] || cmake --preset native >/dev/null
cmake --build --preset native --target krogw krogw-gwsim krogw-host -j "$(nproc)" >/dev/null

bin=build/native/bin
out=build/demo
mkdir -p "$out"
. tools/console/drive.sh

"$bin/krogw-gwsim" --address 127.0.0.1 --address 127.0.0.2 --scenario demo/plant.scn \
  --duration 90 >"$out/gwsim.log" 2>&1 &
gwsim=$!
trap 'kill $gwsim 2>/dev/null || true' EXIT
gwsim_wait "$out/gwsim.log" 127.0.0.2 10 || exit 1
host_start "$out/host.out" "$bin/krogw-host" --duration 85 --log "$out/driver.log" --level 32 \
  demo/plant.prj

missed=0
step() {  # step WHAT REGEX SECONDS [MARK]
  if host_wait "$2" "$3" "${4:-0}"; then
    printf '%5ds  %-44s %s\n' "$SECONDS" "$1" "$(tail -n +"$((${4:-0} + 1))" "$host_out" |
      grep -m1 -E "$2" | sed 's/^ *[0-9.]* //')"
  else
    printf '%5ds  %-44s MISSING\n' "$SECONDS" "$1"
    missed=$((missed + 1))
  fi
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

echo "=== krogw-host on demo/plant.prj; gateways 127.0.0.1 (primary) and 127.0.0.2 ==="
step "value by poll (RTU 1, 16-bit)" "gate poll_r1_u16 value 1234 " 15
step "value by poll (RTU 1, 32-bit)" "gate poll_r1_u32 value 305419896 " 5
step "value by poll (RTU 3, scaled 0.1)" "gate poll_r3_u16 value 300 " 5
step "value by burst (RTU 1, time-stamped)" "gate burst_r1_stamped value 500 stamp" 10
step "value by burst (RTU 2, bit)" "gate burst_r2_bit value 1 " 10
mark=$(host_lines)
host_send "write poll_r1_u16 4321"
step "write accepted" "command write poll_r1_u16 4321: done" 5 "$mark"
step "written value polled back from the RTU" "gate poll_r1_u16 value 4321 " 5 "$mark"
mark=$(host_lines)
host_send "disable 2"
step "RTU 2 disabled" "rtu 1/2 disabled" 5 "$mark"
mark=$(host_lines)
host_send "enable 2"
step "RTU 2 enabled and answering" "rtu 1/2 active" 8 "$mark"
mark=$(host_lines)
step "primary stopped: traffic on gateway 2" "instance 1 gateway 2" 30 "$mark"
mark=$(host_lines)
step "values by poll through gateway 2" "gate poll_r2_u16 value 2000 " 10 "$mark"
mark=$(host_lines)
retry "reconnect 1" "reconnect gateway 1 done" 20 || true
step "primary back and reconnected" "reconnect gateway 1 done" 1 "$mark"
mark=$(host_lines)
retry "switch" "instance 1 gateway 1" 12 || true
step "traffic back on gateway 1" "instance 1 gateway 1" 1 "$mark"
host_end 20 || missed=$((missed + 1))

updates() {  # the latest update counts of the gates matching the prefix, summed
  grep -E "gate $1[a-z0-9_]* value .* updates" "$host_out" |
    awk '{ last[$3] = $NF } END { for (g in last) sum += last[g]; print sum + 0 }'
}
echo "=== summary ==="
echo "values received by poll:  $(updates poll_)"
echo "values received by burst: $(updates burst_)"
echo "writes confirmed:         $(grep -c "command write .*: done" "$host_out")"
echo "switch-overs:             $(grep -cE "instance 1 gateway [12]$" "$host_out" | awk '{ print $1 - 1 }')"
echo "steps missing:            $missed   (output in $out/host.out, driver log in $out/driver.log)"
[ "$missed" -eq 0 ]
