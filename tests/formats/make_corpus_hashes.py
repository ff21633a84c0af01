#!/usr/bin/python3
"""Writes corpus_hashes.inc, the table of corpus_test.cpp.

usage: make_corpus_hashes.py BUILD_DIR [--make-inputs]

For every sample file: the status its load must give and the hash of the
canvases it must show. The pixels come from a reference decoder (the suites'
renderings, Pillow, ImageMagick, netpbm, djpeg, dwebp); the test program
(BUILD_DIR/tests/vistrel_tests_formats, run with VT_CORPUS_DUMP) shows what we
make of each file, and a row is written only when the two agree, exactly or
within the tolerance its comment gives. A missing tool stops the script. A file
no reference reads keeps our status, which must be a refusal; where we part
from every reference on purpose, the lists below say why.
--make-inputs first rewrites the encoded inputs in tests/data/formats/.
"""
import fnmatch, glob, io, json, os, re, struct, subprocess, sys, tempfile, zlib
from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
CORPUS = os.path.join(os.path.dirname(ROOT), "shared", "corpus")
MAGICK = "/usr/bin/convert"  # the real program, not a stand-in earlier on the path
for tool_path in (MAGICK, "/usr/bin/identify", "/usr/bin/djpeg", "/usr/bin/cjpeg", "/usr/bin/dwebp", "/usr/bin/ilbmtoppm"):
    if not os.path.exists(tool_path):
        sys.exit(f"missing reference tool {tool_path}")

def path_of(row):
    return os.path.join(ROOT if row.startswith(("tests/", "fuzz/")) else CORPUS, row)

def run(args, **kw):
    return subprocess.run(args, check=True, capture_output=True, **kw).stdout

# A canvas is (width, height, bits, samples): red, green, blue, alpha.
def pnm(data):  # PGM, PPM or PAM bytes
    if data[:2] == b"P7":
        head, body = data.split(b"ENDHDR\n", 1)
        f = dict(line.split(None, 1) for line in head.decode().splitlines()[1:] if line.strip())
        w, h, depth, top = (int(f[k]) for k in ("WIDTH", "HEIGHT", "DEPTH", "MAXVAL"))
    else:
        m = re.match(rb"P([56])\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
        (w, h, top), depth, body = (int(t) for t in m.groups()[1:]), 1 if m[1] == b"5" else 3, data[m.end():]
    n = w * h * depth
    s = struct.unpack(f">{n}H", body[:2 * n]) if top > 255 else body[:n]
    out = []
    for i in range(0, n, depth):
        px = list(s[i:i + depth])
        out += (px * 3 if depth < 3 else px[:3]) + [px[-1] if depth in (2, 4) else top]
    return (w, h, 16 if top > 255 else 8, out)

def pillow_frames(path):
    im, frames = Image.open(path), []
    for i in range(getattr(im, "n_frames", 1)):
        im.seek(i)
        frames.append((im.width, im.height, 8, list(im.convert("RGBA").tobytes())))
    return frames

def pillow(path):  # the image as opened, for formats whose frames are layers
    im = Image.open(path)
    return [(im.width, im.height, 8, list(im.convert("RGBA").tobytes()))]

def size(path):
    return [int(v) for v in run(["/usr/bin/identify", "-format", "%w %h", path + "[0]"]).split()]

def magick(path, depth=8, fmt=None):
    args = [MAGICK, path + "[0]", "-depth", str(depth), "-endian", "MSB"]
    raw = run(args + (["-define", "quantum:format=floating-point"] if fmt else []) + ["rgba:-"])
    s = struct.unpack(f">{len(raw) * 8 // depth}{fmt or ('H' if depth == 16 else 'B')}", raw)
    return [tuple(size(path)) + (8 if fmt else depth, list(s))]

def tool(*args):
    return lambda path: [pnm(run(list(args) + [path]))]

def lin(v):  # an 8-bit sRGB level to linear light
    v = min(max(v, 0), 255) / 255
    return v / 12.92 if v <= 0.04045 else ((v + 0.055) / 1.055) ** 2.4

def fnv(canvases):
    h = 0xCBF29CE484222325
    for w, ht, bits, s in canvases:
        fmt = "<" + ("H" if bits == 16 else "B") * 4
        data = struct.pack("<II", w, ht) + b"".join(
            struct.pack(fmt, *(s[i:i + 4] if s[i + 3] else (0, 0, 0, 0))) for i in range(0, len(s), 4))
        for b in data:
            h = ((h ^ b) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return h

def within(ours, ref, tol):
    """None when ref matches ours within tol (a number, or a check of the two
    sample lists and the width), else why not."""
    if ours[:3] != ref[:3]:
        return f"size/bits {ours[:3]} against {ref[:3]}"
    o, r = ours[3], list(ref[3])
    if all(v == (1 << ours[2]) - 1 for v in o[3::4]):
        r[3::4] = o[3::4]  # a reader that reports no alpha shows the picture opaque
    if callable(tol):
        return tol(o, r, ours[0])
    for i in range(0, len(o), 4):
        if (o[i + 3] or r[i + 3]) and max(abs(o[i + k] - r[i + k]) for k in range(4)) > tol:
            return f"pixel {i // 4 % ours[0]},{i // 4 // ours[0]}: {o[i:i + 4]} against {r[i:i + 4]}"
    return None

def rgb_within(tol):  # the alpha channel the reader does not read is left out
    def check(o, r, w):
        r[3::4] = o[3::4]
        return within((w, 0, 8, o), (w, 0, 8, r), tol)
    return check

def jpeg_tol(interior, mean):
    """Subsampled chroma is interpolated inside each block here and across
    blocks by the reference: samples on the edge of a 16 x 16 cell or of the
    picture may differ more."""
    def check(o, r, w):
        worst, total, h = 0, 0, len(o) // 4 // w
        for i in range(0, len(o), 4):
            x, y, d = i // 4 % w, i // 4 // w, [abs(o[i + k] - r[i + k]) for k in range(3)]
            total += sum(d)
            if x % 16 not in (0, 15) and y % 16 not in (0, 15) and x != w - 1 and y != h - 1:
                worst = max(worst, *d)
        m = total / (len(o) * 3 / 4)
        return None if worst <= interior and m <= mean else f"interior {worst}, mean {m:.3f}"
    return check

def sampling(path):  # the sampling factors of a JPEG file's components
    d = open(path, "rb").read()
    sof = re.search(rb"\xff[\xc0-\xc3\xc5-\xc7\xc9-\xcb\xcd-\xcf]", d)
    return [d[sof.start() + 11 + 3 * c] for c in range(d[sof.start() + 9])] if sof else []

def jpeg(path):
    if len(sampling(path)) == 4:  # the inks; a colour is (255 - ink) x (255 - black) / 255
        raw = run([MAGICK, path, "-depth", "8", "cmyk:-"])
        return [tuple(size(path)) + (8, [(255 - raw[i + c]) * (255 - raw[i + 3]) // 255 if c < 3 else 255
                                         for i in range(0, len(raw), 4) for c in range(4)])]
    return tool("/usr/bin/djpeg", "-dct", "int", "-pnm")(path)

def jpeg_tolerance(path):
    s = sampling(path)
    if len(s) == 4:
        return jpeg_tol(20, 3.5), "ImageMagick stores CMYK as YCCK; our conversion truncates"
    if s and s[0] in (0x21, 0x12, 0x22):
        return jpeg_tol(2, 2.0), "djpeg; chroma interpolated inside blocks here, across them there"
    return 1, "djpeg; its colour conversion rounds differently"

# bmpsuite: the renderings scale narrow colour fields (31 is 255) where this
# reader shifts (31 is 248); wider fields keep their top 8 bits.
def bmp_depths(d):
    size_, bpp, comp = struct.unpack_from("<I", d, 14)[0], d[28], struct.unpack_from("<I", d, 30)[0]
    if size_ >= 40 and comp in (3, 6):
        n = 4 if size_ >= 56 or comp == 6 else 3
        return tuple(bin(m).count("1") for m in struct.unpack_from(f"<{n}I", d, 54)) + (0,) * (4 - n)
    return (5, 5, 5, 0) if size_ >= 40 and bpp == 16 else (8, 8, 8, 8)

# Renderings of bad files whose only fault is a field this reader does not
# use; plain 32-bit data with a non-zero fourth byte carry alpha here.
BMP_RENDERINGS = {"b/badbitssize.bmp": ["pal1.png"], "b/baddens1.bmp": ["pal1.png"], "b/baddens2.bmp": ["pal1.png"],
                  "b/badfilesize.bmp": ["pal1.png"], "b/badpalettesize.bmp": ["pal8.png"],
                  "b/rletopdown.bmp": ["pal8.png"], "q/rgb32fakealpha.bmp": ["fakealpha.png"]}

def bmp_suite(path):
    depths, name = bmp_depths(open(path, "rb").read()), path[len(CORPUS) + 10:]
    refs = [l.split()[1:] for l in open(CORPUS + "/bmpsuite/ref/MAP.txt") if l.split()[:1] == [name]]
    out = []
    for ref in BMP_RENDERINGS.get(name, refs[0] if refs else []):
        w, h, _, s = pillow(CORPUS + "/bmpsuite/ref/" + ref)[0]
        if name == "b/rletopdown.bmp":  # run-length rows always go bottom-up here
            s = sum((s[(h - 1 - y) * w * 4:(h - y) * w * 4] for y in range(h)), [])
        if name == "q/rgb24prof2.bmp":  # the rendering applied the profile, which swaps red and green
            s = [s[i + (1, -1, 0, 0)[i % 4]] for i in range(len(s))]
        bits = [depths[i % 4] for i in range(len(s))]
        out.append([(w, h, 8, [(255 if i % 4 == 3 else 0) if b == 0 else v if b > 8 else
                               ((v * ((1 << b) - 1) + 127) // 255) << (8 - b) for i, (v, b) in enumerate(zip(s, bits))])])
    return tuple(out) or None  # the suite's renderings are alternatives

def bmp_tolerance(path):
    if max(bmp_depths(open(path, "rb").read(70))) > 8:
        return 1, "bmpsuite rendering, fields wider than 8 bits within one step"
    return 0, "bmpsuite rendering, narrow fields shifted"

def json_rgba(path):
    name, (w, h) = os.path.basename(path)[:-4], struct.unpack(">II", open(path, "rb").read(24)[16:])
    return [(w, h, 16 if name[6:8] == "16" else 8, json.load(open(f"{CORPUS}/pngsuite/json/{name}.json")))]

def pygif(path):
    conf, section = {}, None
    for line in open(path[:-4] + ".conf", encoding="utf-8"):
        if line.startswith("["):
            section = conf.setdefault(line.strip()[1:-1], {})
        elif " = " in line:
            section.__setitem__(*line.rstrip("\n").split(" = ", 1))
    c = conf["config"]
    return [(int(c["width"]), int(c["height"]), 8, list(open(os.path.join(os.path.dirname(path), conf[f]["pixels"]), "rb").read()))
            for f in filter(None, c["frames"].split(","))] or None

def peterdn(path):
    stem = path[:-4].replace("/gifs/", "/gifs/frames/")
    return [pillow(n)[0] for n in sorted(glob.glob(stem + "-*.png")) or [stem + ".png"]]

def shifted_map(path):  # 15- and 16-bit colour-map entries widen by shifting here
    w, h, b, s = pillow(path)[0]
    return [(w, h, b, [(v * 31 + 127) // 255 << 3 if i % 4 < 3 else v for i, v in enumerate(s)])]

def ehb(path):  # the display halves the first 32 colours; this file's CMAP says otherwise
    d = bytearray(open(path, "rb").read())
    at = d.find(b"CMAP") + 8
    d[at + 96:at + 192] = bytes(v >> 1 for v in d[at:at + 96])
    with tempfile.NamedTemporaryFile(suffix=".iff") as f:
        f.write(d)
        f.flush()
        return tool("/usr/bin/ilbmtoppm")(f.name)

def ham(bits):  # ilbmtoppm keeps the previous pixel's low bits, here the value's bits repeat
    return lambda o, r, w: next((f"sample {i}" for i in range(len(o)) if i % 4 < 3 and o[i] >> (8 - bits) != r[i] >> (8 - bits)), None)

def psd(path):  # Pillow reads 8-bit RGB and indexed documents, ImageMagick the rest
    bits, mode = struct.unpack(">HH", open(path, "rb").read(26)[22:])
    try:
        assert bits == 8 and mode in (2, 3)
        return pillow(path)
    except Exception:
        if bits != 32:
            return magick(path, bits)
        w, h, _, s = magick(path, 32, "f")[0]  # linear light, encoded here for display
        return [(w, h, 8, [round(255 * (v * 12.92 if v <= 0.0031308 else 1.055 * v ** (1 / 2.4) - 0.055)) if i % 4 < 3 else 255
                           for i, v in enumerate(min(max(v, 0.0), 1.0) for v in s)])]

def psd_tolerance(path):
    bits, mode = struct.unpack(">HH", open(path, "rb").read(26)[22:])
    if mode in (4, 9):
        return rgb_within(1 if mode == 4 else 8), "ImageMagick; its CMYK rounds, its Lab has another formula"
    return rgb_within(1 if bits == 32 else 0), "alpha channels are not read"

def dds(path):  # Pillow, or ImageMagick for the bit masks Pillow does not read
    try:
        return pillow(path)
    except Exception:
        return magick(path)

def dds_tolerance(path):
    if open(path, "rb").read(88)[84:88].startswith(b"DXT"):
        return 2, "Pillow widens 5/6-bit end points by repeating bits, interpolates without rounding"
    return 0, "Pillow"

def fits(path):  # signed samples are offset by 32768 here
    if re.search(rb"BITPIX  = +8 ", open(path, "rb").read(2880)):
        return magick(path)
    w, h, bits, s = magick(path, 16)[0]
    return [(w, h, bits, [v + 32768 if i % 4 < 3 else v for i, v in enumerate(s)])]

def float_tiff(path):
    """image-rs's renderings: float RGB, Deflate with the floating-point
    predictor, unclamped linear light, which no tool here reads."""
    d = open(path, "rb").read()
    ifd, tags = struct.unpack_from("<I", d, 4)[0], {}
    for i in range(struct.unpack_from("<H", d, ifd)[0]):
        tag, kind, count = struct.unpack_from("<HHI", d, ifd + 2 + 12 * i)
        unit, at = (2 if kind == 3 else 4), ifd + 10 + 12 * i
        tags[tag] = struct.unpack_from("<" + "HI"[unit // 4] * count, d, at if unit * count <= 4 else struct.unpack_from("<I", d, at)[0])
    w, h = tags[256][0], tags[257][0]
    data = b"".join(zlib.decompress(d[o:o + n]) if tags[259][0] == 8 else d[o:o + n] for o, n in zip(tags[273], tags[279]))
    out, rb = [], w * 12
    for y in range(h):
        row = bytearray(data[y * rb:(y + 1) * rb])
        if tags.get(317, (1,))[0] == 3:  # byte differences, then byte planes, most significant first
            for i in range(3, rb):
                row[i] = (row[i] + row[i - 3]) & 255
            row = bytes(row[(3 - b) * w * 3 + c] for c in range(w * 3) for b in range(4))
        v = struct.unpack(f"<{w * 3}f", row)
        out += [x for p in range(w) for x in v[3 * p:3 * p + 3] + (1.0,)]
    return [(w, h, 8, out)]

def hdr_linear(path):  # ImageMagick's decode of a Radiance file is encoded for display
    w, h, _, s = magick(path, 32, "f")[0]
    return [(w, h, 8, [lin(255 * v) for v in s])]

def hdr_tol(o, r, w):
    """RGBE shares one exponent: a component may differ by half a mantissa step
    of the pixel's largest one (references that leave out the formula's half
    step do), plus one 8-bit step of what is shown."""
    for i in range(0, len(o), 4):
        for k in range(3):
            step = max(lin(o[i + k] + 1) - lin(o[i + k]), lin(o[i + k]) - lin(o[i + k] - 1))
            if abs(lin(o[i + k]) - min(r[i + k], 1.0)) > max(r[i:i + 3]) / 256 + step:
                return f"pixel {i // 4 % w},{i // 4 // w}: {o[i:i + 3]} against {r[i:i + 3]}"

def dwebp(path):
    if b"ANIM" in open(path, "rb").read(64):
        return pillow_frames(path)
    return [pnm(run(["/usr/bin/dwebp", "-quiet", "-pam", path, "-o", "-"]))]

def alternatives(path):  # Pillow's first frame may be a default image outside the animation
    frames = pillow_frames(path)
    return (frames, frames[1:]) if len(frames) > 1 else (frames,)

def first_frame(path):
    return tuple([f] for f in pillow_frames(path)[:2])

PASTE = "Pillow blends partly transparent pixels by its paste rule: only the first frame agrees"
HAM = "ilbmtoppm keeps the previous pixel's low bits, this reader repeats the value's: top bits only"
# Which reference each file has: the first pattern that matches it.
SPECS = [
    ("bmpsuite/[gqbx]/*.bmp", bmp_suite, bmp_tolerance),
    ("pngsuite/png/xcsn0g01.png", json_rgba, 0, "PngSuite samples; only the CRC is wrong"),
    ("pngsuite/png/xhdn0g08.png", json_rgba, 0, "PngSuite samples; only the CRC is wrong"),
    ("pngsuite/png/[!x]*.png", json_rgba, 0, "PngSuite samples"),
    ("pngsuite/png/x*.png", lambda p: None, 0, ""),
    ("gif/pygif/test-suite/*.gif", pygif, 0, "pygif frames"),
    ("gif/peterdn/gifs/*.gif", peterdn, 0, "peterdn frames"),
    ("jpeg/jpegsuite/jpeg/*/*.jpg", jpeg, jpeg_tolerance),
    ("jpeg/libjpeg-turbo/testimages/*.jpg", jpeg, jpeg_tolerance),
    ("tests/data/formats/*.jpg", jpeg, jpeg_tolerance),
    ("fuzz/corpus/jpeg/gen_*.jpg", jpeg, jpeg_tolerance),
    ("webp/*.webp", dwebp, 0, "dwebp"),
    ("fuzz/corpus/webp/*.webp", dwebp, 0, "dwebp, Pillow for animations"),
    ("oiio/targa/[CU]CM8.TGA", shifted_map, 0, "Pillow, 16-bit map entries shifted"),
    ("pillow/Tests/images/p_16.tga", shifted_map, 0, "Pillow, 16-bit map entries shifted"),
    ("oiio/targa/*.[Tt][Gg][Aa]", pillow, 0, "Pillow"),
    ("pillow/Tests/images/*.tga", pillow, 0, "Pillow"),
    ("pillow/Tests/images/tga/common/*.tga",
     lambda p: pillow("_".join(p.split("_")[:-2]) + ".png"), 0, "Pillow's rendering"),
    ("fuzz/corpus/tga/attr16.tga", pillow, rgb_within(0), "Pillow, which ignores the alpha bit of 16-bit pixels"),
    ("fuzz/corpus/tga/*.tga", pillow, 0, "Pillow"),
    ("zigimg/fixtures/pcx/test-bpp4.pcx", magick, 0, "ImageMagick; Pillow ignores the header palette"),
    ("pillow/Tests/images/p_4_planes.pcx", magick, 0, "ImageMagick; colours from the header"),
    ("fuzz/corpus/pcx/cga2.pcx", magick, 0, "ImageMagick"),
    ("fuzz/corpus/pcx/packed4.pcx", magick, 0, "ImageMagick"),
    ("*/*.pcx", pillow, 0, "Pillow"),
    ("*/*.psd", psd, psd_tolerance),
    ("image-rs/tests/images/ico/images/bmp_v5_with_icc.ico", pillow, rgb_within(0),
     "Pillow; an embedded colour profile sits where the mask belongs"),
    ("*/*.[ic][cu][or]", pillow, 0, "Pillow"),
    ("*/*.dds", dds, dds_tolerance),
    ("*/*.fits", fits, 0, "ImageMagick's stored values; signed samples are offset by 32768 here"),
    ("image-rs/tests/images/hdr/images/*.hdr",
     lambda p: float_tiff(p.replace("/images/hdr/images/", "/reference/hdr/images/") + ".tiff"), hdr_tol,
     "image-rs rendering, within half a mantissa step of the largest component"),
    ("fuzz/corpus/hdr/*.hdr", hdr_linear, hdr_tol, "ImageMagick, within half a mantissa step of the largest component"),
    ("*/sample-ham.iff", tool("/usr/bin/ilbmtoppm"), ham(4), HAM),
    ("*/ham6.iff", tool("/usr/bin/ilbmtoppm"), ham(4), HAM),
    ("*/sample-ham8.iff", tool("/usr/bin/ilbmtoppm"), ham(6), HAM),
    ("*/sample-24bit.iff", tool("/usr/bin/ilbmtoppm"), ham(6), "HAM8 despite its name; " + HAM),
    ("*/ham8.iff", tool("/usr/bin/ilbmtoppm"), ham(6), HAM),
    ("zigimg/fixtures/ilbm/sample-ehb.iff", ehb, 0, "ilbmtoppm of the file with the halves in its CMAP"),
    ("*/*.[ai][cf][bf]*", tool("/usr/bin/ilbmtoppm"), 0, "ilbmtoppm"),
    ("*/apng/blend_op_over_near_transparent.png", first_frame, 0, PASTE),
    ("*/apng/mode_16bit.png", first_frame, 0, PASTE),
    ("*/apng/mode_grayscale_alpha.png", first_frame, 0, PASTE),
    ("*/apng/mode_palette_1bit_alpha.png", first_frame, 0, PASTE),
    ("fuzz/corpus/png/anim.png", first_frame, 0, PASTE),
    ("pillow/Tests/images/apng/*.png", alternatives, 2, "Pillow; its paste rule rounds blends a little differently"),
    ("fuzz/corpus/png/grey16.png", lambda p: magick(p, 16), 0, "ImageMagick"),
    ("fuzz/corpus/png/rgb16-trns-text.png", lambda p: magick(p, 16), 0, "ImageMagick"),
    ("fuzz/corpus/*/*", pillow_frames, 0, "Pillow"),
]
FILES = ["bmpsuite/[gqbx]/*.bmp", "pngsuite/png/*.png", "gif/*/*/*.gif", "jpeg/jpegsuite/jpeg/*/*.jpg",
         "jpeg/libjpeg-turbo/testimages/*.jpg", "tests/data/formats/*.jpg", "fuzz/corpus/jpeg/gen_*.jpg", "webp/*.webp",
         "oiio/targa/*.[Tt][Gg][Aa]", "pillow/Tests/images/tga/common/*.tga",
         "zigimg/fixtures/*/*", "oiio/psd/*.psd", "psd-tools/tests/psd_files/colormodes/*.psd", "image-rs/tests/images/ico/images/*",
         "image-rs/tests/images/hdr/images/*", "oiio/dds/*.dds", "oiio/dds/broken/*.dds", "pillow/Tests/images/apng/*.png",
         "fuzz/corpus/[dfghiptw]*/*"] + [f"pillow/Tests/images/*.{k}" for k in ("tga", "pcx", "psd", "ico", "cur", "dds", "fits")]
KINDS = (".bmp", ".png", ".gif", ".jpg", ".webp", ".tga", ".pcx", ".psd", ".ico", ".cur", ".dds", ".fits", ".hdr", ".iff", ".acbm")

# Files we show where no reference shows the same, on purpose: status only.
DIFFERS = [
    ("gif/pygif/test-suite/no-global-color-table.gif", "without any table the indices show as greys"),
    ("gif/pygif/test-suite/invalid-colors.gif", "indices above the table show opaque black"),
    ("gif/pygif/test-suite/invalid-code.gif", "a code that names no entry ends the data: the rest is transparent"),
    ("gif/pygif/test-suite/overflow-codes*.gif", "damaged image data decode as far as they go"),
    ("gif/pygif/test-suite/plain-text.gif", "plain-text blocks are not drawn; the image is shown"),
    ("zigimg/fixtures/ilbm/sample-ilbm-4bit-compressed-atari.iff", "column-wise compression no reference reads"),
    ("bmpsuite/b/*", "a damaged file shown as far as it goes; the suite has no rendering"),
    ("*/cross_scan_line_truncated.tga", "a truncated file shown as far as it goes"),
    ("fuzz/corpus/*/cut.*", "a truncated file shown as far as it goes"),
    ("oiio/dds/broken/dds_bc3_just_header.dds", "a header without blocks shows transparent black"),
    ("fuzz/corpus/fits/f*.fits", "floats are linear light here; ImageMagick stretches them to their range"),
    ("fuzz/corpus/fits/i*.fits", "ImageMagick clamps negative samples and rounds 32-bit ones: see the built files"),
    ("fuzz/corpus/hdr/xyz-repeat.hdr", "no reference reads XYZE"),
    ("fuzz/corpus/psd/large_document.psd", "no reference reads this large-document file"),
    ("fuzz/corpus/pcx/cga2.pcx", "CGA colour sets chosen by header bytes ImageMagick ignores"),
    ("oiio/dds/dds_rgb10a2.dds", "ImageMagick reads these masks otherwise: the arithmetic is checked on built surfaces"),
    ("pillow/Tests/images/bgr15.dds", "no reference reads 15-bit surfaces"),
    ("pillow/Tests/images/apng/[cs][hey][unq]*_*.png", "breaks the animation rules: decoders part ways"),
    ("pillow/Tests/images/mask_[1L].cur",
     "the entry's size disagrees with the bitmap: the mask is read where the bitmap puts it, by Pillow at the entry's end"),
]
# Files a reference reads that we refuse on purpose: status and why.
REFUSED = [
    ("gif/pygif/test-suite/no-data.gif", "kDamaged", "a file without any image"),
    ("gif/pygif/test-suite/image-zero-*.gif", "kDamaged", "its only image's table runs past the end"),
    ("jpeg/libjpeg-turbo/testimages/monkey12.jpg", "kDamaged", "12-bit samples"),
    ("jpeg/jpegsuite/jpeg/lossless_*/*", "kUnsupportedSubformat", "lossless process"),
    ("jpeg/jpegsuite/jpeg/*/*x12_*", "kDamaged", "12-bit samples"),
    ("jpeg/jpegsuite/jpeg/*/*dnl*", "kDamaged", "height left to a DNL segment"),
    ("*/la.tga", "kDamaged", "grey with alpha does not fit grey images"),
    ("*/tga/common/*_la_*.tga", "kDamaged", "grey with alpha does not fit grey images"),
    ("*/rgb32rle_*_right.tga", "kUnknownFormat", "right-to-left rows are not taken as TARGA"),
    ("pillow/Tests/images/01r_00.pcx", "kDamaged", "12 bytes a line for 88 pixels of 8 bits"),
    ("bmpsuite/q/pal2*.bmp", "kUnsupportedSubformat", "2 bits per pixel"),
    ("bmpsuite/q/rgb24png.bmp", "kUnsupportedSubformat", "embedded PNG"),
    ("bmpsuite/q/rgba32abf.bmp", "kUnsupportedSubformat", "compression 6"),
    ("bmpsuite/q/rgba64.bmp", "kUnsupportedSubformat", "64 bits per pixel"),
    ("bmpsuite/q/pal8os2v2-16.bmp", "kUnknownFormat", "a 16-byte header: no reader for this variant"),
    ("bmpsuite/q/*", "kUnknownFormat", "a 64-byte OS/2 header: no reader for this variant"),
    ("*/psd_bitmap.psd", "kUnsupportedSubformat", "bitmap mode"),
    ("*/4x4_1bit_bitmap.psd", "kUnsupportedSubformat", "bitmap mode"),
    ("*/4x4_16bit_*.psd", "kUnsupportedSubformat", "16 bits only for grey and RGB"),
    ("*/*.dds", "kUnsupportedSubformat", "a block or pixel format this reader does not show"),
    ("pillow/Tests/images/m13_gzip.fits", "kUnknownFormat", "gzip-compressed: not this reader's"),
]

def listed(table, path):
    return next((entry[1:] for entry in table if fnmatch.fnmatch(path, entry[0])), None)

def rows():
    """(path, reference, tolerance, note) for every sample file."""
    out, seen = [], set()
    for pattern in FILES:
        base = ROOT if pattern.startswith(("tests/", "fuzz/")) else CORPUS
        for p in sorted(glob.glob(os.path.join(base, pattern))):
            row = os.path.relpath(p, base)
            if row in seen or not row.lower().endswith(KINDS):
                continue
            seen.add(row)
            spec = next(s for s in SPECS if fnmatch.fnmatch(row, s[0]))
            out.append((row, spec[1]) + (spec[2](p) if len(spec) == 3 else spec[2:]))
    return out

def make_inputs():
    """Encoded inputs no suite has: odd sizes, extreme qualities, every sampling
    layout, and two large files for the JPEG row pipeline."""
    def picture(w, h, seed, noise, cw, ch):  # gradients, edges and noise as binary PPM
        state, out = (seed * 2654435761 + 1) & 0xFFFFFFFF, bytearray(b"P6\n%d %d\n255\n" % (w, h))
        for y in range(h):
            for x in range(w):
                for v in (x * 255 // (w - 1), y * 255 // (h - 1), 200 if (x // cw + y // ch) & 1 else 40):
                    state = (state * 1664525 + 1013904223) & 0xFFFFFFFF
                    out.append(min(max(v + ((state >> 27) - 16 if noise else 0), 0), 255))
        return bytes(out)
    small, big = picture(61, 45, 7, True, 13, 9), picture(1400, 530, 21, False, 61, 37)
    for name, src, options in [
            ("q5_420.jpg", small, "-quality 5 -sample 2x2"), ("q100_444.jpg", small, "-quality 100 -sample 1x1"),
            ("rgb.jpg", small, "-rgb -quality 90"), ("s41_progressive.jpg", small, "-sample 4x1 -progressive"),
            ("s14_arithmetic.jpg", small, "-sample 1x4 -arithmetic"),
            ("s12_arith_prog_rst.jpg", small, "-sample 1x2 -arithmetic -progressive -restart 1"),
            ("gray_optimize_rst.jpg", small, "-grayscale -optimize -restart 3B"),
            ("pipeline_420_rst1.jpg", big, "-quality 20 -sample 2x2 -restart 1"),
            ("pipeline_422_rst3.jpg", big, "-quality 20 -sample 2x1 -restart 3")]:
        open(os.path.join(ROOT, "tests/data/formats", name), "wb").write(run(["/usr/bin/cjpeg"] + options.split(), input=src))

def dumps(build, paths):
    """Our status and canvases for each path, from the test program."""
    out = []
    with tempfile.TemporaryDirectory() as d:
        open(d + "/list.txt", "w").write("\n".join(paths) + "\n")
        run([os.path.join(build, "tests", "vistrel_tests_formats"), "--gtest_filter=Corpus.*"],
            env=dict(os.environ, VT_CORPUS_DUMP=d))
        for i in range(len(paths)):
            f = io.BytesIO(open(f"{d}/{i}.dump", "rb").read())
            status, n = (int(v) for v in f.readline().split())
            canvases = []
            for _ in range(n):
                w, h, bits = (int(v) for v in f.readline().split())
                raw = f.read(w * h * 4 * bits // 8)
                canvases.append((w, h, bits, list(struct.unpack(f"<{w * h * 4}H", raw)) if bits == 16 else list(raw)))
            out.append(((status ^ 1 << 31) - (1 << 31), canvases))
    return out

def match(ours, refs, tol):
    """The canvas each reference frame matches, in order, or why none does."""
    picks, k = [], 0
    for ref in refs:
        why = None
        while k < len(ours) and (why := within(ours[k], ref, tol)):
            k += 1
        if k == len(ours):
            return None, f"reference frame {len(picks)}: {why or 'no canvas left'}"
        picks.append(k)
        k += 1
    return picks, None

def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    if "--make-inputs" in sys.argv:
        make_inputs()
    header = open(os.path.join(ROOT, "src/base/status.h")).read()
    names = {(int(v, 0) ^ 1 << 31) - (1 << 31): "status::" + k
             for k, v in re.findall(r"constexpr Status (k\w+) = (?:static_cast<Status>\()?(0x[0-9a-fA-F]+|\d+)", header)}
    table = rows()
    lines, errors = [], []
    for (path, ref, tol, note), (status, canvases) in zip(table, dumps(sys.argv[1], [r[0] for r in table])):
        refused, differs = listed(REFUSED, path), listed(DIFFERS, path)
        hash_, picks = 0, ""
        name = names.get(status, f"static_cast<Status>(0x{status & 0xFFFFFFFF:08x}u)")
        if refused and name == "status::" + refused[0]:
            note = refused[1]
        else:
            try:
                refs = ref(path_of(path))
            except Exception as e:  # the reference refuses the file
                refs, note = None, f"{note}: {str(e)[:60]}"
            found, why = None, "no reference reads it"
            for alternative in refs if isinstance(refs, tuple) else (refs,) if refs and status >= 0 else ():
                found, why = match(canvases, alternative, tol)
                if found is not None:
                    break
            if found is not None:
                picks = "" if found == list(range(len(canvases))) else " ".join(map(str, found))
                hash_ = fnv([canvases[i] for i in found])
            elif status < 0 and refs is None:
                note = "no reference reads it"
            elif differs and status >= 0:
                note = differs[0]
            else:
                errors.append(f"{path}: {'refused' if status < 0 else why} ({note})")
        lines.append(f'    {{"{path}", {name}, 0x{hash_:016x}ull, "{picks}"}},  // {note}\n')
    if errors:
        sys.exit("\n".join(errors))
    open(os.path.join(HERE, "corpus_hashes.inc"), "w").write("// Written by make_corpus_hashes.py; do not edit.\n" + "".join(lines))

if __name__ == "__main__":
    main()
