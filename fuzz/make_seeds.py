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


def main():
    out = pathlib.Path(sys.argv[1])
    for name, seeds in (("engine", engine_seeds()), ("stream_walk", stream_walk_seeds()),
                        ("command_line", command_line_seeds()),
                        ("split_path", split_path_seeds())):
        folder = out / name
        folder.mkdir(parents=True, exist_ok=True)
        for key, data in seeds.items():
            (folder / key).write_bytes(data)


if __name__ == "__main__":
    main()
