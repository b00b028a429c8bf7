#!/usr/bin/env bash
# Configure refuses build/, the backends' source folder, as the binary folder
# (also below it, or through a link), in one line that says to build into
# out/; other folders are not refused.  On a copy of the top-level
# CMakeLists.txt, which refuses before anything else.
#
#   configure_test.sh ROOT
set -euo pipefail

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tree="$work/source+tree"
mkdir -p "$tree/build"
cp "$1/CMakeLists.txt" "$tree/"
ln -s build "$tree/link-to-build"
refusal="build/ holds the backends' sources, not builds: build into out/ instead"

failed=0
while read -r binary expected; do
  said=$(cmake -S "$tree" -B "$tree/$binary" 2>&1) && status=0 || status=$?
  refused=no
  if [ $status -ne 0 ] && tr -s " \n" "  " <<<"$said" | grep -qF "$refusal"; then refused=yes; fi
  if [ "$refused" != "$expected" ]; then
    echo "FAILED: -B $binary: refused $refused, expected $expected; cmake said:" >&2
    echo "$said" >&2
    failed=1
  fi
done <<'CASES'
build yes
build/ yes
build/debug yes
link-to-build yes
out/default no
buildings no
CASES
exit $failed
