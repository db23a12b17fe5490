#!/usr/bin/env python3
"""Build vexlo's GIF and ICO resources from the text pixel maps in this folder.

    python3 res/art/generate.py OUTDIR      write every resource into OUTDIR
    python3 res/art/generate.py --check     compare with the files in res/

Only the standard library is used, and the output depends on nothing but the
maps, so the committed binaries can always be rebuilt byte for byte.
"""
import os
import struct
import sys

ART = os.path.dirname(os.path.abspath(__file__))
RES = os.path.dirname(ART)

BACKGROUND = '.'    # dialog grey: transparent in the status pictures
SHADOW = 'D'        # grey cast by a sign onto the dialog
SHADOW_OFFSET = 2   # pixels right and down
SIGN_AT = (10, 9)   # top left of the 32x32 sign in a status picture
SHEET_AT = (48, 29) # top left of the 32x32 sheet drawing
INFO_SIZE = (80, 61)

# The standard 16-colour VGA palette in its usual order; icons index into it.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
       (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
       (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
       (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def read_lines(name):
    with open(os.path.join(ART, name), encoding='ascii') as f:
        return [l.rstrip('\n') for l in f
                if l.strip() and not l.startswith('#')]


def load_palette():
    """Return [(char, (r, g, b))]; the position is the GIF colour index."""
    pal = []
    for line in read_lines('palette.txt'):
        ch, r, g, b = line.split()[:4]
        pal.append((ch, (int(r), int(g), int(b))))
    chars = [c for c, _ in pal]
    assert len(chars) == 32 and len(set(chars)) == 32, 'palette needs 32 distinct chars'
    assert chars[7] == BACKGROUND, 'index 7 must stay the transparent grey'
    return pal


def load_map(name, w, h):
    rows = read_lines(name)
    assert len(rows) == h and all(len(r) == w for r in rows), \
        '%s: expected %d rows of %d pixels' % (name, h, w)
    return rows


def lzw_encode(pixels, min_size):
    """GIF LZW: clear code first, variable width up to 12 bits, end code last."""
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


def gif(w, h, colours, pixels, transparent=None):
    bits = (len(colours) - 1).bit_length()
    assert len(colours) == 1 << bits and all(0 <= p < len(colours) for p in pixels)
    min_size = max(2, bits)
    data = bytearray(b'GIF89a')
    data += struct.pack('<HHBBB', w, h, 0x80 | 0x70 | (bits - 1),
                        transparent if transparent is not None else 0, 0)
    for rgb in colours:
        data += bytes(rgb)
    if transparent is not None:
        data += struct.pack('<BBBBHBB', 0x21, 0xF9, 4, 0x01, 0, transparent, 0)
    data += struct.pack('<BHHHHB', 0x2C, 0, 0, w, h, 0)
    data.append(min_size)
    lzw = lzw_encode(pixels, min_size)
    for i in range(0, len(lzw), 255):
        chunk = lzw[i:i + 255]
        data.append(len(chunk))
        data += chunk
    data += b'\x00\x3b'
    return bytes(data)


def ico(images):
    """images: [(size, rows of VGA indices or None for transparent)]."""
    head = struct.pack('<HHH', 0, 1, len(images))
    offset = len(head) + 16 * len(images)
    entries, bodies = b'', b''
    for size, rows in images:
        xor, mask = b'', b''
        for row in reversed(rows):  # DIBs store the bottom row first
            nib = [0 if p is None else p for p in row]
            line = bytes(nib[i] << 4 | nib[i + 1] for i in range(0, size, 2))
            xor += line + b'\0' * (-len(line) % 4)
            bitsrow = ''.join('1' if p is None else '0' for p in row)
            line = int(bitsrow, 2).to_bytes(size // 8, 'big')
            mask += line + b'\0' * (-len(line) % 4)
        dib = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0,
                          len(xor) + len(mask), 0, 0, 16, 0)
        dib += b''.join(bytes((b, g, r, 0)) for r, g, b in VGA) + xor + mask
        entries += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4,
                               len(dib), offset + len(bodies))
        bodies += dib
    return head + entries + bodies


def info_picture(sign, sheet):
    w, h = INFO_SIZE
    grid = [[BACKGROUND] * w for _ in range(h)]
    if sign:
        sx, sy = SIGN_AT
        for y, row in enumerate(sign):
            for x, ch in enumerate(row):
                if ch != BACKGROUND:
                    grid[sy + y + SHADOW_OFFSET][sx + x + SHADOW_OFFSET] = SHADOW
        for y, row in enumerate(sign):
            for x, ch in enumerate(row):
                if ch != BACKGROUND:
                    grid[sy + y][sx + x] = ch
    px, py = SHEET_AT
    for y, row in enumerate(sheet):
        for x, ch in enumerate(row):
            if ch != BACKGROUND:
                grid[py + y][px + x] = ch
    return grid


def build():
    pal = load_palette()
    index = {c: i for i, (c, _) in enumerate(pal)}
    colours = [rgb for _, rgb in pal]
    sheet = load_map('sheet.txt', 32, 32)
    signs = {0: 'question.txt', 1: 'warning.txt', 2: 'error.txt', 3: 'information.txt', 4: None}
    out = {}

    def indices(rows, limit):
        px = [index[c] for row in rows for c in row]
        assert max(px) < limit, 'colour beyond the first %d palette entries' % limit
        return px

    for n, name in signs.items():
        sign = load_map(name, 32, 32) if name else None
        ncol = 32 if sign else 16
        grid = info_picture(sign, sheet)
        out['info%d.gif' % n] = gif(*INFO_SIZE, colours[:ncol], indices(grid, ncol),
                                    transparent=index[BACKGROUND])
    # The balloon window is clipped to the sheet outline, so the unseen
    # corners are plain white and no transparency is needed.
    balloon = [row.replace(BACKGROUND, 'W') for row in sheet]
    out['balloon.gif'] = gif(32, 32, colours[:16], indices(balloon, 16))

    rgb = dict(pal)
    icons = []
    for size in (32, 16):
        rows = load_map('snowflake%d.txt' % size, size, size)
        used = {rgb[c] for row in rows for c in row if c != BACKGROUND}
        assert used <= set(VGA), 'snowflake%d.txt: icons take VGA colours only' % size
        icons.append((size, [[None if c == BACKGROUND else VGA.index(rgb[c])
                               for c in row] for row in rows]))
    out['vexlo.ico'] = ico(icons)
    return out


def main(argv):
    if len(argv) == 2 and argv[1] != '--check':
        os.makedirs(argv[1], exist_ok=True)
        for name, data in sorted(build().items()):
            with open(os.path.join(argv[1], name), 'wb') as f:
                f.write(data)
        return 0
    if argv[1:2] == ['--check'] and len(argv) <= 3:
        where = argv[2] if len(argv) == 3 else RES
        bad = []
        for name, data in sorted(build().items()):
            try:
                with open(os.path.join(where, name), 'rb') as f:
                    same = f.read() == data
            except OSError:
                same = False
            if not same:
                bad.append(name)
        for name in bad:
            print('differs: ' + os.path.join(where, name))
        return 1 if bad else 0
    print(__doc__.strip(), file=sys.stderr)
    return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv))
