#!/usr/bin/env python3
"""vexlo-cli run as a process: exit codes, output lines, JSON Lines, folder
walks, size limits, files written, memory at 5 GB, the progress line, the
pictures rebuilt from a cropped PNG's remnant.

usage: cli_test.py VEXLO_CLI SAMPLES [--sanitized]   (--sanitized: skip the RSS bound)
"""
import hashlib
import json
import os
import pathlib
import pty
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

CLI = os.path.abspath(sys.argv.pop(1))
SAMPLES = pathlib.Path(sys.argv.pop(1))
SANITIZED = "--sanitized" in sys.argv
if SANITIZED:
    sys.argv.remove("--sanitized")

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "scripts"))
import genkit  # noqa: E402

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import as_nobody  # noqa: E402

SIG = b"\x89PNG\r\n\x1a\n"
IEND = b"\0\0\0\0IEND\xaeB`\x82"
JSON_KEYS = {"path", "full_path", "result", "status", "offset", "length", "sha256", "extension", "kind", "output"}
RECOVER_KEYS = {"status", "message", "width", "widthFound", "bytesPerPixel", "rows", "startBit", "inflatedBytes",
                "knownShare", "picture", "guess"}


def run(*args, cwd=None, text=True, program=CLI, **kwargs):
    return subprocess.run([program, *map(os.fsencode, args)], capture_output=True, text=text, cwd=cwd, timeout=120,
                          **kwargs)


def run_measured(*args, cwd):
    """(exit status, stdout, stderr, peak RSS in KiB) under GNU time: a child of this
    script would count the Python image it was forked from."""
    with tempfile.NamedTemporaryFile("r") as peak:
        r = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", peak.name, CLI, *args], cwd=cwd,
                           capture_output=True, timeout=120)
        return r.returncode, r.stdout, r.stderr, int(peak.read().split()[-1])


def run_paused(*args, cwd, source, terminal):
    """(exit status, stdout, stderr) of a run stopped for longer than the
    progress line's one-second delay once it has opened `source`: the line is
    then due, however fast the machine. With `terminal`, standard error is a
    pseudo-terminal."""
    master, slave = pty.openpty() if terminal else (None, subprocess.PIPE)
    # A session of its own: stopped in a process group that other processes'
    # exits leave orphaned, the kernel would hang it up (exit status -1).
    p = subprocess.Popen([CLI, *args], cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=slave,
                         start_new_session=True)
    if terminal:
        os.close(slave)
    fds = f"/proc/{p.pid}/fd"
    while p.poll() is None:
        try:
            if any(os.readlink(os.path.join(fds, fd)) == str(source) for fd in os.listdir(fds)):
                break
        except OSError:  # an entry closed while listed
            pass
        time.sleep(0.001)
    p.send_signal(signal.SIGSTOP)
    time.sleep(1.5)
    p.send_signal(signal.SIGCONT)
    if not terminal:
        out, err = p.communicate(timeout=120)
        return p.returncode, out, err.decode()
    err = b""
    while select.select([master], [], [], 120)[0]:
        try:
            data = os.read(master, 4096)
        except OSError:  # EIO: the program has closed the terminal
            break
        if not data:
            break
        err += data
    os.close(master)
    out = p.stdout.read()
    p.stdout.close()
    return p.wait(timeout=120), out, err.decode()


def json_lines(stdout):
    """Every line parsed; stdout must be valid UTF-8 (bytes in, strict decoding)."""
    return [json.loads(line) for line in stdout.decode("utf-8").splitlines()]


def sparse_png(path, chunk_lengths, trailer_size, trailer_tail=b""):
    """A PNG whose chunk data and trailer are holes: gigabytes without disk use."""
    with open(path, "wb") as f:
        f.write(SIG)
        for n in chunk_lengths:
            f.write(n.to_bytes(4, "big") + b"IDAT")
            f.seek(n + 4, os.SEEK_CUR)  # data and CRC
        f.write(IEND)
        offset = f.tell()
        f.truncate(offset + trailer_size - len(trailer_tail))
        f.seek(0, os.SEEK_END)
        f.write(trailer_tail)
    return offset


def screenshot(width, height):
    """RGB rows like a screenshot's: a title bar, text strokes on a flat page,
    a noisy photo area at the bottom."""
    px, noise = bytearray(), 7
    for y in range(height):
        for x in range(width):
            noise = (noise * 1103515245 + 12345) & 0x7FFFFFFF
            if y < 8:
                px += bytes((40, 60, 120))
            elif y >= height * 2 // 3:
                px += bytes(((x * 2 + (noise >> 16) % 20) & 255, (y * 3 + (noise >> 8) % 12) & 255, 90))
            else:
                px += bytes((20, 20, 20) if (x * 7 + y * 3) % 13 < 3 and x % 11 else (245, 245, 245))
    return bytes(px)


def remnant(width, height, kept, strategy="none"):
    """(file bytes, original pixels): the original's top `kept` rows saved as a
    new PNG over the original without truncating it, as the affected editors did."""
    px = screenshot(width, height)
    original = genkit.png(width, height, 2, px, strategy=strategy, idat_size=8192)
    crop = genkit.png(width, kept, 2, px[:width * kept * 3], strategy=strategy)
    return crop + original[len(crop):], px


def read_rgba_png(path):
    """(width, height, RGBA bytes) of an 8-bit RGBA PNG, every chunk's CRC checked."""
    data, at, idat, header = path.read_bytes(), len(SIG), b"", None
    assert data.startswith(SIG)
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        assert struct.unpack(">I", data[at + 8 + length:at + 12 + length])[0] == zlib.crc32(kind + body), kind
        header = body if kind == b"IHDR" else header
        idat += body if kind == b"IDAT" else b""
        at += 12 + length
    width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", header)
    assert (depth, colour, interlace) == (8, 6, 0)
    raw, stride = zlib.decompress(idat), 4 * width + 1
    assert len(raw) == height * stride
    rows, prior = [], bytes(stride - 1)
    for y in range(height):
        kind, row = raw[y * stride], bytearray(raw[y * stride + 1:(y + 1) * stride])
        for i in range(len(row)):
            a, b, c = (row[i - 4] if i >= 4 else 0), prior[i], (prior[i - 4] if i >= 4 else 0)
            row[i] = (row[i] + [0, a, b, (a + b) // 2, genkit.paeth(a, b, c)][kind]) & 255
        rows.append(bytes(row))
        prior = rows[-1]
    return width, height, b"".join(rows)


class Cli(unittest.TestCase):
    def setUp(self):
        self.dir = pathlib.Path(tempfile.mkdtemp(prefix="vexlo-cli-"))
        self.addCleanup(shutil.rmtree, self.dir)
        shutil.copy(SAMPLES / "hidden.png", self.dir)
        self.png = (SAMPLES / "hidden.png").read_bytes()
        self.payload = (SAMPLES / "payload.jpg").read_bytes()
        self.cover = self.png[: len(self.png) - len(self.payload)]

    def files(self):
        return sorted(p.name for p in self.dir.iterdir())

    def write(self, name, data):
        path = self.dir / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        return path

    def assert_record(self, rec, given, status, trailer=None, output=None):
        """One JSON object against the file's actual bytes: trailer = (offset, extension, kind)."""
        self.assertEqual(set(rec) - {"path_hex", "full_path_hex", "output_hex"}, JSON_KEYS)
        path = self.dir / given
        self.assertEqual((rec["path"], rec["full_path"], rec["status"]), (str(given), str(path), status))
        codes = {"extracted": 0, "has-trailer": 0, "no-file": 1, "unreadable": 2, "not-png": 3, "no-trailer": 4,
                 "no-name": 5, "write-failed": 6}
        self.assertEqual(rec["result"], codes[status])
        if trailer is None:
            self.assertEqual([rec[k] for k in ("offset", "length", "sha256", "extension", "kind")], [None] * 5)
        else:
            offset, extension, kind = trailer
            with open(path, "rb") as f:
                f.seek(offset)
                data = f.read()
            self.assertEqual((rec["offset"], rec["length"], rec["sha256"], rec["extension"], rec["kind"]),
                             (offset, len(data), hashlib.sha256(data).hexdigest(), extension, kind))
        self.assertEqual(rec["output"], output and str(self.dir / output))

    # ------------------------------------------------------------ plain lines

    def test_extracts_the_hidden_jpeg_byte_exact(self):
        r = run(self.dir / "hidden.png")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout, f"{self.dir / 'hidden.png'}: {len(self.payload)} bytes -> {self.dir / 'hidden.jpg'}\n")
        self.assertEqual((self.dir / "hidden.jpg").read_bytes(), self.payload)
        self.assertEqual((self.dir / "hidden.png").read_bytes(), self.png)

    def test_files_in_order_and_any_failure_gives_1(self):
        self.write("plain.png", self.cover)
        self.write("text.png", b"hello")
        names = ["hidden.png", "missing.png", "plain.png", "text.png", "hidden.png"]
        failures = ["missing.png: no such file", "plain.png: nothing after the end of the image",
                    "text.png: not a PNG file"]
        for quiet, summary in [([], ["vexlo-cli: 5 files: 2 extracted, 1 no-file, 1 not-png, 1 no-trailer"]),
                               (["-q"], [])]:
            with self.subTest(quiet=quiet):
                r = run(*quiet, *names, cwd=self.dir)
                self.assertEqual(r.returncode, 1)
                outputs = [self.dir / n for n in (("hidden.jpg", "hidden(1).jpg") if not quiet
                                                  else ("hidden(2).jpg", "hidden(3).jpg"))]
                self.assertEqual(r.stdout.splitlines(), [f"hidden.png: {len(self.payload)} bytes -> {o}" for o in outputs])
                self.assertEqual(r.stderr.splitlines(), failures + summary)

    def test_check_writes_nothing(self):
        before = self.files()
        r = run("--check", "hidden.png", cwd=self.dir)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout, f"hidden.png: {len(self.payload)} bytes of .jpg data (jpeg), "
                                   f"would be written to {self.dir / 'hidden.jpg'}\n")
        self.assertEqual(self.files(), before)
        r = run("--check", "nothing.png", cwd=self.dir)
        self.assertEqual((r.returncode, r.stderr), (1, "nothing.png: no such file\n"))

    def test_open_hands_the_picture_to_xdg_open_or_says_why_not(self):
        self.write("shot.png", remnant(320, 200, 40)[0])
        self.write("bin/xdg-open", b'#!/bin/sh\necho "$1" >> "$0.log"\n').chmod(0o755)
        log = self.dir / "bin" / "xdg-open.log"
        for args, opened in [(["hidden.png"], "hidden.jpg"), (["--recover", "shot.png"], "shot.guessed.png")]:
            with self.subTest(args=args):
                r = run("--open", *args, cwd=self.dir, env=dict(os.environ, PATH=str(self.dir / "bin")))
                self.assertEqual((r.returncode, r.stderr), (0, ""))
                deadline = time.monotonic() + 30  # xdg-open runs detached
                while f"{self.dir / opened}\n" not in (log.read_text() if log.exists() else ""):
                    self.assertLess(time.monotonic(), deadline, "xdg-open was not given " + opened)
                    time.sleep(0.02)
                # Without xdg-open the file is written all the same, and one line says why it was not opened.
                r = run("--open", *args, cwd=self.dir, env=dict(os.environ, PATH=str(self.dir / "nowhere")))
                self.assertEqual((r.returncode, r.stderr),
                                 (0, "vexlo-cli: no program opens files here: xdg-open is not installed\n"))

    def test_usage(self):
        for args, code, stream in [((), 2, "stderr"), (("--bogus", "hidden.png"), 2, "stderr"),
                                   (("-h",), 0, "stdout"), (("--help",), 0, "stdout"),
                                   (("--max-size",), 2, "stderr"), (("--max-size", "-1", "hidden.png"), 2, "stderr"),
                                   (("--max-size", "1k", "hidden.png"), 2, "stderr"),
                                   (("--max-size=", "hidden.png"), 2, "stderr"),
                                   (("--max-size", "18446744073709551616", "hidden.png"), 2, "stderr")]:
            with self.subTest(args=args):
                r = run(*args, cwd=self.dir)
                self.assertEqual(r.returncode, code)
                self.assertIn("usage: vexlo-cli", getattr(r, stream))
        self.assertEqual(self.files(), ["hidden.png"])
        self.assertEqual(run("--version").stdout, "vexlo 0.91b\n")
        help_text = run("--help").stdout
        for option in ("--check", "--open", "--json", "--recursive", "--max-size", "--quiet", "--recover", "--width",
                       '"-"'):
            self.assertIn(option, help_text)

    def test_double_dash_ends_options(self):
        shutil.copy(self.dir / "hidden.png", self.dir / "--check")
        r = run("--", "--check", cwd=self.dir)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual((self.dir / "--check.jpg").read_bytes(), self.payload)

    def test_dash_is_a_file_of_that_name(self):
        r = run("-", cwd=self.dir, input=self.png.decode("latin-1"))
        self.assertEqual((r.returncode, r.stderr), (1, "-: no such file\n"))
        shutil.copy(self.dir / "hidden.png", self.dir / "-")
        r = run("-", cwd=self.dir, stdin=subprocess.DEVNULL)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual((self.dir / "-.jpg").read_bytes(), self.payload)

    # ------------------------------------------------------------------ JSON

    def test_json_lines_for_extraction_and_check(self):
        cover = len(self.cover)
        self.write("plain.png", self.cover)
        self.write("text.png", b"hello")
        self.write("zeros.png", self.cover + bytes(300_000))  # crosses the pass buffer
        self.write("words.png", self.cover + b"the quick brown fox\n" * 20)
        (self.dir / "folder.png").mkdir()
        names = ["hidden.png", "missing.png", "plain.png", "text.png", "zeros.png", "words.png", "folder.png"]
        for mode, done in [(["--check"], "has-trailer"), ([], "extracted")]:
            with self.subTest(mode=mode):
                r = run("--json", *mode, *names, cwd=self.dir, text=False)
                self.assertEqual(r.returncode, 1)
                records = json_lines(r.stdout)
                self.assertEqual(len(records), len(names))
                expected = [
                    (done, (cover, ".jpg", "jpeg"), "hidden.jpg"), ("no-file", None, None),
                    ("no-trailer", None, None), ("not-png", None, None),
                    (done, (cover, ".dat", "zeros"), "zeros.dat"), (done, (cover, ".dat", "text"), "words.dat"),
                    ("unreadable", None, None)]
                for rec, name, (status, trailer, output) in zip(records, names, expected):
                    self.assert_record(rec, name, status, trailer, output)
                    if output:
                        self.assertEqual((self.dir / output).exists(), not mode)
                        if not mode:
                            self.assertEqual((self.dir / output).read_bytes(), (self.dir / name).read_bytes()[cover:])
        r = run("--json", "--check", "hidden.png", "zeros.png", cwd=self.dir, text=False)
        self.assertEqual([rec["output"] for rec in json_lines(r.stdout)],
                         [str(self.dir / "hidden(1).jpg"), str(self.dir / "zeros(1).dat")])
        self.assertEqual(r.returncode, 0)

    def test_json_names_that_are_not_utf8(self):
        names = {b"caf\xe9.png": False, "café ☃.png".encode(): True, b'quote"back\\slash\nline.png': True,
                 b"\xed\xa0\x80surrogate.png": False, b"\xc0\xafoverlong.png": False}
        for name in names:
            (self.dir.joinpath(os.fsdecode(name))).write_bytes(self.png)
        r = run("--json", *names, cwd=self.dir, text=False)
        self.assertEqual(r.returncode, 0, r.stderr)
        records = json_lines(r.stdout)
        dir_bytes = bytes(self.dir)
        for rec, (name, valid) in zip(records, names.items()):
            with self.subTest(name=name):
                stem = name[:-4]
                exact = {"path": name, "full_path": dir_bytes + b"/" + name, "output": dir_bytes + b"/" + stem + b".jpg"}
                self.assertTrue(os.path.exists(exact["output"]))
                for key, value in exact.items():
                    self.assertEqual(rec[key], value.decode("utf-8", "replace"))
                    self.assertEqual(rec.get(key + "_hex"), None if valid else value.hex())

    # ------------------------------------------------------------ folder walk

    def test_recursive_walk(self):
        other = self.cover + self.cover  # a PNG whose trailer is a PNG: its output is a PNG too
        tree = {"root/b.png": self.png, "root/A.png": self.png, "root/a.dat": self.png, "root/notes.png": b"text",
                "root/sub/z.png": other, "root/sub/deeper/c.bin": self.png, "root/\u00e9.png": self.png,
                "root/empty/.keep": b""}
        for name, data in tree.items():
            self.write(name, data)
        root = self.dir / "root"
        os.symlink(".", root / "loop")
        os.symlink("self", root / "self")
        os.symlink("b.png", root / "link.png")
        os.symlink("../../root", root / "sub" / "up")
        found = ["root/A.png", "root/a.dat", "root/b.png", "root/sub/deeper/c.bin", "root/sub/z.png", "root/\u00e9.png"]
        r = run("-r", "--json", "root", "hidden.png", cwd=self.dir, text=False)
        self.assertEqual(r.returncode, 0, r.stderr)
        records = json_lines(r.stdout)
        self.assertEqual([rec["path"] for rec in records], found + ["hidden.png"])
        self.assertTrue(all(rec["status"] == "extracted" for rec in records))
        self.assertEqual((root / "sub" / "z(1).png").read_bytes(), self.cover)
        # The output z(1).png is a PNG: taken by the next run, never by the one that wrote it.
        r = run("-r", "--check", "--json", "root/sub", cwd=self.dir, text=False)
        self.assertEqual([rec["path"] for rec in json_lines(r.stdout)],
                         ["root/sub/deeper/c.bin", "root/sub/z(1).png", "root/sub/z.png"])
        # Without -r a folder is an unreadable file, as in the window program.
        r = run("root", cwd=self.dir)
        self.assertEqual((r.returncode, r.stderr), (1, "root: cannot be read or larger than 2,048,000 bytes\n"))
        # A folder without PNG files gives nothing and nothing failed.
        r = run("-r", "root/empty", cwd=self.dir)
        self.assertEqual((r.returncode, r.stdout, r.stderr), (0, "", ""))

    def test_recursive_walk_reports_unreadable_entries(self):
        for name in ("top/a.png", "top/locked/b.png", "top/secret.png", "top/z.png"):
            self.write(name, self.png)
        (self.dir / "top" / "locked").chmod(0)
        (self.dir / "top" / "secret.png").chmod(0)
        self.addCleanup((self.dir / "top" / "locked").chmod, 0o755)
        # chmod 000 does not stop root: as root the run drops to the nobody user,
        # with a copy of the program that nobody can reach.
        nobody = {}
        if os.geteuid() == 0:
            as_nobody.give_to_nobody(self.dir)
            program, remove = as_nobody.reachable_copy(CLI)
            self.addCleanup(remove)
            nobody = {"preexec_fn": as_nobody.become_nobody, "program": program}
        r = run("-r", "top", cwd=self.dir, **nobody)
        self.assertEqual(r.returncode, 1)
        self.assertEqual([line.split(":")[0] for line in r.stdout.splitlines()], ["top/a.png", "top/z.png"])
        self.assertEqual(r.stderr.splitlines(), ["top/locked: cannot be read: Permission denied",
                                                 "top/secret.png: cannot be read: Permission denied",
                                                 "vexlo-cli: 2 files: 2 extracted; 2 entries could not be read"])

    # ------------------------------------------------------------ size limits

    def test_max_size(self):
        size = len(self.png)
        self.write("big.png", self.cover + bytes(2_048_001 - len(self.cover)))
        cases = [([], "big.png", 2, "cannot be read or larger than 2,048,000 bytes"),
                 (["--max-size", "0"], "big.png", 0, None),
                 (["--max-size=0"], "hidden.png", 0, None),
                 (["--max-size", str(size)], "hidden.png", 0, None),
                 (["--max-size", str(size - 1)], "hidden.png", 2, f"cannot be read or larger than {size - 1:,} bytes"),
                 (["--max-size", "999"], "hidden.png", 2, "cannot be read or larger than 999 bytes"),
                 (["--max-size", "0"], ".", 2, "cannot be read")]
        for options, name, result, message in cases:
            with self.subTest(options=options, name=name):
                r = run("--check", *options, name, cwd=self.dir)
                self.assertEqual(r.returncode, 1 if result else 0)
                self.assertEqual(r.stderr, f"{name}: {message}\n" if message else "")

    def test_sparse_5_gb_source_in_flat_memory(self):
        big = self.dir / "big.png"
        offset = sparse_png(big, [0x7FFF_FFFF, 0x7FFF_FFFF, 0x3000_0000], len(self.payload), self.payload)
        self.assertGreater(big.stat().st_size, 5_000_000_000)
        for mode, status, output in [(["--check"], "has-trailer", "big.jpg"), ([], "extracted", "big.jpg")]:
            with self.subTest(mode=mode):
                code, out, err, peak_kib = run_measured("--json", "--max-size", "0", *mode, "big.png", cwd=self.dir)
                self.assertEqual(code, 0, err)
                if not SANITIZED:  # the sanitizers' shadow memory is not the program's
                    self.assertLess(peak_kib, 10 * 1024)
                (rec,) = json_lines(out)
                self.assert_record(rec, "big.png", status, (offset, ".jpg", "jpeg"), output)
                self.assertEqual(rec["length"], len(self.payload))
        self.assertEqual((self.dir / "big.jpg").read_bytes(), self.payload)
        r = run("--check", "big.png", cwd=self.dir)
        self.assertEqual(r.stderr, "big.png: cannot be read or larger than 2,048,000 bytes\n")

    def test_progress_line_only_on_a_terminal(self):
        # 64 MiB of zeros after IEND, a hole on tmpfs where there is one (other
        # file systems read holes slowly): every byte is hashed, so the run is
        # still going when it is paused.
        shm = pathlib.Path("/dev/shm")
        folder = pathlib.Path(tempfile.mkdtemp(dir=shm if shm.is_dir() else self.dir))
        self.addCleanup(shutil.rmtree, folder)
        source = folder / "long.png"
        sparse_png(source, [], 1 << 26)
        check = ["--check", "--max-size", "0"]
        code, out, terminal = run_paused(*check, source, source, cwd=folder, source=source, terminal=True)
        self.assertEqual((code, out.decode().splitlines()), (0, [
            f"{source}: {1 << 26} bytes of .dat data (zeros), would be written to {folder / 'long.dat'}"] * 2))
        drawn = re.findall(r"\rvexlo-cli: ([01]) of 2 files, ([\d,]+) bytes *", terminal)
        self.assertTrue(drawn, repr(terminal))
        counts = [(int(done), int(n.replace(",", ""))) for done, n in drawn]
        self.assertEqual(counts, sorted(counts))
        self.assertLessEqual(counts[-1][1], 2 << 26)
        # The line is erased before each output line and at the end: spaces
        # over its whole length, the cursor back at its start. Then only the summary.
        self.assertTrue(terminal.endswith("\rvexlo-cli: 2 files: 2 has-trailer\r\n"), repr(terminal[-200:]))
        segments = terminal[: -len("vexlo-cli: 2 files: 2 has-trailer\r\n")].split("\r")
        self.assertEqual((segments[0], segments[-1], segments[-2].strip(" ")), ("", "", ""))
        self.assertGreaterEqual(len(segments[-2]), len(segments[-3]))
        for args, terminal in [(["--json"], True), (["--quiet"], True), ([], False)]:
            with self.subTest(args=args, terminal=terminal):
                code, out, err = run_paused(*check, *args, source, source, cwd=folder, source=source, terminal=terminal)
                self.assertEqual(code, 0)
                self.assertEqual(err, "vexlo-cli: 2 files: 2 has-trailer\n" if "--quiet" not in args and not terminal
                                 else "vexlo-cli: 2 files: 2 has-trailer\r\n" if "--quiet" not in args else "")

    # --------------------------------------------------------------- recover

    def assert_recovered(self, rec, name, original, width, width_found, picture, guess):
        """The JSON object and both pictures against the original's last rows:
        no pixel shown as known differs, the guess covers every pixel."""
        out = rec["recover"]
        self.assertEqual(set(out), RECOVER_KEYS)
        self.assertEqual((rec["status"], rec["kind"], rec["output"]), ("has-trailer", "png-remnant", None))
        self.assertEqual((out["status"], out["message"], out["width"], out["widthFound"], out["bytesPerPixel"]),
                         ("recovered", "", width, width_found, 3))
        self.assertEqual((out["picture"], out["guess"]), (str(self.dir / picture), str(self.dir / guess)))
        rows = out["rows"]
        self.assertTrue(0 < rows and out["inflatedBytes"] >= rows * (3 * width + 1), out)
        last = original[len(original) - rows * width * 3:]
        self.assertEqual(read_rgba_png(self.dir / guess)[:2], (width, rows))
        w, h, known = read_rgba_png(self.dir / picture)
        self.assertEqual((w, h), (width, rows))
        shown = [i for i in range(w * h) if known[4 * i + 3]]
        self.assertEqual([known[4 * i:4 * i + 4] for i in shown], [last[3 * i:3 * i + 3] + b"\xff" for i in shown])
        self.assertEqual(round(out["knownShare"] * w * h), len(shown))

    def test_recover_writes_both_pictures(self):
        data, original = remnant(320, 200, 40)
        self.write("shot.png", data)
        self.write("shot.recovered.png", b"taken")
        for args, found, picture in [([], True, "shot.recovered(1).png"), (["--width", "320"], False,
                                                                          "shot.recovered(2).png")]:
            with self.subTest(args=args):
                r = run("--recover", "--json", *args, "shot.png", cwd=self.dir, text=False)
                self.assertEqual(r.returncode, 0, r.stderr)
                (rec,) = json_lines(r.stdout)
                guess = "shot.guessed.png" if found else "shot.guessed(1).png"
                self.assert_recovered(rec, "shot.png", original, 320, found, picture, guess)
        self.assertEqual((self.dir / "shot.png").read_bytes(), data)
        r = run("--recover", "shot.png", cwd=self.dir)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertRegex(r.stdout, r"^shot\.png: \d+ rows of 320 pixels rebuilt \(width found\), \d+\.\d% known for "
                                   f"certain -> {re.escape(str(self.dir / 'shot.recovered(3).png'))}, "
                                   f"{re.escape(str(self.dir / 'shot.guessed(2).png'))}\n$")

    def test_recover_nothing_to_recover_or_rebuild(self):
        self.write("plain.png", self.cover)
        self.write("garbage.png", self.cover + bytes(range(256)) * 4 + IEND)
        self.write("huge.png", self.cover + bytes(64 * 1024 * 1024 - 11) + IEND)
        cases = [("hidden.png", "nothing to recover", "hidden.png: nothing to recover (the data after the image is of "
                                                      "kind jpeg, not a PNG remnant)"),
                 ("plain.png", "nothing to recover", "plain.png: nothing to recover (nothing after the end of the image)"),
                 ("garbage.png", "nothing rebuilt", "garbage.png: nothing rebuilt: "),
                 ("huge.png", "nothing rebuilt", "huge.png: nothing rebuilt: a remnant of 67,108,865 bytes, more than the "
                                                 "67,108,864 read")]
        before = self.files()
        for name, status, line in cases:
            with self.subTest(name=name):
                r = run("--recover", "--max-size", "0", name, cwd=self.dir)
                self.assertEqual((r.returncode, r.stdout), (1, ""))
                self.assertTrue(r.stderr.startswith(line) and r.stderr.endswith("\n") and r.stderr.count("\n") == 1,
                                r.stderr)
                r = run("--recover", "--json", "--max-size", "0", name, cwd=self.dir, text=False)
                (rec,) = json_lines(r.stdout)
                self.assertEqual(set(rec["recover"]), RECOVER_KEYS)
                self.assertEqual((rec["recover"]["status"], rec["recover"]["picture"], rec["recover"]["guess"],
                                  rec["recover"]["rows"]), (status, None, None, 0))
                self.assertTrue(rec["recover"]["message"])
        r = run("--recover", "--json", "missing.png", cwd=self.dir, text=False)
        self.assertEqual([rec["recover"] for rec in json_lines(r.stdout)], [None])
        self.assertEqual(self.files(), before)

    def test_recover_usage_errors(self):
        for args in (["--width", "0"], ["--width", "-1"], ["--width", "abc"], ["--width=", "hidden.png"],
                     ["--width", "2147483648"], ["--width"], ["--check"]):
            with self.subTest(args=args):
                r = run("--recover", *args, "hidden.png", cwd=self.dir) if args != ["--width"] else \
                    run("--recover", "hidden.png", *args, cwd=self.dir)
                self.assertEqual(r.returncode, 2)
                self.assertIn("usage: vexlo-cli", r.stderr)
        self.assertEqual(run("--width", "640", "hidden.png", cwd=self.dir).returncode, 2)
        self.assertEqual(self.files(), ["hidden.png"])

if __name__ == "__main__":
    unittest.main()
