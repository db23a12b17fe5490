#!/usr/bin/env python3
"""Build vexlo's GIF and ICO resources from the text pixel maps in this folder.

    python3 res/art/generate.py OUTDIR      write every resource into OUTDIR
    python3 res/art/generate.py --check     compare with the files in res/,
                                            then decode and check them (verify.py)

Only the standard library and the generator kit (scripts/genkit.py) are
used, and the output depends on nothing but the maps, so the committed
binaries can always be rebuilt byte for byte.
"""
import os
import struct
import sys

ART = os.path.dirname(os.path.abspath(__file__))
RES = os.path.dirname(ART)
sys.path.insert(0, os.path.join(os.path.dirname(RES), 'scripts'))
import genkit  # noqa: E402

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
    colours = b''.join(bytes(rgb) for _, rgb in pal)
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
        out['info%d.gif' % n] = genkit.gif(*INFO_SIZE, colours[:3 * ncol], indices(grid, ncol),
                                           transparent=index[BACKGROUND])
    # The balloon window is clipped to the sheet outline, so the unseen
    # corners are plain white and no transparency is needed.
    balloon = [row.replace(BACKGROUND, 'W') for row in sheet]
    out['balloon.gif'] = genkit.gif(32, 32, colours[:3 * 16], indices(balloon, 16))

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
        import verify  # beside this file; it imports this module in turn
        decoded = verify.main([argv[0], where])
        return 1 if bad or decoded else 0
    print(__doc__.strip(), file=sys.stderr)
    return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv))
