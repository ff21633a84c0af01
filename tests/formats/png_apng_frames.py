# Prints the frames of an animated PNG as the reference decoder composes them
# on the canvas: a line "W H N", then one line of RGBA hex per frame. Exit 1
# when the decoder refuses the file. Run with the system Python (Pillow).
import sys
from PIL import Image

try:
    im = Image.open(sys.argv[1])
    n = getattr(im, "n_frames", 1)
    frames = []
    for i in range(n):
        im.seek(i)
        frames.append(im.convert("RGBA").tobytes().hex())
except Exception:
    sys.exit(1)
print(im.size[0], im.size[1], n)
for f in frames:
    print(f)
