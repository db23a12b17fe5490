#!/usr/bin/env python3
"""Writes the fuzzers' seed corpora: OUTDIR/engine, OUTDIR/stream_walk,
OUTDIR/command_line, OUTDIR/split_path. Deterministic; CI replays them on
every run."""
import pathlib
import struct
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "scripts"))
from genkit import IEND, PNG_SIG as SIG, chunk, png  # noqa: E402


def engine_seeds():
    p = png(2, 2, 2, bytes(2 * 2 * 3))
    jfif = b"\xff\xd8\xff\xe0\x00\x10JFIF\x00\x01" + bytes(20)
    return {
        "empty": b"",
        "seven": SIG[:7],
        "not_png": b"GIF89a not a png",
        "signature_only": SIG,
        "no_trailer": p,
        "jpeg": p + jfif,
        "gif": p + b"GIF89a" + bytes(10),
        "bmp": p + b"BM" + bytes(60),
        "png_in_png": p + p,
        "one_byte": p + b"x",
        "two_iend": SIG + IEND + IEND + b"tail",
        "iend_in_data": SIG + chunk(b"tEXt", b"IENDIEND") + IEND + b"tail",
        "iend_length_set": SIG + chunk(b"IEND", b"", length=77) + b"tail",
        "top_bit_length": SIG + chunk(b"IDAT", b"", length=0x80000000) + IEND + b"x",
        "huge_length": SIG + chunk(b"IDAT", b"", length=0x7FFFFFF0) + IEND + b"x",
        "ffff_length": SIG + chunk(b"IDAT", b"", length=0xFFFFFFFF) + b"x",
        "cut_crc": (SIG + IEND)[:-2],
        "jfif_at_17": p + bytes(16) + b"JFIF",
        "jfif_at_18": p + bytes(17) + b"JFIF" + bytes(4),
        # The last chunk header cut short: inside its length, inside its type.
        **{f"cut_header_{n}": p[:-len(IEND)] + IEND[:n] for n in (2, 4, 6, 7)},
    }


def stream_walk_seeds():
    # The engine's shapes, plus the edges of each rule of the walk.
    seeds = engine_seeds()
    seeds.update({
        "zero_length_chunks": SIG + chunk(b"aaAA", b"") + chunk(b"bbBB", b"") + IEND + b"t",
        "iend_9_left": SIG + struct.pack(">I", 0) + b"IEND" + b"x",
        "iend_12_left": SIG + IEND,
        "header_8_left": SIG + chunk(b"IDAT", b"12345") + struct.pack(">I", 0) + b"IDAT",
        "chunk_to_the_end": SIG + chunk(b"IDAT", b"12345"),
        "length_past_end": SIG + chunk(b"IDAT", b"", length=0x10) + IEND,
        "length_one_past": SIG + chunk(b"IDAT", b"12345", length=6) + b"\0" * 16,
    })
    return seeds


def utf16(text):
    return text.encode("utf-16-le")


def command_line_seeds():
    texts = ["", "  \t ", 'a.png "my file.png"', '"C:\\My Pics\\a.png"', '"x"y', 'x"y"z', 'x"y z', '""', '"" a',
             'a""b', '"a""b"', 'a\\"b', "one\ntwo", " ".join(f"w{i}" for i in range(300)),
             '"C:\\Program Files\\vexlo.exe" a b']
    seeds = {f"text{i}": bytes([255]) + utf16(t) for i, t in enumerate(texts)}
    seeds["limit2"] = bytes([2]) + utf16("a b c")
    seeds["limit0"] = bytes([0]) + utf16("a b c")
    return seeds


def split_path_seeds():
    paths = ["C:\\pics\\photo.png", "c:\\a.b", "C:\\x.y\\README", "C:\\pics\\.png", "C:\\photo.png",
             "\\\\srv\\share\\a.txt", "\\\\srv\\share", "\\single", "_under", "C:", "name.txt",
             "C:\\" + "d" * 245 + "\\a.png", "C:\\pics\\archive.tar.png", "C:\\pics\\"]
    return {f"path{i}": utf16(p) for i, p in enumerate(paths)}


def recover_seeds():
    """Real remnants: screenshot-like pictures encoded with each filter
    strategy (IDAT chunks of 512 bytes for one), cropped to their top rows and the crop written over the
    original without truncating; the trailer after the crop's IEND follows
    two bytes picking the header hint (RGB, RGBA) and the width asked for
    (0: found)."""
    import zlib

    import genkit
    seeds = {}
    w, h = 64, 48
    for colour, hint in ((2, 2), (6, 5)):
        bpp = genkit.BPP[colour]
        # A title bar, text-like strokes on a flat page and a noisy photo strip,
        # so the cut falls well inside the compressed rows.
        px, noise = bytearray(), 1
        for y in range(h):
            for x in range(w):
                noise = (noise * 1103515245 + 12345) & 0x7FFFFFFF
                if y < 3:
                    rgb = (40, 60, 120)
                elif y >= h - 16:
                    rgb = ((x * 4 + (noise >> 16) % 24) & 255, (y * 5 + (noise >> 8) % 16) & 255, 128)
                else:
                    rgb = (20, 20, 20) if (x * 7 + y * 3) % 11 < 3 and x % 9 else (245, 245, 245)
                px += bytes(rgb) + (bytes([255 - (x & 1) * 40]) if bpp == 4 else b"")
        for strategy in ("none", "sub", "up", "paeth", "adaptive"):
            # A small memLevel makes zlib end a block every few hundred
            # symbols, so small pictures have block starts after the cut.
            deflater = zlib.compressobj(9, zlib.DEFLATED, 15, 1)
            z = deflater.compress(genkit.filter_rows(px, w, h, bpp, strategy)) + deflater.flush()
            size = 512 if strategy == "sub" else len(z)
            original = (genkit.PNG_SIG + genkit.ihdr(w, h, colour)
                        + b"".join(genkit.chunk(b"IDAT", z[i:i + size]) for i in range(0, len(z), size)) + genkit.IEND)
            crop = genkit.png(w, 6, colour, px[:w * 6 * bpp], level=9, strategy=strategy)
            trailer = original[len(crop):]
            seeds[f"{strategy}_{colour}"] = bytes([hint, 0]) + trailer
            seeds[f"{strategy}_{colour}_width"] = bytes([hint, w]) + trailer
    return seeds


def main():
    out = pathlib.Path(sys.argv[1])
    for name, seeds in (("engine", engine_seeds()), ("stream_walk", stream_walk_seeds()),
                        ("command_line", command_line_seeds()),
                        ("split_path", split_path_seeds()), ("recover", recover_seeds())):
        folder = out / name
        folder.mkdir(parents=True, exist_ok=True)
        for key, data in seeds.items():
            (folder / key).write_bytes(data)


if __name__ == "__main__":
    main()
