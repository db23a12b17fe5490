#!/usr/bin/env python3
"""Builds the corpus that vexlo-cli and its peers are measured on.

1,000 PNG files, all made here from a fixed seed: gradients, shapes, noisy
"photos" and pure noise, in RGB, RGBA, grey and palette form, from a few
hundred bytes up to the 2,048,000-byte source limit. After most of them a
payload is appended: JPEG (real JFIF, encoded by ImageMagick from pixels made
here), GIF, BMP, PNG, ZIP, random bytes, text or zero padding; some get none.
Special cases are mixed in: the bytes "IEND" inside IDAT data, a second IEND
chunk (which belongs to the trailer), a bad CRC (the trailer is still there)
and a broken chunk length (bytes after IEND, but no trailer).

manifest.json records, per file, whether a trailer is expected, where it
starts, its length, its SHA-256, the payload kind, the special case and the
extension vexlo should give it.

The same seed gives the same files with the same zlib and ImageMagick.

usage: make_corpus.py OUTDIR [--seed N] [--count N]
"""
import argparse
import hashlib
import io
import json
import math
import os
import random
import shutil
import struct
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import genkit  # noqa: E402
from genkit import IEND, PNG_SIG, chunk  # noqa: E402

LIMIT = 2_048_000          # the largest source vexlo accepts, in bytes

# Share of the regular files per cover size class. Most images on disk are
# small, so most of the corpus is; a few dozen large files reach the limit.
# 1,000 files come to about 120 MB: big enough that reading and copying
# matter, small enough to build in well under a minute and to let the slowest
# peer finish in minutes on two shared cores.
SIZE_CLASSES = [
    # name,   share
    ("tiny",   0.335),  # 1x1 .. 64x64: about 100 bytes to 60 KB, most under 10 KB
    ("small",  0.43),   # 32x32 .. 300x300: about 1 KB to 350 KB, ~50 KB on average
    ("medium", 0.20),   # 200x150 .. 640x480: about 10 KB to 1 MB, ~200 KB on average
    ("large",  0.035),  # noisy content, 0.6 MB up to the limit
]

PAYLOAD_KINDS = [
    # kind,    share of the regular files
    ("jpeg",   0.18),
    ("gif",    0.10),
    ("bmp",    0.10),
    ("png",    0.12),
    ("zip",    0.10),
    ("random", 0.10),
    ("text",   0.10),
    ("zeros",  0.08),
    ("none",   0.12),
]

SPECIAL_PER_CASE = 20      # files for each special case
SPECIAL_CASES = ["iend-in-idat", "two-iend", "bad-crc", "broken-length"]
NEAR_LIMIT = 8             # large files padded to exactly LIMIT bytes


# --------------------------------------------------------------- PNG writing

def first_chunk(png, kind):
    """Offset and length of the first chunk of that type."""
    return next((at, length) for at, length, k in genkit.chunks_of(png) if k == kind)


def gradient_row(w, bpp, rng):
    """One row of a horizontal ramp per channel, each channel with its own slope."""
    slopes = [rng.uniform(0.2, 3.0) * rng.choice((1, -1)) for _ in range(bpp)]
    starts = [rng.randrange(256) for _ in range(bpp)]
    return bytes(int(starts[c] + slopes[c] * x * 255 / max(w, 1)) & 255
                 for x in range(w) for c in range(bpp))


def shift_table(k):
    return bytes(((v + k) & 255) for v in range(256))


def low_bits_table(bits):
    mask = (1 << bits) - 1
    return bytes(v & mask for v in range(256))


def make_pixels(w, h, bpp, style, rng):
    """Raw pixel bytes (no filter bytes), rows top to bottom."""
    rb = w * bpp
    if style == "noise":
        return rng.randbytes(rb * h)
    base = gradient_row(w, bpp, rng)
    vstep = rng.uniform(0.0, 2.0)
    rows = [base.translate(shift_table(int(y * vstep * 255 / max(h, 1)))) for y in range(h)]
    if style == "shapes":
        rows = [bytearray(r) for r in rows]
        for _ in range(rng.randint(2, 12)):
            colour = bytes(rng.randrange(256) for _ in range(bpp))
            cx, cy = rng.randrange(w), rng.randrange(h)
            rx, ry = rng.randint(1, max(1, w // 3)), rng.randint(1, max(1, h // 3))
            round_shape = rng.random() < 0.5
            for y in range(max(0, cy - ry), min(h, cy + ry)):
                if round_shape:
                    t = 1 - ((y - cy) / ry) ** 2
                    half = int(rx * math.sqrt(t)) if t > 0 else 0
                else:
                    half = rx
                x0, x1 = max(0, cx - half), min(w, cx + half)
                if x1 > x0:
                    rows[y][x0 * bpp:x1 * bpp] = colour * (x1 - x0)
        return b"".join(bytes(r) for r in rows)
    data = b"".join(rows)
    if style == "photo":
        # Gradient with noise in the low bits: compresses like a photograph.
        noise = rng.randbytes(len(data)).translate(low_bits_table(rng.randint(1, 5)))
        data = (int.from_bytes(data, "big") ^ int.from_bytes(noise, "big")).to_bytes(len(data), "big")
    return data


def encode_png(w, h, colour_type, pixels, rng, level=None, idat_size=None, extra_before=b""):
    if level is None:
        level = rng.choice((6, 6, 6, 9, 1))
    if idat_size is None:
        idat_size = rng.choice((8192, 32768, 65536, 1 << 30))
    extra = []
    if rng.random() < 0.4:
        extra.append(chunk(b"gAMA", struct.pack(">I", 45455)))
    if rng.random() < 0.3:
        extra.append(chunk(b"pHYs", struct.pack(">IIB", 2835, 2835, 1)))
    if colour_type == 3:
        extra.append(chunk(b"PLTE", rng.randbytes(3 * 256)))
    if rng.random() < 0.3:
        extra.append(chunk(b"tEXt", b"Comment\x00" + rng.choice(
            (b"made for the vexlo corpus", b"holiday", b"scan 2 of 7", b"logo draft"))))
    return genkit.png(w, h, colour_type, pixels, level=level, idat_size=idat_size,
                      before_idat=b"".join(extra) + extra_before)


COLOUR_TYPES = [(2, 0.45), (6, 0.2), (0, 0.15), (3, 0.2)]


def pick(rng, table):
    r = rng.random() * sum(p for _, p in table)
    for value, p in table:
        r -= p
        if r < 0:
            return value
    return table[-1][0]


def cover_png(size_class, rng, **kw):
    colour_type = pick(rng, COLOUR_TYPES)
    bpp = genkit.BPP[colour_type]
    if size_class == "tiny":
        w, h = rng.randint(1, 64), rng.randint(1, 64)
        style = rng.choice(("gradient", "shapes", "photo", "noise"))
    elif size_class == "small":
        w, h = rng.randint(32, 300), rng.randint(32, 300)
        style = rng.choice(("gradient", "shapes", "photo", "photo", "noise"))
    elif size_class == "medium":
        w, h = rng.randint(200, 640), rng.randint(150, 480)
        style = rng.choice(("gradient", "shapes", "shapes", "photo", "photo"))
    else:  # large: noise-heavy so the compressed size stays large
        raw = rng.randint(600_000, 1_950_000)
        w = rng.randint(400, 1200)
        h = max(1, raw // (w * bpp))
        style = rng.choice(("noise", "photo"))
        if style == "photo" and colour_type != 3:
            # low-bit noise compresses to about half; double the pixels
            h = min(h * 2, max(1, 1_900_000 // (w * bpp)))
    pixels = make_pixels(w, h, bpp, style, rng)
    data = encode_png(w, h, colour_type, pixels, rng, **kw)
    if len(data) > LIMIT - 64:  # keep room for a payload
        return cover_png("medium", rng, **kw)
    return data


# ------------------------------------------------------------------ payloads

class JpegMaker:
    """Real JFIF files, encoded once by ImageMagick from pixels made here; each
    use gets a COM segment naming the file, so no two payloads are equal."""

    def __init__(self, workdir, rng):
        convert = shutil.which("convert")
        if not convert:
            sys.exit("make_corpus: ImageMagick's convert is needed for the JPEG payloads")
        self.bases = []
        for i, (w, h, q) in enumerate([(8, 8, 75), (16, 12, 90), (40, 30, 85), (64, 64, 50),
                                       (120, 90, 80), (160, 120, 92), (200, 200, 70),
                                       (320, 240, 85), (400, 300, 60), (500, 375, 88),
                                       (640, 480, 75), (800, 600, 85), (1024, 768, 80),
                                       (1280, 960, 90)]):
            pixels = make_pixels(w, h, 3, rng.choice(("photo", "shapes")), rng)
            ppm = b"P6\n%d %d\n255\n" % (w, h) + pixels
            jpg = subprocess.run([convert, "ppm:-", "-strip", "-quality", str(q), "jpg:-"],
                                 input=ppm, stdout=subprocess.PIPE, check=True).stdout
            if jpg[:4] != b"\xff\xd8\xff\xe0" or jpg[6:11] != b"JFIF\x00":
                sys.exit("make_corpus: convert did not write a JFIF header")
            self.bases.append(jpg)
        self.bases.sort(key=len)

    def make(self, rng, budget, tag):
        fitting = [b for b in self.bases if len(b) + 64 <= budget]
        if not fitting:
            return None
        base = rng.choice(fitting)
        app0_end = 4 + struct.unpack(">H", base[4:6])[0]
        comment = b"vexlo corpus " + tag
        com = b"\xff\xfe" + struct.pack(">H", len(comment) + 2) + comment
        return base[:app0_end] + com + base[app0_end:]


def make_gif(rng, budget, tag):
    w, h = rng.randint(1, 240), rng.randint(1, 180)
    if w * h + 2000 > budget:
        return None
    indices = make_pixels(w, h, 1, rng.choice(("gradient", "shapes", "photo")), rng)
    return genkit.gif(w, h, rng.randbytes(768), indices, comment=b"vexlo corpus " + tag)


def make_bmp(rng, budget, tag):
    w, h = rng.randint(1, 400), rng.randint(1, 300)
    stride = (w * 3 + 3) & ~3
    size = 54 + stride * h
    if size > budget:
        return None
    pixels = make_pixels(w, h, 3, rng.choice(("gradient", "shapes", "photo")), rng)
    pad = b"\x00" * (stride - w * 3)
    rows = [pixels[y * w * 3:(y + 1) * w * 3] + pad for y in reversed(range(h))]
    return (b"BM" + struct.pack("<IHHI", size, 0, 0, 54)
            + struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, stride * h, 2835, 2835, 0, 0)
            + b"".join(rows))


def make_png_payload(rng, budget, tag):
    data = cover_png(rng.choice(("tiny", "tiny", "small", "small", "small", "medium")), rng)
    return data if len(data) <= budget else None


WORDS = ("the quick brown fox jumps over a lazy dog while seven pale "
         "ships sail past an old lighthouse under heavy grey clouds").split()


def make_text(rng, budget, tag):
    lines = [b"vexlo corpus " + tag]
    n = min(budget, max(len(lines[0]) + 1, int(math.exp(rng.uniform(0, math.log(60_000))))))
    total = len(lines[0])
    while total < n:
        line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(3, 14))).encode()
        lines.append(line)
        total += len(line) + 1
    return (b"\n".join(lines) + b"\n")[:max(n, 1)]


def make_zip(rng, budget, tag):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as zf:
        for i in range(rng.randint(1, 4)):
            info = zipfile.ZipInfo("doc%d.txt" % i if i % 2 == 0 else "blob%d.bin" % i,
                                   (2021, 5, 17, 12, 30, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            if i % 2 == 0:
                body = make_text(rng, 40_000, tag)
            else:
                body = rng.randbytes(rng.randint(1, 30_000))
            zf.writestr(info, body)
    data = buf.getvalue()
    return data if len(data) <= budget else None


def make_random(rng, budget, tag):
    if rng.random() < 0.2:
        n = rng.randint(1, 16)  # shorter than a chunk header
    else:
        n = int(math.exp(rng.uniform(math.log(17), math.log(300_000))))
    return rng.randbytes(min(n, budget))


def make_zeros(rng, budget, tag):
    n = int(math.exp(rng.uniform(0, math.log(100_000))))
    return bytes(max(1, min(n, budget)))


# ----------------------------------------------------------- expected values

def expected_ext(trailer):
    """The extension a careful reader gives these bytes: BM, GIF, PNG
    signature, or JFIF within the first 17 positions of at least 20 bytes."""
    if len(trailer) < 2:
        return ".dat"
    if trailer[:2] == b"BM":
        return ".bmp"
    if len(trailer) < 3:
        return ".dat"
    if trailer[:3] == b"GIF":
        return ".gif"
    if len(trailer) < 8:
        return ".dat"
    if trailer[:8] == PNG_SIG:
        return ".png"
    if len(trailer) < 20:
        return ".dat"
    if any(trailer[i:i + 4] == b"JFIF" for i in range(17)):
        return ".jpg"
    return ".dat"


# ------------------------------------------------------------------ building

def build(outdir, seed, count):
    master = random.Random(seed)
    os.makedirs(outdir, exist_ok=True)
    jpeg = JpegMaker(outdir, random.Random(master.getrandbits(64)))
    makers = {
        "jpeg": jpeg.make, "gif": make_gif, "bmp": make_bmp, "png": make_png_payload,
        "zip": make_zip, "random": make_random, "text": make_text, "zeros": make_zeros,
    }

    n_special = min(count, SPECIAL_PER_CASE * len(SPECIAL_CASES))
    plan = [SPECIAL_CASES[i % len(SPECIAL_CASES)] for i in range(n_special)]
    plan += ["regular"] * (count - n_special)
    master.shuffle(plan)

    entries, seen, seen_payloads = [], set(), set()
    near_limit_left = NEAR_LIMIT
    bare_iend_done = False
    for index, case in enumerate(plan):
        rng = random.Random((seed << 20) ^ index)
        name = "p%04d.png" % index
        tag = name.encode()
        size_class = pick(rng, SIZE_CLASSES)
        kind = pick(rng, PAYLOAD_KINDS)
        cover_kw = {}
        if case != "regular" and size_class == "large":
            size_class = "medium"
        if kind == "none" and (case in ("iend-in-idat", "bad-crc") or (case == "two-iend" and bare_iend_done)):
            kind = rng.choice(("jpeg", "random", "text", "png"))

        if case == "iend-in-idat":
            # Stored (level 0) deflate keeps pixel bytes verbatim, so "IEND",
            # and sometimes a whole fake IEND chunk, sit inside IDAT data.
            w, h = rng.randint(8, 200), rng.randint(4, 120)
            pixels = bytearray(make_pixels(w, h, 3, "shapes", rng))
            fake = IEND if rng.random() < 0.5 else b"IEND"
            for _ in range(rng.randint(1, 6)):
                at = rng.randrange(max(1, len(pixels) - len(fake)))
                pixels[at:at + len(fake)] = fake
            extra = b""
            if rng.random() < 0.5:
                extra = chunk(b"tEXt", b"Comment\x00IEND IEND\xaeB`\x82 closes a PNG")
            cover = encode_png(w, h, 2, bytes(pixels[:w * h * 3]), rng, level=0,
                               extra_before=extra)
            size_class = "small"
            assert cover.count(b"IEND") >= 2
        else:
            cover = cover_png(size_class, rng)

        budget = LIMIT - len(cover) - (12 if case == "two-iend" else 0)
        payload = b""
        if kind != "none":
            # Unique payloads let a produced file be matched by hash alone;
            # short random, text or zero payloads may repeat, so draw again.
            for _ in range(100):
                payload = makers[kind](rng, budget, tag)
                if payload is None:
                    kind, payload = "random", make_random(rng, budget, tag)
                if (case == "two-iend", payload) not in seen_payloads:
                    break
            seen_payloads.add((case == "two-iend", payload))
        if size_class == "large" and near_limit_left and case == "regular" and kind in ("random", "zeros", "none"):
            # Pad to exactly the limit: the largest source vexlo accepts.
            near_limit_left -= 1
            kind = "random" if kind == "none" else kind
            fill = LIMIT - len(cover)
            payload = rng.randbytes(fill) if kind == "random" else bytes(fill)

        trailer_expected = True
        if case == "two-iend":
            bare_iend_done = bare_iend_done or not payload  # once: the trailer is the IEND chunk alone
            trailer = IEND + payload
            data = cover + trailer
        elif case == "bad-crc":
            data = bytearray(cover + payload)
            where = rng.choice((b"IDAT", b"IDAT", b"IEND", b"IHDR"))
            at, length = first_chunk(cover, where)
            data[at + 8 + length] ^= 0x5A     # first byte of its CRC
            data = bytes(data)
            trailer = payload
            case = "bad-crc-" + where.decode()
        elif case == "broken-length":
            # Bytes after IEND, but the chunk walk cannot reach IEND: no trailer.
            if not payload:
                kind, payload = "random", make_random(rng, budget, tag)
            data = bytearray(cover + payload)
            at, _ = first_chunk(cover, b"IDAT")
            if rng.random() < 0.5:
                data[at] |= 0x80              # length with the top bit set
                case = "broken-length-topbit"
            else:
                past = len(data) - at + rng.randint(1, 1 << 20)
                data[at:at + 4] = struct.pack(">I", past)  # runs past the end
                case = "broken-length-past-end"
            data = bytes(data)
            trailer_expected, trailer = False, b""
        else:
            trailer = payload
            data = cover + payload
            if not payload:
                trailer_expected = False

        if trailer_expected and not trailer:
            raise AssertionError("empty trailer for " + name)
        if trailer_expected:
            digest = hashlib.sha256(trailer).hexdigest()
            if digest in seen:
                raise AssertionError("duplicate payload in " + name)
            seen.add(digest)
        assert len(data) <= LIMIT, name

        with open(os.path.join(outdir, name), "wb") as f:
            f.write(data)
        entries.append({
            "name": name,
            "size": len(data),
            "trailer": trailer_expected,
            "offset": len(data) - len(trailer) if trailer_expected else None,
            "length": len(trailer),
            "sha256": hashlib.sha256(trailer).hexdigest() if trailer_expected else None,
            "kind": kind if trailer_expected else ("none" if case == "regular" else kind),
            "case": case,
            "size_class": size_class,
            "ext": expected_ext(trailer) if trailer_expected else None,
        })

    cover_hashes = set()
    for e in entries:
        with open(os.path.join(outdir, e["name"]), "rb") as f:
            cover_hashes.add(hashlib.sha256(f.read()).hexdigest())
    assert not (cover_hashes & seen), "a payload equals a whole source file"

    manifest = {"seed": seed, "count": count, "limit": LIMIT, "files": entries}
    with open(os.path.join(outdir, "manifest.json"), "w") as f:
        json.dump(manifest, f, indent=1)
    return entries


def summary(entries):
    total = sum(e["size"] for e in entries)
    with_trailer = sum(e["trailer"] for e in entries)
    kinds, cases, classes = {}, {}, {}
    for e in entries:
        kinds[e["kind"]] = kinds.get(e["kind"], 0) + 1
        cases[e["case"]] = cases.get(e["case"], 0) + 1
        classes[e["size_class"]] = classes.get(e["size_class"], 0) + 1
    sizes = sorted(e["size"] for e in entries)
    return ("%d files, %.1f MB, %d with a trailer; sizes %d .. %d bytes (median %d)\n"
            "  size classes: %s\n  payload kinds: %s\n  cases: %s" % (
                len(entries), total / 1e6, with_trailer, sizes[0], sizes[-1],
                sizes[len(sizes) // 2], classes, kinds, cases))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("outdir")
    ap.add_argument("--seed", type=int, default=20260907)
    ap.add_argument("--count", type=int, default=1000)
    args = ap.parse_args()
    if os.path.isdir(args.outdir):
        shutil.rmtree(args.outdir)
    entries = build(args.outdir, args.seed, args.count)
    print(summary(entries))


if __name__ == "__main__":
    main()
