#!/usr/bin/env bash
# The index window of the Windows program under Wine on a virtual X display,
# seen from outside:
#  - "-index FOLDER" shows the grid: the three thumbnails' colours side by
#    side in the window, one cell (175 pixels) apart, and the image count in
#    the title;
#  - "C" writes "Vistrel.vti", which parses here as a cache of the 3 images;
#  - a second start shows the thumbnails from it without opening an image
#    (the images' bytes are scrambled with their sizes and times kept);
#  - a file copied into the folder appears by itself;
#  - a click on a thumbnail opens the image in a viewer window.
# Exit 77 (skipped) when the tools are missing.
# Usage: tests/wine/run_index_test.sh path/to/vistrel.exe
set -uo pipefail
EXE="$(realpath "${1:?usage: $0 vistrel.exe}")"
SUPPORT="$(cd "$(dirname "$0")/../support" && pwd)"
source "$SUPPORT/xvfb.sh"
source "$SUPPORT/index_folder.sh"
SKIP_HINT=" (scripts/install-deps.sh --with-windows installs it)" \
  require_tools wine Xvfb xwininfo xprop xdotool import convert python3

WORK="$(mktemp -d)"
export WINEPREFIX="$WORK/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
XVFB=""
SERVER=""
start_xvfb 1280x1024 "$WORK" || { echo "SKIP: Xvfb did not start"; exit 77; }
FAILED=0
cleanup() {
  wineserver -k >/dev/null 2>&1
  [ -n "$XVFB" ] && kill "$XVFB" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; FAILED=1; }

wineboot -i >/dev/null 2>&1
wineserver -w
for font in /usr/share/fonts/truetype/wqy/wqy-microhei.ttc /usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc; do
  [ -f "$font" ] && cp "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
done
cat >>"$WINEPREFIX/user.reg" <<'REG'

[Software\\Wine\\X11 Driver] 1700000000
"Managed"="N"
REG

PICS="$WORK/pics"
make_index_folder "$PICS"
mkdir "$WORK/shots"

# The thumbnails in window $1: "bx gx rx y", checked to lie one cell apart.
thumbnails_of() {
  local x y w h found
  read -r x y w h < <(geometry_of "$1")
  import -window root "$WORK/shots/shot.png"
  found="$(find_thumbnails "$WORK/shots/shot.png" "$x" "$y" "$w" "$h")"
  echo "$found"
}
cells_apart() {  # "bx gx rx y": blue, green and red one cell (175 pixels) apart, give or take the centring
  read -r bx gx rx _ <<<"$1"
  [ -n "${rx:-}" ] && [ $((gx - bx)) -ge 150 ] && [ $((gx - bx)) -le 200 ] && [ $((rx - gx)) -ge 150 ] &&
    [ $((rx - gx)) -le 200 ]
}

cd "$WORK"
wine "$EXE" -index "$(echo "Z:$PICS" | tr / '\\')" >/dev/null 2>&1 &
SERVER=$!
ID="$(wait_for_exact_title "pics | 3 | Vistrel" 60)" || { fail "no index window titled 'pics | 3 | Vistrel'"; window_ids Vistrel; exit 1; }
sleep 1
FOUND="$(thumbnails_of "$ID")"
echo "thumbnails (blue green red x, row): $FOUND"
cells_apart "$FOUND" || fail "the three thumbnails are not in their cells side by side: '$FOUND'"

[ -e "$PICS/Vistrel.vti" ] && fail "a cache file was written unasked"
xdotool windowfocus --sync "$ID" 2>/dev/null
xdotool key c
for _ in $(seq 1 40); do [ -s "$PICS/Vistrel.vti" ] && break; sleep 0.25; done
RECORDS="$(cache_records "$PICS/Vistrel.vti")"
[ "$RECORDS" = "3 blue.bmp green.bmp red.bmp" ] || fail "the cache file holds: $RECORDS"
echo "cache: $RECORDS"

cp "$PICS/red.bmp" "$PICS/red2.bmp"
wait_for_exact_title "pics | 4 | Vistrel" 20 >/dev/null || fail "the copied file did not appear"
rm "$PICS/red2.bmp"
wait_for_exact_title "pics | 3 | Vistrel" 20 >/dev/null || fail "the removed file did not go"

read -r _ _ RX RY <<<"$FOUND"
if [ -n "${RY:-}" ]; then
  xdotool mousemove $((RX + 10)) $((RY + 10)) click 1
  wait_for_exact_title "red.bmp | 50•50•24 | Vistrel" 20 >/dev/null || fail "no viewer window for red.bmp"
fi

wineserver -k >/dev/null 2>&1
wait "$SERVER" 2>/dev/null

scramble_keeping_stamps "$PICS/blue.bmp" "$PICS/green.bmp" "$PICS/red.bmp"
wine "$EXE" -index "$(echo "Z:$PICS" | tr / '\\')" >/dev/null 2>&1 &
SERVER=$!
ID="$(wait_for_exact_title "pics | 3 | Vistrel" 60)" || fail "the second start did not show 3 images from the cache"
if [ -n "$ID" ]; then
  sleep 1
  FOUND="$(thumbnails_of "$ID")"
  cells_apart "$FOUND" || fail "from the cache, the thumbnails are not shown: '$FOUND'"
  echo "second start: the thumbnails came from Vistrel.vti"
fi
exit $FAILED
