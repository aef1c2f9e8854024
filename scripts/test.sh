#!/usr/bin/env bash
# Builds everything and runs every test: native, ASan+UBSan, TSan, Windows under wine
# (64-bit everywhere, 32-bit where this machine can execute 32-bit programs), and
# short fuzzing runs. Installs what is missing first.
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh || { echo "cannot install the build dependencies"; exit 1; }

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko prompts in a headless prefix
jobs=$(nproc)

passed=0
failed=0
skipped=()
broken=()
notes=()

mkdir -p build
# Which Windows builds' programs run here; the i686 build is always built and checked.
windows_runnable=$(scripts/windows-plan.sh 2>build/windows-plan.log)
windows_plan_status=$?
windows_plan_note=$(cat build/windows-plan.log)
[ -n "$windows_plan_note" ] && notes+=("$windows_plan_note")
[ "$windows_plan_status" -eq 0 ] || broken+=("windows: no wine loader can run Windows programs")

runs_here() { [[ " $windows_runnable " == *" $1 "* ]]; }

# A wine prefix per Windows build, created once before parallel tests race for it.
prepare_wine() {
  local preset=$1
  export WINEPREFIX="$PWD/build/$preset/wineprefix"
  if [ "$preset" = win32 ]; then
    WINEARCH=win32 wineboot --init >/dev/null 2>&1
  else
    /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1
  fi
  wineserver -w
}

count_results() {
  local preset=$1 log=$2
  local summary
  summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$summary" ] && grep -q 'No tests were found' "$log"; then
    [ "$preset" = fuzz ] || broken+=("$preset: no tests were found")
    return
  fi
  if [ -z "$summary" ]; then
    broken+=("$preset: no test summary"); return
  fi
  local failed_here total
  failed_here=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
  total=$(echo "$summary" | sed -E 's/.* failed out of ([0-9]+).*/\1/')
  # A test that exits 77 (or is disabled) is not failed, nor passed: named apart.
  local names
  names=$(sed -n '/The following tests did not run:/,/^$/p' "$log" |
    sed -nE 's/^[[:space:]]*[0-9]+ - ([^ ]+) \((Skipped|Disabled)\).*/\1/p')
  local name
  for name in $names; do
    skipped+=("$preset: $name")
    total=$((total - 1))
  done
  passed=$((passed + total - failed_here))
  failed=$((failed + failed_here))
  [ "$failed_here" -eq 0 ] || broken+=("$preset: $failed_here failed")
}

# The Windows tests that need a gateway run against the native gateway simulator, in a
# loopback block leased by the native krogw-test-net; both kept up to date even when the
# native preset is not among those run.
native_gwsim="$PWD/build/native/bin/krogw-gwsim"
build_native_gwsim() {
  { cmake --preset native &&
    cmake --build --preset native --target krogw-gwsim krogw-test-net -j "$jobs"; } \
    >build/native-gwsim.log 2>&1 || echo "the native gateway simulator does not build: build/native-gwsim.log"
}

run_preset() {
  local preset=$1
  echo "=== $preset ==="
  local configure=()
  case "$preset" in
    win32|win64)
      build_native_gwsim
      configure=(-DKROGW_NATIVE_GWSIM="$native_gwsim")
      ;;
  esac
  if ! cmake --preset "$preset" "${configure[@]}" >"build/$preset.configure.log" 2>&1; then
    cat "build/$preset.configure.log"; broken+=("$preset: configure"); return
  fi
  if ! cmake --build --preset "$preset" -j "$jobs"; then
    broken+=("$preset: build"); return
  fi
  local selection=()
  case "$preset" in
    win32|win64)
      if runs_here "$preset"; then
        prepare_wine "$preset"
      else
        # Built with every layout check; only what needs no Windows execution runs.
        selection=(-L noexec)
      fi
      ;;
  esac
  local log="build/$preset.ctest.log"
  ctest --preset "$preset" -j "$jobs" "${selection[@]}" 2>&1 | tee "$log"
  count_results "$preset" "$log"
}

presets=(native asan tsan win32 win64 fuzz)
[ $# -gt 0 ] && presets=("$@")
for preset in "${presets[@]}"; do
  run_preset "$preset"
done

echo
for note in "${notes[@]}"; do
  echo "$note"
done
for problem in "${broken[@]}"; do
  echo "problem: $problem"
done
for test in "${skipped[@]}"; do
  echo "skipped: $test"
done
echo "$passed passed, $failed failed, ${#skipped[@]} skipped"
[ ${#broken[@]} -eq 0 ]
