#!/usr/bin/env bash
# Installs what is needed, builds the Windows program and opens an image with it
# under Wine: on the real display when $DISPLAY is set; otherwise on a virtual
# display, where it takes a screenshot (build/vistrel-screenshot.png), prints
# the window title and closes the program again.
# Usage: scripts/run.sh [IMAGE]   (default: the bundled sample)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --with-windows
cmake --preset windows -B build/windows-run -DVISTREL_TESTS=OFF >/dev/null
cmake --build build/windows-run --target vistrel vistrel-decode
EXE="$PWD/build/windows-run/vistrel.exe"
IMAGE="$(realpath "${1:-samples/sample.bmp}")"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="${WINEPREFIX:-$HOME/.cache/vistrel-wine}"
if [ ! -d "$WINEPREFIX/drive_c/windows/Fonts" ]; then
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
# The interface texts are Chinese: give the prefix a CJK font.
cp -n /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$WINEPREFIX/drive_c/windows/Fonts/" \
  2>/dev/null || true
if [ -n "${DISPLAY:-}" ]; then
  exec wine "$EXE" "$(winepath -w "$IMAGE")"
fi

set +o pipefail
# A running instance would take the file over on its own display.
wine "$EXE" -close >/dev/null 2>&1 || true
export DISPLAY=":$((120 + RANDOM % 100))"
Xvfb "$DISPLAY" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
XVFB=$!
trap 'wine "$EXE" -close >/dev/null 2>&1; wineserver -k >/dev/null 2>&1; kill $XVFB 2>/dev/null' EXIT
sleep 1
wine "$EXE" "$(winepath -w "$IMAGE")" >/dev/null 2>&1 &
NAME="$(basename "$IMAGE")"
for _ in $(seq 1 240); do
  xwininfo -root -children 2>/dev/null | grep -qF "$NAME" && break
  sleep 0.25
done
sleep 1
ID="$(xwininfo -root -children 2>/dev/null | grep -F "$NAME" | awk 'NR == 1 {print $1}')"
if [ -z "$ID" ]; then
  echo "the viewer window did not appear" >&2
  exit 1
fi
echo "window: $(xprop -id "$ID" _NET_WM_NAME | sed -n 's/^_NET_WM_NAME(UTF8_STRING) = //p')"
import -window root build/vistrel-screenshot.png
echo "screenshot: build/vistrel-screenshot.png"
