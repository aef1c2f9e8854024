#!/usr/bin/env bash
# The driver library must export KroMain and nothing else of ours; the Windows DLL
# may import only from system libraries and the host runtime, and carries a version
# resource that names the product, its version and its license.
set -euo pipefail
library=$1
kind=$2
objdump=${3:-objdump}

fail() { echo "FAIL: $*"; exit 1; }

if [ "$kind" = linux ]; then
  exported=$(nm -D --defined-only "$library" | awk '{print $3}' | sort)
  echo "exported: $exported"
  [ "$exported" = KroMain ] || fail "libkrogw.so exports: $exported"
else
  dump=$("$objdump" -p "$library")
  exported=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | tail -n +2 \
             | grep -o '\] .*' | cut -c3- | sort)
  echo "exported: $exported"
  [ "$exported" = KroMain ] || fail "krogw.dll exports: $exported"
  # The version resource: what Windows shows in the file's properties.
  resource=$(strings -el "$library")
  for text in FileDescription ProductName ProductVersion OriginalFilename krogw.dll \
    LegalCopyright "Apache-2.0"; do
    [[ "$resource" == *"$text"* ]] || fail "the version resource lacks $text"
  done
  imported=$(echo "$dump" | awk '/DLL Name:/ {print toupper($3)}' | sort -u)
  echo "imported: $(echo $imported)"
  echo "$imported" | grep -qx QIVPRO.DLL || fail "krogw.dll does not import QIVPRO.dll"
  for dll in $imported; do
    case "$dll" in
      KERNEL32.DLL|WS2_32.DLL|MSVCRT.DLL|QIVPRO.DLL|API-MS-WIN-*) ;;
      *) fail "krogw.dll imports $dll" ;;
    esac
  done
fi
echo "exports ok"
