#!/usr/bin/env python3
"""vexlo-cli under faults, one row each: real signals while a multi-GiB
output is being written, a kill that cannot be caught, private sources.

usage: fault_test.py VEXLO_CLI
"""
import os
import pathlib
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "scripts"))
import genkit  # noqa: E402

CLI = os.path.abspath(sys.argv.pop(1))

SIG = b"\x89PNG\r\n\x1a\n"
IHDR = b"\0\0\0\rIHDR\0\0\0\x01\0\0\0\x01\x08\0\0\0\0\0\0\0\0"  # the CRC is never read
IEND = b"\0\0\0\0IEND\xaeB`\x82"
JFIF = b"\xff\xd8\xff\xe0\x00\x10JFIF\x00" + bytes(9)
SPARSE = 3 << 30  # far more than can be written before the signal comes


def make_source(folder, size=SPARSE, mode=0o644):
    """big.png: a PNG, then a JPEG header and a sparse hole up to `size` bytes."""
    source = folder / "big.png"
    source.write_bytes(SIG + IHDR + IEND + JFIF)
    os.truncate(source, size)
    os.chmod(source, mode)
    return source


def names(folder):
    return sorted(p.name for p in folder.iterdir())


def start_writing(source):
    """vexlo-cli on `source`, returned once its temporary holds some bytes."""
    run = subprocess.Popen([CLI, "--max-size", "0", str(source)], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        parts = [p for p in source.parent.iterdir() if p.name.endswith(".part")]
        if parts and parts[0].stat().st_size > 0:
            return run, parts[0]
        if run.poll() is not None:
            break
        time.sleep(0.01)
    run.kill()
    run.wait()
    raise AssertionError("vexlo-cli never began writing")


# (signal, what a caught signal must leave): each ends the run as the signal
# would (status 128 + n in a shell) with nothing but the source left.
INTERRUPTIONS = [signal.SIGTERM, signal.SIGHUP, signal.SIGINT, signal.SIGPIPE]

# (source mode, umask, output mode): the source's read and write bits, less the umask.
PERMISSIONS = [(0o600, 0o022, 0o600), (0o644, 0o022, 0o644), (0o664, 0o002, 0o664), (0o666, 0o077, 0o600),
               (0o755, 0o022, 0o644)]


class Faults(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="vexlo-fault")
        self.folder = pathlib.Path(self.tmp.name)

    def tearDown(self):
        self.tmp.cleanup()

    def test_interruption_leaves_nothing(self):
        for sig in INTERRUPTIONS:
            with self.subTest(signal=sig.name):
                for p in self.folder.iterdir():
                    p.unlink()
                run, part = start_writing(make_source(self.folder))
                run.send_signal(sig)
                self.assertEqual(run.wait(timeout=20), -sig, "ended by the signal itself")
                self.assertEqual(names(self.folder), ["big.png"], f"{part.name} or an output left")

    def test_kill_leaves_at_most_a_temporary_that_the_next_run_ignores(self):
        source = make_source(self.folder)
        run, part = start_writing(source)
        run.kill()
        run.wait(timeout=20)
        self.assertEqual(names(self.folder), sorted(["big.png", part.name]))
        os.truncate(source, len(SIG + IHDR + IEND + JFIF) + 100)
        done = subprocess.run([CLI, str(source)], capture_output=True, text=True)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("big.jpg", done.stdout)
        self.assertEqual(names(self.folder), sorted(["big.jpg", "big.png", part.name]))

    def test_recover_commits_both_pictures_or_neither(self):
        # Every name of the second picture is a dangling link: free to the
        # existence test, refused when claimed, after the first is claimed.
        w, h, kept = 160, 100, 20
        px = bytes(((x * 3 + y * 5) ^ (x * y)) & 255 for y in range(h) for x in range(w * 3))
        original, crop = genkit.png(w, h, 2, px, idat_size=8192), genkit.png(w, kept, 2, px[:w * kept * 3])
        (self.folder / "shot.png").write_bytes(crop + original[len(crop):])
        for n in range(101):
            os.symlink("nowhere/x", self.folder / ("shot.guessed.png" if n == 0 else f"shot.guessed({n}).png"))
        before = names(self.folder)
        done = subprocess.run([CLI, "--recover", "shot.png"], cwd=self.folder, capture_output=True, text=True)
        self.assertEqual(done.returncode, 1, done.stderr)
        self.assertIn("no free output name", done.stdout + done.stderr)
        self.assertEqual(names(self.folder), before, "the first picture went again")

    def test_output_keeps_the_source_private(self):
        for source_mode, umask, expected in PERMISSIONS:
            with self.subTest(source=oct(source_mode), umask=oct(umask)):
                for p in self.folder.iterdir():
                    p.unlink()
                source = make_source(self.folder, size=len(SIG + IHDR + IEND + JFIF) + 10, mode=source_mode)
                done = subprocess.run([CLI, str(source)], capture_output=True,
                                      preexec_fn=lambda u=umask: os.umask(u))
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertEqual((self.folder / "big.jpg").stat().st_mode & 0o777, expected)


if __name__ == "__main__":
    unittest.main(verbosity=2)
