#!/usr/bin/env bash
# The plain build as a packager meets it: a configure without GoogleTest builds without
# the tests and says so in one line, and the driver's compile date comes from
# SOURCE_DATE_EPOCH, so that two builds of a file that takes the date are the same bytes.
#   kit_build_test.sh CMAKE SOURCE_DIR CXX
set -uo pipefail
cmake=$1 source=$2 cxx=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$cmake" -S "$source" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON >"$work/configure.log" 2>&1 ||
  { cat "$work/configure.log"; fail "configure without GoogleTest"; }
[ "$(grep -ci googletest "$work/configure.log")" -eq 1 ] ||
  { cat "$work/configure.log"; fail "not one line about GoogleTest"; }
grep -q "^-- GoogleTest not found: building without the tests$" "$work/configure.log" ||
  fail "no line saying the tests are left out"
[ ! -d "$work/build/tests" ] || fail "tests configured without GoogleTest"
echo "ok: without GoogleTest: $(grep -i googletest "$work/configure.log")"

# The objects of the driver's files that take the compile date or time.
objects=()
while IFS= read -r file; do
  relative=${file#"$source"/}
  folder=${relative%/*} name=${relative##*/}
  object=$(ninja -C "$work/build" -t targets all | grep -o "^[^:]*${folder}[^:]*/${name}\.o" | head -1)
  [ -n "$object" ] || fail "no object for $relative"
  objects+=("$object")
done < <(grep -rlE "__DATE__|__TIME__" --include='*.cpp' --exclude-dir=build --exclude-dir=tests \
  --exclude-dir=bench --exclude-dir=fuzz "$source")
[ ${#objects[@]} -gt 0 ] || fail "no file of the driver takes the compile date"

# Builds the objects afresh and keeps their bytes in $1.
build_objects() {
  mkdir -p "$1"
  for object in "${objects[@]}"; do
    rm -f "$work/build/$object"
    ninja -C "$work/build" "$object" >"$work/ninja.log" 2>&1 || { cat "$work/ninja.log"; fail "build $object"; }
    cp "$work/build/$object" "$1/$(basename "$object")"
  done
}
export SOURCE_DATE_EPOCH=1700000000
build_objects "$work/first"
sleep 1.1
build_objects "$work/second"
diff -r "$work/first" "$work/second" >/dev/null || fail "two builds with SOURCE_DATE_EPOCH differ"
unset SOURCE_DATE_EPOCH
build_objects "$work/unset"
diff -r "$work/first" "$work/unset" >/dev/null && fail "the objects do not take the compile date at all"
echo "ok: ${objects[*]##*/}: the same bytes twice with SOURCE_DATE_EPOCH"
