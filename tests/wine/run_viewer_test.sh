#!/usr/bin/env bash
# The Windows program under Wine on a virtual X display, seen from outside:
# the window title, the image's pixels on screen, stepping through the folder
# with the keys, the window keywords (-pos, -zoom, -title, -fullscreen,
# -topmost), the hand-off of a second start to the running instance, "-close",
# the open dialog when no file is given, the message box naming a file that
# cannot be opened and the failure status of such a start, no settings written
# by a copy that is not installed, and the checkerboard behind a transparent
# image when the setting asks for it.
# Exit 77 (skipped) when the tools are missing.
# Usage: tests/wine/run_viewer_test.sh path/to/vistrel.exe
set -uo pipefail
EXE="$(realpath "${1:?usage: $0 vistrel.exe}")"
SUPPORT="$(cd "$(dirname "$0")/../support" && pwd)"
source "$SUPPORT/xvfb.sh"
SKIP_HINT=" (scripts/install-deps.sh --with-windows installs it)" \
  require_tools wine Xvfb xwininfo xprop xdotool import convert python3

WORK="$(mktemp -d)"
export WINEPREFIX="$WORK/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
XVFB=""
POINTER=""
start_xvfb 1280x1024 "$WORK" || { echo "SKIP: Xvfb did not start"; exit 77; }
FAILED=0
cleanup() {
  wineserver -k >/dev/null 2>&1
  [ -n "$POINTER" ] && kill "$POINTER" 2>/dev/null
  [ -n "$XVFB" ] && kill "$XVFB" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT

# The pointer rests in the bottom-right corner, away from the windows, so that
# they keep the frameless look they have while the mouse is elsewhere. The
# process that put it there stays connected: an X server with no clients left
# resets, and the pointer with it.
point_at() {  # x y
  [ -n "$POINTER" ] && kill "$POINTER" 2>/dev/null
  xdotool mousemove "$1" "$2" sleep 600 >/dev/null 2>&1 &
  POINTER=$!
}
point_at 1279 1023

# A fresh prefix; the Chinese texts need a CJK font in it.
wineboot -i >/dev/null 2>&1
wineserver -w
for font in /usr/share/fonts/truetype/wqy/wqy-microhei.ttc /usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc; do
  [ -f "$font" ] && cp "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
done
# With no window manager on the display, Wine places the windows itself
# (otherwise a maximized window waits for a manager to size it), and the
# message boxes' texts are traced.
cat >>"$WINEPREFIX/user.reg" <<'REG'

[Software\\Wine\\X11 Driver] 1700000000
"Managed"="N"

[Software\\Wine\\Debug] 1700000000
"RelayInclude"="user32.MessageBoxW"
REG

# first.bmp, second.bmp and third.bmp (160 x 120, all yellow) in natural
# order, then wide.bmp (2560 x 200, grey), twice the screen's width.
make_test_bitmaps "$WORK"
python3 - "$WORK" <<'PY'
import os, struct, sys
def bmp(path, w, h, bgr):
    row = (w * 3 + 3) & ~3
    line = bytes(bgr) * w + b"\0" * (row - w * 3)
    head = b"BM" + struct.pack("<IHHI", 54 + row * h, 0, 0, 54)
    head += struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, row * h, 2835, 2835, 0, 0)
    open(path, "wb").write(head + line * h)
bmp(sys.argv[1] + "/third.bmp", 160, 120, (0, 255, 255))
bmp(sys.argv[1] + "/wide.bmp", 2560, 200, (128, 128, 128))
os.mkdir(sys.argv[1] + "/bad")
open(sys.argv[1] + "/bad/broken.bmp", "wb").write(b"BM" + b"\xff" * 100)
PY

exact_window() {  # the id of the shown top-level window titled exactly $1
  local id
  for id in $(xwininfo -root -children 2>/dev/null | grep -F "\"$1\":" | awk '{print $1}'); do
    xwininfo -id "$id" 2>/dev/null | grep -q IsViewable && { echo "$id"; return 0; }
  done
  return 1
}
wait_for_title() {  # title seconds: the id of the window with that title, once there
  local id
  for _ in $(seq 1 $(($2 * 4))); do
    id="$(exact_window "$1")"
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.25
  done
  return 1
}
wait_for_end() {  # pid seconds
  for _ in $(seq 1 $(($2 * 4))); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.25
  done
  return 1
}
# Screenshots go to a folder of their own: the images' folder is stepped through.
mkdir "$WORK/shots"
shoot() { import -window root "$WORK/shots/shot.png"; }
pixel() { convert "$WORK/shots/shot.png" -format "%[pixel:p{$1,$2}]" info: 2>/dev/null; }
is_colour() {  # x y name: the screen shows that colour there
  local p
  p="$(pixel "$1" "$2")"
  case "$3" in
    red) [[ "$p" == "srgb(255,0,0)" || "$p" == red ]] ;;
    blue) [[ "$p" == "srgb(0,0,255)" || "$p" == blue ]] ;;
    yellow) [[ "$p" == "srgb(255,255,0)" || "$p" == yellow ]] ;;
  esac
}
# The texts of the message boxes that process $1's trace file shows.
message_texts() {
  python3 - "$1" <<'PY'
import re, sys
for line in open(sys.argv[1], encoding="utf-8", errors="replace"):
    m = re.search(r'Call user32\.MessageBoxW\([0-9a-f]+,[0-9a-f]+ L"((?:[^"\\]|\\.)*)"', line)
    if not m:
        continue
    plain = {"n": "\n", "r": "\r", "t": "\t"}
    print(re.sub(r'\\([0-9a-f]{4}|.)', lambda g: chr(int(g.group(1), 16)) if len(g.group(1)) == 4
                 else plain.get(g.group(1), g.group(1)), m.group(1)))
PY
}
# Window path of a file of the work folder, as the program sees it.
windows_path() { echo "Z:${1//\//\\}"; }

cd "$WORK"
wine "$EXE" "first.bmp" >/dev/null 2>&1 &
SERVER=$!
EXPECTED="first.bmp | 320•240•24 | Vistrel"
if ! ID="$(wait_for_title "$EXPECTED" 60)"; then
  fail "no window titled '$EXPECTED' appeared"
  window_ids "Vistrel"
  exit 1
fi
sleep 1
echo "title: $(title_of "$ID")"

# The image is centred on the 1280 x 1024 screen (no panel: the work area is
# the whole screen): red left of the centre, blue right of it, and nothing
# of it beyond its 320 pixels.
shoot
echo "pixels: $(pixel 560 512) $(pixel 720 512) $(pixel 440 512)"
is_colour 560 512 red || fail "left of centre is $(pixel 560 512), not red"
is_colour 720 512 blue || fail "right of centre is $(pixel 720 512), not blue"
is_colour 480 392 red && is_colour 799 631 blue || fail "the image does not start at 480,392 and end at 799,631"
is_colour 479 392 red || is_colour 800 631 blue || is_colour 480 391 red || is_colour 799 632 blue &&
  fail "the image reaches beyond 480,392 to 799,631"

# The frame shows while the mouse is over the image, around the same client
# area, and goes again a little after the mouse has left. (Wine makes a new X
# window when a window changes between layered and framed: look it up anew.)
point_at 600 500
FRAMED=""
for _ in $(seq 1 20); do
  sleep 0.25
  read -r X Y W H _ <<<"$(geometry_of "$(exact_window "$EXPECTED")") 0 0 0 0"
  [ "$Y" -lt 391 ] && [ "$H" -gt 242 ] && { FRAMED=1; break; }
done
echo "mouse over the image: $W x $H at $X,$Y"
[ -n "$FRAMED" ] || fail "no frame appeared with the mouse over the image"
shoot
is_colour 480 392 red && is_colour 799 631 blue || fail "the frame moved the image away from 480,392"
point_at 1279 1023
for _ in $(seq 1 20); do
  sleep 0.25
  ID="$(exact_window "$EXPECTED")"
  [ -n "$ID" ] && [ "$(geometry_of "$ID")" = "479 391 322 242" ] && { FRAMED=""; break; }
done
echo "mouse gone: $(geometry_of "$ID")"
[ -z "$FRAMED" ] || fail "the frame stayed after the mouse had left"

# The popup menu: a right click opens it at the pointer (timed from the
# click by the one process that makes it) with every item's text drawn; keys
# go down to "查看", into it and down to "放大", and Enter zooms the image in;
# Escape closes a second menu and nothing else.
xdotool windowfocus --sync "$ID" 2>/dev/null
KNOWN="$(xwininfo -root -children | awk '/^ +0x/ {print $1}' | tr '\n' ' ')"
read -r ELAPSED _ PX PY PW PH < <(python3 "$SUPPORT/x_click_timer.py" 600 500 3)
if [ "$ELAPSED" = none ]; then
  fail "no popup menu appeared after a right click"
else
  echo "popup: $PX,$PY ${PW}x$PH on screen ${ELAPSED} ms after the click"
  [ "$PX $PY" = "600 500" ] || fail "the popup is at $PX,$PY, not at the pointer 600,500"
  sleep 0.5
  shoot
  ROWS="$(popup_rows_with_text "$WORK/shots/shot.png" "$PX" "$PY" "$PW" "$PH" f9f9f9 d7d7d7)"
  echo "popup item rows with text: $ROWS"
  [ "$ROWS" = 12 ] || fail "the popup shows $ROWS item texts, not the 12 of the menu"
  xdotool key Down Down Down Down Down Down Right
  sleep 0.3
  # Past the three window items and the five turns and mirrors.
  xdotool key Down Down Down Down Down Down Down Down Return
  ZOOMED="first.bmp | 320•240•24 | 1.189x | Vistrel"
  ID="$(wait_for_title "$ZOOMED" 10)" || fail "choosing 放大 in the menu did not zoom in"
  new_window_geometry "$KNOWN" >/dev/null && fail "the popup stayed after its item was chosen"
  read -r AGAIN _ < <(python3 "$SUPPORT/x_click_timer.py" 600 500 3)
  [ "$AGAIN" != none ] || fail "no popup menu appeared after the second right click"
  echo "popup again: on screen ${AGAIN} ms after the click"
  xdotool key Escape
  sleep 0.5
  new_window_geometry "$KNOWN" >/dev/null && fail "Escape did not close the popup"
  ID="$(exact_window "$ZOOMED")" || fail "Escape in the popup closed the window too"
  xdotool key r  # back to zoom 1 for what follows
  ID="$(wait_for_title "$EXPECTED" 10)" || fail "r did not restore the zoom after the menu"
fi
point_at 1279 1023
for _ in $(seq 1 20); do
  sleep 0.25
  ID="$(exact_window "$EXPECTED")"
  [ -n "$ID" ] && [ "$(geometry_of "$ID")" = "479 391 322 242" ] && break
done

# The keys step through the folder in natural name order; the window follows
# each image's size, and an image twice as wide as the screen is fitted to it,
# leaving room for the borders of the frame that hovering brings up.
step() {  # key expected-title
  local id
  xdotool windowfocus --sync "$CURRENT" key "$1" 2>/dev/null
  if id="$(wait_for_title "$2" 5)"; then
    CURRENT="$id"
    echo "$1: $2"
  else
    fail "$1 did not show '$2' (titles: $(window_ids 'Vistrel' | while read -r w; do title_of "$w"; done | paste -sd '/'))"
  fi
}
CURRENT="$ID"
step Next "second.bmp | 200•100•24 | Vistrel"
step space "third.bmp | 160•120•24 | Vistrel"
WIDE="wide.bmp | 2560•200•24 | 0.495x | Vistrel"
step End "$WIDE"
read -r X Y W H <<<"$(geometry_of "$CURRENT")"
echo "wide window: $W x $H at $X,$Y"
[ "$X" -ge 2 ] && [ $((X + W)) -le 1278 ] && [ "$W" -ge 1260 ] && [ "$H" -le 104 ] ||
  fail "wide.bmp is not fitted to the screen less the frame's borders: $W x $H at $X,$Y"
step Home "first.bmp | 320•240•24 | Vistrel"
step Prior "$WIDE"  # wraps round to the last
step BackSpace "third.bmp | 160•120•24 | Vistrel"

# A second start hands its file to the running instance and ends.
wine "$EXE" "second.bmp" >/dev/null 2>&1 &
SECOND=$!
wait_for_end "$SECOND" 30 || fail "the second start did not end"
wait_for_windows "| Vistrel" 2 20 || fail "the running instance did not open a second window"
kill -0 "$SERVER" 2>/dev/null || fail "the first instance is gone"
echo "windows: $(window_ids '| Vistrel' | wc -l)"

# The window keywords, handed to the running instance. -pos places the
# client area (the image) at that point: the thin border lies outside it.
wine "$EXE" -pos=100,150 -zoom=0.5 third.bmp >/dev/null 2>&1
if ID="$(wait_for_title "third.bmp | 160•120•24 | 0.5x | Vistrel" 10)"; then
  sleep 0.5
  shoot
  echo "-pos=100,150 -zoom=0.5: window $(geometry_of "$ID")"
  is_colour 100 150 yellow && is_colour 179 209 yellow || fail "the image does not cover 100,150 to 179,209"
  is_colour 99 150 yellow || is_colour 100 149 yellow || is_colour 180 209 yellow || is_colour 179 210 yellow &&
    fail "the image reaches beyond 100,150 to 179,209"
else
  fail "-pos=100,150 -zoom=0.5 third.bmp opened no window with the zoom in its title"
fi
wine "$EXE" "-title=A test picture" third.bmp >/dev/null 2>&1
wait_for_title "A test picture - Vistrel" 10 >/dev/null || fail "-title= did not give the title 'A test picture - Vistrel'"

# Full screen: the window covers the screen, the frame lies outside it, and
# the image (smaller than the screen, so not enlarged) sits in the middle.
BEFORE="$(window_ids 'first.bmp | 320')"
wine "$EXE" -fullscreen first.bmp >/dev/null 2>&1
FULL=""
for _ in $(seq 1 40); do
  FULL="$(window_ids 'first.bmp | 320' | grep -vxF "$BEFORE" | head -1)"
  [ -n "$FULL" ] && break
  sleep 0.25
done
if [ -n "$FULL" ]; then
  sleep 0.5
  read -r X Y W H <<<"$(geometry_of "$FULL")"
  echo "-fullscreen: $W x $H at $X,$Y"
  [ "$X" -le 0 ] && [ "$Y" -le 0 ] && [ $((X + W)) -ge 1280 ] && [ $((Y + H)) -ge 1024 ] ||
    fail "the full-screen window does not cover the screen: $W x $H at $X,$Y"
  shoot
  # The red half spans 480,392 to 639,631; the blue half may meet a
  # background of its own colour, taken from the image.
  is_colour 480 392 red && is_colour 639 631 red && is_colour 640 512 blue ||
    fail "the full-screen window does not show the image at its size in the middle"
  is_colour 479 512 red || is_colour 600 391 red || is_colour 600 632 red &&
    fail "the image is larger than 320 x 240 in full screen"
  [ "$(pixel 0 0)" = "$(pixel 1279 1023)" ] || fail "the corners differ: $(pixel 0 0), $(pixel 1279 1023)"
else
  fail "-fullscreen first.bmp opened no window"
fi

# -close ends the running instance.
wine "$EXE" -close >/dev/null 2>&1
wait_for_end "$SERVER" 20 || fail "-close did not end the running instance"

# -topmost: a window the system keeps above the others. Without a window
# manager Wine shows that only as a state of the windows it leaves to one.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d Y /f >/dev/null 2>&1
wine "$EXE" -topmost third.bmp >/dev/null 2>&1 &
SERVER=$!
if ID="$(wait_for_title "third.bmp | 160•120•24 | Vistrel" 30)"; then
  STATE="$(xprop -id "$ID" _NET_WM_STATE 2>/dev/null)"
  echo "-topmost: $STATE"
  [[ "$STATE" == *_NET_WM_STATE_ABOVE* ]] || fail "-topmost did not keep the window above the others"
else
  fail "-topmost third.bmp opened no window"
fi
wine "$EXE" -close >/dev/null 2>&1
wait_for_end "$SERVER" 20 || fail "-close did not end the topmost instance"
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

# No file: the open dialog; cancelling it ends the program.
wine "$EXE" >/dev/null 2>&1 &
SERVER=$!
if ID="$(wait_for_title "打开图像文件 | Vistrel" 30)"; then
  echo "open dialog: $(title_of "$ID")"
  xdotool windowfocus --sync "$ID" key Escape 2>/dev/null
  wait_for_end "$SERVER" 20 || fail "cancelling the open dialog did not end the program"
else
  fail "no file given, and no open dialog titled '打开图像文件 | Vistrel' appeared"
fi
[ -z "$(window_ids '| Vistrel')" ] || fail "a window is left after the open dialog was cancelled"

# A file that cannot be opened: a message box titled "Vistrel" with the
# reason, Return ends the program, and no window shows an image.
cannot_open() {  # file expected-text
  local id
  (cd "$WORK/bad" && WINEDEBUG=-all,+relay exec wine "$EXE" "$1" >/dev/null 2>"$WORK/trace.txt") &
  SERVER=$!
  if id="$(wait_for_title "Vistrel" 30)"; then
    [ -z "$(window_ids '| Vistrel')" ] || fail "$1: a viewer window is shown"
    local text
    text="$(message_texts "$WORK/trace.txt")"
    echo "$1: message box '$text'"
    [ "$text" = "$2" ] || fail "$1: the message box says '$text', not '$2'"
    xdotool windowfocus --sync "$id" key Return 2>/dev/null
    if wait_for_end "$SERVER" 20; then
      wait "$SERVER"
      local status=$?
      [ "$status" = 1 ] || fail "$1: the start that showed nothing ended with status $status, not 1"
    else
      fail "$1: Return on the message box did not end the program"
    fi
  else
    fail "$1: no message box titled 'Vistrel' appeared"
    kill "$SERVER" 2>/dev/null
  fi
  [ -z "$(window_ids '| Vistrel')" ] || fail "$1: a viewer window is left"
}
cannot_open broken.bmp "未知的文件格式
$(windows_path "$WORK/bad/broken.bmp")"
cannot_open missing.bmp "无法打开文件: \"$(windows_path "$WORK/bad/missing.bmp")\""

# A copy that is not installed keeps no settings.
wineserver -w
grep -q "Korvanne" "$WINEPREFIX/user.reg" && fail "settings were written to the registry"

# With "Checkerboard" set, a red disc on a transparent canvas (120 x 90) shows
# on squares of 8 pixels, white and light grey from the image's corner; the
# frameless window is opaque then.
python3 - "$WORK/disc.bmp" <<'PY'
import struct, sys
w, h = 120, 90
rows = b"".join(b"".join(struct.pack("<I", 0xFFFF0000 if (x - 60) ** 2 + (y - 45) ** 2 < 900 else 0)
                         for x in range(w)) for y in range(h - 1, -1, -1))
head = b"BM" + struct.pack("<IHHI", 54 + len(rows), 0, 0, 54)
head += struct.pack("<IiiHHIIiiII", 40, w, h, 1, 32, 0, len(rows), 2835, 2835, 0, 0)
open(sys.argv[1], "wb").write(head + rows)
PY
wine reg add 'HKCU\Software\Korvanne\Vistrel' /v Vistrel-Ver /d 9.3 /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Korvanne\Vistrel' /v Checkerboard /t REG_DWORD /d 1 /f >/dev/null 2>&1
wine "$EXE" disc.bmp >/dev/null 2>&1 &
SERVER=$!
if ID="$(wait_for_title "disc.bmp | 120•90•32 | Vistrel" 30)"; then
  sleep 1
  shoot
  read -r X Y W H <<<"$(geometry_of "$ID")"
  CORNER="$(pixel $((X + 2)) $((Y + 2)))" BESIDE="$(pixel $((X + 10)) $((Y + 2)))"
  echo "checkerboard: window $W x $H at $X,$Y: $CORNER $BESIDE $(pixel $((X + 60)) $((Y + 45)))"
  [[ "$CORNER" == "srgb(255,255,255)" || "$CORNER" == white ]] || fail "no white square at the image's corner: $CORNER"
  [ "$BESIDE" = "srgb(204,204,204)" ] || fail "no grey square beside it: $BESIDE"
  is_colour $((X + 60)) $((Y + 45)) red || fail "the disc is not red on the squares"
else
  fail "disc.bmp opened no window"
fi
wine "$EXE" -close >/dev/null 2>&1
wait_for_end "$SERVER" 20 || fail "-close did not end the checkerboard instance"

[ "$FAILED" = 0 ] && echo "PASS" || echo "FAILED"
exit "$FAILED"
