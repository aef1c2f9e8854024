#!/usr/bin/env bash
# Builds everything and runs every test: native, ASan+UBSan, TSan, 32-bit Windows
# under wine, and short fuzzing runs. Installs what is missing first.
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh || { echo "cannot install the build dependencies"; exit 1; }

export WINEDEBUG=-all
export WINEPREFIX="$PWD/build/wineprefix"
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko prompts in a headless prefix
jobs=$(nproc)

passed=0
failed=0
broken=()

run_preset() {
  local preset=$1
  echo "=== $preset ==="
  if ! cmake --preset "$preset" >"build/$preset.configure.log" 2>&1; then
    cat "build/$preset.configure.log"; broken+=("$preset: configure"); return
  fi
  if ! cmake --build --preset "$preset" -j "$jobs"; then
    broken+=("$preset: build"); return
  fi
  if [ "$preset" = win32 ]; then
    # Create the wine prefix once, before parallel tests race to create it.
    wineboot --init >/dev/null 2>&1; wineserver -w
  fi
  local log="build/$preset.ctest.log"
  ctest --preset "$preset" -j "$jobs" 2>&1 | tee "$log"
  local summary
  summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$summary" ] && grep -q 'No tests were found' "$log"; then
    return
  fi
  if [ -z "$summary" ]; then
    broken+=("$preset: no test summary"); return
  fi
  local failed_here total
  failed_here=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
  total=$(echo "$summary" | sed -E 's/.* failed out of ([0-9]+).*/\1/')
  passed=$((passed + total - failed_here))
  failed=$((failed + failed_here))
  [ "$failed_here" -eq 0 ] || broken+=("$preset: $failed_here failed")
}

mkdir -p build
presets=(native asan tsan win32 fuzz)
[ $# -gt 0 ] && presets=("$@")
for preset in "${presets[@]}"; do
  run_preset "$preset"
done

echo
for problem in "${broken[@]}"; do
  echo "problem: $problem"
done
echo "$passed passed, $failed failed"
[ ${#broken[@]} -eq 0 ]
