"""Shared pieces of the repository's file generators: PNG chunks, the PNG
row filters and a whole-PNG encoder; GIF's LZW and a single-frame GIF
writer. Generators elsewhere in the tree import it after putting this folder
on sys.path."""
import struct
import zlib

PNG_SIG = b"\x89PNG\r\n\x1a\n"

# Bytes per pixel of 8-bit PNGs, by colour type.
BPP = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}

FILTERS = ("none", "sub", "up", "average", "paeth")


def chunk(kind, data, length=None, crc=None):
    """One chunk; length and crc may be given to write a broken one."""
    n = len(data) if length is None else length
    c = zlib.crc32(kind + data) & 0xFFFFFFFF if crc is None else crc
    return struct.pack(">I", n) + kind + data + struct.pack(">I", c)


IEND = chunk(b"IEND", b"")


def ihdr(width, height, colour_type, depth=8):
    return chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 0))


def chunks_of(data):
    """(offset, length, type) of each whole chunk after the signature."""
    found, at = [], len(PNG_SIG)
    while at + 12 <= len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        if at + 12 + length > len(data):
            break
        found.append((at, length, kind))
        at += 12 + length
        if kind == b"IEND":
            break
    return found


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def filter_row(kind, row, prior, bpp):
    """Filters one row (bytes) against the row above (bytes, zeros for the first)."""
    if kind == "none":
        return row
    n = len(row)
    if kind == "up":
        return bytes((row[i] - prior[i]) & 255 for i in range(n))
    left = bytes(bpp) + row[:-bpp] if n >= bpp else bytes(n)
    if kind == "sub":
        return bytes((row[i] - left[i]) & 255 for i in range(n))
    if kind == "average":
        return bytes((row[i] - ((left[i] + prior[i]) >> 1)) & 255 for i in range(n))
    upleft = bytes(bpp) + prior[:-bpp] if n >= bpp else bytes(n)
    return bytes((row[i] - paeth(left[i], prior[i], upleft[i])) & 255 for i in range(n))


def _cost(filtered):
    # The usual adaptive heuristic: the smallest sum of bytes read as signed.
    return sum(v if v < 128 else 256 - v for v in filtered)


def filter_rows(pixels, width, height, bpp, strategy="none"):
    """Filtered scanlines (filter byte + row) for strategy 'none', 'sub', 'up',
    'average', 'paeth' or 'adaptive' (per row, the filter of least cost)."""
    stride = width * bpp
    prior, out = bytes(stride), []
    for y in range(height):
        row = bytes(pixels[y * stride:(y + 1) * stride])
        if strategy == "adaptive":
            kind, best = min(((k, filter_row(k, row, prior, bpp)) for k in FILTERS),
                             key=lambda kv: _cost(kv[1]))
        else:
            kind, best = strategy, filter_row(strategy, row, prior, bpp)
        out.append(bytes([FILTERS.index(kind)]) + best)
        prior = row
    return b"".join(out)


def png(width, height, colour_type, pixels, level=6, strategy="none", idat_size=None,
        before_idat=b""):
    """A whole PNG of 8-bit pixels (rows top to bottom, no filter bytes), its
    zlib stream cut into IDAT chunks of idat_size bytes (one chunk if None)."""
    z = zlib.compress(filter_rows(pixels, width, height, BPP[colour_type], strategy), level)
    size = idat_size or max(len(z), 1)
    idats = b"".join(chunk(b"IDAT", z[i:i + size]) for i in range(0, len(z), size))
    return PNG_SIG + ihdr(width, height, colour_type) + before_idat + idats + IEND


def lzw_encode(pixels, min_size):
    """GIF LZW of one or more colour indices: clear code first, variable
    width up to 12 bits, end code last."""
    clear = 1 << min_size
    out, acc, nbits = bytearray(), 0, 0

    def put(code, width):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(acc & 255)
            acc >>= 8
            nbits -= 8

    table, nxt, width = {}, clear + 2, min_size + 1
    put(clear, width)
    prefix = pixels[0]
    for p in pixels[1:]:
        key = (prefix, p)
        if key in table:
            prefix = table[key]
            continue
        put(prefix, width)
        if nxt == 4096:
            # Table full: start over rather than keep a stale dictionary.
            put(clear, width)
            table, nxt, width = {}, clear + 2, min_size + 1
        else:
            table[key] = nxt
            nxt += 1
            if nxt > 1 << width:
                width += 1
        prefix = p
    put(prefix, width)
    # The decoder adds one more entry on reading that last code, and may
    # widen before it reads the end code.
    if nxt == 1 << width and width < 12:
        width += 1
    put(clear + 1, width)
    if nbits:
        out.append(acc)
    return bytes(out)


def sub_blocks(data):
    """GIF data sub-blocks: runs of up to 255 bytes, each after its length,
    then the empty block that ends them."""
    return b"".join(bytes([len(data[i:i + 255])]) + data[i:i + 255]
                    for i in range(0, len(data), 255)) + b"\0"


def gif(width, height, palette, pixels, transparent=None, comment=None):
    """A GIF89a of one frame covering the screen: palette holds the r, g, b
    bytes of 2, 4, ... 256 colours (the global table), pixels one index per
    pixel, rows top to bottom; transparent is a colour index, comment bytes."""
    bits = (len(palette) // 3 - 1).bit_length()
    assert len(palette) == 3 << bits and 1 <= bits <= 8 and max(pixels) < len(palette) // 3
    min_size = max(2, bits)
    data = b"GIF89a" + struct.pack("<HHBBB", width, height, 0x80 | 0x70 | (bits - 1),
                                   0 if transparent is None else transparent, 0) + bytes(palette)
    if comment is not None:
        data += b"\x21\xfe" + sub_blocks(comment)
    if transparent is not None:
        data += struct.pack("<BBBBHBB", 0x21, 0xF9, 4, 0x01, 0, transparent, 0)
    data += struct.pack("<BHHHHB", 0x2C, 0, 0, width, height, 0) + bytes([min_size])
    return data + sub_blocks(lzw_encode(pixels, min_size)) + b"\x3b"
