#!/usr/bin/env bash
# Smoke test of the Linux desktop program on a virtual X display: the window
# title, the image's pixels on screen, no OpenGL driver loaded, the popup
# menu, the hand-off of a second start to the running instance, "-close", a
# key press reaching the viewer's key bindings (Escape closes), a clean exit,
# and no settings written by a copy that is not installed. Given the build
# folder too, it installs the program into a temporary prefix and checks the
# installed files and that the installed copy keeps its settings, that its
# "Checkerboard" setting puts a transparent image on squares, and runs the
# unit-test program's window tests on the display. Exit 77 (skipped) when the
# tools are missing.
# Usage: tests/gtk/run_gtk_test.sh path/to/vistrel-gtk [build folder]
set -uo pipefail
PROGRAM="$(realpath "${1:?usage: $0 vistrel-gtk [build folder]}")"
BUILD="${2:-}"
CONVERT=/usr/bin/convert
SUPPORT="$(cd "$(dirname "$0")/../support" && pwd)"
source "$SUPPORT/xvfb.sh"
require_tools Xvfb xwininfo xprop xdotool import python3 "$CONVERT"

begin_display_test 1280x1024

make_test_bitmaps "$WORK"

cd "$WORK"
"$PROGRAM" "first.bmp" >"$WORK/program.log" 2>&1 &
SERVER=$!
EXPECTED="first.bmp | 320•240•24 | Vistrel"
if ! wait_for_windows "first.bmp" 1 20; then
  fail "no window appeared"
  cat "$WORK/program.log"
  exit 1
fi
sleep 1
ID="$(window_ids "first.bmp" | head -1)"
TITLE="$(xprop -id "$ID" _NET_WM_NAME 2>/dev/null | sed -n 's/^_NET_WM_NAME(UTF8_STRING) = "\(.*\)"$/\1/p')"
[ "$TITLE" = "$EXPECTED" ] || fail "title is '$TITLE', expected '$EXPECTED'"
echo "title: $TITLE"

# The image is centred on the 1280 x 1024 screen (no window manager: no
# frame, and the work area is the whole screen); the frameless window wears
# its one-pixel border around it.
GEOMETRY="$(xwininfo -id "$ID" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF} /Width:/{w=$NF} /Height:/{h=$NF} END{print x, y, w, h}')"
echo "window: $GEOMETRY"
[ "$GEOMETRY" = "479 391 322 242" ] || fail "the window is at $GEOMETRY, expected 479 391 322 242"

# Red left of the centre, blue right of it, the screen's black outside.
import -window root "$WORK/shot.png"
pixel() { "$CONVERT" "$WORK/shot.png" -format "%[pixel:p{$1,$2}]" info: 2>/dev/null; }
LEFT="$(pixel 560 512)"; RIGHT="$(pixel 720 512)"; OUTSIDE="$(pixel 470 512)"
TOPLEFT="$(pixel 480 392)"; BOTTOMRIGHT="$(pixel 799 631)"; BELOW="$(pixel 799 632)"
echo "pixels: $LEFT $RIGHT $OUTSIDE $TOPLEFT $BOTTOMRIGHT $BELOW"
is_red() { case "$1" in srgb\(255,0,0\)|red) return 0 ;; esac; return 1; }
is_blue() { case "$1" in srgb\(0,0,255\)|blue) return 0 ;; esac; return 1; }
is_red "$LEFT" || fail "left of centre is $LEFT, not red"
is_blue "$RIGHT" || fail "right of centre is $RIGHT, not blue"
is_red "$TOPLEFT" || fail "the image's first pixel is $TOPLEFT, not red"
is_blue "$BOTTOMRIGHT" || fail "the image's last pixel is $BOTTOMRIGHT, not blue"
{ is_red "$OUTSIDE" || is_blue "$OUTSIDE"; } && fail "the image is wider than it should be"
{ is_red "$BELOW" || is_blue "$BELOW"; } && fail "the image is taller than it should be"
BORDER="$(pixel 479 391)"
{ is_red "$BORDER" || is_blue "$BORDER" || [ "$BORDER" = "srgb(0,0,0)" ] || [ "$BORDER" = "black" ]; } &&
  fail "no border around the image: $BORDER"

# The program draws without OpenGL: the toolkit is kept from loading the
# system's OpenGL driver as it starts, which took most of its start-up time.
GL="$(grep -o -E '[^/ ]*(libGLX|_dri\.so|libLLVM)[^ ]*' "/proc/$SERVER/maps" 2>/dev/null | sort -u | tr '\n' ' ')"
[ -z "$GL" ] || fail "the program loaded OpenGL libraries: $GL"

# The popup menu: a right click opens it at the pointer with every item's
# text drawn; keys move through it and into a submenu, Enter chooses "放大"
# and the title shows the new zoom; Escape closes only the menu.
KNOWN="$(xwininfo -root -children | awk '/^ +0x/ {print $1}' | tr '\n' ' ')"
# From the click to the popup on screen, timed by one process that does both.
read -r ELAPSED POPUP_ID PX PY PW PH < <(python3 "$SUPPORT/x_click_timer.py" 600 500 3)
POPUP=""
[ "$ELAPSED" != none ] && POPUP="$POPUP_ID"
if [ -z "$POPUP" ]; then
  fail "no popup menu appeared after a right click"
else
  echo "popup: $PX,$PY ${PW}x$PH on screen ${ELAPSED} ms after the click"
  [ "$PX $PY" = "600 500" ] || fail "the popup is at $PX,$PY, not at the pointer 600,500"
  sleep 0.3
  import -window root "$WORK/popup.png"
  ROWS="$(popup_rows_with_text "$WORK/popup.png" "$PX" "$PY" "$PW" "$PH" f9f9f9 d7d7d7)"
  echo "popup item rows with text: $ROWS"
  [ "$ROWS" = 12 ] || fail "the popup shows $ROWS item texts, not the 12 of the menu"
  xdotool key Down Down Down Down Down Down Right
  sleep 0.2
  # Past the three window items and the five turns and mirrors.
  xdotool key Down Down Down Down Down Down Down Down Return
  for _ in $(seq 1 40); do [[ "$(title_of "$ID")" == *"| 1.189x |"* ]] && break; sleep 0.1; done
  [[ "$(title_of "$ID")" == *"| 1.189x |"* ]] || fail "choosing 放大 in the menu left the title at '$(title_of "$ID")'"
  new_window_geometry "$KNOWN" >/dev/null && fail "the popup stayed after its item was chosen"
  read -r AGAIN _ < <(python3 "$SUPPORT/x_click_timer.py" 600 500 3)
  [ "$AGAIN" != none ] || fail "no popup menu appeared after the second right click"
  echo "popup again: on screen ${AGAIN} ms after the click"
  xdotool key Escape
  sleep 0.5
  new_window_geometry "$KNOWN" >/dev/null && fail "Escape did not close the popup"
  [ -n "$(window_ids "first.bmp")" ] || fail "Escape in the popup closed the window too"
  xdotool key r  # back to zoom 1 for what follows
  sleep 0.3
fi

# A second start hands its file to the running instance and ends.
"$PROGRAM" "second.bmp" >"$WORK/second.log" 2>&1 &
SECOND=$!
for _ in $(seq 1 80); do kill -0 "$SECOND" 2>/dev/null || break; sleep 0.25; done
kill -0 "$SECOND" 2>/dev/null && fail "the second start did not end"
wait_for_windows "second.bmp | 200•100•24 | Vistrel" 1 10 || fail "the running instance did not open the second image"
kill -0 "$SERVER" 2>/dev/null || fail "the first instance is gone"
echo "windows: $(window_ids '| Vistrel' | wc -l)"

# Escape closes the focused window (through the key translation and the
# viewer's key bindings); the other one stays.
SECOND_ID="$(window_ids "second.bmp" | head -1)"
if [ -n "$SECOND_ID" ]; then
  xdotool windowfocus --sync "$SECOND_ID" 2>/dev/null
  xdotool key Escape
  for _ in $(seq 1 40); do [ -z "$(window_ids "second.bmp")" ] && break; sleep 0.25; done
  [ -z "$(window_ids "second.bmp")" ] || fail "Escape did not close the second window"
  [ -n "$(window_ids "first.bmp")" ] || fail "Escape closed the first window too"
fi

# -close ends the running instance.
"$PROGRAM" -close >"$WORK/close.log" 2>&1 || fail "-close ended with status $?"
for _ in $(seq 1 40); do kill -0 "$SERVER" 2>/dev/null || break; sleep 0.25; done
if kill -0 "$SERVER" 2>/dev/null; then
  fail "-close did not end the running instance"
else
  wait "$SERVER"
  STATUS=$?
  SERVER=""
  [ "$STATUS" = 0 ] || fail "the program ended with status $STATUS"
fi
[ -z "$(find "$XDG_RUNTIME_DIR" -name '*.socket')" ] || fail "the hand-off socket was left behind"

# The window tests of the unit-test program that need a display.
if [ -n "$BUILD" ] && [ -x "$BUILD/tests/vistrel_tests_gtk" ]; then
  VISTREL_GTK_DISPLAY_TESTS=1 "$BUILD/tests/vistrel_tests_gtk" --gtest_filter='GtkWindowTest.*' \
    >"$WORK/window_tests.log" 2>&1 || fail "window tests: $(cat "$WORK/window_tests.log")"
fi

# A new start after that serves again, and Escape closes its only window.
"$PROGRAM" "first.bmp" >"$WORK/program2.log" 2>&1 &
SERVER=$!
wait_for_windows "first.bmp" 1 20 || fail "no window appeared on the new start"
ID="$(window_ids "first.bmp" | head -1)"

# Escape, through the key translation and the viewer's key bindings, closes
# the only window, and the program ends cleanly.
xdotool windowfocus --sync "$ID" 2>/dev/null
xdotool key Escape
for _ in $(seq 1 40); do kill -0 "$SERVER" 2>/dev/null || break; sleep 0.25; done
if kill -0 "$SERVER" 2>/dev/null; then
  fail "Escape did not close the window"
else
  wait "$SERVER"
  STATUS=$?
  SERVER=""
  [ "$STATUS" = 0 ] || fail "the program ended with status $STATUS"
fi

# A copy that is not installed keeps no settings.
[ -z "$(find "$XDG_CONFIG_HOME" "$HOME" -type f 2>/dev/null)" ] || fail "settings were written: $(find "$XDG_CONFIG_HOME" "$HOME" -type f)"

# The installed copy: program, marker and menu entry in place, the entry valid
# and naming the image types, and settings kept at the end.
if [ -n "$BUILD" ]; then
  PREFIX="$WORK/prefix"
  if ! cmake --install "$BUILD" --prefix "$PREFIX" >"$WORK/install.log" 2>&1; then
    fail "cmake --install failed: $(cat "$WORK/install.log")"
  else
    for f in bin/vistrel-gtk bin/Vistrel.installed share/applications/vistrel.desktop; do
      [ -f "$PREFIX/$f" ] || fail "$f was not installed"
    done
    DESKTOP="$PREFIX/share/applications/vistrel.desktop"
    if command -v desktop-file-validate >/dev/null; then
      desktop-file-validate "$DESKTOP" || fail "the menu entry is not valid"
    fi
    for type in image/bmp image/jpeg image/png image/gif image/webp; do
      grep -q "^MimeType=.*$type;" "$DESKTOP" || fail "the menu entry does not list $type"
    done
    # Escape on window $1 ends the installed copy.
    end_installed() {
      xdotool windowfocus --sync "$1" 2>/dev/null
      xdotool key Escape
      for _ in $(seq 1 40); do kill -0 "$SERVER" 2>/dev/null || break; sleep 0.25; done
      kill -0 "$SERVER" 2>/dev/null && fail "the installed copy did not end"
      SERVER=""
    }
    "$PREFIX/bin/vistrel-gtk" "first.bmp" >"$WORK/installed.log" 2>&1 &
    SERVER=$!
    if wait_for_windows "first.bmp" 1 20; then
      end_installed "$(window_ids "first.bmp" | head -1)"
    else
      fail "the installed copy showed no window"
      kill "$SERVER" 2>/dev/null; SERVER=""
    fi
    [ -n "$(find "$XDG_CONFIG_HOME" -type f 2>/dev/null)" ] || fail "the installed copy kept no settings"

    # "Checkerboard" = 1 in the kept settings: a red disc on a transparent
    # canvas (120 x 90) shows on squares of 8 pixels, white and light grey from
    # the image's corner.
    python3 - "$XDG_CONFIG_HOME/Korvanne/Vistrel.settings" "$WORK/disc.bmp" <<'PY'
import struct, sys, zlib
path, disc = sys.argv[1], sys.argv[2]
data = open(path, "rb").read()
assert data[:8] == b"VTSTORE1"
body = data[12:]
def text(b, at):
    n = struct.unpack_from("<I", b, at)[0]
    return b[at + 4:at + 4 + 2 * n].decode("utf-16-le"), at + 4 + 2 * n
key, at = text(body, 0)
count = struct.unpack_from("<I", body, at)[0]
at += 4
values = {}
for _ in range(count):
    name, at = text(body, at)
    kind, size = struct.unpack_from("<II", body, at)
    values[name] = (kind, body[at + 8:at + 8 + size])
    at += 8 + size
values["Checkerboard"] = (4, struct.pack("<I", 1))
def put(t):
    return struct.pack("<I", len(t)) + t.encode("utf-16-le")
out = put(key) + struct.pack("<I", len(values))
for name, (kind, b) in values.items():
    out += put(name) + struct.pack("<II", kind, len(b)) + b
open(path, "wb").write(b"VTSTORE1" + struct.pack("<I", zlib.crc32(out)) + out)
w, h = 120, 90
rows = b"".join(b"".join(struct.pack("<I", 0xFFFF0000 if (x - 60) ** 2 + (y - 45) ** 2 < 900 else 0)
                         for x in range(w)) for y in range(h - 1, -1, -1))
head = b"BM" + struct.pack("<IHHI", 54 + len(rows), 0, 0, 54)
head += struct.pack("<IiiHHIIiiII", 40, w, h, 1, 32, 0, len(rows), 2835, 2835, 0, 0)
open(disc, "wb").write(head + rows)
PY
    "$PREFIX/bin/vistrel-gtk" "disc.bmp" >"$WORK/disc.log" 2>&1 &
    SERVER=$!
    if wait_for_windows "disc.bmp" 1 20; then
      sleep 1
      ID="$(window_ids "disc.bmp" | head -1)"
      read -r X Y W H <<<"$(geometry_of "$ID")"
      import -window root "$WORK/disc.png"
      disc_pixel() { "$CONVERT" "$WORK/disc.png" -format "%[pixel:p{$1,$2}]" info: 2>/dev/null; }
      CORNER="$(disc_pixel $((X + 2)) $((Y + 2)))" BESIDE="$(disc_pixel $((X + 10)) $((Y + 2)))"
      MIDDLE="$(disc_pixel $((X + 60)) $((Y + 45)))"
      echo "checkerboard: window $W x $H at $X,$Y: $CORNER $BESIDE $MIDDLE"
      [[ "$CORNER" == "srgb(255,255,255)" || "$CORNER" == white ]] || fail "no white square at the image's corner: $CORNER"
      [ "$BESIDE" = "srgb(204,204,204)" ] || fail "no grey square beside it: $BESIDE"
      is_red "$MIDDLE" || fail "the disc is not red on the squares: $MIDDLE"
      end_installed "$ID"
    else
      fail "the installed copy showed no window for disc.bmp"
      kill "$SERVER" 2>/dev/null; SERVER=""
    fi
  fi
fi

if [ "$FAILED" != 0 ]; then
  echo "program output:"; cat "$WORK/program.log"
fi
[ "$FAILED" = 0 ] && echo "PASS" || echo "FAILED"
exit "$FAILED"
