#!/usr/bin/env bash
# The installed kit as a host vendor uses it: the headers compile as C99 and C++11, and
# the example host of the docs with its own runtime, built with cc through pkg-config
# and with CMake through find_package(krogw), loads the installed driver and reads a
# value polled from a simulated gateway on 127.N.170.1 (N: this run's loopback block).
# The runtime is loaded before the driver with dlopen, so the driver's log line must
# reach the runtime's err, not the C library's, which would end the process. A host that
# loads the driver before its runtime gets its own runtime too, not the kit's stand-in.
#   c_host_test.sh CMAKE BUILD_DIR CC CXX EXAMPLES_DIR
set -uo pipefail
cmake=$1 build=$2 cc=$3 cxx=$4 examples=$5
net=${KROGW_TEST_NET:?run this test through krogw-test-net}
gateway=127.$net.170.1
work=$(mktemp -d)
gwsim_pid=
trap 'kill $gwsim_pid 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
. "$(dirname "$0")/../../tools/console/drive.sh"

prefix=$work/prefix
"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "install"; }
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig

# Both headers, alone and together, in the oldest dialects a host may use.
for header in abi.h qivpro.h; do
  echo "#include <krogw/$header>" >"$work/one.c"
  for std in c99 c11; do
    "$cc" -std=$std -pedantic -Wall -Wextra -Werror -I"$prefix/include" -c "$work/one.c" \
      -o "$work/one.o" || fail "$header does not compile as $std"
  done
  for std in c++11 c++14; do
    "$cxx" -x c++ -std=$std -pedantic -Wall -Wextra -Werror -I"$prefix/include" \
      -c "$work/one.c" -o "$work/one.o" || fail "$header does not compile as $std"
  done
done
echo "ok: abi.h and qivpro.h compile as C99, C11, C++11 and C++14"

# pkg-config: the flags, the driver and the version script.
pc() { pkg-config "$@" krogw || fail "pkg-config $*"; }
driver=$(pc --variable=driver)
[ -f "$driver" ] || fail "pkg-config names a driver that is not there: $driver"
mkdir "$work/pc"
"$cc" -std=c99 -shared -fPIC -pthread -Wl,-soname,libqivpro.so \
  -Wl,--version-script="$(pc --variable=qivpro_map)" $(pc --cflags) \
  "$examples/runtime.c" -o "$work/pc/libqivpro.so" || fail "runtime does not build with pkg-config"
"$cc" -std=c99 $(pc --cflags) "$examples/host.c" -o "$work/pc/example_host" $(pc --libs) ||
  fail "host does not build with pkg-config"
echo "ok: example host and runtime built with pkg-config"

# CMake: find_package(krogw) and its imported targets.
"$cmake" -S "$examples" -B "$work/cm" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_COMPILER="$cc" \
  >"$work/cm.log" 2>&1 && "$cmake" --build "$work/cm" >>"$work/cm.log" 2>&1 ||
  { cat "$work/cm.log"; fail "example does not build with CMake"; }
echo "ok: example host and runtime built with CMake"
# The driver target names the installed driver, a module that cannot be linked.
mkdir "$work/cmk"
cat >"$work/cmk/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.16)
project(driver_path NONE)
find_package(krogw REQUIRED)
get_target_property(type krogw::krogw TYPE)
file(GENERATE OUTPUT driver.txt CONTENT "$<TARGET_FILE:krogw::krogw> ${type}")
CMAKE
"$cmake" -S "$work/cmk" -B "$work/cmk/build" -DCMAKE_PREFIX_PATH="$prefix" >"$work/cmk.log" 2>&1 ||
  { cat "$work/cmk.log"; fail "find_package(krogw) in a project of its own"; }
[ "$(cat "$work/cmk/build/driver.txt")" = "$(realpath "$driver") MODULE_LIBRARY" ] ||
  fail "krogw::krogw is $(cat "$work/cmk/build/driver.txt"), not the module $driver"
echo "ok: krogw::krogw is the installed driver, a module"

mkdir "$work/run"
sed "s/^PRIMARY=.*/PRIMARY=$gateway/" "$examples/kroGW01.int" >"$work/run/kroGW01.int"

# A host whose own runtime the loader finds through the host's RPATH, and which loads the
# driver first: the driver's runtime must be the host's, never the kit's stand-in.
mkdir "$work/own"
cp "$work/pc/libqivpro.so" "$work/own/"
"$cc" -std=c99 $(pc --cflags) "$(dirname "$0")/driver_first_host.c" -o "$work/own/host" -ldl \
  -Wl,--disable-new-dtags,-rpath,"$work/own" || fail "the driver-first host does not build"
(cd "$work/run" && timeout 30 "$work/own/host" "$driver" >"$work/own.out" 2>&1)
status=$?
[ $status -eq 0 ] || { cat "$work/own.out"; fail "driver-first host exits $status"; }
grep -q "^runtime log \[32\] KroGW : " "$work/own.out" ||
  { cat "$work/own.out"; fail "the driver's lines did not reach the host's runtime"; }
echo "ok: a host that loads the driver first serves it with its own runtime"
"$build/bin/krogw-gwsim" --address "$gateway" --scenario "$examples/plant.scn" --duration 90 \
  >"$work/gwsim.log" 2>&1 &
gwsim_pid=$!
gwsim_wait "$work/gwsim.log" "$gateway" 10 || fail "the simulator does not listen"

for kind in pc cm; do
  (cd "$work/run" && timeout 60 "$work/$kind/example_host" "$work/$kind/libqivpro.so" "$driver" \
    P000010050100002 00001005010001 >"$work/run.out" 2>&1)
  status=$?
  [ $status -eq 0 ] || { cat "$work/run.out"; fail "$kind host exits $status"; }
  grep -q "^host: 00001005010001 = 1234$" "$work/run.out" ||
    { cat "$work/run.out"; fail "$kind host did not read the polled value 1234"; }
  grep -q "^runtime log \[32\] KroGW : TCP-GW driver,Version " "$work/run.out" ||
    { cat "$work/run.out"; fail "start-up line not in the $kind host's runtime log"; }
  echo "ok: $kind host read 1234 from the simulated gateway and ended its instance"
done
