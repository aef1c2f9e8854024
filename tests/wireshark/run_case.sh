#!/usr/bin/env bash
# Runs one dissector case: its segments become a capture (text2pcap), tshark decodes it with
# the dissector, and the chosen fields of every krogw frame must equal the expected lines.
#
# Case file lines:
#   # ...                      comment
#   port N                     the gateway's port in the capture (default 5001)
#   prefs NAME:VALUE ...       tshark preferences; @CASES@ stands for the cases folder
#   fields FIELD ...           fields printed after frame.number, separated by "|"
#   h[@S.mmm] HEX...           one TCP segment from the host to the gateway (blanks allowed)
#   g[@S.mmm] HEX...           one TCP segment from the gateway to the host
#   + HEX...                   more bytes of the segment above
#   expect                     the rest of the file is the expected output
set -euo pipefail

case_file=$1
dissector=$2
skip=77

for tool in tshark text2pcap; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is not installed (scripts/install-deps.sh installs tshark)"
    exit $skip
  fi
done

cases_dir=$(cd "$(dirname "$case_file")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

port=5001
prefs=()
fields=()
: >"$work/segments"
: >"$work/expected"
in_expect=0
while IFS= read -r line || [ -n "$line" ]; do
  if [ $in_expect -eq 1 ]; then
    printf '%s\n' "$line" >>"$work/expected"
    continue
  fi
  read -r word rest <<<"$line" || true
  case "$word" in
    '' | '#'*) ;;
    port) port=$rest ;;
    prefs) for pref in $rest; do prefs+=(-o "${pref//@CASES@/$cases_dir}"); done ;;
    fields) for field in $rest; do fields+=(-e "$field"); done ;;
    expect) in_expect=1 ;;
    h* | g*)
      # text2pcap takes "<" as sent by the capturing host and ">" as received by it.
      dir='<'
      [ "${word:0:1}" = g ] && dir='>'
      stamp=00:00:00.000
      [ "${word:1:1}" = @ ] && stamp=00:00:${word:2}
      printf '\n%s %s %s' "$dir" "$stamp" "${rest// /}" >>"$work/segments" ;;
    +) printf '%s' "${rest// /}" >>"$work/segments" ;;
    *) echo "$case_file: cannot read line: $line" >&2; exit 2 ;;
  esac
done <"$case_file"
echo >>"$work/segments"

text2pcap -q -t '%H:%M:%S.%f' -T 40001,"$port" -4 127.0.0.1,127.0.0.2 \
  -r '^(?<dir>[<>]) (?<time>[0-9:.]+) (?<data>[0-9a-fA-F]+)$' \
  "$work/segments" "$work/capture.pcapng" >"$work/text2pcap.log" 2>&1 || {
  cat "$work/text2pcap.log"
  exit 1
}

run_tshark() {
  tshark -2 -r "$work/capture.pcapng" -X lua_script:"$dissector" -o tcp.analyze_sequence_numbers:FALSE \
    "${prefs[@]}" "$@" 2>"$work/stderr"
  if grep -qi 'lua' "$work/stderr"; then
    cat "$work/stderr" >&2
    return 1
  fi
}

run_tshark -Y krogw -T fields -E separator='|' -E occurrence=a -E aggregator=, \
  -e frame.number "${fields[@]}" >"$work/actual"

# A Lua error inside the dissector shows in the tree, not in the fields.
run_tshark -Y '_ws.lua.error' -T fields -e frame.number >"$work/errors"
if [ -s "$work/errors" ]; then
  echo "Lua errors in frames: $(tr '\n' ' ' <"$work/errors")"
  run_tshark -Y '_ws.lua.error' -V -O krogw >&2 || true
  exit 1
fi

if ! diff -u "$work/expected" "$work/actual"; then
  echo "FAILED: $case_file (- expected, + decoded)"
  exit 1
fi
