#!/usr/bin/env python3
"""vexlo-cli --recover end to end on the small cropped-screenshot corpus
(bench/recover/make_corpus.py --small, made in a temporary folder): every
remnant recognised and rebuilt at the original's width, found without
--width, its rows the original's last ones, and no pixel shown as known
differing from the original.

usage: recover_corpus_test.py VEXLO_CLI
"""
import json
import os
import subprocess
import sys
import tempfile
import unittest

CLI = os.path.abspath(sys.argv.pop(1))
TOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
sys.path.insert(0, os.path.join(TOP, "bench", "recover"))
import truth  # noqa: E402


def run(*args):
    out = subprocess.run([CLI, *args], capture_output=True, text=True, timeout=120).stdout
    return [json.loads(line) for line in out.splitlines()]


class RecoverCorpusTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.corpus = cls.tmp.name
        subprocess.run([sys.executable, os.path.join(TOP, "bench", "recover", "make_corpus.py"), cls.corpus,
                        "--small"], check=True, capture_output=True)
        with open(os.path.join(cls.corpus, "manifest.json")) as f:
            cls.names = json.load(f)["cases"]
        files = [os.path.join(cls.corpus, n + ".png") for n in cls.names]
        cls.kinds = {line["path"]: line["kind"] for line in run("--check", "--json", *files)}
        cls.lines = dict(zip(cls.names, run("--recover", "--json", *files)))

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_every_case(self):
        self.assertGreaterEqual(len(self.names), 6)
        for name in self.names:
            with self.subTest(case=name):
                case = truth.Case(self.corpus, name)
                self.assertEqual(self.kinds[os.path.join(self.corpus, name + ".png")], "png-remnant")
                rec = self.lines[name]["recover"]
                self.assertEqual((rec["status"], rec["width"], rec["widthFound"], rec["bytesPerPixel"]),
                                 ("recovered", case.width, True, case.bpp))
                # Rows end with the original's last one: the inflated bytes are the
                # end of its scanlines, from a true block start after the cut.
                found = case.from_bit(rec["startBit"])
                self.assertIsNotNone(found, "startBit %d" % rec["startBit"])
                self.assertEqual(rec["inflatedBytes"], len(found[0]))
                self.assertTrue(1 <= rec["rows"] <= min(case.facts["rowsAfterCut"],
                                                        rec["inflatedBytes"] // (1 + case.width * case.bpp)))
                pictures = [truth.read_rgba(rec[key]) for key in ("picture", "guess")]
                for width, rows, _ in pictures:
                    self.assertEqual((width, rows), (case.width, rec["rows"]))
                # No pixel shown as known differs from the original, and every pixel
                # exact tracking proves from that start is shown (the photo rows of
                # the filter None cases have many).
                self.assertEqual(case.violations(pictures[0]), 0)
                proven = sum(c or 0 for c in truth.known_pixels(found, case.width, case.bpp, case.height)
                             [case.height - rec["rows"]:])
                shown = sum(1 for a in pictures[0][2][3::4] if a)
                if case.bpp == 3:  # an RGB original: alpha tells the known pixels
                    self.assertAlmostEqual(rec["knownShare"], shown / (case.width * rec["rows"]), places=5)
                self.assertGreaterEqual(round(rec["knownShare"] * case.width * rec["rows"]), proven)
                # The guess fills in the unknown pixels only.
                known, guess = pictures[0][2], pictures[1][2]
                self.assertFalse([i for i in range(0, len(known), 4) if known[i + 3] and known[i:i + 4] != guess[i:i + 4]])


if __name__ == "__main__":
    unittest.main()
