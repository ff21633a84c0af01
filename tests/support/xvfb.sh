# Sourced by the scripts that run a program on a virtual X display.
# start_xvfb GEOMETRY DIR: starts Xvfb on a display it picks itself (no clash
# with other servers running on this machine), exports DISPLAY and sets XVFB to
# its process id. Fails when no server came up within a few seconds. The
# server does not reset when its last client leaves: a program started right
# then (after the tools' probes) would be turned away.
start_xvfb() {
  local file="$2/xvfb.display"
  : >"$file"
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp -noreset 3>"$file" >/dev/null 2>&1 &
  XVFB=$!
  for _ in $(seq 1 100); do
    [ -s "$file" ] && break
    kill -0 "$XVFB" 2>/dev/null || return 1
    sleep 0.1
  done
  [ -s "$file" ] || return 1
  export DISPLAY=":$(head -n 1 "$file")"
}

# make_test_bitmaps DIR: first.bmp (320 x 240, left half red, right half blue)
# and second.bmp (200 x 100, all green), 24-bit bitmaps every reader here takes.
make_test_bitmaps() {
  python3 - "$1" <<'PY'
import struct, sys
def bmp(path, w, h, colour):
    row = (w * 3 + 3) & ~3
    data = bytearray()
    for y in range(h - 1, -1, -1):
        line = bytearray()
        for x in range(w):
            b, g, r = colour(x, y)
            line += bytes((b, g, r))
        data += line + b"\0" * (row - len(line))
    head = b"BM" + struct.pack("<IHHI", 54 + len(data), 0, 0, 54)
    head += struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    open(path, "wb").write(head + data)
bmp(sys.argv[1] + "/first.bmp", 320, 240, lambda x, y: (0, 0, 255) if x < 160 else (255, 0, 0))
bmp(sys.argv[1] + "/second.bmp", 200, 100, lambda x, y: (0, 255, 0))
PY
}

window_ids() {  # ids of top-level windows whose name holds $1
  xwininfo -root -children 2>/dev/null | grep -F "$1" | awk '{print $1}'
}
wait_for_windows() {  # text count seconds
  for _ in $(seq 1 $(($3 * 4))); do
    [ "$(window_ids "$1" | wc -l)" -ge "$2" ] && return 0
    sleep 0.25
  done
  return 1
}

# require_tools TOOL...: exits 77 (skipped) naming the first tool missing.
require_tools() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed${SKIP_HINT:-}"; exit 77; }
  done
}

# private_session DIR: a home, settings and runtime folder of the test's own,
# so the program touches nothing of the user's and no instance running on the
# desktop takes the test's files over.
private_session() {
  export HOME="$1/home" XDG_CONFIG_HOME="$1/config" XDG_RUNTIME_DIR="$1/run"
  mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  unset WAYLAND_DISPLAY
}

# start_display GEOMETRY DIR: start_xvfb, then waits until the server answers;
# exits 77 (skipped) when it does not come up.
start_display() {
  start_xvfb "$1" "$2" || { echo "SKIP: Xvfb did not start"; exit 77; }
  for _ in $(seq 1 40); do xwininfo -root >/dev/null 2>&1 && return 0; sleep 0.25; done
  echo "SKIP: Xvfb did not start"
  exit 77
}

title_of() {  # the title of window $1
  xprop -id "$1" _NET_WM_NAME 2>/dev/null | sed -n 's/^_NET_WM_NAME(UTF8_STRING) = "\(.*\)"$/\1/p'
}
geometry_of() {  # "x y width height" of window $1 on the screen
  xwininfo -id "$1" 2>/dev/null | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
    /^ *Width:/ {w=$NF} /^ *Height:/ {h=$NF} END {print x, y, w, h}'
}

# begin_display_test GEOMETRY: a work folder ($WORK) with a private session in
# it, a display of its own, FAILED=0 for fail(); at exit the program
# ($SERVER), a window manager ($WM) and the display are stopped and the work
# folder removed.
begin_display_test() {
  WORK="$(mktemp -d)"
  private_session "$WORK"
  XVFB="" WM="" SERVER="" FAILED=0
  trap end_display_test EXIT
  start_display "$1" "$WORK"
}
end_display_test() {
  [ -n "$SERVER" ] && kill "$SERVER" 2>/dev/null
  [ -n "$WM" ] && kill "$WM" 2>/dev/null
  [ -n "$XVFB" ] && kill "$XVFB" 2>/dev/null
  rm -rf "$WORK"
}
fail() { echo "FAIL: $*"; FAILED=1; }

# popup_rows_with_text PNG X Y W H COLOUR...: how many bands of rows of the
# area hold pixels other than the colours given (the popup's background and
# separator lines) and the border: the items whose texts are drawn.
popup_rows_with_text() {
  local png="$1" x="$2" y="$3" w="$4" h="$5"
  shift 5
  convert "$png" -crop "${w}x$h+$x+$y" +repage -depth 8 rgb:- | python3 -c '
import sys
w, h = int(sys.argv[1]), int(sys.argv[2])
plain = {bytes.fromhex(c) for c in sys.argv[3:]}
data = sys.stdin.buffer.read()
bands, inside = 0, False
for y in range(1, h - 1):
    row = data[y * w * 3:(y + 1) * w * 3]
    text = any(row[x:x + 3] not in plain for x in range(6, (w - 2) * 3, 3))
    bands += text and not inside
    inside = text
print(bands)' "$w" "$h" "$@"
}

# new_window_geometry KNOWN_IDS: "id x y width height" of the first viewable
# top-level window not among the ids given. One listing of the screen's
# windows, then a look at the new ones only: quick enough to time a window's
# appearance by polling.
new_window_geometry() {
  local id
  for id in $(xwininfo -root -children 2>/dev/null | awk '/^ +0x/ {print $1}'); do
    [[ " $1 " == *" $id "* ]] && continue
    xwininfo -id "$id" 2>/dev/null | awk '/IsViewable/ {v=1} /Absolute upper-left X/ {x=$NF}
      /Absolute upper-left Y/ {y=$NF} /^ *Width:/ {w=$NF} /^ *Height:/ {h=$NF}
      END {if (!v) exit 1; print "'"$id"'", x, y, w, h}' && return 0
  done
  return 1
}
