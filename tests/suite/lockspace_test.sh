#!/usr/bin/env bash
# The scripts' lock space (scripts/lib/lockspace.sh) beside a running program:
# a second program beside it ends at once, one in a lock space of its own
# comes up; where no lock space can be had, a script fails in one line that
# says another instance holds the lock.
#
#   lockspace_test.sh ROOT PROGRAM
set -euo pipefail

root=$1
program=$2
. "$root/scripts/lib/lockspace.sh"
# The test runs in a lock space of its own, even inside another's: the first
# program below must take the lock, and the test unmarks its space.
if [ -z "${ULK_LOCK_TEST_AGAIN:-}" ]; then
  ULK_LOCK_TEST_AGAIN=1 in_new_lock_space bash "$0" "$@" || {
    echo "needs root and unshare for a lock space: skipped"
    exit 77
  }
fi
in_lock_space || {
  echo "FAILED: the test was run again, but not in a lock space" >&2
  exit 1
}
. "$root/scripts/lib/xvfb.sh"
start_xvfb
export DISPLAY=$xvfb_display

work=$(mktemp -d)
pids=("$xvfb_pid")
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
wait_for() { # wait_for SECONDS COMMAND...: until COMMAND succeeds
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.1
  done
}
main_windows() { xdotool search --onlyvisible --name '^ULK Updater$' 2>/dev/null | wc -l; }
windows_are() { [ "$(main_windows)" -eq "$1" ]; }
ended() { ! kill -0 "$1" 2>/dev/null; }
cd "$work"

"$program" >"$work/first.log" 2>&1 &
pids+=($!)
wait_for 30 lock_held || fail "the program took no lock"
wait_for 30 windows_are 1 || fail "the program's window did not show"

# Beside it, a second program ends at once.
"$program" >"$work/beside.log" 2>&1 &
beside=$!
pids+=("$beside")
wait_for 30 ended "$beside" || fail "a second program beside the first did not end"

# In a lock space of its own, it comes up beside the first.
(in_new_lock_space "$program" >"$work/apart.log" 2>&1) &
pids+=($!)
wait_for 30 windows_are 2 || fail "a program in a lock space of its own did not come up: $(cat "$work/apart.log")"

# The test's space, unmarked, stands for a machine without one.
rm "$ulk_lock_space_mark"
lib="$root/scripts/lib/lockspace.sh"
probe() { bash -c '. "$1"; shift; own_lock_space probe "$@"' sh "$lib" "$@" >"$work/out" 2>"$work/said"; }

# A script re-runs itself in a lock space of its own...
probe bash -c '. "$1"; in_lock_space && ! lock_held && echo apart' sh "$lib" ||
  fail "the script did not run on: $(cat "$work/said")"
[ "$(cat "$work/out")" = apart ] || fail "the script did not run apart from the program: $(cat "$work/out" "$work/said")"

# ...and where none can be had (here: an unshare that fails), it fails in one line.
mkdir "$work/bin"
printf '#!/bin/sh\nexit 1\n' >"$work/bin/unshare"
chmod +x "$work/bin/unshare"
PATH="$work/bin:$PATH" probe echo ran && fail "with the lock held and no lock space, the script ran: $(cat "$work/out")"
[ "$(wc -l <"$work/said")" -eq 1 ] || fail "it said more or less than one line: $(cat "$work/said")"
grep -q '^probe: another instance of ULK Updater holds the single-instance lock' "$work/said" ||
  fail "it said: $(cat "$work/said")"
echo "lock space: a program beside the first ended, one in a space of its own came up; without one: $(cat "$work/said")"
