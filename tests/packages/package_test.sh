#!/usr/bin/env bash
# Makes the release package of a build, unpacks it, checks its files and runs its
# programs from the unpacked tree, away from the build.
#
#   package_test.sh CPACK BUILD_DIR linux
#   package_test.sh CPACK BUILD_DIR windows-contents
#   package_test.sh CPACK BUILD_DIR windows-run WINE
set -uo pipefail
cpack=$1 build=$2 mode=$3 wine=${4:-}
simulator_address=127.0.160.5

work=$(mktemp -d)
simulator_pid=
cleanup() {
  [ -n "$simulator_pid" ] && kill "$simulator_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$cpack" --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
shopt -s nullglob
packages=("$work"/out/krogw-*.tar.gz "$work"/out/krogw-*.zip)
shopt -u nullglob
[ ${#packages[@]} -eq 1 ] || fail "expected one package, found: ${packages[*]}"
echo "package: ${packages[0]##*/}"
mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "${packages[0]}") || fail "cannot unpack"
root=$(echo "$work"/unpacked/krogw-*)
[ -d "$root" ] || fail "no krogw-* folder at the top of the package"
samples=$root/share/krogw/samples
docs=$root/share/doc/krogw

expect_files() {
  for file in "$@"; do
    [ -f "$root/$file" ] || fail "missing $file"
  done
}
expect_files include/krogw/abi.h share/krogw/samples/kroGW01.int share/krogw/samples/addresses.txt \
  share/krogw/samples/three_rtus.scn share/doc/krogw/README.md share/doc/krogw/install.md \
  share/doc/krogw/wireshark.md share/doc/krogw/simulator.md share/doc/krogw/krogw.lua
if [ "$mode" = linux ]; then
  expect_files bin/krogw-console bin/krogw-check bin/krogw-gwsim lib/libkrogw.so \
    lib/libqivpro.so
else
  expect_files bin/krogw.dll bin/QIVPRO.dll bin/krogw-console.exe bin/krogw-check.exe
  [ -z "$(find "$root" -name 'krogw-gwsim*' -o -name '*.a')" ] ||
    fail "the zip holds the simulator or import libraries"
fi
echo "contents: $(cd "$root" && find . -type f | sort | tr '\n' ' ')"
[ "$mode" = windows-contents ] && exit 0

# Runs a program of the package: natively, or under wine from the folder of the DLLs.
run() {
  local program=$1
  shift
  if [ "$mode" = linux ]; then
    (cd "$work" && timeout 30 "$root/bin/$program" "$@")
  else
    (cd "$root/bin" && timeout 60 "$wine" "$program.exe" "$@")
  fi
}

# The one place that says how the console host is run.
run_console_host() {
  if [ "$mode" = linux ]; then
    run krogw-console "$root/lib/libkrogw.so"
  else
    run krogw-console
  fi
}

console_output=$(run_console_host 2>&1) || { echo "$console_output"; fail "console host"; }
grep -q "^driver *: " <<<"$console_output" || { echo "$console_output"; fail "no driver information"; }
echo "console host: loaded the driver from the package"

run krogw-check "$samples/kroGW01.int" "$samples/addresses.txt" >"$work/check.log" 2>&1 ||
  { cat "$work/check.log"; fail "krogw-check on the sample configuration"; }
echo "krogw-check: sample configuration accepted"
[ "$mode" = linux ] || exit 0

"$root/bin/krogw-gwsim" --address "$simulator_address" --scenario "$samples/three_rtus.scn" \
  --duration 10 >"$work/gwsim.log" 2>&1 &
simulator_pid=$!
for _ in $(seq 100); do
  grep -q "listening on $simulator_address" "$work/gwsim.log" && break
  sleep 0.1
done
grep -q "listening on $simulator_address" "$work/gwsim.log" || { cat "$work/gwsim.log"; fail "krogw-gwsim does not listen"; }
# A client connects and leaves; the simulator has to see it.
(exec 3<>"/dev/tcp/$simulator_address/5001") || fail "cannot connect to krogw-gwsim"
for _ in $(seq 50); do
  grep -q "accepted from" "$work/gwsim.log" && break
  sleep 0.1
done
grep -q "accepted from" "$work/gwsim.log" || { cat "$work/gwsim.log"; fail "krogw-gwsim saw no client"; }
echo "krogw-gwsim: served a client"
