#!/usr/bin/env bash
# Smoke test of the Windows program under Wine on a virtual X display: the
# window title, the image's pixels on screen, the hand-off of a second start
# to the running instance, "-close", and no settings written by a copy that
# is not installed. Exit 77 (skipped) when the tools are missing.
# Usage: tests/wine/run_viewer_test.sh path/to/vistrel.exe
set -uo pipefail
EXE="$(realpath "${1:?usage: $0 vistrel.exe}")"
for tool in wine Xvfb xwininfo xprop import convert python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (scripts/install-deps.sh --with-windows installs it)"
    exit 77
  fi
done

WORK="$(mktemp -d)"
export WINEPREFIX="$WORK/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
source "$(dirname "$0")/../support/xvfb.sh"
XVFB=""
start_xvfb 1280x1024 "$WORK" || { echo "SKIP: Xvfb did not start"; exit 77; }
FAILED=0
cleanup() {
  wineserver -k >/dev/null 2>&1
  [ -n "$XVFB" ] && kill "$XVFB" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; FAILED=1; }

# A fresh prefix; the Chinese texts need a CJK font in it.
wineboot -i >/dev/null 2>&1
wineserver -w
for font in /usr/share/fonts/truetype/wqy/wqy-microhei.ttc /usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc; do
  [ -f "$font" ] && cp "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
done

make_test_bitmaps "$WORK"

cd "$WORK"
wine "$EXE" "first.bmp" >/dev/null 2>&1 &
SERVER=$!
EXPECTED="first.bmp | 320•240•24 | Vistrel"
if ! wait_for_windows "first.bmp" 1 60; then
  fail "no window appeared"
  exit 1
fi
sleep 1
ID="$(window_ids "first.bmp" | head -1)"
TITLE="$(xprop -id "$ID" _NET_WM_NAME 2>/dev/null | sed -n 's/^_NET_WM_NAME(UTF8_STRING) = "\(.*\)"$/\1/p')"
[ "$TITLE" = "$EXPECTED" ] || fail "title is '$TITLE', expected '$EXPECTED'"
echo "title: $TITLE"

# The image is centred on the 1280 x 1024 screen (no panel: the work area is
# the whole screen): red left of the centre, blue right of it.
import -window root "$WORK/shot.png"
pixel() { convert "$WORK/shot.png" -format "%[pixel:p{$1,$2}]" info: 2>/dev/null; }
LEFT="$(pixel 560 512)"; RIGHT="$(pixel 720 512)"; OUTSIDE="$(pixel 440 512)"
echo "pixels: $LEFT $RIGHT $OUTSIDE"
case "$LEFT" in srgb\(255,0,0\)|red) ;; *) fail "left of centre is $LEFT, not red" ;; esac
case "$RIGHT" in srgb\(0,0,255\)|blue) ;; *) fail "right of centre is $RIGHT, not blue" ;; esac
case "$OUTSIDE" in srgb\(255,0,0\)|red|srgb\(0,0,255\)|blue) fail "the image is wider than it should be" ;; esac

# A second start hands its file to the running instance and ends.
wine "$EXE" "second.bmp" >/dev/null 2>&1 &
SECOND=$!
for _ in $(seq 1 120); do kill -0 "$SECOND" 2>/dev/null || break; sleep 0.25; done
kill -0 "$SECOND" 2>/dev/null && fail "the second start did not end"
wait_for_windows "| Vistrel" 2 20 || fail "the running instance did not open a second window"
kill -0 "$SERVER" 2>/dev/null || fail "the first instance is gone"
echo "windows: $(window_ids '| Vistrel' | wc -l)"

# -close ends the running instance.
wine "$EXE" -close >/dev/null 2>&1
for _ in $(seq 1 80); do kill -0 "$SERVER" 2>/dev/null || break; sleep 0.25; done
kill -0 "$SERVER" 2>/dev/null && fail "-close did not end the running instance"

# A copy that is not installed keeps no settings.
wineserver -w
grep -q "Korvanne" "$WINEPREFIX/user.reg" && fail "settings were written to the registry"

[ "$FAILED" = 0 ] && echo "PASS" || echo "FAILED"
exit "$FAILED"
