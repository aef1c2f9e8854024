#!/usr/bin/env bash
# Decides which Windows builds' tests this machine can run under wine, by trying to
# execute wine's loaders: some kernels cannot execute 32-bit programs at all, and a
# kernel version does not tell which.
#
#   scripts/windows-plan.sh [WINE32_LOADER [WINE64_LOADER]]
#
# Prints the presets whose tests run here ("win32 win64" or "win64") and, on stderr,
# one line saying why the 32-bit tests do not run. Fails when no Windows test can run.
set -uo pipefail
wine32=${1:-/usr/lib/wine/wine}
wine64=${2:-/usr/lib/wine/wine64}

# 126: found but not executable (e.g. "Exec format error"); 127: not found.
executes() {
  "$1" --version >/dev/null 2>&1
  local status=$?
  [ "$status" -ne 126 ] && [ "$status" -ne 127 ]
}

if ! executes "$wine64"; then
  echo "windows: $wine64 cannot run here, so no Windows test can run" >&2
  exit 1
fi
if executes "$wine32"; then
  echo "win32 win64"
elif [ ! -e "$wine32" ]; then
  echo "win32: $wine32 is not installed; Windows tests ran as win64 under wine64 only" >&2
  echo "win64"
else
  echo "win32: 32-bit programs cannot run here; Windows tests ran as win64 under wine64 only" >&2
  echo "win64"
fi
