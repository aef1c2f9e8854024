#!/usr/bin/env bash
# Installs what the build, the tests and the demo need, on a fresh Debian machine.
# Quiet and quick when everything is already there.
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev googletest tshark
          libbenchmark-dev binutils mandoc g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix
          wine wine32:i386 wine64 iproute2 curl prometheus prometheus-node-exporter)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
# A mirror in mid-sync fails one index now and then; retry, then go on with the lists
# that did arrive, since the install itself says whether a package cannot be had.
for attempt in 1 2 3; do
  $sudo apt-get update -qq && break
  echo "apt-get update failed (attempt $attempt of 3)" >&2
  [ "$attempt" -lt 3 ] && sleep 10
done
install() { DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$@" >/dev/null; }
install "${missing[@]}" && exit 0

# Without an i386 index in step with the amd64 one (a mirror in mid-sync), wine32 cannot
# be installed; the rest can, and the test run then runs the 32-bit Windows set as a
# machine that cannot execute it.
without_wine32=()
for package in "${missing[@]}"; do
  [ "$package" = wine32:i386 ] || without_wine32+=("$package")
done
[ ${#without_wine32[@]} -lt ${#missing[@]} ] || exit 1
echo "wine32:i386 cannot be installed now; installing the rest without it" >&2
[ ${#without_wine32[@]} -eq 0 ] || install "${without_wine32[@]}"
