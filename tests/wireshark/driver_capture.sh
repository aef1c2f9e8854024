#!/usr/bin/env bash
# A real run captured on the loopback: the console host with the driver polls the demo
# plant on two simulated gateways, writes a value, and takes burst reports. The dissector
# must find no malformed message, exactly the polls and poll replies that the simulator
# logged, and the polled values decoded with the plant's configuration file.
set -euo pipefail

simulator=$1
console_host=$2
driver=$3
plant_dir=$4
dissector=$5
# The loopback block krogw-test-net leased for this run.
net=${KROGW_TEST_NET:?run this test through krogw-test-net}
primary=127.$net.170.1
secondary=127.$net.170.2
source "$(dirname "$0")/capture_common.sh"
source "$(dirname "$0")/../../tools/console/drive.sh"

plant=$work/plant
cp -r "$plant_dir" "$plant"
sed -i -e "s/^PRIMARY=.*/PRIMARY=$primary/" -e "s/^SECONDARY=.*/SECONDARY=$secondary/" \
  "$plant/kroGW01.int"
sed -i -e 's/^scan .*/scan 100/' "$plant/plant.prj"

start_capture "host $primary or host $secondary"
"$simulator" --address "$primary" --address "$secondary" --scenario "$plant/plant.scn" \
  --duration 60 >"$work/gwsim.log" 2>&1 &
simulator_pid=$!
capture_cleanups+=("kill $simulator_pid 2>/dev/null")
gwsim_wait "$work/gwsim.log" "$secondary" 10 || exit 1

host_start "$work/host.log" timeout 60 "$console_host" --driver "$driver" --duration 5 \
  "$plant/plant.prj"
capture_cleanups+=("kill $host_pid")
# The write goes once the gate's first polled value has come: the driver is connected.
host_wait "gate poll_r1_u16 value " 20 ||
  { cat "$work/host.log" "$work/host.log.err"; echo "FAILED: no polled value"; exit 1; }
host_send "write poll_r1_u16 4321"
exec {host_in}>&-
wait "$host_pid" || { cat "$work/host.log" "$work/host.log.err"; echo "FAILED: the console host"; exit 1; }
kill -TERM "$simulator_pid"
wait "$simulator_pid" || true
stop_capture

expect_no_faults
count_messages
logged() { grep -c -E "$1" "$work/gwsim.log" || true; }
simulator_polls=$(logged ' <- poll (row-list )?\(')
simulator_replies=$(logged ' -> poll (row-list )?reply')
echo "the simulator logged $simulator_polls polls and $simulator_replies poll replies"
if [ "$polls" -lt 10 ] || [ "$polls" -ne "$simulator_polls" ] ||
   [ "$replies" -ne "$simulator_replies" ] || [ "$bursts" -eq 0 ]; then
  echo "FAILED: the capture and the simulator disagree, or too little traffic"
  exit 1
fi
writes=$(decode -Y '(krogw.opcode == 258 || krogw.opcode == 259) && krogw.reply == 0' | wc -l)
[ "$writes" -ge 1 ] || { echo "FAILED: no write in the capture"; exit 1; }
values=$(decode -o "krogw.config_file:$plant/kroGW01.int" -Y 'krogw.value == 1234' | wc -l)
[ "$values" -ge 1 ] || { echo "FAILED: the polled value 1234 was not decoded"; exit 1; }
echo "$writes write(s); $values frame(s) with the polled value 1234 decoded"
