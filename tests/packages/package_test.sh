#!/usr/bin/env bash
# Makes the release package of a build, unpacks it, checks its files and runs its
# programs from the unpacked tree, away from the build.
#
#   package_test.sh CPACK BUILD_DIR linux
#   package_test.sh CPACK BUILD_DIR windows-contents
#   package_test.sh CPACK BUILD_DIR windows-run WINE SIMULATOR
# The Windows package has no simulator: its console host runs under wine against the
# native one of the Linux build (SIMULATOR).
set -uo pipefail
cpack=$1 build=$2 mode=$3 wine=${4:-} native_simulator=${5:-}
# The loopback block krogw-test-net leased for this run.
net=${KROGW_TEST_NET:?run this test through krogw-test-net}
primary=127.$net.160.5
secondary=127.$net.160.6

work=$(mktemp -d)
simulator_pid=
cleanup() {
  [ -n "$simulator_pid" ] && kill "$simulator_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
source "$(dirname "$0")/../../tools/console/drive.sh"

"$cpack" --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
shopt -s nullglob
packages=("$work"/out/krogw-*.tar.gz "$work"/out/krogw-*.zip)
shopt -u nullglob
kit=() debug=()
for package in "${packages[@]}"; do
  case "${package##*/}" in
    *-debug.*) debug+=("$package") ;;
    *) kit+=("$package") ;;
  esac
done
[ ${#kit[@]} -eq 1 ] && [ ${#debug[@]} -eq 1 ] ||
  fail "expected the kit and its debug package, found: ${packages[*]}"
echo "packages: ${kit[0]##*/} ${debug[0]##*/}"
mkdir "$work/unpacked" "$work/debug"
(cd "$work/unpacked" && cmake -E tar xf "${kit[0]}") || fail "cannot unpack the kit"
(cd "$work/debug" && cmake -E tar xf "${debug[0]}") || fail "cannot unpack the debug package"
root=$(echo "$work"/unpacked/krogw-*)
[ -d "$root" ] || fail "no krogw-* folder at the top of the package"
debug_root=$(echo "$work"/debug/krogw-*)
[ -d "$debug_root" ] || fail "no krogw-* folder at the top of the debug package"
samples=$root/share/krogw/samples
docs=$root/share/doc/krogw

expect_files() {
  for file in "$@"; do
    [ -f "$root/$file" ] || fail "missing $file"
  done
}
expect_files include/krogw/abi.h share/krogw/samples/kroGW01.int share/krogw/samples/addresses.txt \
  share/krogw/samples/three_rtus.scn share/krogw/demo/kroGW01.int share/krogw/demo/plant.scn \
  share/krogw/demo/plant.prj share/doc/krogw/README.md share/doc/krogw/install.md \
  share/doc/krogw/wireshark.md share/doc/krogw/simulator.md share/doc/krogw/krogw.lua \
  lib/pkgconfig/krogw.pc lib/cmake/krogw/krogwConfig.cmake share/doc/krogw/LICENSE \
  share/doc/krogw/CHANGELOG.md
if [ "$mode" = linux ]; then
  expect_files bin/krogw-host bin/krogw-check bin/krogw-gwsim lib/libkrogw.so \
    lib/krogw/libqivpro.so share/krogw/qivpro.map share/man/man1/krogw-host.1 share/man/man1/krogw-check.1 \
    share/man/man1/krogw-gwsim.1 share/man/man5/krogw.int.5 include/krogw/qivpro.h
  "$(dirname "$0")/installed_docs_check.sh" "$root" || fail "the installed documents point outside it"
  runtime_variable=qivpro_map
else
  # A Windows runtime is built with the export list; our tools link the stand-in's import
  # library, and so may a vendor's own test programs.
  expect_files bin/krogw.dll bin/QIVPRO.dll bin/krogw-host.exe bin/krogw-check.exe \
    share/krogw/qivpro.def lib/libQIVPRO.dll.a
  [ -z "$(find "$root" -name 'krogw-gwsim*' -o -name '*.a' ! -name libQIVPRO.dll.a)" ] ||
    fail "the zip holds the simulator or import libraries of its own"
  runtime_variable=qivpro_def
fi
# Every binary of the kit stripped, its debug information in the debug package.
binaries=0
while IFS= read -r binary; do
  sections=$(objdump -h "$binary" 2>/dev/null) || continue
  relative=${binary#"$root"/}
  binaries=$((binaries + 1))
  [[ "$sections" != *" .debug_"* ]] || fail "$relative carries debug information"
  [[ "$(objdump -t "$binary" 2>&1)" == *"no symbols"* ]] || fail "$relative carries a symbol table"
  [[ "$(objdump -h "$debug_root/$relative.debug" 2>/dev/null)" == *" .debug_info"* ]] ||
    fail "no debug information for $relative in the debug package"
done < <(find "$root/bin" "$root/lib" -type f ! -name '*.a' ! -name '*.pc' ! -name '*.cmake')
[ "$binaries" -ge 4 ] || fail "only $binaries binaries found in the kit"
cmp -s "$root/share/doc/krogw/LICENSE" "$debug_root/share/doc/krogw/LICENSE" ||
  fail "the debug package lacks the license"

# The package's pkg-config file, wherever it is unpacked: every path clean and there, the
# driver loaded rather than linked.
for variable in prefix includedir datadir driver "$runtime_variable"; do
  path=$(pkg-config --variable="$variable" "$root/lib/pkgconfig/krogw.pc") ||
    fail "pkg-config has no $variable"
  [[ "$path" != *//* ]] || fail "pkg-config $variable has a double slash: $path"
  [ -e "$path" ] || fail "pkg-config $variable names nothing: $path"
done
[[ "$(pkg-config --libs "$root/lib/pkgconfig/krogw.pc")" != *krogw* ]] ||
  fail "pkg-config --libs links the driver, which hosts load at run time"
[ ! -e "$root/lib/libqivpro.so" ] || fail "the stand-in runtime sits beside the driver"
echo "contents: $(cd "$root" && find . -type f | sort | tr '\n' ' ')"

# The install components, one by one: the driver alone with its license, and together
# exactly the kit.
if [ "$mode" = linux ]; then
  cmake=$(dirname "$cpack")/cmake
  for component in driver development tools documentation; do
    "$cmake" --install "$build" --component "$component" --prefix "$work/components/$component" \
      >/dev/null || fail "cmake --install --component $component"
  done
  driver_files=$(cd "$work/components/driver" && find . -type f | sort | tr '\n' ' ')
  [ "$driver_files" = "./lib/libkrogw.so ./share/doc/krogw/LICENSE " ] ||
    fail "the driver component holds: $driver_files"
  union=$(for component in driver development tools documentation; do
    (cd "$work/components/$component" && find . -type f)
  done | sort -u)
  [ "$union" = "$(cd "$root" && find . -type f | sort)" ] ||
    fail "the components together are not the kit: $(diff <(echo "$union") <(cd "$root" && find . -type f | sort))"
fi
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

run krogw-check "$samples/kroGW01.int" "$samples/addresses.txt" >"$work/check.log" 2>&1 ||
  { cat "$work/check.log"; fail "krogw-check on the sample configuration"; }
echo "krogw-check: sample configuration accepted"

# The demo plant on two simulated gateways: the package's own simulator on Linux.
simulator=$root/bin/krogw-gwsim
if [ "$mode" != linux ]; then
  simulator=$native_simulator
  if [ -z "$simulator" ]; then
    echo "SKIPPED: configure with -DKROGW_NATIVE_GWSIM=<native build>/bin/krogw-gwsim (scripts/test.sh does)"
    exit 77
  fi
  [ -x "$simulator" ] || fail "$simulator is not built"
fi
plant=$work/plant
cp -r "$root/share/krogw/demo" "$plant"
sed -i -e "s/^PRIMARY=.*/PRIMARY=$primary/" -e "s/^SECONDARY=.*/SECONDARY=$secondary/" \
  "$plant/kroGW01.int"
"$simulator" --address "$primary" --address "$secondary" --scenario "$plant/plant.scn" \
  --duration 60 >"$work/gwsim.log" 2>&1 &
simulator_pid=$!
gwsim_wait "$work/gwsim.log" "$secondary" 10 || fail "the simulator does not listen"

# One scan of the demo project: the polled values of the plant reach the gates, and the
# host waits for the first burst reports, so nothing is missing.
# The host finds the packaged driver by itself. (Under wine a path from the root names
# the same file on the drive the folder is on.)
console_output=$(run krogw-host --once "$plant/plant.prj" 2>&1)
status=$?
[ $status -eq 0 ] || { echo "$console_output"; fail "krogw-host exited with $status"; }
grep -q "gate poll_r1_u16 value 1234 " <<<"$console_output" ||
  { echo "$console_output"; fail "the polled value 1234 did not reach its gate"; }
grep -q "accepted from" "$work/gwsim.log" || fail "the simulator saw no client"
echo "krogw-host: polled the demo plant through the packaged driver"
