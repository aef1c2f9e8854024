#!/usr/bin/env bash
# The Windows test plan chooses by what the loaders can execute, both ways, whatever
# kind of machine runs this test.
set -uo pipefail
plan=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

expect() {
  local what=$1 expected_status=$2 expected_out=$3 wine32=$4 wine64=$5
  local out status
  out=$("$plan" "$wine32" "$wine64" 2>"$work/stderr")
  status=$?
  if [ "$status" -ne "$expected_status" ] || [ "$out" != "$expected_out" ]; then
    echo "FAIL: $what: status $status, printed '$out', stderr: $(cat "$work/stderr")"
    failures=$((failures + 1))
  fi
}

# A loader that runs, and one the kernel refuses as a 32-bit program is refused where
# the kernel lacks 32-bit support: an ELF header for a machine no kernel knows.
printf '#!/bin/sh\necho wine-fake\n' >"$work/runs"
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\046\220\001\000\000\000' \
  >"$work/exec-format-error"
chmod +x "$work/runs" "$work/exec-format-error"

expect "both loaders run" 0 "win32 win64" "$work/runs" "$work/runs"
expect "32-bit loader cannot execute" 0 "win64" "$work/exec-format-error" "$work/runs"
grep -q "32-bit programs cannot run here" "$work/stderr" \
  || { echo "FAIL: no reason given for skipping win32"; failures=$((failures + 1)); }
expect "32-bit loader missing" 0 "win64" "$work/missing" "$work/runs"
grep -q "is not installed" "$work/stderr" \
  || { echo "FAIL: a missing 32-bit loader is not told apart"; failures=$((failures + 1)); }
expect "64-bit loader cannot execute" 1 "" "$work/runs" "$work/exec-format-error"
expect "no loader at all" 1 "" "$work/missing" "$work/missing"
grep -q "no Windows test can run" "$work/stderr" \
  || { echo "FAIL: no reason given for running no Windows test"; failures=$((failures + 1)); }

[ "$failures" -eq 0 ] && echo "windows plan ok"
[ "$failures" -eq 0 ]
