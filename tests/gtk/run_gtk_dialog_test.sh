#!/usr/bin/env bash
# The Linux desktop program's dialogs and folder watching on a virtual X
# display, driven from outside like a user would:
#  - "--help" and "--version" print the usage and the version and end at once;
#  - started without a file it shows GTK's open-file dialog; a path typed into
#    it opens that image, and cancelling the dialog ends the program; in the C
#    locale and in one that is not installed the dialog appears as well, named
#    for window managers that read only the older name property;
#  - a file it cannot read brings up a message box captioned "Vistrel", and
#    confirming it ends the program with status 1 (the window never got an
#    image);
#  - an image written into the shown folder while the program runs is reached
#    by the next-image key without a restart, and one removed is skipped.
# Exit 77 (skipped) when the tools are missing.
# Usage: tests/gtk/run_gtk_dialog_test.sh path/to/vistrel-gtk
set -uo pipefail
PROGRAM="$(realpath "${1:?usage: $0 vistrel-gtk}")"
source "$(dirname "$0")/../support/xvfb.sh"
require_tools Xvfb xwininfo xprop xdotool python3

begin_display_test 1280x1024
# The tools read and match the Chinese titles: they run in a UTF-8 locale,
# whatever the program is started in.
export LC_ALL=C.UTF-8
# GTK's file chooser would otherwise ask the session bus and the accessibility
# bus for services this display does not have, and wait for them.
export NO_AT_BRIDGE=1 GTK_USE_PORTAL=0 GIO_USE_VFS=local GSETTINGS_BACKEND=memory

mkdir -p "$WORK/pictures" "$WORK/spare"
make_test_bitmaps "$WORK/spare"
mv "$WORK/spare/first.bmp" "$WORK/pictures/"

# Waits for the program to end; sets STATUS, or fails after $1 seconds.
wait_for_end() {
  for _ in $(seq 1 $(($1 * 4))); do kill -0 "$SERVER" 2>/dev/null || break; sleep 0.25; done
  if kill -0 "$SERVER" 2>/dev/null; then
    STATUS=""
    return 1
  fi
  wait "$SERVER"
  STATUS=$?
  SERVER=""
  return 0
}
# Focuses the window, presses the key and waits for the program to end.
dismiss() {  # window key what
  xdotool windowfocus --sync "$1" 2>/dev/null
  sleep 0.5
  xdotool key "$2"
  if wait_for_end 10; then
    echo "$3: program ended with $STATUS"
  else
    fail "$3: the program did not end"
  fi
}
type_into() {  # window text: focus it and type the text, then Return
  xdotool windowfocus --sync "$1" 2>/dev/null
  sleep 0.3
  xdotool type --delay 5 "$2"
  sleep 0.3
  xdotool key Return
}
DIALOG_TITLE="打开图像文件 | Vistrel"
icccm_name_of() {  # the window's name as the older property WM_NAME gives it
  xprop -id "$1" WM_NAME 2>/dev/null | sed -n 's/^WM_NAME([A-Z_]*) = "\(.*\)"$/\1/p'
}

# 0. Usage and version: printed, exit 0, no window.
# Bounded: a program that takes the switches for a start shows the dialog.
USAGE="$(timeout 10 "$PROGRAM" --help 2>"$WORK/help.log")"
STATUS=$?
[ "$STATUS" = 0 ] || fail "--help ended with $STATUS"
MISSING=""
for word in "Usage: vistrel-gtk" -close -onlyone -fullscreen -zoom= -pos= -title= -topmost -freeze --version; do
  grep -q -F -e "$word" <<<"$USAGE" || MISSING="$MISSING '$word'"
done
[ -z "$MISSING" ] || fail "--help does not mention$MISSING"
[ "$(timeout 10 "$PROGRAM" -h 2>/dev/null)" = "$USAGE" ] || fail "-h does not print the usage of --help"
VERSION="$(timeout 10 "$PROGRAM" --version 2>"$WORK/version.log")"
STATUS=$?
[ "$STATUS" = 0 ] || fail "--version ended with $STATUS"
[[ "$VERSION" =~ ^Vistrel\ [0-9]+\.[0-9]+$ ]] || fail "--version printed '$VERSION'"
sleep 0.5
[ -z "$(window_ids Vistrel)" ] || fail "--help or --version left a window: $(window_ids Vistrel)"
echo "usage: $(head -1 <<<"$USAGE"); version: $VERSION"

# 1. No file: the open-file dialog; typing a path there opens the image.
cd "$WORK"
"$PROGRAM" >"$WORK/dialog.log" 2>&1 &
SERVER=$!
if wait_for_windows "$DIALOG_TITLE" 1 20; then
  DIALOG="$(window_ids "$DIALOG_TITLE" | head -1)"
  [ "$(title_of "$DIALOG")" = "$DIALOG_TITLE" ] || fail "the dialog's title is '$(title_of "$DIALOG")'"
  # Ctrl+L opens the chooser's location entry; a whole path can go there.
  xdotool windowfocus --sync "$DIALOG" 2>/dev/null
  sleep 0.5
  xdotool key ctrl+l
  type_into "$DIALOG" "$WORK/pictures/first.bmp"
  if wait_for_windows "first.bmp | 320•240•24 | Vistrel" 1 20; then
    echo "open dialog: opened first.bmp"
  else
    fail "the image chosen in the open dialog was not shown"
  fi
  [ -z "$(window_ids "$DIALOG_TITLE")" ] || fail "the open dialog stayed open"
else
  fail "no open dialog appeared for a start without a file"
fi
"$PROGRAM" -close >/dev/null 2>&1
wait_for_end 10 || fail "-close did not end the program after the dialog"

# Cancelling the dialog ends the program: the window never got an image. The
# dialog appears in any locale, named by both properties a window manager may
# read (the older one is in the locale's character set, which the plain C
# locale cannot give Chinese in).
for locale in "" C xx_YY.UTF-8; do
  env -u LC_ALL ${locale:+LANG=$locale} "$PROGRAM" >"$WORK/cancel.log" 2>&1 &
  SERVER=$!
  if wait_for_windows "$DIALOG_TITLE" 1 20; then
    DIALOG="$(window_ids "$DIALOG_TITLE" | head -1)"
    [ "$(icccm_name_of "$DIALOG")" = "$DIALOG_TITLE" ] ||
      fail "LANG=$locale: the dialog's WM_NAME is '$(icccm_name_of "$DIALOG")'"
    dismiss "$DIALOG" Escape "open dialog cancelled (LANG=${locale:-as given})"
  else
    fail "LANG=$locale: no open dialog appeared"
    cat "$WORK/cancel.log"
  fi
  [ -n "$SERVER" ] && { kill "$SERVER"; SERVER=""; }
done

# 2. A file that is not an image: a message box captioned "Vistrel"; after
# confirming it the program ends, having shown no viewer window.
head -c 4000 /dev/urandom >"$WORK/pictures/broken.bmp"
printf 'BM' | dd of="$WORK/pictures/broken.bmp" conv=notrunc 2>/dev/null
"$PROGRAM" "$WORK/pictures/broken.bmp" >"$WORK/broken.log" 2>&1 &
SERVER=$!
BOX=""
for _ in $(seq 1 80); do
  # The viewer window is titled "Vistrel" too until it has an image, but it
  # is never mapped without one.
  BOX="$(xdotool search --onlyvisible --name '^Vistrel$' 2>/dev/null | head -1)"
  [ -n "$BOX" ] && break
  sleep 0.25
done
if [ -n "$BOX" ]; then
  echo "message box: shown for broken.bmp"
  [ -z "$(window_ids "broken.bmp")" ] || fail "a viewer window shows the broken file"
  dismiss "$BOX" Return "message box confirmed"
  [ "$STATUS" = 1 ] || fail "a start that showed nothing ended with status $STATUS, not 1"
else
  fail "no message box captioned Vistrel appeared for a broken file"
fi
[ -n "$SERVER" ] && { kill "$SERVER"; SERVER=""; }
rm -f "$WORK/pictures/broken.bmp"

# 3. Folder watching: the folder holds one image; a second one copied in while
# the program runs is the next image; once removed, the next key comes back
# round to the first.
cd "$WORK/pictures"
"$PROGRAM" first.bmp >"$WORK/watch.log" 2>&1 &
SERVER=$!
if wait_for_windows "first.bmp" 1 20; then
  ID="$(window_ids "first.bmp" | head -1)"
  sleep 0.5
  cp "$WORK/spare/second.bmp" "$WORK/pictures/zz-second.bmp.part"
  mv "$WORK/pictures/zz-second.bmp.part" "$WORK/pictures/second.bmp"
  # The listing is refreshed in the background; give it a moment to settle.
  SEEN=""
  for _ in $(seq 1 20); do
    xdotool windowfocus --sync "$ID" 2>/dev/null
    xdotool key space
    sleep 0.5
    if [ -n "$(window_ids "second.bmp | 200•100•24 | Vistrel")" ]; then SEEN=1; break; fi
  done
  if [ -n "$SEEN" ]; then
    echo "folder watch: the added image was reached"
    rm "$WORK/pictures/second.bmp"
    sleep 1
    ID="$(window_ids "| Vistrel" | head -1)"
    xdotool windowfocus --sync "$ID" 2>/dev/null
    xdotool key space
    wait_for_windows "first.bmp | 320•240•24 | Vistrel" 1 10 &&
      echo "folder watch: the removed image was skipped" ||
      fail "after removing second.bmp the next key did not come back to first.bmp: $(title_of "$ID")"
  else
    fail "the image added to the folder was never reached: $(title_of "$ID")"
  fi
else
  fail "no window appeared for first.bmp"
fi
"$PROGRAM" -close >/dev/null 2>&1
wait_for_end 10 || fail "-close did not end the program"

if [ "$FAILED" != 0 ]; then
  for log in dialog cancel broken watch; do
    [ -s "$WORK/$log.log" ] && { echo "--- $log.log"; cat "$WORK/$log.log"; }
  done
fi
[ "$FAILED" = 0 ] && echo "PASS" || echo "FAILED"
exit "$FAILED"
