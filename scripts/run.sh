#!/usr/bin/env bash
# Installs what is needed, builds the viewer and opens an image with it: the
# Linux desktop program (GTK 3 on X11) by default, the Windows program under
# Wine with --windows. On the real display when $DISPLAY is set; otherwise on
# a virtual display, where it takes a screenshot (build/vistrel-screenshot.png),
# prints the window title and closes the program again.
# Usage: scripts/run.sh [--windows] [IMAGE]   (default: the bundled sample)
set -euo pipefail
cd "$(dirname "$0")/.."
WINDOWS=""
if [ "${1:-}" = "--windows" ]; then
  WINDOWS=1
  shift
fi
IMAGE="$(realpath "${1:-samples/sample.bmp}")"
NAME="$(basename "$IMAGE")"

if [ -n "$WINDOWS" ]; then
  scripts/install-deps.sh --with-windows
  cmake --preset windows -B build/windows-run -DVISTREL_TESTS=OFF >/dev/null
  cmake --build build/windows-run --target vistrel vistrel-decode
  EXE="$PWD/build/windows-run/vistrel.exe"
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEPREFIX="${WINEPREFIX:-$HOME/.cache/vistrel-wine}"
  if [ ! -d "$WINEPREFIX/drive_c/windows/Fonts" ]; then
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
  fi
  # The interface texts are Chinese: give the prefix a CJK font.
  cp -n /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$WINEPREFIX/drive_c/windows/Fonts/" \
    2>/dev/null || true
  start_viewer() { wine "$EXE" "$(winepath -w "$IMAGE")"; }
  close_viewer() { wine "$EXE" -close >/dev/null 2>&1; wineserver -k >/dev/null 2>&1; }
else
  scripts/install-deps.sh
  cmake --preset release -B build/release >/dev/null
  cmake --build build/release --target vistrel-gtk vistrel-decode
  EXE="$PWD/build/release/vistrel-gtk"
  start_viewer() { "$EXE" "$IMAGE"; }
  close_viewer() { "$EXE" -close >/dev/null 2>&1; }
fi

if [ -n "${DISPLAY:-}" ]; then
  start_viewer
  exit $?
fi

set +o pipefail
# A virtual display of our own; a running instance on another display is left alone.
WORK="$(mktemp -d)"
source tests/support/xvfb.sh
XVFB=""
start_xvfb 1920x1080 "$WORK" || { echo "Xvfb did not start" >&2; exit 1; }
if [ -n "$WINDOWS" ]; then
  # Wine's instance on another display would take the file over.
  close_viewer
else
  # A private runtime folder: the single-instance socket of a program running
  # on the real desktop must not take this file over.
  export XDG_RUNTIME_DIR="$WORK/run"
  mkdir -m 700 "$XDG_RUNTIME_DIR"
fi
trap 'close_viewer; kill $XVFB 2>/dev/null; rm -rf "$WORK"' EXIT
start_viewer >/dev/null 2>&1 &
for _ in $(seq 1 240); do
  [ -n "$(window_ids "$NAME")" ] && break
  sleep 0.25
done
sleep 1
ID="$(window_ids "$NAME" | head -1)"
if [ -z "$ID" ]; then
  echo "the viewer window did not appear" >&2
  exit 1
fi
echo "window: $(xprop -id "$ID" _NET_WM_NAME | sed -n 's/^_NET_WM_NAME(UTF8_STRING) = //p')"
import -window root build/vistrel-screenshot.png
echo "screenshot: build/vistrel-screenshot.png"
