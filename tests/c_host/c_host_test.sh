#!/usr/bin/env bash
# The installed kit in a plain C host built as a user builds one (cc host.c -ldl): the
# host dlopens the driver, starts an instance, and the driver's start-up line must reach
# the host runtime's log instead of the C library's err(), which would end the process.
# Runs once with the kit's stand-in runtime and once with a runtime built from the
# integration guide and the kit's version script.
#   c_host_test.sh CMAKE BUILD_DIR CC SOURCE_DIR
set -uo pipefail
cmake=$1 build=$2 cc=$3 source=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
startup='\[32\] KroGW : TCP-GW driver,Version '

prefix=$work/prefix
"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "install"; }
driver=$(find "$prefix" -name libkrogw.so)
version_script=$prefix/share/krogw/qivpro.map
[ -f "$driver" ] || fail "no libkrogw.so installed"
[ -f "$version_script" ] || fail "no share/krogw/qivpro.map installed"

"$cc" "$source/host.c" -o "$work/host" -ldl || fail "host does not build"
mkdir "$work/run"
cp "$prefix/share/krogw/samples/kroGW01.int" "$work/run/"

# Returns the host's exit status; its output lands in run.out and run.err.
run_host() {
  (cd "$work/run" && timeout 30 "$work/host" "$@" >"$work/run.out" 2>"$work/run.err")
}
show_run() { cat "$work/run.out" "$work/run.err"; }

KROGW_HOSTSIM_LOG_ECHO=1 run_host "$driver"
status=$?
show_run
[ $status -eq 0 ] || fail "host with the stand-in runtime exits $status"
grep -q "^$startup" "$work/run.err" || fail "start-up line not in the stand-in runtime's log"
echo "ok: stand-in runtime logs the start-up line"

mkdir "$work/runtime"
"$cc" -shared -fPIC -Wl,-soname,libqivpro.so -Wl,--version-script="$version_script" \
  "$source/runtime.c" -o "$work/runtime/libqivpro.so" || fail "runtime does not build"
run_host "$driver" "$work/runtime/libqivpro.so"
status=$?
show_run
[ $status -eq 0 ] || fail "host with its own runtime exits $status"
grep -q "^runtime log $startup" "$work/run.out" || fail "start-up line not in the host's own runtime's log"
echo "ok: a runtime built with the kit's version script logs the start-up line"
