"""Screens drawn and encoded by ImageMagick (libpng underneath), for the
recovery corpus's real-encoder cases: phone chat screens (1080 x 2400,
1080 x 2340) and desktop windows (full screens and arbitrary snips), with
antialiased DejaVu text, rounded bubbles, avatars and a photo-like area.

draw(rng, width, height, rgba, folder) -> path of a PNG written by
ImageMagick at the default adaptive filtering and zlib level 9;
encode(src, dst, quality, rgba, crop=None) re-encodes (and crops) it with
-quality (tens: zlib level, units: filter, 5 adaptive)."""
import os
import subprocess

FONT = "DejaVu-Sans"
LETTERS = "etaoinshrdlucmfwypvbgkqjxz"


def _words(rng, count):
    out = []
    for _ in range(count):
        n = rng.randint(1, 9)
        w = "".join(rng.choice(LETTERS[:18] if rng.random() < 0.8 else LETTERS) for _ in range(n))
        out.append(w.capitalize() if rng.random() < 0.15 else w)
    return " ".join(out)


def _hex(c):
    return "#%02x%02x%02x" % tuple(c)


def _colour(rng, lo, hi):
    return [rng.randint(lo, hi) for _ in range(3)]


def _text(mvg, x, y, size, colour, words):
    mvg.append("font '%s' font-size %d fill '%s' text %d,%d '%s'" % (FONT, size, _hex(colour), x, y, words))


def _phone(rng, w, h, mvg, photos):
    dark = rng.random() < 0.5
    bg = _colour(rng, 10, 40) if dark else _colour(rng, 236, 255)
    ink = _colour(rng, 215, 240) if dark else _colour(rng, 10, 50)
    mvg.append("fill '%s' rectangle 0,0 %d,%d" % (_hex(bg), w, h))
    s = w / 1080
    status = int(70 * s)
    bar = _colour(rng, 20, 120)
    mvg.append("fill '%s' rectangle 0,0 %d,%d" % (_hex(bar), w, status + int(150 * s)))
    _text(mvg, int(40 * s), int(50 * s), int(34 * s), [250, 250, 250], "%d:%02d" % (rng.randint(0, 23), rng.randint(0, 59)))
    mvg.append("fill '#f0f0f0' circle %d,%d %d,%d" % (int(100 * s), status + int(75 * s), int(100 * s), status + int(35 * s)))
    _text(mvg, int(170 * s), status + int(90 * s), int(44 * s), [255, 255, 255], _words(rng, 2))
    mine = _colour(rng, 0, 90) if dark else _colour(rng, 200, 240)
    theirs = _colour(rng, 40, 70) if dark else _colour(rng, 245, 255)
    y = status + int(190 * s)
    bottom = h - int(160 * s)
    while y < bottom - int(120 * s):
        lines = rng.randint(1, 4)
        bw = rng.randint(int(300 * s), int(800 * s))
        bh = int((28 + 52 * lines) * s)
        right = rng.random() < 0.5
        x0 = w - bw - int(30 * s) if right else int(30 * s)
        if rng.random() < 0.12 and y + int(500 * s) < bottom:
            # A photo sent in the chat.
            ph = int(rng.randint(300, 600) * s)
            photos.append((x0, y, bw, ph))
            y += ph + int(30 * s)
            continue
        mvg.append("fill '%s' roundrectangle %d,%d %d,%d %d,%d" % (
            _hex(mine if right else theirs), x0, y, x0 + bw, y + bh, int(30 * s), int(30 * s)))
        for k in range(lines):
            _text(mvg, x0 + int(28 * s), y + int((62 + 52 * k) * s), int(38 * s), ink, _words(rng, rng.randint(2, 7)))
        _text(mvg, x0 + bw - int(110 * s), y + bh - int(12 * s), int(24 * s), _colour(rng, 110, 150), "%d:%02d" % (
            rng.randint(0, 23), rng.randint(0, 59)))
        y += bh + int(rng.randint(16, 40) * s)
    mvg.append("fill '%s' rectangle 0,%d %d,%d" % (_hex(_colour(rng, 20, 60) if dark else _colour(rng, 225, 245)),
                                                 bottom, w, h))
    mvg.append("fill '%s' roundrectangle %d,%d %d,%d %d,%d" % (
        _hex(theirs), int(30 * s), bottom + int(30 * s), w - int(150 * s), h - int(40 * s), int(40 * s), int(40 * s)))
    _text(mvg, int(70 * s), bottom + int(95 * s), int(36 * s), _colour(rng, 120, 160), "Message")


def _desktop(rng, w, h, mvg, photos):
    dark = rng.random() < 0.3
    bg = _colour(rng, 25, 45) if dark else _colour(rng, 240, 255)
    ink = _colour(rng, 200, 235) if dark else _colour(rng, 0, 60)
    mvg.append("fill '%s' rectangle 0,0 %d,%d" % (_hex(bg), w, h))
    bar = rng.randint(26, 36)
    mvg.append("fill '%s' rectangle 0,0 %d,%d" % (_hex(_colour(rng, 40, 120)), w, bar))
    _text(mvg, 12, bar - 9, 13, [240, 240, 240], _words(rng, 4))
    side = rng.randint(w // 8, w // 5) if w > 500 else 0
    if side:
        mvg.append("fill '%s' rectangle 0,%d %d,%d" % (_hex(_colour(rng, 50, 80) if dark else _colour(rng, 225, 240)),
                                                     bar, side, h))
        for y in range(bar + 24, h - 10, rng.randint(22, 28)):
            mvg.append("fill '%s' roundrectangle 10,%d 26,%d 3,3" % (_hex(_colour(rng, 40, 220)), y - 12, y + 4))
            _text(mvg, 34, y, 12, ink, _words(rng, rng.randint(1, 3)))
    x = side + 10
    while x < w - 100:
        bw = rng.randint(60, 100)
        mvg.append("fill '%s' roundrectangle %d,%d %d,%d 4,4" % (_hex(_colour(rng, 170, 240)), x, bar + 6, x + bw, bar + 30))
        _text(mvg, x + 8, bar + 23, 12, ink, _words(rng, 1))
        x += bw + rng.randint(6, 14)
    top = bar + 44
    pw = rng.randint((w - side) // 5, (w - side) // 3)
    ph = min(h - top - 20, rng.randint(120, 400))
    if ph > 40:
        photos.append((w - pw - 16, top, pw, ph))
    y = top + 16
    size = rng.choice([12, 13, 14, 16])
    while y < h - 10:
        if rng.random() < 0.08:
            _text(mvg, side + 20, y + 8, size + 8, ink, _words(rng, 3))
            y += size + 24
            continue
        _text(mvg, side + 20, y, size, ink, _words(rng, max(1, (w - side - pw - 60) // (size * 4))))
        y += size + rng.randint(5, 9)


def draw(rng, width, height, rgba, folder, name):
    """Draws a screen and writes it as NAME.drawn.png (level 9, adaptive)."""
    mvg, photos = [], []
    (_phone if height > width else _desktop)(rng, width, height, mvg, photos)
    # Drawn in pieces: the usual policy forbids reading the primitives from a
    # file, and one argument must stay under 128 KiB.
    cmd = ["convert", "-size", "%dx%d" % (width, height), "xc:white"]
    for i in range(0, len(mvg), 300):
        cmd += ["-draw", "\n".join(mvg[i:i + 300])]
    for x, y, pw, ph in photos:
        cmd += ["(", "-seed", str(rng.randrange(1 << 30)), "-size", "%dx%d" % (max(8, pw // 4), max(8, ph // 4)),
                "plasma:fractal", "-resize", "%dx%d!" % (pw, ph), "-attenuate", "0.3", "+noise", "Gaussian", ")",
                "-geometry", "+%d+%d" % (x, y), "-composite"]
    out = os.path.join(folder, name + ".drawn.png")
    subprocess.run(cmd + _format(rgba) + ["-quality", "95", out], check=True, capture_output=True)
    return out


def _format(rgba):
    return ["-alpha", "on" if rgba else "off", "-define", "png:color-type=%d" % (6 if rgba else 2),
            "-define", "png:bit-depth=8"]


def encode(src, dst, quality, rgba, crop=None):
    cmd = ["convert", src]
    if crop:
        cmd += ["-crop", "%dx%d+%d+%d" % tuple(crop), "+repage"]
    subprocess.run(cmd + _format(rgba) + ["-quality", str(quality), dst], check=True, capture_output=True)
    with open(dst, "rb") as f:
        return f.read()


def decode(path, rgba):
    """The pixels of a PNG, 3 or 4 bytes each, as ImageMagick reads them."""
    return subprocess.run(["convert", path, "-depth", "8", ("rgba:-" if rgba else "rgb:-")], check=True,
                          capture_output=True).stdout
