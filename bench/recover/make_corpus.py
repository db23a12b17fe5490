#!/usr/bin/env python3
"""Builds the corpus that picture recovery is measured on: screenshot-like
PNGs, each cropped or partly painted over and saved back over the original
file without truncating it, the way some screenshot and markup editors did.
The file is then the new PNG followed by the original's bytes from that
length on: the tail of the original's IDAT data and its IEND.

Per case NAME, in OUTDIR:
  NAME.png           the damaged file (new PNG + the original's tail)
  NAME.original.png  the original, as truth
  NAME.json          the truth: the original's size, colour type, filter
                     strategy, zlib level and IDAT chunk size, the edit, the
                     new PNG's settings and length, and where the cut falls
                     in the original's zlib data and scanlines
manifest.json lists the cases in order.

The originals: title bars and buttons, flat panels, text lines, icons,
gradients and a photo-like area, RGB or RGBA, at screen widths (and a few odd
ones), a few hundred rows high (pure-Python filtering is the cost). Encoded
with zlib levels 1 to 9, filter none, sub, up, average, paeth or a per-row
adaptive choice, IDAT chunks of 8 KiB to 1 MiB. The same seed gives the same
files with the same zlib.

--kind picks the corpus:
  broad     (default) the pictures above and ImageMagick-drawn screens with
            antialiased text, 200 to 2,560 pixels wide (screen widths, odd
            ones and narrow ones), filtered and compressed by our own encoder
            (bench/recover/rkit.c: zlib's default strategy), the per-row
            choices adaptive and mixed (none or sub) among the strategies
  property  the width property run: widths drawn from 200 to 4,000, RGB and
            RGBA, every strategy, levels 1 to 9, IDAT chunks of 8 KiB to
            1 MiB, zlib's default or filtered strategy, heights that keep a
            picture under about 2.5 MB; pictures only (cheap to make)
  libpng    phone chat screens (1080 x 2400, 1080 x 2340, RGBA) and desktop
            screens (full screens and arbitrary snips, RGB and RGBA) drawn
            and encoded by ImageMagick (libpng): default adaptive filtering
            at levels 6 and 9, a few with a fixed filter; cropped by
            ImageMagick too
The truth for scoring is the original decoded back (ImageMagick).

--small makes a handful of tiny cases (64 to 300 pixels wide) in seconds,
for the tests: busy content, and only cases where a deflate block starts
after the cut with whole rows after it.

--slice (with --kind property) keeps each picture under about 0.4 MB, for
the tests' seeded slice of the property run.

usage: make_corpus.py OUTDIR [--seed N] [--count N] [--kind K] [--small] [--slice]
"""
import argparse
import json
import math
import os
import random
import subprocess
import sys
import time
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import genkit  # noqa: E402
import screens  # noqa: E402
import truth  # noqa: E402

WIDTHS = [1280, 1366, 1440, 1920, 2560, 1024, 1000, 1599, 1173, 2048]
# Broad: screen widths, odd ones and narrow ones (a window snipped by hand).
BROAD_WIDTHS = [1280, 1366, 1920, 2560, 1024, 1080, 412, 360, 1599, 777, 2333, 1173]
LIBPNG_SIZES = [(1080, 2400), (1080, 2340), (1920, 1080), (2560, 1440), (1366, 768), (1440, 900), None]
SMALL_WIDTHS = [64, 97, 128, 150, 201, 256, 300, 173]
STRATEGIES = ["none", "sub", "up", "average", "paeth", "adaptive"]
ALL_STRATEGIES = STRATEGIES + ["mixed"]
IDAT_SIZES = [8192, 16384, 32768, 65536, 131072, 262144, 1 << 20]
# Editors often write a few ancillary chunks before the pixels.
ANCILLARY = [b"", genkit.chunk(b"sRGB", b"\0"),
             genkit.chunk(b"pHYs", b"\0\0\x0e\xc4\0\0\x0e\xc4\x01")]


# ------------------------------------------------------------ painting

class Canvas:
    """Rows of 8-bit pixels, painted with slice fills (per-pixel Python is slow)."""

    def __init__(self, width, height, bpp, colour):
        self.w, self.h, self.bpp = width, height, bpp
        self.px = bytearray(bytes(colour) * (width * height))

    def rect(self, x, y, w, h, colour):
        x0, y0 = max(0, x), max(0, y)
        x1, y1 = min(self.w, x + w), min(self.h, y + h)
        if x1 <= x0 or y1 <= y0:
            return
        run = bytes(colour) * (x1 - x0)
        for row in range(y0, y1):
            at = (row * self.w + x0) * self.bpp
            self.px[at:at + len(run)] = run

    def put(self, x, y, colour):
        if 0 <= x < self.w and 0 <= y < self.h:
            at = (y * self.w + x) * self.bpp
            self.px[at:at + self.bpp] = bytes(colour)

    def row_run(self, x, y, data):
        """Writes a run of whole pixels (bytes) at (x, y), clipped to the row."""
        if not 0 <= y < self.h or x >= self.w:
            return
        n = min(len(data) // self.bpp, self.w - x)
        at = (y * self.w + x) * self.bpp
        self.px[at:at + n * self.bpp] = data[:n * self.bpp]

    def crop(self, x, y, w, h):
        out = Canvas(w, h, self.bpp, bytes(self.bpp))
        for row in range(h):
            at = ((y + row) * self.w + x) * self.bpp
            out.px[row * w * self.bpp:(row + 1) * w * self.bpp] = self.px[at:at + w * self.bpp]
        return out

    def copy(self):
        out = Canvas(self.w, self.h, self.bpp, bytes(self.bpp))
        out.px[:] = self.px
        return out


def colour(rng, bpp, lo=0, hi=255):
    c = [rng.randint(lo, hi) for _ in range(3)]
    return bytes(c + [255] * (bpp - 3))


def font(rng):
    """A made-up 5x7 glyph set: (columns, set pixels) per glyph."""
    glyphs = []
    for _ in range(48):
        cols = rng.choice([3, 4, 5, 5, 5])
        pixels = [(x, y) for y in range(7) for x in range(cols) if rng.random() < 0.45]
        glyphs.append((cols, pixels))
    return glyphs


def text_line(cv, rng, glyphs, x, y, width, ink):
    """Words of glyphs from x up to x + width, baseline at y + 7."""
    end = min(cv.w, x + width)
    while x < end - 6:
        for _ in range(rng.randint(2, 9)):
            cols, pixels = rng.choice(glyphs)
            for gx, gy in pixels:
                if x + gx < end:
                    cv.put(x + gx, y + gy, ink)
            x += cols + 1
        x += 4


def gradient(cv, x, y, w, h, a, b):
    w = max(1, min(w, cv.w - x))
    run = bytearray()
    for i in range(w):
        t = i / max(1, w - 1)
        run += bytes(round(a[k] + (b[k] - a[k]) * t) for k in range(cv.bpp))
    for row in range(y, min(cv.h, y + h)):
        cv.row_run(x, row, run)


def photo(cv, rng, x, y, w, h):
    """Smooth waves with grain: compresses like a photograph, not like UI."""
    waves = [(rng.uniform(0.01, 0.08), rng.uniform(0.01, 0.08), rng.uniform(0, 6.3),
              rng.uniform(20, 60)) for _ in range(3)]
    base = [rng.randint(60, 180) for _ in range(3)]
    w = min(w, cv.w - x)
    for row in range(y, min(cv.h, y + h)):
        run = bytearray()
        for col in range(x, x + w):
            s = sum(amp * math.sin(fx * col + fy * row + ph) for fx, fy, ph, amp in waves)
            for k in range(3):
                v = int(base[k] + s * (0.6 + 0.2 * k)) + rng.randint(-6, 6)
                run.append(0 if v < 0 else 255 if v > 255 else v)
            if cv.bpp == 4:
                run.append(255)
        cv.row_run(x, row, run)


def icon(cv, rng, x, y, size, bpp):
    a, b = colour(rng, bpp, 30, 230), colour(rng, bpp, 30, 230)
    cv.rect(x, y, size, size, a)
    cv.rect(x + size // 4, y + size // 4, size // 2, size // 2, b)
    for i in range(size):
        cv.put(x + i, y + i, b)


def screenshot(rng, width, height, bpp, busy=False):
    """A desktop window: title bar, side panel with a list, toolbar buttons,
    a text document, icons, a gradient banner and a photo."""
    dark = rng.random() < 0.3
    bg = colour(rng, bpp, 20, 50) if dark else colour(rng, bpp, 225, 255)
    ink = colour(rng, bpp, 200, 240) if dark else colour(rng, bpp, 0, 60)
    cv = Canvas(width, height, bpp, bg)
    glyphs = font(rng)
    bar = rng.randint(8, 14) if busy else rng.randint(22, 32)
    cv.rect(0, 0, width, bar, colour(rng, bpp, 40, 120))
    text_line(cv, rng, glyphs, 8, (bar - 7) // 2, min(300, width // 3), colour(rng, bpp, 220, 255))
    for i, c in enumerate([(230, 80, 70), (240, 190, 60), (90, 200, 90)]):
        cv.rect(width - (i + 1) * (bar + 4), 4, bar - 8, bar - 8, bytes(c) + b"\xff" * (bpp - 3))
    side = 0 if busy else rng.randint(width // 8, width // 5)
    if side:
        cv.rect(0, bar, side, height - bar, colour(rng, bpp, 60, 90) if dark else colour(rng, bpp, 200, 235))
        for y in range(bar + 10, height - 12, rng.randint(18, 24)):
            icon(cv, rng, 8, y, 12, bpp)
            text_line(cv, rng, glyphs, 26, y + 2, side - 34, ink)
    tool = bar + 6
    x = side + 8
    while x < width - 90 and not busy:
        bw = rng.randint(50, 90)
        cv.rect(x, tool, bw, 22, colour(rng, bpp, 120, 210))
        cv.rect(x + 1, tool + 1, bw - 2, 20, colour(rng, bpp, 180, 250))
        text_line(cv, rng, glyphs, x + 6, tool + 7, bw - 12, ink)
        x += bw + rng.randint(4, 12)
    top = tool + (4 if busy else 32)
    banner = rng.randint(10, 30)
    gradient(cv, side, top, width - side, banner, colour(rng, bpp), colour(rng, bpp))
    top += banner + 6
    # A photo beside the text, or (busy) one across the window, as in a photo
    # viewer: it keeps deflate blocks short and its rows' filter bytes literal.
    pw = width if busy else rng.randint((width - side) // 5, (width - side) // 3)
    ph = height - top - 8 if busy else min(height - top - 10, rng.randint(80, 200))
    px = width - pw - (0 if busy else 10)
    photo(cv, rng, max(side, px), top, pw, ph)
    y = top
    while y < height - 12:
        text_line(cv, rng, glyphs, side + 16, y, max(0, px - side - 32), ink)
        y += rng.randint(12, 16)
        if rng.random() < 0.1:
            icon(cv, rng, side + 16, y, 24, bpp)
            y += 30
    if bpp == 4:
        # Rounded window corners and a soft shadow at the bottom: real alpha.
        for r in range(6):
            for c in range(6 - r):
                for cx, cy in ((c, r), (width - 1 - c, r)):
                    cv.put(cx, cy, b"\0\0\0\0")
        for i, row in enumerate(range(height - 4, height)):
            cv.rect(0, row, width, 1, b"\0\0\0" + bytes([200 - 50 * i]))
    return cv


# ------------------------------------------------------------ encoding

def encode(cv, colour_type, enc):
    if "zstrategy" not in enc:  # the small corpus: the pure-Python encoder
        return genkit.png(cv.w, cv.h, colour_type, cv.px, level=enc["level"], strategy=enc["filter"],
                          idat_size=enc["idatSize"], before_idat=ANCILLARY[enc["ancillary"]])
    z = subprocess.run([truth.rkit(), "encode", str(cv.w), str(cv.h), str(cv.bpp), enc["filter"], str(enc["level"]),
                        str(enc["zstrategy"])], input=bytes(cv.px), capture_output=True, check=True).stdout
    size = enc["idatSize"]
    idats = b"".join(genkit.chunk(b"IDAT", z[i:i + size]) for i in range(0, len(z), size))
    return genkit.PNG_SIG + genkit.ihdr(cv.w, cv.h, colour_type) + ANCILLARY[enc["ancillary"]] + idats + genkit.IEND


def zlib_data(png):
    return b"".join(png[at + 8:at + 8 + n] for at, n, kind in genkit.chunks_of(png) if kind == b"IDAT")


def cut_in_stream(png, cut):
    """(offset into the de-chunked zlib data of the first byte present from
    file offset `cut` on, scanline bytes decodable from the bytes before it)."""
    z, before = 0, 0
    for at, n, kind in genkit.chunks_of(png):
        if kind != b"IDAT":
            continue
        if cut <= at + 8:
            break
        z += min(n, cut - (at + 8))
        if cut < at + 8 + n:
            break
    before = len(zlib.decompressobj().decompress(zlib_data(png)[:z]))
    return z, before


def rebuildable(cont, scanlines, stride):
    """True when a deflate block starts after the cut and at least a few
    whole rows follow it: what the tests need of every small case."""
    bit = truth.block_start(cont, scanlines)
    return bit is not None and len(truth.inflate(truth.shifted(cont, bit), truth.WINDOWS[0])) >= 4 * stride


def encoder(rng, small, zstrategy=None):
    enc = {"level": rng.randint(1, 9), "filter": rng.choice(STRATEGIES),
           "idatSize": rng.choice(IDAT_SIZES[:3] if small else IDAT_SIZES),
           "ancillary": rng.randrange(len(ANCILLARY))}
    if zstrategy is not None:
        enc["zstrategy"] = zstrategy
    return enc


def edit(rng, cv, small):
    """A crop (top-left or a window-sized region) or a redaction box."""
    kind = rng.choice(["crop-top-left", "crop-top-left", "crop-region", "redact"])
    if small:
        kind = rng.choice(["crop-top-left", "crop-region"])
    if kind == "redact":
        w, h = rng.randint(cv.w // 6, cv.w // 2), rng.randint(cv.h // 6, cv.h // 2)
        x, y = rng.randint(0, cv.w - w), rng.randint(0, cv.h - h)
        out = cv.copy()
        out.rect(x, y, w, h, b"\0\0\0\xff"[:cv.bpp] if rng.random() < 0.6 else colour(rng, cv.bpp))
        return kind, [x, y, w, h], out
    w = rng.randint(cv.w // 4, cv.w * 2 // 3)
    h = rng.randint(cv.h // 5, cv.h // 2) if small else rng.randint(cv.h // 4, cv.h * 2 // 3)
    x, y = (0, 0) if kind == "crop-top-left" else (rng.randint(0, cv.w - w), rng.randint(0, cv.h // 3))
    return kind, [x, y, w, h], cv.crop(x, y, w, h)


def facts_of(original, new, width, height, colour_type, strategy, orig_enc, new_enc, kind, rect, new_size):
    z_at, scan_before = cut_in_stream(original, len(new))
    stride = 1 + width * genkit.BPP[colour_type]
    return {
        "original": {"width": width, "height": height, "colourType": colour_type,
                     "bytesPerPixel": genkit.BPP[colour_type], "filter": strategy,
                     "level": orig_enc["level"], "idatSize": orig_enc.get("idatSize"),
                     "encoder": orig_enc.get("encoder", "rkit" if "zstrategy" in orig_enc else "genkit"),
                     "zstrategy": orig_enc.get("zstrategy"),
                     "length": len(original), "zlibLength": len(zlib_data(original))},
        "edit": {"kind": kind, "rect": rect},
        "new": {"width": new_size[0], "height": new_size[1], "filter": new_enc["filter"],
                "level": new_enc["level"], "idatSize": new_enc.get("idatSize"), "length": len(new)},
        "fileLength": len(original),
        # The trailer's first zlib byte and the rows wholly decoded from the
        # bytes after the cut (the rows a recovery could reach at best).
        "cutZlibOffset": z_at,
        "cutScanlineOffset": scan_before,
        "rowsAfterCut": height - min(height, -(-scan_before // stride)),
    }


def make_case(rng, index, small, kind="broad", folder=None, slice_=False):
    if kind == "libpng":
        return make_libpng_case(rng, index, folder)
    zs = None if small else (rng.random() < 0.3 if kind == "property" else 0) * 1
    if small:
        width = rng.choice(SMALL_WIDTHS)
        height = rng.randint(120, 200)
        rgba = index % 2 == 1
        strategy = STRATEGIES[index % len(STRATEGIES)]
    elif kind == "property":
        width = rng.randint(200, 4000)
        rgba = rng.random() < 0.5
        # A slice for the tests keeps pictures under about 0.4 MB: seconds, not minutes.
        most = 400_000 if slice_ else 2_500_000
        height = rng.randint(80, max(100, min(600, most // (width * (4 if rgba else 3)))))
        strategy = rng.choice(ALL_STRATEGIES)
    else:
        width = BROAD_WIDTHS[index % len(BROAD_WIDTHS)]
        height = rng.randint(160, 420)
        # A third of the originals RGBA, spread over the filter strategies.
        rgba = index // len(ALL_STRATEGIES) % 3 == 1
        strategy = ALL_STRATEGIES[index % len(ALL_STRATEGIES)]
    colour_type = 6 if rgba else 2
    orig_enc = dict(encoder(rng, small, zs), filter=strategy)
    bpp = genkit.BPP[colour_type]
    if kind == "broad" and not small and rng.random() < 0.4:
        # A screen drawn by ImageMagick (real antialiased text), encoded by ours.
        cv = Canvas(width, height, bpp, bytes(bpp))
        drawn = screens.draw(rng, width, height, rgba, folder, "drawing")
        cv.px[:] = screens.decode(drawn, rgba)
        os.remove(drawn)
    else:
        cv = screenshot(rng, width, height, bpp, busy=small or (kind == "property" and rng.random() < 0.3))
    original = encode(cv, colour_type, orig_enc)
    # The new PNG must be the shorter, or nothing of the original is left.
    for _ in range(8):
        edit_kind, rect, edited = edit(rng, cv, small)
        new_enc = orig_enc if rng.random() < 0.5 else encoder(rng, small, zs)
        new_type = colour_type if small or rng.random() < 0.9 else 8 - colour_type
        if new_type != colour_type:  # saved in the other pixel format
            edited = convert_pixels(edited, genkit.BPP[new_type])
        new = encode(edited, new_type, new_enc)
        if len(new) + 64 < len(original):
            break
    else:
        return None
    damaged = new + original[len(new):]
    stride = 1 + width * bpp
    z_at = cut_in_stream(original, len(new))[0]
    if small and not rebuildable(zlib_data(original)[z_at:], zlib.decompress(zlib_data(original)), stride):
        return None
    facts = facts_of(original, new, width, height, colour_type, strategy, orig_enc, new_enc, edit_kind, rect,
                     (edited.w, edited.h))
    facts["new"]["colourType"] = new_type
    return damaged, original, facts


def convert_pixels(cv, bpp):
    """The same picture with 3 or 4 bytes per pixel (opaque alpha added)."""
    out = Canvas(cv.w, cv.h, bpp, bytes(bpp))
    n = cv.w * cv.h
    for k in range(3):
        out.px[k::bpp] = cv.px[k::cv.bpp]
    if bpp == 4:
        out.px[3::4] = b"\xff" * n
    return out


def make_libpng_case(rng, index, folder):
    size = LIBPNG_SIZES[index % len(LIBPNG_SIZES)]
    if size is None:  # a snip of a window, any size
        size = (rng.randint(300, 1700), rng.randint(200, 1000))
    width, height = size
    rgba = width < height or rng.random() < 0.4  # phones write RGBA
    colour_type = 6 if rgba else 2
    # Mostly the default adaptive filtering at levels 6 and 9; a few fixed filters.
    level = rng.choice([6, 9])
    fixed = rng.random() < 0.25
    filt = rng.randint(0, 4) if fixed else 5
    strategy = STRATEGIES[filt] if fixed else "adaptive"
    drawn = screens.draw(rng, width, height, rgba, folder, "drawing")
    orig_path = os.path.join(folder, "drawing.original.png")
    original = screens.encode(drawn, orig_path, level * 10 + filt, rgba)
    for _ in range(8):
        kind = rng.choice(["crop-top-left", "crop-top-left", "crop-region", "redact"])
        if kind == "redact":
            w, h = rng.randint(width // 6, width // 2), rng.randint(height // 8, height // 3)
            x, y = rng.randint(0, width - w), rng.randint(0, height - h)
            rect = [x, y, w, h]
            new_path = os.path.join(folder, "drawing.new.png")
            subprocess.run(["convert", orig_path, "-fill", "black", "-draw", "rectangle %d,%d %d,%d" % (
                x, y, x + w - 1, y + h - 1)] + screens._format(rgba) + ["-quality", str(level * 10 + filt), new_path],
                check=True, capture_output=True)
            with open(new_path, "rb") as f:
                new = f.read()
            new_size = (width, height)
        else:
            w = rng.randint(width // 4, width * 2 // 3)
            h = rng.randint(height // 5, height // 2)
            x, y = (0, 0) if kind == "crop-top-left" else (rng.randint(0, width - w), rng.randint(0, height // 3))
            rect = [x, y, w, h]
            new = screens.encode(orig_path, os.path.join(folder, "drawing.new.png"), level * 10 + filt, rgba, rect)
            new_size = (w, h)
        if len(new) + 64 < len(original):
            break
    else:
        return None
    for path in (drawn, orig_path, os.path.join(folder, "drawing.new.png")):
        os.remove(path)
    enc = {"level": level, "filter": strategy, "encoder": "ImageMagick -quality %d" % (level * 10 + filt)}
    facts = facts_of(original, new, width, height, colour_type, strategy, enc, enc, kind, rect, new_size)
    return new + original[len(new):], original, facts


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("outdir")
    ap.add_argument("--seed", type=int, default=11)
    ap.add_argument("--count", type=int, default=None, help="cases (default 60, 6 with --small)")
    ap.add_argument("--small", action="store_true")
    ap.add_argument("--slice", action="store_true", help="with --kind property: lower pictures, for the tests")
    ap.add_argument("--kind", choices=["broad", "property", "libpng"], default="broad")
    args = ap.parse_args()
    count = args.count or (6 if args.small else 60)
    os.makedirs(args.outdir, exist_ok=True)
    rng = random.Random(args.seed)
    started, names = time.time(), []
    while len(names) < count:
        case = make_case(rng, len(names), args.small, args.kind, args.outdir, args.slice)
        if case is None:
            continue
        damaged, original, facts = case
        o = facts["original"]
        name = "c%03d-%s-%s-%dx%d" % (len(names) + 1, o["filter"], "rgba" if o["colourType"] == 6 else "rgb",
                                       o["width"], o["height"])
        facts["name"] = name
        for suffix, data in ((".png", damaged), (".original.png", original)):
            with open(os.path.join(args.outdir, name + suffix), "wb") as f:
                f.write(data)
        with open(os.path.join(args.outdir, name + ".json"), "w") as f:
            json.dump(facts, f, indent=1)
        names.append(name)
        print("%s: %s, trailer %d bytes" % (name, facts["edit"]["kind"], len(damaged) - facts["new"]["length"]),
              file=sys.stderr)
    with open(os.path.join(args.outdir, "manifest.json"), "w") as f:
        json.dump({"seed": args.seed, "small": args.small, "kind": args.kind, "cases": names}, f, indent=1)
    print("%d cases in %.1f s" % (len(names), time.time() - started), file=sys.stderr)


if __name__ == "__main__":
    main()
