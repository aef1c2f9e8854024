#!/usr/bin/env bash
# The documents of an installation point only into it: every markdown link names a file
# or folder that is there, every `share/...` path too, and no guide or manual page names
# a path of the source tree. Prints each fault; exits 1 when there is one.
#
#   installed_docs_check.sh ROOT    (ROOT: the installation's prefix)
set -uo pipefail
root=$1
docs=$root/share/doc/krogw
source_folders='tools|tests|scripts|driver|exchange|gateway|config|address|context|platform|cmake|bench|fuzz|host|docs|demo'
faults=0
fault() {
  echo "FAIL: $*"
  faults=1
}

[ ! -e "$docs/code-map.md" ] || fault "the contributors' code map is installed"
for page in "$docs"/*.md; do
  name=${page#"$root"/}
  # Links: ](target) without a scheme, the #fragment dropped, from the page's folder.
  while read -r target; do
    target=${target%%#*}
    [ -z "$target" ] || [ -e "$docs/$target" ] || fault "$name links to $target, which is not installed"
  done < <(grep -oE '\]\([^)]*\)' "$page" | sed -E 's/^\]\((.*)\)$/\1/' | grep -vE '^[a-z]+:')
  while read -r path; do
    [ -e "$root/$path" ] || fault "$name names $path, which is not installed"
  done < <(grep -oE '`share/[^` ]*`' "$page" | tr -d '`')
done
for page in "$docs"/*.md "$root"/share/man/man*/*; do
  grep -nE "(^|[^A-Za-z0-9_./-])($source_folders)/" "$page" |
    sed "s|^|FAIL: ${page#"$root"/} names a source path: |" | grep . && faults=1
done
exit $faults
