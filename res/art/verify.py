#!/usr/bin/env python3
"""Decode vexlo's resources without the generator's code and check them.

    python3 res/art/verify.py [DIR]     (DIR defaults to res/)

`generate.py --check` runs these checks too, and the test suite runs that.
The GIF and ICO readers here are written independently of generate.py and
the generator kit (scripts/genkit.py), so a fault in the LZW encoder or the
file writers shows up as a failure, not as a round trip that agrees with
itself.  The LZW encoder is also fed random data long enough to fill the
4096-code table several times.
"""
import os
import random
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True  # keep res/art free of __pycache__
sys.path.insert(0, HERE)
import generate  # noqa: E402  (only for build() and its palette)
import genkit  # noqa: E402  (on the path generate puts it on: its encoder under stress)

TRANSPARENT_GREY = (192, 192, 192)


class Bits:
    def __init__(self, data):
        self.data, self.pos = data, 0

    def read(self, n):
        v = 0
        for i in range(n):
            byte = self.data[(self.pos + i) >> 3] if (self.pos + i) >> 3 < len(self.data) else None
            if byte is None:
                raise ValueError('LZW data ends before the end code')
            v |= ((byte >> ((self.pos + i) & 7)) & 1) << i
        self.pos += n
        return v


def lzw_decode(data, min_size):
    bits = Bits(data)
    clear, end = 1 << min_size, (1 << min_size) + 1
    width = min_size + 1
    if bits.read(width) != clear:
        raise ValueError('LZW data does not start with a clear code')
    table, prev, out = None, None, []
    table = [[i] for i in range(clear)] + [None, None]
    while True:
        code = bits.read(width)
        if code == clear:
            table = [[i] for i in range(clear)] + [None, None]
            width, prev = min_size + 1, None
            continue
        if code == end:
            break
        if prev is None:
            if code >= clear:
                raise ValueError('first code after clear is not a literal')
            entry = table[code]
        else:
            if code < len(table):
                entry = table[code]
                new = table[prev] + entry[:1]
            elif code == len(table):
                new = entry = table[prev] + table[prev][:1]
            else:
                raise ValueError('code %d beyond table size %d' % (code, len(table)))
            if len(table) < 4096:
                table.append(new)
            if len(table) == 1 << width and width < 12:
                width += 1
        out += entry
        prev = code
    if len(data) - (bits.pos + 7) // 8 > 0:
        raise ValueError('bytes left after the end code')
    return out


def parse_gif(data):
    """Return a dict describing the single-frame GIF; raise on anything odd."""
    if data[:6] != b'GIF89a':
        raise ValueError('not GIF89a')
    w, h, flags, _bg, _ratio = struct.unpack_from('<HHBBB', data, 6)
    pos = 13
    info = {'w': w, 'h': h, 'transparent': None, 'frames': 0}
    if not flags & 0x80:
        raise ValueError('no global colour table')
    n = 2 << (flags & 7)
    info['colours'] = [tuple(data[pos + 3 * i:pos + 3 * i + 3]) for i in range(n)]
    pos += 3 * n
    while True:
        tag = data[pos]
        if tag == 0x3B:
            pos += 1
            break
        if tag == 0x21:
            label, size = data[pos + 1], data[pos + 2]
            if label == 0xF9:
                if size != 4:
                    raise ValueError('bad graphic control extension')
                packed, delay, tidx = struct.unpack_from('<BHB', data, pos + 3)
                info['delay'] = delay
                if packed & 1:
                    info['transparent'] = tidx
            pos += 2
            while data[pos]:
                pos += data[pos] + 1
            pos += 1
            continue
        if tag != 0x2C:
            raise ValueError('unknown block 0x%02x' % tag)
        x, y, iw, ih, iflags = struct.unpack_from('<HHHHB', data, pos + 1)
        if (x, y, iw, ih) != (0, 0, w, h):
            raise ValueError('frame does not cover the screen')
        if iflags & 0x80:
            raise ValueError('local colour table present')
        if iflags & 0x40:
            raise ValueError('interlaced')
        info['min_size'] = data[pos + 10]
        pos += 11
        lzw = b''
        while data[pos]:
            lzw += data[pos + 1:pos + 1 + data[pos]]
            pos += data[pos] + 1
        pos += 1
        info['pixels'] = lzw_decode(lzw, info['min_size'])
        info['frames'] += 1
    if pos != len(data):
        raise ValueError('data after the trailer')
    if len(info['pixels']) != w * h:
        raise ValueError('%d pixels for a %dx%d image' % (len(info['pixels']), w, h))
    if max(info['pixels']) >= n:
        raise ValueError('pixel beyond the colour table')
    return info


def parse_ico(data):
    """Return [(size, rows of RGB or None)] for a 4-bit icon file."""
    reserved, kind, count = struct.unpack_from('<HHH', data)
    if (reserved, kind) != (0, 1):
        raise ValueError('not an icon file')
    images = []
    for i in range(count):
        w, h, ncol, _, planes, bpp, size, off = struct.unpack_from('<BBBBHHII', data, 6 + 16 * i)
        hdr = struct.unpack_from('<IiiHHIIiiII', data, off)
        if hdr[0] != 40 or hdr[1] != w or hdr[2] != 2 * h or hdr[4] != 4 or hdr[5] != 0:
            raise ValueError('image %d: unexpected DIB header %r' % (i, hdr))
        if (ncol, planes, bpp) != (16, 1, 4) or off + size > len(data):
            raise ValueError('image %d: bad directory entry' % i)
        pal = [(data[off + 40 + 4 * k + 2], data[off + 40 + 4 * k + 1], data[off + 40 + 4 * k])
               for k in range(16)]
        xor_stride = (w * 4 + 31) // 32 * 4
        and_stride = (w + 31) // 32 * 4
        xor_at = off + 40 + 64
        and_at = xor_at + xor_stride * h
        if and_at + and_stride * h != off + size:
            raise ValueError('image %d: size does not match XOR + AND data' % i)
        rows = []
        for y in range(h):
            src = h - 1 - y
            row = []
            for x in range(w):
                byte = data[xor_at + src * xor_stride + x // 2]
                idx = byte >> 4 if x % 2 == 0 else byte & 15
                masked = data[and_at + src * and_stride + x // 8] >> (7 - x % 8) & 1
                if masked and idx:
                    raise ValueError('image %d: masked pixel with colour' % i)
                row.append(None if masked else pal[idx])
            rows.append(row)
        images.append((pal, rows))
    return images


def check_lzw():
    rnd = random.Random(1)
    cases = []
    # Every short length, so streams ending right at a code-width step occur.
    for min_size in (2, 5):
        cases += [(min_size, [rnd.randrange(1 << min_size) for _ in range(n)]) for n in range(1, 300)]
    # Long ones fill the 4096-code table several times.
    for min_size in (2, 4, 5, 8):
        for n in (4096, 20000):
            for spread in (2, 1 << min_size):
                cases.append((min_size, [rnd.randrange(spread) for _ in range(n)]))
    for min_size, px in cases:
        try:
            got = lzw_decode(genkit.lzw_encode(px, min_size), min_size)
        except ValueError as e:
            got = e
        if got != px:
            return 'LZW round trip failed (min %d, %d px): %s' % (
                min_size, len(px), got if isinstance(got, Exception) else 'wrong pixels')
    return None


def problems(where):
    errors = []

    def check(cond, msg):
        if not cond:
            errors.append(msg)

    def load(name):
        with open(os.path.join(where, name), 'rb') as f:
            return f.read()

    problem = check_lzw()
    check(problem is None, problem)
    check(generate.build() == generate.build(), 'generator output is not deterministic')

    balloon = parse_gif(load('balloon.gif'))
    check((balloon['w'], balloon['h']) == (32, 32), 'balloon.gif: not 32x32')
    check(len(balloon['colours']) == 16, 'balloon.gif: not 16 colours')
    check(balloon['transparent'] is None, 'balloon.gif: has transparency')
    bal = [balloon['colours'][p] for p in balloon['pixels']]

    for n in range(5):
        name = 'info%d.gif' % n
        g = parse_gif(load(name))
        cols = g['colours']
        check((g['w'], g['h']) == (80, 61), name + ': not 80x61')
        check(g['frames'] == 1, name + ': not exactly one frame')
        check(len(cols) == (16 if n == 4 else 32), name + ': wrong colour table size')
        check(g['min_size'] == (4 if n == 4 else 5), name + ': wrong LZW code size')
        t = g['transparent']
        check(t is not None and cols[t] == TRANSPARENT_GREY and g.get('delay') == 0,
              name + ': background grey is not the transparent colour')
        px = g['pixels']
        # Lower right corner shows the balloon's drawing wherever it is opaque,
        # and the sign (if any) sits left of it with its shadow.
        opaque = 0
        for y in range(32):
            for x in range(32):
                p = px[(29 + y) * 80 + 48 + x]
                if p != t:
                    opaque += 1
                    if cols[p] != bal[y * 32 + x]:
                        errors.append('%s: sheet pixel %d,%d differs from balloon.gif' % (name, x, y))
                        break
        check(opaque > 600, name + ': sheet drawing missing')
        sign = sum(1 for y in range(9, 41) for x in range(10, 42) if px[y * 80 + x] != t)
        check((sign > 300) == (n != 4), name + ': sign presence wrong')
        outside = [px[y * 80 + x] for y in range(61) for x in range(80)
                   if not (8 <= x < 45 and 8 <= y < 44) and not (48 <= x < 80 and 29 <= y < 61)]
        check(set(outside) == {t}, name + ': stray pixels outside the sign and sheet')

    icons = parse_ico(load('vexlo.ico'))
    check([len(rows) for _, rows in icons] == [32, 16], 'vexlo.ico: want 32x32 then 16x16')
    for pal, rows in icons:
        check(pal == generate.VGA, 'vexlo.ico: palette is not the VGA one')
        size = len(rows)
        corners = [rows[0][0], rows[0][-1], rows[-1][0], rows[-1][-1]]
        check(corners == [None] * 4, 'vexlo.ico %d: corners not transparent' % size)
        used = {p for row in rows for p in row if p}
        check({(0, 0, 0), (0, 255, 255), (255, 255, 255)} <= used,
              'vexlo.ico %d: snowflake lacks black, cyan or white' % size)
        # A six-armed flake with upright arms mirrors left to right and top
        # to bottom about its centre; a slipped pixel breaks that.
        pts = {(x, y): p for y, row in enumerate(rows) for x, p in enumerate(row) if p}
        xs, ys = [x for x, _ in pts], [y for _, y in pts]
        cx, cy = min(xs) + max(xs), min(ys) + max(ys)
        check(all(pts.get((cx - x, y)) == p and pts.get((x, cy - y)) == p
                  for (x, y), p in pts.items()),
              'vexlo.ico %d: snowflake not mirror symmetric' % size)
        check(abs(cx - (size - 1)) <= 1 and abs(cy - (size - 1)) <= 1,
              'vexlo.ico %d: snowflake not centred' % size)

    return errors


def main(argv):
    try:
        errors = problems(argv[1] if len(argv) > 1 else os.path.dirname(HERE))
    except (OSError, ValueError, IndexError, struct.error) as e:
        errors = ['cannot read the resources: %s' % e]
    for e in errors:
        print(e)
    print('%d problem(s)' % len(errors) if errors else 'all resources decode and check out')
    return 1 if errors else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
