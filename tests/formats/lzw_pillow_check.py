#!/usr/bin/env python3
"""Checks that Pillow decodes every NAME.gif in a folder to the indices in NAME.raw."""
import pathlib
import sys

from PIL import Image

failures = 0
count = 0
for gif in sorted(pathlib.Path(sys.argv[1]).glob("*.gif")):
    expected = gif.with_suffix(".raw").read_bytes()
    with Image.open(gif) as im:
        im.load()
        got = im.tobytes() if im.mode in ("P", "L") else None
    count += 1
    if got != expected:
        failures += 1
        print(f"{gif.name}: Pillow gives {im.mode} {len(got or b'')} bytes, differing from the encoded pixels")
if count == 0:
    print("no files")
    sys.exit(2)
sys.exit(1 if failures else 0)
