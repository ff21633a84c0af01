#!/usr/bin/env bash
# The index's thumbnails against vipsthumbnail (libvips), side by side, on
# the same folder of 500 camera-sized JPEGs (12 to 24 megapixels, made once
# with cjpeg from textured pictures and kept in build/bench-index-jpegs):
#   - making every thumbnail at the 160 x 160 box with every processor:
#     the index (the worker tasks the window uses, vistrel_bench_index) and
#     vipsthumbnail (one process per processor, 25 files each call);
#   - the second visit of the folder, every thumbnail from "Vistrel.vti";
#   - the index's peak memory while it makes them.
# Installs libvips-tools when vipsthumbnail is missing (apt-get, as root).
# Usage: bench/index_vs_vipsthumbnail.sh [build folder with vistrel_bench_index]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${1:-$ROOT/build/bench}"
PROGRAM="$BUILD/bench/vistrel_bench_index"
[ -x "$PROGRAM" ] || { echo "build it first: cmake --preset bench && cmake --build build/bench --target vistrel_bench_index"; exit 2; }
FOLDER="$ROOT/build/bench-index-jpegs"
COUNT=500
CORES="$(nproc)"

if ! command -v vipsthumbnail >/dev/null; then
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get install -y libvips-tools >/dev/null
fi
command -v cjpeg >/dev/null || { echo "cjpeg (libjpeg-turbo-progs) is missing"; exit 2; }

# The pictures: textured sources of 12 to 24 megapixels (ImageMagick's
# plasma fractal with noise), each encoded at several qualities.
if [ "$(ls "$FOLDER"/*.jpg 2>/dev/null | wc -l)" -lt "$COUNT" ]; then
  mkdir -p "$FOLDER"
  SIZES=(4000x3000 4240x2832 4608x3456 5184x3456 5472x3648 6000x4000 4896x3264 5568x3712 4032x3024 5760x3840)
  n=0
  for s in "${SIZES[@]}"; do
    src="$FOLDER/source.ppm"
    convert -size "$s" -seed "$n" plasma:fractal -attenuate 0.4 +noise Gaussian "ppm:$src"
    for q in $(seq 1 50); do
      printf -v name "%s/photo%03d.jpg" "$FOLDER" "$n"
      cjpeg -quality $((60 + q % 36)) -outfile "$name" "$src"
      n=$((n + 1))
    done
    rm -f "$src"
  done
fi
rm -f "$FOLDER/Vistrel.vti"
MB=$(du -sm "$FOLDER" | cut -f1)
echo "folder: $(ls "$FOLDER"/*.jpg | wc -l) JPEGs, $MB MB, $CORES processors"
cat "$FOLDER"/*.jpg >/dev/null  # both sides read from the page cache

OUT="$(mktemp -d)"
trap 'rm -rf "$OUT"' EXIT
start=$(date +%s.%N)
ls "$FOLDER"/*.jpg | xargs -P "$CORES" -n 25 vipsthumbnail -s 160x160 -o "$OUT/%s.jpg"
end=$(date +%s.%N)
VIPS=$(python3 -c "print(f'{$COUNT / ($end - $start):.1f}')")
echo "vipsthumbnail: $COUNT thumbnails in $(python3 -c "print(f'{$end - $start:.3f}')") s, $VIPS images/s"

RESULT="$("$PROGRAM" "$FOLDER" 160)"
echo "$RESULT"
OURS=$(echo "$RESULT" | sed -n 's/^made: .* \([0-9.]*\) images\/s.*/\1/p')
python3 -c "print(f'index / vipsthumbnail throughput: {$OURS / $VIPS:.2f}x (goal: at least 1.5x)')"
rm -f "$FOLDER/Vistrel.vti"
