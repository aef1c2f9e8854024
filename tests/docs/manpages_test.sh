#!/usr/bin/env bash
# The manual pages say what the programs' --help says: the same options (the tags of
# OPTIONS) and the same exit statuses (the tags of EXIT STATUS). Every page lints clean.
#
#   manpages_test.sh MAN_DIR PROGRAM...   (MAN_DIR holds PROGRAM's page NAME.1)
set -uo pipefail
man_dir=$1
shift
faults=0
fault() {
  echo "FAIL: $*"
  faults=1
}

# The tags (the line after each .TP) of one section of a page, hyphens unescaped.
section_tags() {
  awk -v section=".SH $2" '/^\.SH /{inside = ($0 == section)} inside && previous == ".TP" {print} {previous = $0}' "$1" |
    sed 's/\\-/-/g'
}
same() {
  local what=$1 from_help=$2 from_page=$3
  [ -n "$from_help" ] || fault "$what: --help lists none"
  [ "$from_help" = "$from_page" ] ||
    fault "$what differ: --help has [$(echo $from_help)], the page [$(echo $from_page)]"
}

for program in "$@"; do
  name=$(basename "$program")
  page=$man_dir/$name.1
  help=$("$program" --help) || fault "$name --help failed"
  same "$name options" "$(grep -oE -- '^  --[a-z][a-z-]*' <<<"$help" | tr -d ' ' | sort -u)" \
    "$(section_tags "$page" OPTIONS | grep -oE -- '--[a-z][a-z-]*' | sort -u)"
  same "$name exit statuses" \
    "$(sed -n '/^Exit status:/,$p' <<<"$help" | tr '\n' ' ' | grep -oE '(:|,) [0-9]+ ' | tr -dc '0-9\n' | sort -u)" \
    "$(section_tags "$page" 'EXIT STATUS' | grep -oE '[0-9]+' | sort -u)"
done

if command -v mandoc >/dev/null; then
  for page in "$man_dir"/*.[1-9]; do
    lint=$(mandoc -T lint -W warning "$page" 2>&1)
    [ -z "$lint" ] || fault "$(basename "$page") does not lint clean: $lint"
  done
else
  echo "SKIPPED: the pages are not linted without mandoc (scripts/install-deps.sh installs it)"
  [ $faults -eq 0 ] && exit 77
fi
exit $faults
