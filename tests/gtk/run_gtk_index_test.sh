#!/usr/bin/env bash
# The index window of the Linux desktop program on a virtual X display, seen
# from outside:
#  - "-index FOLDER" shows the folder's grid with a thumbnail's colour at its
#    cell and the number of images in the title;
#  - "C" writes "Vistrel.vti", which parses here as a cache of the 3 images;
#  - a second start takes the thumbnails from it without opening an image
#    (the images' bytes are scrambled with their sizes and times kept: only
#    the cache can still show their colours);
#  - a file copied into the folder appears by itself;
#  - a click on a thumbnail opens the image in a viewer window.
# Exit 77 (skipped) when the tools are missing.
# Usage: tests/gtk/run_gtk_index_test.sh path/to/vistrel-gtk
set -uo pipefail
PROGRAM="$(realpath "${1:?usage: $0 vistrel-gtk}")"
SUPPORT="$(cd "$(dirname "$0")/../support" && pwd)"
source "$SUPPORT/xvfb.sh"
source "$SUPPORT/index_folder.sh"
require_tools Xvfb xwininfo xprop xdotool import convert python3

begin_display_test 1280x1024
PICS="$WORK/pics"
make_index_folder "$PICS"

# The colour at the centre of the thumbnail box of cell N (0: "..", then the
# images by name) of window $1. Cells are 175 pixels apart from x = 12; a
# box's centre lies 82 pixels right of its cell and 81 below its top.
cell_colour() {
  local x y
  read -r x y _ < <(geometry_of "$1")
  import -window root "$WORK/shot.png"
  pixel_of "$WORK/shot.png" $((x + 12 + 175 * $2 + 82)) $((y + 12 + 81))
}
start_index() {
  "$PROGRAM" -index "$PICS" >>"$WORK/program.log" 2>&1 &
  SERVER=$!
}

start_index
ID="$(wait_for_exact_title "pics | 3 | Vistrel" 30)" || { fail "no index window titled 'pics | 3 | Vistrel'"; cat "$WORK/program.log"; exit 1; }
sleep 0.5
for cell in "1 0,0,255" "2 0,255,0" "3 255,0,0"; do
  set -- $cell
  got="$(cell_colour "$ID" "$1")"
  [ "$got" = "$2" ] || fail "cell $1 shows $got, not $2"
done
echo "grid: blue, green, red thumbnails in their cells"

[ -e "$PICS/Vistrel.vti" ] && fail "a cache file was written unasked"
xdotool windowactivate --sync "$ID" 2>/dev/null || xdotool windowfocus --sync "$ID"
xdotool key --window "$ID" c
for _ in $(seq 1 40); do [ -s "$PICS/Vistrel.vti" ] && break; sleep 0.25; done
RECORDS="$(cache_records "$PICS/Vistrel.vti")"
[ "$RECORDS" = "3 blue.bmp green.bmp red.bmp" ] || fail "the cache file holds: $RECORDS"
echo "cache: $RECORDS"

# A file copied in appears without a refresh.
cp "$PICS/red.bmp" "$PICS/red2.bmp"
wait_for_exact_title "pics | 4 | Vistrel" 15 >/dev/null || fail "the copied file did not appear"
rm "$PICS/red2.bmp"
wait_for_exact_title "pics | 3 | Vistrel" 15 >/dev/null || fail "the removed file did not go"

# A click on the red thumbnail opens it in a viewer window.
read -r X Y _ < <(geometry_of "$ID")
xdotool mousemove $((X + 12 + 175 * 3 + 82)) $((Y + 93)) click 1
wait_for_exact_title "red.bmp | 50•50•24 | Vistrel" 15 >/dev/null || fail "no viewer window for red.bmp"

kill "$SERVER" 2>/dev/null
wait "$SERVER" 2>/dev/null
SERVER=""

# Second start: the images can no longer be read, the cache still knows them.
scramble_keeping_stamps "$PICS/blue.bmp" "$PICS/green.bmp" "$PICS/red.bmp"
start_index
ID="$(wait_for_exact_title "pics | 3 | Vistrel" 30)" || fail "the second start did not show 3 images from the cache"
if [ -n "$ID" ]; then
  sleep 0.5
  got="$(cell_colour "$ID" 3)"
  [ "$got" = "255,0,0" ] || fail "from the cache, cell 3 shows $got, not red"
  echo "second start: the thumbnails came from Vistrel.vti"
fi
exit $FAILED
