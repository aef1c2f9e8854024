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
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
