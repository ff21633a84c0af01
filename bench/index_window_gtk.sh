#!/usr/bin/env bash
# The index window as a user meets it: the Linux desktop program on a virtual
# X display opens a folder with "-index", and the time is taken from the start
# until its title counts every image of the folder:
#   - first visit: no "Vistrel.vti", every thumbnail made from its image;
#   - "C" saves the cache file;
#   - second visit: every thumbnail from the file.
# Also the program's peak resident memory during the first visit.
# Usage: bench/index_window_gtk.sh path/to/vistrel-gtk [FOLDER]
#   (FOLDER: the one bench/index_vs_vipsthumbnail.sh makes, by default)
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
PROGRAM="$(realpath "${1:?usage: $0 vistrel-gtk [FOLDER]}")"
FOLDER="$(realpath "${2:-$ROOT/build/bench-index-jpegs}")"
SUPPORT="$ROOT/tests/support"
source "$SUPPORT/xvfb.sh"
source "$SUPPORT/index_folder.sh"
require_tools Xvfb xwininfo xprop xdotool python3
COUNT=$(find "$FOLDER" -maxdepth 1 -name '*.jpg' | wc -l)
[ "$COUNT" -gt 0 ] || { echo "no JPEGs in $FOLDER"; exit 2; }
NAME="$(basename "$FOLDER")"
DONE_TITLE="$NAME | $COUNT | Vistrel"

begin_display_test 1280x1024
rm -f "$FOLDER/Vistrel.vti"
now() { date +%s.%N; }

# Starts the program; SHOWN: the seconds until its window is there, ELAPSED:
# until the title counts every image. The program keeps running ($SERVER, its
# window $ID).
visit() {
  local start id=""
  start=$(now)
  "$PROGRAM" -index "$FOLDER" >>"$WORK/program.log" 2>&1 &
  SERVER=$!
  while [ -z "$id" ]; do
    id=$(xwininfo -root -children 2>/dev/null | grep -F "\"$NAME | " | awk '{print $1}' | head -n 1)
    kill -0 "$SERVER" 2>/dev/null || { echo "the program ended" >&2; return 1; }
  done
  SHOWN=$(python3 -c "print(f'{$(now) - $start:.3f}')")
  until [ "$(title_of "$id")" = "$DONE_TITLE" ]; do
    kill -0 "$SERVER" 2>/dev/null || { echo "the program ended" >&2; return 1; }
    sleep 0.01
  done
  ELAPSED=$(python3 -c "print(f'{$(now) - $start:.3f}')")
  ID=$id
}
peak_mb() { awk '/VmHWM/ {printf "%.1f", $2 / 1024}' "/proc/$SERVER/status"; }
stop() {
  kill "$SERVER" 2>/dev/null
  wait "$SERVER" 2>/dev/null
  SERVER=""
}

cat "$FOLDER"/*.jpg >/dev/null  # read from the page cache
visit || exit 1
FIRST=$ELAPSED
MEMORY=$(peak_mb)
echo "first visit:  window in $SHOWN s, $COUNT thumbnails made in $FIRST s (peak memory $MEMORY MB)"
xdotool windowfocus --sync "$ID" 2>/dev/null
xdotool key --window "$ID" c
for _ in $(seq 1 200); do [ -s "$FOLDER/Vistrel.vti" ] && break; sleep 0.05; done
echo "cache file:   $(cache_records "$FOLDER/Vistrel.vti" | cut -d' ' -f1) records, $(stat -c %s "$FOLDER/Vistrel.vti") bytes"
stop
visit || exit 1
SECOND=$ELAPSED
echo "second visit: window in $SHOWN s, $COUNT thumbnails from Vistrel.vti in $SECOND s"
stop
rm -f "$FOLDER/Vistrel.vti"
python3 -c "print(f'second visit {$FIRST / $SECOND:.1f}x faster (goal: at least 30x)')"
