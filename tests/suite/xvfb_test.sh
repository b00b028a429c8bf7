#!/usr/bin/env bash
# The scripts' Xvfb starter (scripts/lib/xvfb.sh): two starts at once get a
# server each, each display answering as long as its own server lives; an
# Xvfb that does not come up fails the start with a line saying so.
set -euo pipefail

. "$1/scripts/lib/xvfb.sh"
work=$(mktemp -d)
started=()
cleanup() {
  local pid
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
answers() { xdpyinfo -display "$1" >/dev/null 2>&1; }

for run in a b; do
  (start_xvfb && echo "$xvfb_display $xvfb_pid" >"$work/$run") &
done
wait
display_a= display_b= pid_a=
for run in a b; do
  [ -s "$work/$run" ] || continue
  read -r display pid <"$work/$run"
  started+=("$pid")
  printf -v "display_$run" %s "$display"
  printf -v "pid_$run" %s "$pid"
done
[ -n "$display_a" ] && [ -n "$display_b" ] || fail "two starts at once gave '$display_a' and '$display_b'"
[ "$display_a" != "$display_b" ] || fail "two starts at once share display $display_a"
answers "$display_a" || fail "$display_a does not answer"
answers "$display_b" || fail "$display_b does not answer"
kill "$pid_a"
for _ in $(seq 100); do answers "$display_a" || break; sleep 0.05; done
! answers "$display_a" || fail "$display_a still answers after its server ended"
answers "$display_b" || fail "$display_b went with the other server"

# An Xvfb that ends at once.
mkdir "$work/bin"
printf '#!/bin/sh\nexit 1\n' >"$work/bin/Xvfb"
chmod +x "$work/bin/Xvfb"
if PATH="$work/bin:$PATH" start_xvfb 2>"$work/said"; then
  fail "a start whose Xvfb ended succeeded, with display $xvfb_display"
fi
grep -q '^Xvfb did not come up' "$work/said" || fail "the failed start said: $(cat "$work/said")"
[ "$(wc -l <"$work/said")" -eq 1 ] || fail "the failed start said more than one line: $(cat "$work/said")"
echo "xvfb starter: $display_a and $display_b side by side; a dead Xvfb fails the start"
