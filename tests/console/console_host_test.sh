#!/usr/bin/env bash
# krogw-host against two simulated gateways on 127.N.150.1 and .2 (N: the loopback block
# krogw-test-net leased for this run, in KROGW_TEST_NET), driven through its
# standard input: a write that reaches the RTU, an RTU disabled, a manual switch-over;
# rejected addresses and a faulty project file reported with file and line.
#   console_host_test.sh BIN_DIR DATA_DIR
set -uo pipefail
bin=$1
data=$2
net=${KROGW_TEST_NET:?run this test through krogw-test-net}
primary=127.$net.150.1
secondary=127.$net.150.2
work=$(mktemp -d)
gwsim_pid=
host_pid=
trap 'kill $gwsim_pid $host_pid 2>/dev/null; rm -rf "$work"' EXIT
. "$data/../../tools/console/drive.sh"

failures=0
check() {  # check WHAT COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

# A faulty project: every error with file and line, nothing started.
"$bin/krogw-host" --once "$data/bad.prj" >"$work/bad.out" 2>"$work/bad.err"
check "faulty project exits 2" test $? -eq 2
check "bad scale reported" grep -q "bad.prj:3: bad value in 'scale=0'" "$work/bad.err"
check "duplicate name reported" grep -q "bad.prj:4: gate value1 is defined twice" "$work/bad.err"
check "unknown statement reported" grep -q "bad.prj:5: unknown statement 'bogus'" "$work/bad.err"
check "nothing started" test ! -s "$work/bad.out"

# The project and its instance's configuration, on this run's addresses.
cp "$data/host.prj" "$work/host.prj"
sed -e "s/^PRIMARY=.*/PRIMARY=$primary/" -e "s/^SECONDARY=.*/SECONDARY=$secondary/" \
  "$data/kroGW07.int" >"$work/kroGW07.int"

"$bin/krogw-gwsim" --address "$primary" --address "$secondary" --scenario "$data/plant.scn" \
  --duration 60 >"$work/gwsim.log" 2>&1 &
gwsim_pid=$!
gwsim_wait "$work/gwsim.log" "$secondary" 10 || exit 1

host_start "$work/host.out" "$bin/krogw-host" --duration 50 --log "$work/driver.log" --level 32 \
  "$work/host.prj"
check "poll values arrive" host_wait "gate value1 value 1234 " 10
check "scaled value" host_wait "gate value2 value 1000 " 5
mark=$(host_lines)
host_send "write value1 4321"
check "write done" host_wait "command write value1 4321: done" 5 "$mark"
check "written value polled back" host_wait "gate value1 value 4321 " 5 "$mark"
mark=$(host_lines)
host_send "disable 2"
check "RTU 2 disabled" host_wait "rtu 7/2 disabled" 5 "$mark"
mark=$(host_lines)
host_send "switch"
check "switched to gateway 2" host_wait "instance 7 gateway 2" 10 "$mark"
host_end 20
check "host ends with 0" test $? -eq 0
check "duplicate rejected with the driver's reason" \
  grep -q "host.prj:9: gate again address 00001005010101 rejected: KroGW : Can not define address 00001005010101 twice" \
  "$work/host.out.err"
check "unknown table type rejected" grep -q "host.prj:10: gate notype .* rejected" "$work/host.out.err"
check "driver log written at level 32" grep -q "^32 KroGW : Hot Backup process completed (1->2)" \
  "$work/driver.log"
check "no trace lines in the log" bash -c "! grep -q '^8 ' '$work/driver.log'"

# SIGTERM ends the host as quit does: the gateways see the channels closed.
host_start "$work/signal.out" "$bin/krogw-host" --duration 50 "$work/host.prj"
check "values arrive again" host_wait "gate value1 value " 10
gwsim_mark=$(wc -l <"$work/gwsim.log")
kill -TERM "$host_pid"
for _ in $(seq 100); do kill -0 "$host_pid" 2>/dev/null || break; sleep 0.2; done
kill -KILL "$host_pid" 2>/dev/null
wait "$host_pid"
check "host ends with 0 on SIGTERM" test $? -eq 0
exec {host_in}>&-
check "channels closed on SIGTERM" \
  bash -c "tail -n +$((gwsim_mark + 1)) '$work/gwsim.log' | grep -q 'close channel'"
check "--level without --log refused" \
  bash -c "! '$bin/krogw-host' --level 8 '$work/host.prj' 2>/dev/null"

if [ "$failures" -ne 0 ]; then
  echo "--- host output"; cat "$work/host.out" "$work/host.out.err"
  exit 1
fi
