# Sourced by the scripts that run the index window from outside.
# make_index_folder DIR: blue.bmp (60 x 40), green.bmp (40 x 60) and
# red.bmp (50 x 50), solid colours, 24-bit bitmaps, in DIR (made here).
make_index_folder() {
  mkdir -p "$1"
  python3 - "$1" <<'PY'
import struct, sys
def bmp(path, w, h, bgr):
    row = (w * 3 + 3) & ~3
    line = bytes(bgr) * w + b"\0" * (row - w * 3)
    head = b"BM" + struct.pack("<IHHI", 54 + row * h, 0, 0, 54)
    head += struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, row * h, 2835, 2835, 0, 0)
    open(path, "wb").write(head + line * h)
bmp(sys.argv[1] + "/blue.bmp", 60, 40, (255, 0, 0))
bmp(sys.argv[1] + "/green.bmp", 40, 60, (0, 255, 0))
bmp(sys.argv[1] + "/red.bmp", 50, 50, (0, 0, 255))
PY
}

# cache_records FILE: the number of records of an index cache file, or
# "invalid" when it is not one (read here, independently of the program).
cache_records() {
  python3 - "$1" <<'PY'
import struct, sys
try:
    f = open(sys.argv[1], "rb").read()
    assert f[:4] == b"RIFF" and f[8:12] == b"VTIC" and f[12:16] == b"IFMT"
    a, b, c = struct.unpack_from("<III", f, 20)
    assert f[32:36] == b"FREF"
    fref = struct.unpack_from("<I", f, 36)[0]
    assert f[40 + fref:44 + fref] == b"DATA"
    assert (b & 0xFF) == 24 and (b >> 28) in (0, 2)
    names, at = [], 40
    for _ in range(a & 0x3FFFFF):
        end = f.index(b"\0", at + 24)
        names.append(f[at + 24:end].decode("latin-1"))
        at = end + 1
    print(len(names), " ".join(sorted(names)))
except Exception:
    print("invalid")
PY
}

# scramble_keeping_stamps FILE...: new bytes of the same length, the
# modification time put back to the nanosecond: a program that trusts its
# cache shows the old pictures, one that opens the files finds no image.
scramble_keeping_stamps() {
  python3 - "$@" <<'PY'
import os, sys
for path in sys.argv[1:]:
    st = os.stat(path)
    open(path, "wb").write(b"\xa5" * st.st_size)
    os.utime(path, ns=(st.st_atime_ns, st.st_mtime_ns))
PY
}

# pixel_of PNG X Y: the colour of a pixel of a screenshot as "r,g,b".
pixel_of() {
  convert "$1" -crop "1x1+$2+$3" -depth 8 rgb:- | python3 -c 'import sys; print(",".join(map(str, sys.stdin.buffer.read()[:3])))'
}

# find_thumbnails PNG X Y W H: "bx gx rx y" — the first row of the area
# where pure blue, green and red pixels all show, and the first x of each on
# it; nothing when there is none.
find_thumbnails() {
  convert "$1" -crop "${4}x$5+$2+$3" +repage -depth 8 rgb:- | python3 -c '
import sys
w, h, x0, y0 = map(int, sys.argv[1:5])
data = sys.stdin.buffer.read()
want = {b"\x00\x00\xff": "b", b"\x00\xff\x00": "g", b"\xff\x00\x00": "r"}
for y in range(h):
    row = data[y * w * 3:(y + 1) * w * 3]
    first = {}
    for x in range(w):
        c = want.get(row[x * 3:x * 3 + 3])
        if c and c not in first:
            first[c] = x
    if len(first) == 3:
        print(first["b"] + x0, first["g"] + x0, first["r"] + x0, y + y0)
        break' "$4" "$5" "$2" "$3"
}

# wait_for_exact_title TITLE SECONDS: the id of the viewable top-level window
# titled exactly TITLE, once there.
wait_for_exact_title() {
  local id
  for _ in $(seq 1 $(($2 * 4))); do
    for id in $(xwininfo -root -children 2>/dev/null | grep -F "\"$1\":" | awk '{print $1}'); do
      xwininfo -id "$id" 2>/dev/null | grep -q IsViewable && { echo "$id"; return 0; }
    done
    sleep 0.25
  done
  return 1
}
