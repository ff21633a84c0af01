#!/usr/bin/env bash
# The Linux desktop program's start options on a virtual X display with a
# window manager, checked from outside as a user would see them:
#  - "-pos=X,Y" places the image's top-left corner there, "-zoom=" scales it
#    and names the zoom in the title;
#  - Page Down, Space, End and Home step to the next, last and first image of
#    the folder (the title names it), and the next key wraps at the end;
#  - in the title-bar mode "on hover" (the default) the pointer brings up the
#    window manager's frame, which stays while the pointer is on the frame
#    itself and goes once it has left the window; an image taller than the
#    screen is fitted so that this frame lies on the work area too;
#  - handed to the running instance: "-TITLE=" with blanks fixes the title,
#    "/topmost" keeps the window above the others even when another one is
#    activated, "-fullscreen" covers the screen with the image in its middle.
# Without the window manager openbox the checks that need one (topmost, the
# full-screen state) are skipped with a message. Exit 77 (skipped) when the tools are missing.
# Uses ImageMagick's import and convert, when installed, to look at the screen.
# Usage: tests/gtk/run_gtk_options_test.sh path/to/vistrel-gtk
set -uo pipefail
PROGRAM="$(realpath "${1:?usage: $0 vistrel-gtk}")"
source "$(dirname "$0")/../support/xvfb.sh"
require_tools Xvfb xwininfo xprop xdotool python3

begin_display_test 1280x1024

# The window manager, once it has announced itself on the root window. The
# server resets when its last client leaves (as the probes above do), and a
# client that connects right then is turned away: a window manager that gave
# up at once is started again.
HAVE_WM=""
if command -v openbox >/dev/null; then
  for _ in 1 2 3; do
    openbox --sm-disable >/dev/null 2>&1 &
    WM=$!
    for _ in $(seq 1 40); do
      xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && { HAVE_WM=1; break; }
      kill -0 "$WM" 2>/dev/null || break
      sleep 0.25
    done
    [ -n "$HAVE_WM" ] && break
    kill "$WM" 2>/dev/null
    WM=""
  done
  [ -n "$HAVE_WM" ] || echo "NOTE: openbox did not start; the checks that need a window manager are skipped"
else
  echo "NOTE: openbox is not installed; the checks that need a window manager are skipped"
fi

mkdir -p "$WORK/pictures"
make_test_bitmaps "$WORK/pictures"
cp "$WORK/pictures/first.bmp" "$WORK/pictures/third.bmp"
cd "$WORK/pictures"

# Under a window manager the program's windows are not children of the root:
# they are found by name wherever they are.
find_window() {  # regex seconds: the first window whose name matches
  local id
  for _ in $(seq 1 $(($2 * 4))); do
    id="$(xdotool search --name "$1" 2>/dev/null | head -1)"
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.25
  done
  return 1
}
states_of() { xprop -id "$1" _NET_WM_STATE 2>/dev/null; }
hex() { printf '0x%x' "$1"; }
activate() {
  xdotool windowactivate --sync "$1" 2>/dev/null || xdotool windowfocus --sync "$1" 2>/dev/null
  sleep 0.2
}
wait_for_title() {  # window prefix seconds: the title starts with prefix
  for _ in $(seq 1 $(($3 * 5))); do
    case "$(title_of "$1")" in "$2"*) return 0 ;; esac
    sleep 0.2
  done
  return 1
}
# Runs a forwarding start and checks that the running instance took it.
hand_off() {
  "$PROGRAM" "$@" >"$WORK/handoff.log" 2>&1 &
  local pid=$!
  for _ in $(seq 1 40); do kill -0 "$pid" 2>/dev/null || break; sleep 0.25; done
  if kill -0 "$pid" 2>/dev/null; then
    fail "the start with $* did not hand off and end"
    kill "$pid" 2>/dev/null
  fi
}

# 1. Position and zoom: the 320 x 240 image at half size with its client's
# top-left corner at 100, 200; the frameless window wears its one-pixel
# border around that.
"$PROGRAM" -pos=100,200 -zoom=0.5 first.bmp >"$WORK/program.log" 2>&1 &
SERVER=$!
A="$(find_window '^first\.bmp .*Vistrel$' 20)"
if [ -z "$A" ]; then
  fail "no window appeared"
  cat "$WORK/program.log"
  exit 1
fi
wait_for_title "$A" "first.bmp | 320•240•24 | 0.5x | Vistrel" 5 ||
  fail "title is '$(title_of "$A")', expected 'first.bmp | 320•240•24 | 0.5x | Vistrel'"
for _ in $(seq 1 20); do [ "$(geometry_of "$A")" = "99 199 162 122" ] && break; sleep 0.2; done
[ "$(geometry_of "$A")" = "99 199 162 122" ] ||
  fail "-pos=100,200 -zoom=0.5: the window is at $(geometry_of "$A"), expected 99 199 162 122"
echo "position and zoom: $(geometry_of "$A"), '$(title_of "$A")'"

# The frame the window manager draws around a window: "left right top
# bottom", all 0 while the window has none.
extents_of() {
  xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/^_NET_FRAME_EXTENTS(CARDINAL) = //p' | tr -d ','
}
framed() {  # window: it wears a frame with a title bar
  local e
  e=($(extents_of "$1"))
  [ "${e[2]:-0}" -gt 0 ]
}
wait_framed() {  # window yes|no seconds
  for _ in $(seq 1 $(($3 * 10))); do
    if framed "$1"; then [ "$2" = yes ] && return 0; else [ "$2" = no ] && return 0; fi
    sleep 0.1
  done
  return 1
}

# 1b. The hover frame (needs a window manager to draw it). The pointer on
# the image brings it up; on the frame's title bar, above the image, it
# stays; away from the window it goes.
if [ -n "$HAVE_WM" ]; then
  xdotool mousemove 1270 1010
  sleep 0.5
  wait_framed "$A" no 2 || fail "hover: the frame is shown before the pointer came: $(extents_of "$A")"
  xdotool mousemove 180 260
  if wait_framed "$A" yes 3; then
    read -r _ _ TOP _ <<<"$(extents_of "$A")"
    read -r X Y _ _ <<<"$(geometry_of "$A")"
    xdotool mousemove $((X + 20)) $((Y - TOP / 2))
    sleep 0.7
    if framed "$A"; then
      echo "hover: the frame stays while the pointer is on its title bar"
    else
      fail "hover: the frame went while the pointer was on its title bar ($((X + 20)), $((Y - TOP / 2)))"
    fi
    xdotool mousemove 1270 1010
    wait_framed "$A" no 3 || fail "hover: the frame stayed after the pointer left the window"
  else
    fail "hover: the pointer on the image did not bring up the frame"
  fi
else
  echo "SKIP: the hover frame needs a window manager"
fi

# 1c. An image taller than the screen, handed off: fitted so that its hover
# frame lies on the work area.
mkdir -p "$WORK/tall"
python3 - "$WORK/tall/tall.bmp" <<'PY'
import struct, sys
w, h = 400, 2000
row = bytes((90, 90, 90)) * w
head = b"BM" + struct.pack("<IHHI", 54 + len(row) * h, 0, 0, 54)
head += struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(row) * h, 2835, 2835, 0, 0)
open(sys.argv[1], "wb").write(head + row * h)
PY
hand_off "$WORK/tall/tall.bmp"
T="$(find_window '^tall\.bmp .*Vistrel$' 10)"
if [ -z "$T" ]; then
  fail "no window appeared for tall.bmp"
elif [ -n "$HAVE_WM" ]; then
  read -r X Y W H <<<"$(geometry_of "$T")"
  xdotool mousemove $((X + W / 2)) $((Y + H / 2))
  if wait_framed "$T" yes 3; then
    read -r X Y W H <<<"$(geometry_of "$T")"
    read -r L R TOP B <<<"$(extents_of "$T")"
    read -r AX AY AW AH _ <<<"$(xprop -root _NET_WORKAREA | sed 's/^[^=]*= //; s/,//g')"
    FRAME="$((X - L)) $((Y - TOP)) $((X + W + R)) $((Y + H + B))"
    AREA="$AX $AY $((AX + AW)) $((AY + AH))"
    if [ $((X - L)) -ge "$AX" ] && [ $((Y - TOP)) -ge "$AY" ] && [ $((X + W + R)) -le $((AX + AW)) ] &&
       [ $((Y + H + B)) -le $((AY + AH)) ]; then
      echo "tall image: the framed window ($FRAME) lies on the work area ($AREA)"
    else
      fail "tall image: the framed window ($FRAME) is not on the work area ($AREA)"
    fi
  else
    fail "tall image: the pointer on the image did not bring up the frame"
  fi
  xdotool mousemove 1270 1010
fi
[ -n "$T" ] && { activate "$T"; xdotool key Escape; sleep 0.5; }

# 2. Stepping through first, second and third: the title names the image.
activate "$A"
for step in "Next second.bmp" "End third.bmp" "Home first.bmp" "space second.bmp" "space third.bmp" \
            "Next first.bmp"; do
  set -- $step
  xdotool key "$1"
  wait_for_title "$A" "$2 | " 5 || fail "after $1 the title is '$(title_of "$A")', expected $2"
done
echo "stepping: ends at '$(title_of "$A")'"

# 3. Title and topmost, handed to the running instance in the other forms
# (upper case, a slash, a quoted title with blanks).
hand_off "-TITLE=Holiday photos" /topmost second.bmp
B="$(find_window '^Holiday photos - Vistrel$' 10)"
if [ -z "$B" ]; then
  fail "no window titled 'Holiday photos - Vistrel' appeared"
else
  echo "title: '$(title_of "$B")'"
  # The fixed title stays when stepping.
  activate "$B"
  xdotool key Next
  sleep 0.5
  [ "$(title_of "$B")" = "Holiday photos - Vistrel" ] || fail "the fixed title changed to '$(title_of "$B")'"
  if [ -n "$HAVE_WM" ]; then
    states_of "$B" | grep -q _NET_WM_STATE_ABOVE || fail "/topmost: the window is not kept above: $(states_of "$B")"
    states_of "$A" | grep -q _NET_WM_STATE_ABOVE && fail "the first window is kept above too"
    # Activating the other window does not bring it over the topmost one.
    activate "$A"
    ACTIVE="$(xprop -root _NET_ACTIVE_WINDOW | awk '{print $NF}')"
    [ "$ACTIVE" = "$(hex "$A")" ] || fail "the first window could not be activated (active: $ACTIVE)"
    STACK="$(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/^[^#]*# //; s/,//g')"
    BELOW_A="" ABOVE_B=""
    for w in $STACK; do
      [ "$w" = "$(hex "$A")" ] && BELOW_A=1
      [ "$w" = "$(hex "$B")" ] && [ -n "$BELOW_A" ] && ABOVE_B=1
    done
    [ -n "$ABOVE_B" ] || fail "/topmost: the window is not above the activated one (bottom to top: $STACK)"
    echo "topmost: $(states_of "$B" | sed 's/.*= //')"
  else
    echo "SKIP: topmost needs a window manager"
  fi
fi

# 4. Full screen: the client covers the whole screen (the window manager's
# full-screen state, or the program's own placement without one) and shows
# the image in its middle, over the other windows (the topmost one included:
# a full-screen window is kept above too, and it came last).
hand_off -fullscreen third.bmp
C="$(find_window '^third\.bmp .*Vistrel$' 10)"
if [ -z "$C" ]; then
  fail "no window appeared for -fullscreen third.bmp"
else
  for _ in $(seq 1 20); do [ "$(geometry_of "$C")" = "0 0 1280 1024" ] && break; sleep 0.2; done
  [ "$(geometry_of "$C")" = "0 0 1280 1024" ] || fail "-fullscreen: the window is at $(geometry_of "$C")"
  if [ -n "$HAVE_WM" ]; then
    states_of "$C" | grep -q _NET_WM_STATE_FULLSCREEN ||
      fail "-fullscreen: not in the full-screen state: $(states_of "$C")"
  fi
  if command -v import >/dev/null && [ -x /usr/bin/convert ]; then
    pixel() { /usr/bin/convert "$WORK/shot.png" -format "%[pixel:p{$1,$2}]" info: 2>/dev/null; }
    for _ in $(seq 1 10); do
      import -window root "$WORK/shot.png"
      LEFT="$(pixel 560 512)" RIGHT="$(pixel 720 512)" CORNER="$(pixel 100 100)"
      [ "$LEFT" = "srgb(255,0,0)" ] && [ "$RIGHT" = "srgb(0,0,255)" ] && [ "$CORNER" != "$LEFT" ] && break
      sleep 0.3
    done
    [ "$LEFT" = "srgb(255,0,0)" ] || fail "-fullscreen: left of the centre is $LEFT, not red"
    [ "$RIGHT" = "srgb(0,0,255)" ] || fail "-fullscreen: right of the centre is $RIGHT, not blue"
    [ "$CORNER" != "$LEFT" ] || fail "-fullscreen: the image is not in the middle of the screen"
  fi
  echo "full screen: $(geometry_of "$C")"
fi

"$PROGRAM" -close >/dev/null 2>&1
for _ in $(seq 1 40); do kill -0 "$SERVER" 2>/dev/null || break; sleep 0.25; done
if kill -0 "$SERVER" 2>/dev/null; then
  fail "-close did not end the program"
else
  wait "$SERVER"
  STATUS=$?
  SERVER=""
  [ "$STATUS" = 0 ] || fail "the program ended with status $STATUS"
fi

if [ "$FAILED" != 0 ]; then
  echo "program output:"; cat "$WORK/program.log"
fi
[ "$FAILED" = 0 ] && echo "PASS" || echo "FAILED"
exit "$FAILED"
