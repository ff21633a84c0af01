# Sourced by the scripts that run a program on a virtual X display.
# start_xvfb GEOMETRY DIR: starts Xvfb on a display it picks itself (no clash
# with other servers running on this machine), exports DISPLAY and sets XVFB to
# its process id. Fails when no server came up within a few seconds.
start_xvfb() {
  local file="$2/xvfb.display"
  : >"$file"
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp 3>"$file" >/dev/null 2>&1 &
  XVFB=$!
  for _ in $(seq 1 100); do
    [ -s "$file" ] && break
    kill -0 "$XVFB" 2>/dev/null || return 1
    sleep 0.1
  done
  [ -s "$file" ] || return 1
  export DISPLAY=":$(head -n 1 "$file")"
}
