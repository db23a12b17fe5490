"""The most a recovery can know for certain, worked out from a corpus case's
truth alone (nothing here comes from vexlo): where in the original's zlib
data after the cut a deflate block starts, which inflated bytes are exact
when the 32 KiB window before it is lost, and which pixels that leaves once
the row filters are undone.

Exact tracking: every inflated byte is a literal or a copy of one earlier
byte, so inflating with several different placeholder windows, the bytes
that come out the same in every run are exactly the ones the lost window
does not reach.

Case reads a corpus case's truth for the benchmark and the tests, and checks
a recovered picture against the original."""
import json
import os
import struct
import subprocess
import sys
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import genkit  # noqa: E402

TOP = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
WINDOW = 32768
# Placeholder windows: all 0x00, all 0xFF, the low and the high byte of the position.
WINDOWS = (bytes(WINDOW), b"\xff" * WINDOW, bytes(i & 255 for i in range(WINDOW)),
           bytes((i >> 8) | 0x80 for i in range(WINDOW)))
PROBE = 2048  # bytes fed first: most false starts fail within them
KNOWN = bytes([1]) + bytes(255)  # a byte of the runs' XOR: 0 (all agree) -> known
MASK = bytes([0, 255]) + bytes(254)  # a known flag -> a byte mask


def shifted(data, bit):
    """data from bit `bit` on, as bytes (bit 0 = least significant bit of byte 0)."""
    whole, rest = divmod(bit, 8)
    tail = data[whole:]
    if not rest:
        return tail
    return (int.from_bytes(tail, "little") >> rest).to_bytes(len(tail), "little")


def inflate(data, window):
    """Raw inflate to the stream's end: output, or None unless the deflate
    stream ends with only its Adler-32 (and a partial byte) left."""
    d = zlib.decompressobj(-15, zdict=window)
    try:
        out = d.decompress(data[:PROBE])
        if not d.eof:
            out += d.decompress(data[PROBE:])
    except zlib.error:
        return None
    return out if d.eof and 4 <= len(d.unused_data) <= 5 else None


def block_start(cont, scanlines, first_bit=0, last_bit=None):
    """The first bit from first_bit on where inflating reaches the end and
    every byte it knows matches the original's scanlines (the truth, so a
    false start that happens to decode is not taken); None if none up to
    last_bit. Shifts are made once per bit offset, then sliced per byte."""
    last_bit = 8 * len(cont) - 1 if last_bit is None else min(last_bit, 8 * len(cont) - 1)
    copies = [memoryview(shifted(cont, k)) for k in range(8)]
    for bit in range(first_bit, last_bit + 1):
        data = copies[bit % 8][bit // 8:]
        if not _probe_ok(data):
            continue
        found = tracked(data)
        if found is not None and matches(found, scanlines):
            return bit
    return None


def _probe_ok(data):
    """True while the first PROBE bytes inflate without error."""
    d = zlib.decompressobj(-15, zdict=WINDOWS[0])
    try:
        d.decompress(data[:PROBE])
    except zlib.error:
        return False
    return not d.eof or 4 <= len(d.unused_data) + max(0, len(data) - PROBE) <= 5


def tracked(data):
    """(output, known flags: 1 known, 0 not) from inflating with every
    placeholder window, or None when they do not all reach the end."""
    outs = [inflate(data, w) for w in WINDOWS]
    if any(o is None or len(o) != len(outs[0]) for o in outs):
        return None
    first = int.from_bytes(outs[0], "little")
    differ = 0
    for o in outs[1:]:
        differ |= first ^ int.from_bytes(o, "little")
    flags = differ.to_bytes(len(outs[0]), "little").translate(KNOWN)
    return outs[0], flags


def matches(found, scanlines):
    """True when every known byte equals the original's scanline byte there."""
    out, flags = found
    if len(out) > len(scanlines):
        return False
    tail = scanlines[len(scanlines) - len(out):]
    mask = int.from_bytes(flags.translate(MASK), "little")
    return (int.from_bytes(out, "little") ^ int.from_bytes(tail, "little")) & mask == 0


def known_pixels(found, width, bpp, height, scanlines=None, original=None):
    """Per original row (None before the rows reached), how many pixels are
    known for certain once the filters are undone, from the inflated bytes
    and their known flags (they end with the original's last row). A byte is
    known when the filtered byte and every neighbour its predictor reads are
    known; the row above the first whole one is unknown. A row whose filter
    byte is unknown is unknown, unless `scanlines` (the truth) is given: then
    its filter type is taken from there, the bound for a recovery that
    infers filter types. With `original` (its pixels, bpp bytes each), every
    byte counted as known is checked against it."""
    out, flags = found
    n = width * bpp
    stride = 1 + n
    rows = min(height, len(out) // stride)
    first = len(out) - rows * stride
    truth_first = len(scanlines) - rows * stride if scanlines is not None else 0
    above = [None] * n  # the row above's values, None where unknown
    counts = [None] * (height - rows)
    for r in range(rows):
        at = first + r * stride
        f = out[at] if flags[at] else scanlines[truth_first + r * stride] if scanlines is not None else None
        k = flags[at + 1:at + stride]
        row = [None] * n
        for i in range(n if f is not None and f <= 4 else 0):
            if not k[i]:
                continue
            a = row[i - bpp] if i >= bpp else 0
            b = above[i]
            c = above[i - bpp] if i >= bpp else 0
            if f == 0:
                pred = 0
            elif f == 1:
                pred = a
            elif f == 2:
                pred = b
            elif f == 3:
                pred = None if a is None or b is None else (a + b) >> 1
            else:
                pred = None if a is None or b is None or c is None else genkit.paeth(a, b, c)
            if pred is not None:
                row[i] = (out[at + 1 + i] + pred) & 255
        if original is not None:
            base = (height - rows + r) * n
            wrong = [i for i in range(n) if row[i] is not None and row[i] != original[base + i]]
            assert not wrong, "row %d: bytes counted as known differ from the original at %s" % (
                height - rows + r, wrong[:5])
        counts.append(sum(all(v is not None for v in row[p * bpp:(p + 1) * bpp]) for p in range(width)))
        above = row
    return counts


# ------------------------------------------------------------ the C helper

def rkit(folder=None):
    """The path of bench/recover/rkit.c built (again when older than its
    source) in `folder` (default build/recover)."""
    src = os.path.join(TOP, "bench", "recover", "rkit.c")
    folder = folder or os.path.join(TOP, "build", "recover")
    exe = os.path.join(folder, "rkit")
    if not os.path.exists(exe) or os.path.getmtime(exe) < os.path.getmtime(src):
        os.makedirs(folder, exist_ok=True)
        tmp = "%s.%d" % (exe, os.getpid())
        subprocess.run(["cc", "-O2", "-o", tmp, src, "-lz"], check=True)
        os.replace(tmp, exe)
    return exe


# ------------------------------------------------------------ a corpus case

def zlib_data(png):
    """The PNG's IDAT data joined: its zlib stream."""
    out, at = [], 8
    while at + 12 <= len(png):
        n, kind = struct.unpack(">I4s", png[at:at + 8])
        if kind == b"IDAT":
            out.append(png[at + 8:at + 8 + n])
        if kind == b"IEND":
            break
        at += 12 + n
    return b"".join(out)


def read_rgba(path):
    """(width, height, 8-bit RGBA bytes) of a PNG, decoded by ImageMagick."""
    size = subprocess.run(["convert", path, "-format", "%w %h", "info:"], check=True,
                          capture_output=True, text=True).stdout.split()
    pixels = subprocess.run(["convert", path, "-depth", "8", "rgba:-"], check=True,
                            capture_output=True).stdout
    return int(size[0]), int(size[1]), pixels


class Case:
    """A corpus case's truth: NAME.json, the original's zlib stream from the
    cut on (the remnant's de-chunked continuation) and its scanlines."""

    def __init__(self, corpus, name):
        self.name = name
        self.dir = corpus
        with open(os.path.join(corpus, name + ".json")) as f:
            self.facts = json.load(f)
        o = self.facts["original"]
        self.width, self.height, self.bpp = o["width"], o["height"], o["bytesPerPixel"]
        self.filter = o["filter"]
        with open(self.original_path(), "rb") as f:
            z = zlib_data(f.read())
        self.cont = z[self.facts["cutZlibOffset"]:]
        self.scanlines = zlib.decompress(z)
        self._rgba = None

    def original_path(self):
        return os.path.join(self.dir, self.name + ".original.png")

    def rgba(self):
        if self._rgba is None:
            self._rgba = read_rgba(self.original_path())[2]
        return self._rgba

    def pixels(self):
        """The original's pixels, bpp bytes each."""
        rgba = self.rgba()
        if self.bpp == 4:
            return rgba
        raw = bytearray(len(rgba) // 4 * 3)
        for k in range(3):
            raw[k::3] = rgba[k::4]
        return bytes(raw)

    def from_bit(self, bit):
        """(output, known flags) inflated from `bit` of the continuation if it
        reaches the stream's end and agrees with the original, else None."""
        found = tracked(shifted(self.cont, bit)) if 0 <= bit < 8 * len(self.cont) else None
        return found if found is not None and matches(found, self.scanlines) else None

    def violations(self, picture):
        """Pixels shown as known (alpha not 0) in a recovered picture (width,
        rows, RGBA) that differ from the original, its rows taken as the
        original's last ones: a wrong width or too many rows makes every
        such pixel one."""
        width, rows, px = picture
        shown = sum(1 for i in range(3, len(px), 4) if px[i])
        if width != self.width or rows > self.height:
            return shown
        orig = self.rgba()[(self.height - rows) * width * 4:]
        return sum(1 for i in range(0, len(px), 4) if px[i + 3] and px[i:i + 4] != orig[i:i + 4])
