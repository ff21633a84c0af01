#!/usr/bin/env bash
# How long the real program takes from its start to the first pixels of a
# large photo on screen: a 6000 x 4000 JPEG at quality 90 (made once with
# ImageMagick and kept in the cache folder), opened on a virtual 1280 x 1024
# display without a window manager. A small X client started with the program
# reads the screen pixel at the image's centre every half millisecond until it
# shows the image's colour. Each program runs RUNS times (5 by default) and
# the median is printed.
#  - the Linux desktop program (vistrel-gtk), a fresh instance each run;
#  - for comparison, the decode alone as a whole process (vistrel-decode);
#  - the Windows program under Wine, when it is given or built: Wine's own
#    start dominates that figure. The Wine server is kept running between
#    runs, as the system is on Windows.
# A benchmark run on demand, not a test: the figures depend on the machine and
# on what else runs on it (the load average is printed with them). --nice
# runs the display server, the probe and the programs at the highest
# priority allowed (root may raise it), which keeps other work on a shared
# machine out of the figures as far as it goes.
# Usage: bench/startup_time.sh [--runs N] [--nice] [--gtk vistrel-gtk] [--windows vistrel.exe]
#   defaults: build/release/vistrel-gtk, build/windows/vistrel.exe when present;
#   --windows "" leaves the Windows program out.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
RUNS=5
NICE=""
GTK="$ROOT/build/release/vistrel-gtk"
WINDOWS=""
[ -f "$ROOT/build/windows/vistrel.exe" ] && WINDOWS="$ROOT/build/windows/vistrel.exe"
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) RUNS="$2"; shift 2 ;;
    --nice) NICE="nice -n -19"; shift ;;
    --gtk) GTK="$2"; shift 2 ;;
    --windows) WINDOWS="$2"; shift 2 ;;
    *) echo "usage: $0 [--runs N] [--nice] [--gtk vistrel-gtk] [--windows vistrel.exe]" >&2; exit 2 ;;
  esac
done
source "$ROOT/tests/support/xvfb.sh"
require_tools Xvfb xwininfo xdotool cc /usr/bin/convert
[ -x "$GTK" ] || { echo "no program at $GTK (cmake --preset release && cmake --build build/release --target vistrel-gtk)"; exit 1; }
GTK="$(realpath "$GTK")"

# The photo: a plasma with noise (about 8 MB, as a camera's JPEG) and a green
# square in the middle where the probe looks. A second, smaller image in the
# folder gives the viewer something to read ahead, as in a folder of photos.
DATA="${XDG_CACHE_HOME:-$HOME/.cache}/vistrel-bench/startup"
PHOTO="$DATA/photo-6000x4000-q90.jpg"
GREEN=1ec85a
if [ ! -s "$PHOTO" ]; then
  mkdir -p "$DATA"
  echo "making $PHOTO (once) ..."
  /usr/bin/convert -size 6000x4000 -seed 7 plasma:orange-navy -attenuate 0.5 +noise Gaussian \
    -fill "#$GREEN" -draw 'rectangle 2700,1700 3300,2300' -quality 90 -sampling-factor 2x2 "$PHOTO.part" &&
    /usr/bin/convert -size 2000x1500 -seed 8 plasma:gold-teal -quality 90 "$DATA/second.jpg" &&
    mv "$PHOTO.part" "$PHOTO" || { echo "cannot make the photo"; exit 1; }
fi

# The Wine prefix outlives the run (made once): named before the run's own
# home folder replaces the user's.
PREFIX="${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/vistrel-bench/wine}"

begin_display_test 1280x1024
if [ -n "$NICE" ] && ! renice -n -19 -p "$XVFB" >/dev/null 2>&1; then
  echo "NOTE: the priority cannot be raised here; measuring at the normal one"
  NICE=""
fi
PROBE="$WORK/startup_probe"
cc -O2 -o "$PROBE" "$ROOT/bench/startup_probe.c" -lX11 || { echo "cannot build the probe (libx11-dev)"; exit 1; }
# The pointer rests in a corner, away from the image, and its client keeps
# the server from resetting between runs.
xdotool mousemove 1279 1023 sleep 100000 >/dev/null 2>&1 &
POINTER=$!
trap 'kill $POINTER 2>/dev/null; wineserver -k >/dev/null 2>&1; end_display_test' EXIT

median() { sort -n | awk '{v[NR]=$1} END {if (NR) print v[int((NR+1)/2)]; else print "none"}'; }
# measure LABEL CLOSE-COMMAND PROGRAM ARGS...: RUNS starts, each closed again.
measure() {
  local label="$1" close="$2" times="" t
  shift 2
  for _ in $(seq 1 "$RUNS"); do
    t="$($NICE "$PROBE" 640 512 "$GREEN" 24 20000 -- "$@" 2>>"$WORK/program.log")" || t=""
    eval "$close" >/dev/null 2>&1
    sleep 1
    [ -n "$t" ] && times="$times $t" || echo "$label: no image within 20 s" >&2
  done
  printf '%-34s median %8s ms   runs:%s\n' "$label" "$(tr ' ' '\n' <<<"$times" | grep . | median)" "$times"
}

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) processors${NICE:+, highest priority}"
cd "$DATA"
measure "vistrel-gtk, first pixels" "'$GTK' -close" "$GTK" "$PHOTO"

DECODE="$(dirname "$GTK")/vistrel-decode"
if [ -x "$DECODE" ]; then
  times=""
  for _ in $(seq 1 "$RUNS"); do
    s=$(date +%s%N)
    $NICE "$DECODE" "$PHOTO" >/dev/null
    times="$times $(( ($(date +%s%N) - s) / 1000000 ))"
  done
  printf '%-34s median %8s ms   runs:%s\n' "vistrel-decode, whole process" \
    "$(tr ' ' '\n' <<<"$times" | grep . | median)" "$times"
fi

if [ -n "$WINDOWS" ]; then
  if ! command -v wine >/dev/null; then
    echo "Windows program: wine is not installed (scripts/install-deps.sh --with-windows)"
  else
    WINDOWS="$(realpath "$WINDOWS")"
    export WINEPREFIX="$PREFIX" WINEDEBUG=-all \
      WINEDLLOVERRIDES="mscoree,mshtml="
    if [ ! -d "$WINEPREFIX/drive_c/windows/Fonts" ]; then
      echo "making the Wine prefix $WINEPREFIX (once) ..."
      wineboot -i >/dev/null 2>&1
      wineserver -w
      cp /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
      # Without a window manager Wine places the windows itself.
      printf '\n[Software\\\\Wine\\\\X11 Driver] 1700000000\n"Managed"="N"\n' >>"$WINEPREFIX/user.reg"
    fi
    wineserver -p
    wine cmd /c exit >/dev/null 2>&1
    measure "vistrel.exe under Wine, first pixels" "wine '$WINDOWS' -close" \
      wine "$WINDOWS" "$(winepath -w "$PHOTO")"
  fi
fi
