#!/bin/sh
# The readers of image files reach file bytes only through ByteCursor (and
# the JPEG entropy readers built on it): every span of file bytes a reader
# holds then comes from a cursor call with a checked length. This check keeps
# it so by refusing, in src/formats, the ways around the cursor:
#   FileData( FileBytes(     the whole file as raw memory
#   .Data()  .Bytes()        a cursor's or a file source's whole data
#   .subspan(                re-slicing file bytes by hand
# Files whose job is raw access (the JPEG bit readers) are listed below.
#
# Usage: check_raw_indexing.sh <source root>
# Before checking, the script checks itself: each pattern must be caught in a
# sample line, so that a broken pattern cannot pass everything.
set -u

PATTERN='FileData\(|FileBytes\(|\.Data\(\)|[.>]Bytes\(\)|\.subspan\('
ALLOWED='formats/jpeg/jpeg_bit_readers\.h'

violations() {
  # file:line:text of every offending line under $1/formats, comments aside.
  grep -rnE "$PATTERN" --include='*.cpp' --include='*.h' "$1/formats" |
    grep -vE "^[^:]*($ALLOWED):" | grep -vE '^[^:]+:[0-9]+:[[:space:]]*//'
}

self_test() {
  tmp=$(mktemp -d) || exit 2
  mkdir -p "$tmp/formats/x"
  n=0
  for sample in 'auto p = FileData() + 4;' 'auto b = FileBytes();' \
                'auto s = cursor.Data()[3];' 'auto s = source.Bytes();' \
                'auto s = Source()->Bytes();' 'auto s = whole.subspan(pos, n);'; do
    n=$((n + 1))
    printf '%s\n' "$sample" > "$tmp/formats/x/sample$n.cpp"
  done
  printf '// a comment about FileBytes() is no use of it\n' > "$tmp/formats/x/comment.cpp"
  found=$(violations "$tmp" | wc -l)
  rm -rf "$tmp"
  if [ "$found" -ne "$n" ]; then
    echo "check_raw_indexing: the patterns caught $found of $n samples" >&2
    exit 2
  fi
}

[ $# -eq 1 ] && [ -d "$1/formats" ] || { echo "usage: $0 <source root>" >&2; exit 2; }
self_test
out=$(violations "$1")
if [ -n "$out" ]; then
  echo "File bytes reached around ByteCursor:" >&2
  printf '%s\n' "$out" >&2
  exit 1
fi
exit 0
