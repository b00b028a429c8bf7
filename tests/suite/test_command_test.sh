#!/usr/bin/env bash
# scripts/test --help prints what the command does and starts nothing; an
# unknown argument is refused in one line, also before anything starts.
# Whatever the command would run first (set-up, lock space, X server, build)
# is a stub here that notes it was run.
#
#   test_command_test.sh ROOT
set -euo pipefail

root=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
for tool in dpkg-query apt-get sudo unshare Xvfb cmake ctest; do
  printf '#!/bin/sh\necho %s >>"%s"\nexit 1\n' "$tool" "$work/ran" >"$work/bin/$tool"
  chmod +x "$work/bin/$tool"
done
fail() {
  echo "FAILED: $*" >&2
  exit 1
}

status=0
PATH="$work/bin:$PATH" "$root/scripts/test" --help >"$work/out" 2>&1 || status=$?
[ $status -eq 0 ] || fail "--help ended with $status: $(cat "$work/out")"
[ ! -e "$work/ran" ] || fail "--help ran $(tr '\n' ' ' <"$work/ran")"
grep -q '^  scripts/test --quick ' "$work/out" || fail "--help printed: $(cat "$work/out")"

status=0
PATH="$work/bin:$PATH" "$root/scripts/test" --quik >"$work/out" 2>&1 || status=$?
[ $status -eq 2 ] || fail "an unknown argument ended with $status: $(cat "$work/out")"
[ ! -e "$work/ran" ] || fail "an unknown argument ran $(tr '\n' ' ' <"$work/ran")"
[ "$(cat "$work/out")" = "usage: scripts/test [--quick | --help]" ] || fail "an unknown argument printed: $(cat "$work/out")"
