#!/usr/bin/env python3
"""vexlo-cli run as a process: exit codes, output lines, files written."""
import pathlib
import shutil
import subprocess
import sys
import tempfile
import unittest

CLI = sys.argv.pop(1)
SAMPLES = pathlib.Path(sys.argv.pop(1))


def run(*args, cwd=None):
    return subprocess.run([CLI, *map(str, args)], capture_output=True, text=True, cwd=cwd, timeout=60)


class Cli(unittest.TestCase):
    def setUp(self):
        self.dir = pathlib.Path(tempfile.mkdtemp(prefix="vexlo-cli-"))
        self.addCleanup(shutil.rmtree, self.dir)
        shutil.copy(SAMPLES / "hidden.png", self.dir)
        self.png = (SAMPLES / "hidden.png").read_bytes()
        self.payload = (SAMPLES / "payload.jpg").read_bytes()

    def files(self):
        return sorted(p.name for p in self.dir.iterdir())

    def test_extracts_the_hidden_jpeg_byte_exact(self):
        r = run(self.dir / "hidden.png")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout, f"{self.dir / 'hidden.png'}: {len(self.payload)} bytes -> {self.dir / 'hidden.jpg'}\n")
        self.assertEqual((self.dir / "hidden.jpg").read_bytes(), self.payload)
        self.assertEqual((self.dir / "hidden.png").read_bytes(), self.png)

    def test_files_in_order_and_any_failure_gives_1(self):
        (self.dir / "plain.png").write_bytes(self.png[: len(self.png) - len(self.payload)])
        (self.dir / "text.png").write_text("hello")
        r = run("hidden.png", "missing.png", "plain.png", "text.png", "hidden.png", cwd=self.dir)
        self.assertEqual(r.returncode, 1)
        self.assertEqual(r.stdout.splitlines(), [
            f"hidden.png: {len(self.payload)} bytes -> {self.dir / 'hidden.jpg'}",
            f"hidden.png: {len(self.payload)} bytes -> {self.dir / 'hidden(1).jpg'}",
        ])
        self.assertEqual(r.stderr.splitlines(), [
            "missing.png: no such file",
            "plain.png: nothing after the end of the image",
            "text.png: not a PNG file",
        ])

    def test_check_writes_nothing(self):
        before = self.files()
        r = run("--check", "hidden.png", cwd=self.dir)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn(f"{len(self.payload)} bytes", r.stdout)
        self.assertIn(".jpg", r.stdout)
        self.assertIn(str(self.dir / "hidden.jpg"), r.stdout)
        self.assertEqual(self.files(), before)
        r = run("--check", "nothing.png", cwd=self.dir)
        self.assertEqual((r.returncode, r.stderr), (1, "nothing.png: no such file\n"))

    def test_usage(self):
        for args, code, stream in [((), 2, "stderr"), (("--bogus", "hidden.png"), 2, "stderr"),
                                   (("-h",), 0, "stdout"), (("--help",), 0, "stdout")]:
            with self.subTest(args=args):
                r = run(*args, cwd=self.dir)
                self.assertEqual(r.returncode, code)
                self.assertIn("usage: vexlo-cli", getattr(r, stream))
        self.assertEqual(self.files(), ["hidden.png"])
        self.assertEqual(run("--version").stdout, "vexlo 0.91b\n")

    def test_double_dash_ends_options(self):
        shutil.copy(self.dir / "hidden.png", self.dir / "--check")
        r = run("--", "--check", cwd=self.dir)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual((self.dir / "--check.jpg").read_bytes(), self.payload)


if __name__ == "__main__":
    unittest.main()
