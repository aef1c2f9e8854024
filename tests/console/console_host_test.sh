#!/usr/bin/env bash
# krogw-host against two simulated gateways on 127.N.150.1 and .2 (N: the loopback block
# krogw-test-net leased for this run, in KROGW_TEST_NET), driven through its
# standard input: a write that reaches the RTU, writes beyond a gate's width refused, an
# RTU disabled, a manual switch-over; rejected addresses and a faulty project file
# reported with file and line; a mistyped configuration key warned of (fatal with
# --strict); a lone gateway on .3 stopped and back, reconnected by the host; --once
# against nothing on .9, and on .4 with a gate that only bursts feed and with a
# rejected address.
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

# A mistyped configuration key: a warning at start named as the project names the file,
# relative to where the host runs; the run goes on. With --strict: exit 2, nothing started.
mkdir "$work/typo"
cp "$data/host.prj" "$work/typo/host.prj"
{ sed "s/^PRIMARY=.*/PRIMARY=127.$net.150.9/" "$data/kroGW07.int"; echo "POLL_BUFER_LENGTH=20"; } \
  >"$work/typo/kroGW07.int"
typo_warning="typo/kroGW07.int:4: warning: unknown key 'POLL_BUFER_LENGTH' is not read; did you mean POLL_BUFFER_LENGTH?"
(cd "$work" && "$bin/krogw-host" --duration 1 typo/host.prj) >"$work/typo.out" 2>"$work/typo.err"
check "configuration warning does not change the exit status" test $? -eq 0
check "configuration warning on standard error" grep -qxF "$typo_warning" "$work/typo.err"
(cd "$work" && "$bin/krogw-host" --strict --once typo/host.prj) >"$work/strict.out" 2>"$work/strict.err"
check "--strict: a configuration finding exits 2" test $? -eq 2
check "--strict: the finding named" grep -qxF "$typo_warning" "$work/strict.err"
check "--strict: nothing started" test ! -s "$work/strict.out"

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
# A value equal to the one before prints no line; show tells the count that went up.
mark=$(host_lines)
host_send "show value2"
check "show answers the value and its count" \
  host_wait "command show value2: value 1000 updates [0-9]+$" 5 "$mark"
first=$(tail -n +"$((mark + 1))" "$work/host.out" | sed -nE 's/.*command show value2: .* updates ([0-9]+)$/\1/p')
sleep 1
mark=$(host_lines)
host_send "show value2"
host_wait "command show value2: " 5 "$mark"
again=$(tail -n +"$((mark + 1))" "$work/host.out" | sed -nE 's/.*command show value2: .* updates ([0-9]+)$/\1/p')
check "an unchanged polled value is counted" test "${again:-0}" -gt "${first:-0}"
mark=$(host_lines)
host_send "write value1 70000"
host_send "write byte1 256"
host_send "write long1 4294967296"
host_send "write long1 -1"
host_send "write long1 4294967295"
check "16-bit write out of range refused" \
  host_wait "command write value1 70000: '70000' is outside the gate's 16-bit range 0 to 65535" 5 "$mark"
check "8-bit write out of range refused" \
  host_wait "command write byte1 256: '256' is outside the gate's 8-bit range 0 to 255" 5 "$mark"
check "32-bit write out of range refused" \
  host_wait "command write long1 4294967296: .* 32-bit range 0 to 4294967295" 5 "$mark"
check "negative write refused" host_wait "command write long1 -1: .* 32-bit range" 5 "$mark"
check "largest 32-bit value written" host_wait "command write long1 4294967295: done" 5 "$mark"
check "largest 32-bit value polled back" host_wait "gate long1 value 4294967295 " 5 "$mark"
check "refused writes stored nothing" \
  bash -c "! tail -n +$((mark + 1)) '$work/host.out' | grep -q 'gate value1 value 4464 '"
mark=$(host_lines)
host_send "disable 9"
check "disable of an RTU no gate names refused" \
  host_wait "command disable 9: no gate of instance 7 names RTU 9; nothing written" 5 "$mark"
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
check "driver log lines carry time, instance and level" \
  grep -qE "^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:.]{12} 7 32 KroGW : Hot Backup process completed \(1->2\)" \
  "$work/driver.log"
check "the stand-in runtime says once that it is no host's runtime" \
  test "$(grep -c "QIVPRO : stand-in host runtime of the krogw kit" "$work/driver.log")" -eq 1
check "no trace lines in the log" bash -c "! awk '\$4 == 8' '$work/driver.log' | grep -q ."
check "routine lines are no last error" \
  bash -c "! grep -E 'last error KroGW : (TCP-GW driver|Hot Backup process completed|Start)' '$work/host.out'"
check "piped output: a gate's line only when its value changes" \
  test "$(grep -c 'gate value2 value 1000 ' "$work/host.out")" -eq 1

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
check "one closing line on SIGTERM with what was closed" \
  grep -qE "^ *[0-9.]+ end \(SIGTERM\): closed 1 instance with 2 gateways; [1-9][0-9]* values received, writes 0 done 0 refused 0 failed, 0 switch-overs$" \
  "$work/signal.out"
check "channels closed on SIGTERM" \
  bash -c "tail -n +$((gwsim_mark + 1)) '$work/gwsim.log' | grep -q 'close channel'"
check "--level without --log refused" \
  bash -c "! '$bin/krogw-host' --level 8 '$work/host.prj' 2>/dev/null"

# A lone gateway stopped for 3 s and back: the host reconnects it with growing pauses,
# each try one line, and the polls go on without a command.
kill $gwsim_pid 2>/dev/null
wait $gwsim_pid 2>/dev/null
lone=127.$net.150.3
mkdir -p "$work/lone"
cp "$data/host.prj" "$work/lone/host.prj"
sed -e "s/^PRIMARY=.*/PRIMARY=$lone/" -e "/^SECONDARY=/d" "$data/kroGW07.int" >"$work/lone/kroGW07.int"
{ cat "$data/plant.scn"; echo "stop at=4000 for=3000"; } >"$work/lone.scn"
"$bin/krogw-gwsim" --address "$lone" --scenario "$work/lone.scn" --duration 40 \
  >"$work/lone.log" 2>&1 &
gwsim_pid=$!
gwsim_wait "$work/lone.log" "$lone" 10 || exit 1
host_start "$work/lone.out" "$bin/krogw-host" --duration 30 --log "$work/lone/driver.log" \
  "$work/lone/host.prj"
check "lone gateway: values arrive" host_wait "gate value1 value 1234 " 10
check "lost gateway reported" host_wait "instance 7 gateway 1 does not answer; reconnect in 1 s" 10
check "failed try, pause doubled" \
  host_wait "instance 7 gateway 1 reconnect try 1: failed \(result 1\); next try in 2 s" 5
check "gateway back after a try" host_wait "instance 7 gateway 1 answers again" 20
mark=$(grep -n "answers again" "$work/lone.out" | head -1 | cut -d: -f1)
gwsim_mark=$(grep -n "listening on $lone" "$work/lone.log" | tail -1 | cut -d: -f1)
check "polls answered again without a command" \
  bash -c "for _ in \$(seq 50); do tail -n +$gwsim_mark '$work/lone.log' | grep -q '<- poll' && exit 0; sleep 0.2; done; exit 1"
check "poll gate answered again" host_wait "gate poll1 poll 0" 10 "$mark"
host_end 20
check "repeated driver lines counted" grep -qE " … ×[0-9]+\$" "$work/lone/driver.log"
check "a repeated line written once in its half minute" \
  bash -c "test -z \"\$(grep -v ' … ×' '$work/lone/driver.log' | cut -d' ' -f3- | sort | uniq -d)\""

# --once: non-zero when no gateway answered and gates got no value.
sed -i "s/^PRIMARY=.*/PRIMARY=127.$net.150.9/" "$work/lone/kroGW07.int"
"$bin/krogw-host" --once "$work/lone/host.prj" >"$work/once.out" 2>"$work/once.err"
check "--once without gateways exits 3" test $? -eq 3
check "--once names what is missing" grep -q "no gateway answered" "$work/once.err"
check "--once names a gate without value" grep -q "gate value1: no value" "$work/once.err"

# --once on a healthy plant whose second gate only burst reports feed, the first burst
# 4 s after the simulator starts: without waiting for it the gate counts as missing; by
# default the host waits for it; a rejected address fails the run.
kill $gwsim_pid 2>/dev/null
wait $gwsim_pid 2>/dev/null
burst=127.$net.150.4
mkdir -p "$work/once"
cp "$data/once.prj" "$work/once/once.prj"
sed -e "s/^PRIMARY=.*/PRIMARY=$burst/" -e "/^SECONDARY=/d" "$data/kroGW07.int" >"$work/once/kroGW07.int"
"$bin/krogw-gwsim" --address "$burst" --scenario "$data/once.scn" --duration 40 \
  >"$work/once.log" 2>&1 &
gwsim_pid=$!
gwsim_wait "$work/once.log" "$burst" 10 || exit 1
"$bin/krogw-host" --once --burst-wait 0 "$work/once/once.prj" >"$work/once0.out" 2>"$work/once0.err"
check "--once --burst-wait 0: a burst-fed gate is missing" test $? -eq 3
check "--once --burst-wait 0 names the burst-fed gate" grep -q "gate burst1: no value" "$work/once0.err"
"$bin/krogw-host" --once "$work/once/once.prj" >"$work/once1.out" 2>"$work/once1.err"
check "--once on a healthy plant exits 0" test $? -eq 0
check "--once waits for the first burst" grep -q "gate burst1 value 77 " "$work/once1.out"
{ cat "$data/once.prj"; echo "gate again 00001005010001"; } >"$work/once/rejected.prj"
"$bin/krogw-host" --once "$work/once/rejected.prj" >"$work/once2.out" 2>"$work/once2.err"
check "--once with a rejected address exits 3" test $? -eq 3
check "--once names the rejected gate" \
  grep -q "krogw-host: gate again: address 00001005010001 rejected" "$work/once2.err"
check "--once: nothing else missing" test "$(grep -c ': no value' "$work/once2.err")" -eq 0
check "--burst-wait without --once refused" \
  bash -c "! '$bin/krogw-host' --burst-wait 3 '$work/once/once.prj' 2>/dev/null"

if [ "$failures" -ne 0 ]; then
  echo "--- host output"; cat "$work/host.out" "$work/host.out.err"
  echo "--- lone gateway host output"; cat "$work/lone.out" "$work/lone.out.err" 2>/dev/null
  echo "--- --once output"; cat "$work"/once[0-9].out "$work"/once[0-9].err 2>/dev/null
  exit 1
fi
