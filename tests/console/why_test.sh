#!/usr/bin/env bash
# krogw-host's why against a simulated gateway on 127.N.151.1 (N: the loopback block of
# krogw-test-net): the verdict names the cause for a value that arrives unchanged, a row
# outside every poll with no burst report, a table type that differs from its poll's, a
# disabled RTU and a gateway that went down; krogw-check --why tells the offline part.
#   why_test.sh BIN_DIR DATA_DIR
set -uo pipefail
bin=$1
data=$2
net=${KROGW_TEST_NET:?run this test through krogw-test-net}
gateway=127.$net.151.1
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
# why GATE, and its verdict line matching REGEX within the time.
verdict() {
  local gate=$1 regex=$2 mark
  mark=$(host_lines)
  host_send "why $gate"
  host_wait "^verdict: $regex" 5 "$mark"
}

cp "$data/why.prj" "$work/why.prj"
sed -e "s/^PRIMARY=.*/PRIMARY=$gateway/" "$data/kroGW08.int" >"$work/kroGW08.int"

# Offline: what the configuration and the other gates tell.
grep -E '^gate' "$data/why.prj" | awk '{print $3}' >"$work/addresses.txt"
"$bin/krogw-check" --why 00001005010031 "$work/kroGW08.int" "$work/addresses.txt" >"$work/check.out"
check "checker: a row outside every poll" \
  grep -q "^verdict: row 3 is outside every poll: only burst reports of RTU 1" "$work/check.out"
"$bin/krogw-check" --why 00001005020011 "$work/kroGW08.int" "$work/addresses.txt" >"$work/check.out"
check "checker: the poll's table type differs" \
  grep -q "^verdict: table type mismatch: poll P000010050100002 reads the row as table type 1, the gate says 2" \
  "$work/check.out"
"$bin/krogw-check" --why 00001005090001 "$work/kroGW08.int" "$work/addresses.txt" >"$work/check.out"
check "checker: an address the driver rejects" \
  grep -q "^verdict: the driver rejects the address: table type 9 is not in the configuration" \
  "$work/check.out"

"$bin/krogw-gwsim" --address "$gateway" --scenario "$data/why.scn" --duration 60 \
  >"$work/gwsim.log" 2>&1 &
gwsim_pid=$!
gwsim_wait "$work/gwsim.log" "$gateway" 10 || exit 1
host_start "$work/host.out" "$bin/krogw-host" --duration 50 "$work/why.prj"
check "values arrive" host_wait "gate same1 value 1234 " 10
check "the health panel shows the gateway up" host_wait "health 8 gateway 1 up for [0-9]+ s, silent" 5
check "the health panel shows RTU 1 fresh" host_wait "health 8 rtu 1 fresh, age [0-9]+ s, values [1-9]" 5
sleep 2  # a few scans of the same value

check "a value that arrives unchanged" verdict same1 "values arrive \([0-9]+ so far\) but are all the same"
check "the links are told" grep -q "^  polls: P000010050100002 asks for the row as table type 1, last ran" \
  "$work/host.out"
check "a row outside every poll, no bursts" \
  verdict outside1 "row 3 is outside every poll and RTU 1 has sent no burst report"
check "a table type that differs from its poll's" verdict mismatch1 "table type mismatch"
host_send "disable 2"
check "a disabled RTU" verdict value2 "RTU 2 is disabled"
mark=$(host_lines)
host_send "why nosuch"
check "an unknown gate is told" host_wait "why: no gate nosuch" 5 "$mark"

kill "$gwsim_pid"
wait "$gwsim_pid" 2>/dev/null
gwsim_pid=
check "the health panel shows the gateway down" host_wait "health 8 gateway 1 down, silent [0-9]+ ms, drops 1," 10
check "a gateway that went down" verdict same1 "gateway 1 is down"

host_end 20 >/dev/null
if [ "$failures" -ne 0 ]; then
  echo "--- host output"; cat "$work/host.out"; cat "$work/host.out.err"
  exit 1
fi
