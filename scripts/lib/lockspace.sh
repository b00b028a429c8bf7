# Sourced by the scripts that start the program.
#
# The program allows one instance a machine through JUCE's lock: an fcntl
# lock on a file in /var/tmp.  While anyone's program runs, another one ends
# at once, so the scripts run in a lock space of their own: a mount namespace
# with an empty tmpfs on /var/tmp, where no other program's lock file is seen.

ulk_lock_file="/var/tmp/juceAppLock_ULK Updater"
ulk_lock_space_mark=/var/tmp/.ulk-lock-space

# True inside a lock space (its /var/tmp holds the mark).
in_lock_space() {
  [ -e "$ulk_lock_space_mark" ]
}

# in_new_lock_space COMMAND...: runs COMMAND in a lock space of its own, in
# place of the shell (it does not return then); returns 1 at once where none
# can be had (not root, no unshare, no mount).
in_new_lock_space() {
  [ "$(id -u)" -eq 0 ] && [ -d /var/tmp ] && command -v unshare >/dev/null 2>&1 || return 1
  unshare -m sh -c 'mount -t tmpfs tmpfs /var/tmp' >/dev/null 2>&1 || return 1
  exec unshare -m sh -c 'mount -t tmpfs tmpfs /var/tmp && : >"$0" && exec "$@"' "$ulk_lock_space_mark" "$@"
}

# True while a process holds the lock: /proc/locks names the locked file by
# its device (major:minor, in hex) and inode.
lock_held() {
  [ -e "$ulk_lock_file" ] || return 1
  local dev ino
  read -r dev ino < <(stat -c '%d %i' "$ulk_lock_file")
  awk -v id="$(printf '%02x:%02x:%s' $(((dev >> 8) & 0xfff)) $(((dev & 0xff) | ((dev >> 12) & 0xfff00))) "$ino")" \
    '$2 == "POSIX" && $6 == id { held = 1 } END { exit !held }' /proc/locks
}

# own_lock_space WHO COMMAND...: unless already inside a lock space, re-runs
# COMMAND in one of its own (it does not return then).  Where none can be had
# and another instance holds the lock, WHO fails in one line.
own_lock_space() {
  local who=$1
  shift
  in_lock_space || in_new_lock_space "$@" || true
  if ! in_lock_space && lock_held; then
    echo "$who: another instance of ULK Updater holds the single-instance lock ($ulk_lock_file): end it, or run as root, with unshare, for a lock space of its own" >&2
    exit 1
  fi
}
