# Sourced by the scripts that need an X server of their own.
#
# start_xvfb: starts Xvfb on a display number the server picks itself
# (-displayfd: no number is guessed, so two runs at once never share a
# server), waits until that server answers, and sets xvfb_display (":N") and
# xvfb_pid; the caller ends the server.  When Xvfb ends or does not answer
# within 10 s it says so in one line and returns non-zero.
start_xvfb() {
  local said n=
  said=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$said" >/dev/null 2>&1 &
  xvfb_pid=$!
  # The server writes its number, and a line feed, once it takes connections.
  for _ in $(seq 200); do
    if [ "$(wc -l <"$said")" -ge 1 ]; then
      n=$(tr -dc 0-9 <"$said")
      break
    fi
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.05
  done
  rm -f "$said"
  if [ -z "$n" ] || ! kill -0 "$xvfb_pid" 2>/dev/null || ! xdpyinfo -display ":$n" >/dev/null 2>&1; then
    echo "Xvfb did not come up (pid $xvfb_pid${n:+, display :$n})" >&2
    kill "$xvfb_pid" 2>/dev/null || true
    return 1
  fi
  xvfb_display=":$n"
}
