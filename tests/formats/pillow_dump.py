#!/usr/bin/env python3
"""Decodes each FILE with Pillow into OUT/<name of FILE>.dump.

usage: pillow_dump.py OUT (rgba|raw) FILE...
A dump is one text line "MODE WIDTH HEIGHT" and then the pixels: rgba writes
the image converted to RGBA (8 bits per channel), raw writes Pillow's own
samples (mode I as 32-bit and mode F as 32-bit float, native byte order).
A file Pillow cannot read gets no dump.
"""
import pathlib
import sys
import warnings

from PIL import Image

warnings.simplefilter("ignore")
out = pathlib.Path(sys.argv[1])
kind = sys.argv[2]
for name in sys.argv[3:]:
    path = pathlib.Path(name)
    try:
        with Image.open(path) as im:
            im.load()
            if kind == "rgba":
                im = im.convert("RGBA")
            data = im.tobytes()
            header = f"{im.mode} {im.size[0]} {im.size[1]}\n".encode()
    except Exception:  # anything Pillow refuses simply has no reference
        continue
    (out / (path.name + ".dump")).write_bytes(header + data)
