#!/usr/bin/env python3
"""vexlo-cli --recover end to end on the small cropped-screenshot corpus
(bench/recover/make_corpus.py --small, made in a temporary folder): every
remnant recognised and rebuilt at the original's width, found without
--width, its rows the original's last ones, and no pixel shown as known
differing from the original; and a seeded slice of the width property run.

usage: recover_corpus_test.py VEXLO_CLI [GROUP ...]   (a group: a test class below)
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

CLI = os.path.abspath(sys.argv.pop(1))
TOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
sys.path.insert(0, os.path.join(TOP, "bench", "recover"))
import truth  # noqa: E402


def run(*args):
    out = subprocess.run([CLI, *args], capture_output=True, text=True, timeout=600).stdout
    return [json.loads(line) for line in out.splitlines()]


def make_corpus(folder, *args):
    subprocess.run([sys.executable, os.path.join(TOP, "bench", "recover", "make_corpus.py"), folder, "--small", *args],
                   check=True, capture_output=True)
    with open(os.path.join(folder, "manifest.json")) as f:
        return json.load(f)["cases"]


def refused_for_width(rec):
    """Too little evidence for a width: nothing shown, and the message says so."""
    return (rec["status"], rec["widthFound"], rec["picture"]) == ("nothing rebuilt", False, None) and \
        "width" in rec["message"]


class RecoverCorpusTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.corpus = cls.tmp.name
        cls.names = make_corpus(cls.corpus)
        files = [os.path.join(cls.corpus, n + ".png") for n in cls.names]
        cls.kinds = {line["path"]: line["kind"] for line in run("--check", "--json", *files)}
        cls.lines = dict(zip(cls.names, run("--recover", "--json", *files)))

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_every_case(self):
        self.assertGreaterEqual(len(self.names), 6)
        # A width the data cannot tell is refused rather than guessed; most are told.
        refused = [n for n in self.names if refused_for_width(self.lines[n]["recover"])]
        self.assertLessEqual(len(refused), len(self.names) // 3, refused)
        for name in self.names:
            with self.subTest(case=name):
                case = truth.Case(self.corpus, name)
                self.assertEqual(self.kinds[os.path.join(self.corpus, name + ".png")], "png-remnant")
                rec = self.lines[name]["recover"]
                if name in refused:
                    continue
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
                    self.assertEqual(round(rec["knownShare"] * case.width * rec["rows"]), shown)
                self.assertGreaterEqual(round(rec["knownShare"] * case.width * rec["rows"]), proven)
                # The guess fills in the unknown pixels only.
                known, guess = pictures[0][2], pictures[1][2]
                self.assertFalse([i for i in range(0, len(known), 4) if known[i + 3] and known[i:i + 4] != guess[i:i + 4]])


class WidthFoundTest(unittest.TestCase):
    """Remnants whose width was once reported found but wrong: another corpus
    seed (a paeth and an adaptive case) and a 64-pixel Up-filtered RGBA
    picture behind a header claiming 320 pixels, whose first inflated block
    comes from a start found by chance. From tests/recover_cases: a
    Sub-filtered RGB picture 360 wide once read as 270 RGBA pixels (the same
    stride), an RGBA one 3,639 wide whose pattern every 221 pixels was read
    as two rows of 147 RGB pixels, and one 3,670 wide whose pattern every 61
    pixels was read as rows of 81 RGB pixels."""

    def test_width_is_the_originals_or_refused(self):
        with tempfile.TemporaryDirectory() as folder:
            sys.path.insert(0, os.path.join(TOP, "fuzz"))
            sys.path.insert(0, os.path.join(TOP, "scripts"))
            import genkit
            import make_seeds
            header = genkit.png(320, 40, 6, bytes(320 * 40 * 4))
            with open(os.path.join(folder, "up-rgba-64x48.png"), "wb") as f:
                f.write(header + make_seeds.recover_seeds()["up_6"][2:])
            fixtures = ["up-rgba-64x48", "sub-rgb-360x235", "mixed-rgba-3639x101", "mixed-rgba-3670x100"]
            for name in fixtures[1:]:
                shutil.copy(os.path.join(TOP, "tests", "recover_cases", name + ".png"), folder)
            names = fixtures + make_corpus(folder, "--seed", "1")
            files = [os.path.join(folder, n + ".png") for n in names]
            for name, line in zip(names, run("--recover", "--json", *files)):
                with self.subTest(case=name):
                    rec = line["recover"]
                    width = int(name.rsplit("-", 1)[1].split("x")[0])
                    original = ("recovered", width, 4 if "-rgba-" in name else 3)
                    self.assertTrue(refused_for_width(rec) or (rec["status"], rec["width"], rec["bytesPerPixel"]) ==
                                    original, rec)
                    if rec["status"] == "recovered" and name not in fixtures:
                        self.assertEqual(truth.Case(folder, name).violations(truth.read_rgba(rec["picture"])), 0)


class GuessTest(unittest.TestCase):
    """Screens from tests/recover_cases, most cropped from the top left,
    whose text area the guess once filled with a side panel's colour. Per row: the
    file, its width, the text area's columns, the colours it must come out
    in, and the least share of its pixels in them.

    - mixed-rgb-2560x322: under Sub, the text area (a light background, dark
      text) starts at a panel's edge copied from the lost window in every
      row; the panel's colour is as common in the cropped picture as the
      background.
    - average-rgba-360x335: under Average, cropped well above the rows
      rebuilt; the lavender background runs down below a grey-green panel,
      which only the colour each of the cropped picture's columns keeps down
      its last rows tells apart.
    - paeth-rgb-412x333: under Paeth, a region cropped from further right
      that ends far above the rows rebuilt, so nothing tells where it sits:
      taken as cropped from the top left, its columns still tell the light
      background (without them 15% of the pixels came out in it, against
      74% in the original).
    - paeth-rgb-1024x160: under Paeth, one wrong byte turns the text
      area's background a colour the cropped picture lacks, from the panel's
      edge on; undoing it with a shift of all three channels to the title
      bar's colour, which makes as many pixels common as the one-channel
      shift back to the background, painted the text area and the panel
      left of it dark (2% of the text area in its colour, 57% now).
    - average-rgba-1024x389: under Average, a wrong row above drifts the
      text area's light background into stripes of other colours all the
      way down; where the inflated bytes say the background is flat it is
      one colour (23% of the text area in it, 89% now, 86% in the
      original).
    - paeth-rgb-1024x419: under Paeth, wrong bytes at the glyphs' edges
      leave boxes of colours whose every channel some common colour has (a
      glyph's in one, the background's in the others), which the pass per
      channel leaves alone (74% of the text area in its background colour,
      84% now, 88% in the original).
    - none-rgba-1024x353: under None, only 4 filter bytes after the cut
      are inflated (the rest are copies); with each row's filter chosen on
      its own, the text area came out in stripes of the text's dark colour
      (29% of it in its light background, 87% now, as in the original).
    - paeth-rgba-1599x199: under Paeth, a region cropped from the middle;
      rows shifted by a wrong byte fit several common colours alike, and
      the first of them (a light bar's) painted the dark text area (6% of
      it in its colour, 84% now, 81% in the original).
    - mixed-rgb-1080x296: under None and Sub, rows shifted by a wrong byte
      fit the background and a dark bar's colour alike; the cropped
      picture's columns show the background there
      (17% of the text area in it, 74% now, 84% in the original).
    - average-rgb-777x355: under Average with no filter byte inflated, a
      region cropped from the middle; read as Sub, the text area's light
      background came out in streaks (44% of it in its colour, 81% then,
      84% in the original). Its place was not found either: right after
      the cut no run of inflated bytes is long enough to seek, so its rows
      were not used (81% of the text area in its two colours, 98% now, as
      in the original).
    - average-rgb-1280x256: under Average, cropped from the top left; the
      side panel's colour ran on through the dark text area right of it,
      flat as the true one; the text's edges, inflated whole, come out in
      the cropped picture's colours only on the dark background (0% of the
      text area in it, 84% now, 87% in the original).
    - paeth-rgb-2560x290: under Paeth, the light text area took the side
      panel's colour, directly or where areas of a colour the cropped
      picture lacks were given the common one they differ from in fewest
      channels; the text's edges, inflated whole, come out in the picture's
      colours only on the background (32% of the text area in it, 72% now,
      88% in the original). The glyphs inside an area so recoloured kept
      the colours the wrong background had given them until the area is
      held and the rows decoded again (76% of the text area in its two
      colours, 93% now, 99.7% in the original).
    - sub-rgba-1920x183: under Sub, the dark text area came out in another
      colour the cropped picture shows throughout; the text's edges tell
      its own (0% of the text area in it, 80% now, 78% in the original).
    - average-rgb-1080x344: under Average, a region cropped from the
      middle; the few runs of inflated bytes sought in it first all lay in
      a photo it left out, so it was not placed and the text area came out
      in streaks (47% of it in its two colours, 91% now, as in the
      original).
    - paeth-rgba-1080x335: under Paeth, a region cropped from a few rows
      below the cut; only places at or above the first rebuilt row were
      sought, so its rows were not used and the dark text area came out in
      streaks (24% of it in its colour, 82% now, 83% in the original).
    - none-rgb-1280x270: under None, cropped from the top left; only 2
      filter bytes after the cut are inflated, too few to read every row
      as None when comparing rows with the picture, so it was not placed
      and the side panel came out in dark streaks (60% of it in its
      background colour, 89% now, as in the original).
    - up-rgba-412x395: a region cropped from the middle; the rows whose
      filter byte is lost read best as Sub, and the side panel's edge,
      its bytes copied from the lost window row after row, was lost with
      them, so the panel took the text area's colour; the picture's
      columns keep the two colours on either side of the edge (3% of the
      panel in its colour, 88% now, 78% in the original).
    - none-rgb-1599x180: under None, cropped from the top left; the text
      area's columns end in a bar that fills most of the picture's last
      rows, with the light background only in the last four below it, and
      the background took the title bar's colour, the picture's most
      common (0.2% of the text area in its colour, 90% now, as in the
      original).
    - sub-rgb-1366x167: under Sub with no filter byte inflated, cropped
      from the top left; read as Average, the dark text area took the
      title bar's colour, and the count of pixels in the picture's colours
      kept that reading, the bar's colour being common; counted only where
      the picture's last rows show it in the same column, the Sub reading
      wins (0% of the text area in its colour, 52% now, 85% in the
      original).
    - paeth-rgb-1024x170: under Paeth with no filter byte inflated, cropped
      from the top left; the colours rate Sub a little higher, and read as
      Sub the text came out in streaks; Paeth, rated within 5%, is tried
      too and wins by the picture's columns (32% of the text area in its
      two colours, all of it now, as in the original).
    - up-rgb-1024x277: under Up, cropped from the top left; right of a
      photo, every common colour fits the dark background's columns
      alike, and they took the side panel's, the most common; a column
      that ties now continues the one to its left (4% of those columns in
      the background's colour, 68% now, as in the original).
    - paeth-rgba-1080x221: under Paeth, a dark screen cropped from the top
      left well above the cut; one pixel of the lost window, the step from
      a glyph's ink back to the background, is copied 8,000 times, and left
      as nothing added it turned the text area into streaks (8% of it in
      its two colours, 52% now, 94% in the original).
    - paeth-rgba-1080x214: under Paeth, a region cropped from the middle;
      right of it the wrong row above left each column of the light text
      area its own error down the background between the lines of text,
      stripes one column wide that no pass over areas takes up, and the
      text below each band was rebuilt from them (73% of the text area in
      its two colours, 84% now, 86% in the original).
    - average-rgb-1173x166: under Average, a region cropped from the
      middle of a text area; left of it each column of the row above the
      first took a colour on its own, and on ties not the text area's
      (14% of the text area left of the picture in its two colours, all
      of it now, as in the original).
    - average-rgb-1080x305: under Average, cropped from the top left,
      ending four rows below the first rebuilt one; those rows share too
      few inflated bytes with it to reach the agreement a place needs,
      though no other row agrees at all, so its rows were not used (59% of
      the text area in its two colours, 96% now, all of it in the
      original).
    - paeth-rgb-1024x162: under Paeth, cropped from the top left; the
      picture's most common colour is its title bar's, which its lower
      rows never show, and columns of the light text area took it and ran
      it down the rows (23% of the text area in its background colour, 67%
      now, 81% in the original).
    - average-rgb-1173x355: under Average, cropped from the top left; the
      light background drifted darker from one line of text to the next,
      and each flat area between two lines, though no colour held even a
      tenth of it, took the colour most of its pixels had and was held so,
      carrying the drift down (11% of the text area in its background
      colour, 62% now, 56% in the original, whose glyphs' edges the guess
      partly leaves out).
    - up-rgba-412x355: under Up, cropped from the top left; below a photo
      at the right edge, every common colour fits the light background's
      columns alike, and they took a dark bar's; the ink and edges of the
      text in them tell the background the columns beside them have (2% of
      those columns in its colour, 78% now, 76% in the original).
    - mixed-rgb-1080x277: under Sub, cropped from the top left; the dark
      text area's glyphs are lost with the window, and its edge, copied
      from the window in every row, took the olive panel's colour, twice
      as common in the cropped picture, though the picture's columns
      there show the dark one (0% of the text area in its colour, 73% now,
      80% in the original)."""

    CASES = [
        ("mixed-rgb-2560x322", 2560, (400, 1500), {bytes([235, 226, 231, 255]), bytes([25, 21, 15, 255])}, 0.9),
        ("average-rgba-360x335", 360, (60, 240), {bytes([245, 225, 255, 255])}, 0.7),
        ("paeth-rgb-412x333", 412, (0, 412), {bytes([246, 248, 251, 255])}, 0.5),
        ("paeth-rgb-1024x160", 1024, (134, 786), {bytes([249, 251, 246, 255])}, 0.5),
        ("average-rgba-1024x389", 1024, (180, 780), {bytes([246, 248, 248, 255])}, 0.7),
        ("paeth-rgb-1024x419", 1024, (150, 740), {bytes([231, 240, 230, 255])}, 0.8),
        ("none-rgba-1024x353", 1024, (150, 800), {bytes([229, 240, 240, 255])}, 0.8),
        ("paeth-rgba-1599x199", 1599, (230, 1200), {bytes([44, 33, 50, 255])}, 0.7),
        ("mixed-rgb-1080x296", 1080, (180, 800), {bytes([234, 236, 226, 255])}, 0.6),
        ("average-rgb-777x355", 777, (150, 600), {bytes([249, 255, 253, 255]), bytes([25, 23, 29, 255])}, 0.95),
        ("average-rgb-1280x256", 1280, (200, 1000), {bytes([42, 38, 47, 255])}, 0.7),
        ("paeth-rgb-2560x290", 2560, (420, 1800), {bytes([242, 254, 229, 255]), bytes([42, 18, 23, 255])}, 0.85),
        ("sub-rgba-1920x183", 1920, (300, 1500), {bytes([32, 48, 36, 255])}, 0.6),
        ("average-rgb-1080x344", 1080, (270, 770), {bytes([232, 253, 231, 255]), bytes([37, 45, 58, 255])}, 0.85),
        ("paeth-rgba-1080x335", 1080, (300, 700), {bytes([32, 41, 31, 255])}, 0.7),
        ("none-rgb-1280x270", 1280, (10, 190), {bytes([217, 231, 235, 255])}, 0.8),
        ("up-rgba-412x395", 412, (0, 40), {bytes([211, 232, 232, 255])}, 0.6),
        ("none-rgb-1599x180", 1599, (300, 1250), {bytes([252, 249, 253, 255])}, 0.8),
        ("sub-rgb-1366x167", 1366, (300, 1000), {bytes([30, 40, 38, 255])}, 0.4),
        ("paeth-rgb-1024x170", 1024, (200, 750), {bytes([243, 226, 249, 255]), bytes([15, 47, 10, 255])}, 0.8),
        ("up-rgb-1024x277", 1024, (850, 1020), {bytes([44, 30, 22, 255])}, 0.6),
        ("paeth-rgba-1080x221", 1080, (120, 680), {bytes([32, 41, 36, 255]), bytes([232, 224, 211, 255])}, 0.4),
        ("paeth-rgba-1080x214", 1080, (200, 880), {bytes([248, 249, 251, 255]), bytes([30, 21, 16, 255])}, 0.8),
        ("average-rgb-1173x166", 1173, (230, 322), {bytes([240, 249, 235, 255]), bytes([1, 51, 0, 255])}, 0.9),
        ("average-rgb-1080x305", 1080, (200, 760), {bytes([234, 244, 233, 255]), bytes([51, 44, 17, 255])}, 0.9),
        ("paeth-rgb-1024x162", 1024, (150, 700), {bytes([252, 246, 247, 255])}, 0.6),
        ("average-rgb-1173x355", 1173, (300, 1000), {bytes([233, 243, 241, 255])}, 0.5),
        ("up-rgba-412x355", 412, (345, 412), {bytes([254, 244, 227, 255])}, 0.6),
        ("mixed-rgb-1080x277", 1080, (250, 1000), {bytes([32, 42, 39, 255])}, 0.6),
    ]

    def test_text_area_keeps_its_colours(self):
        for name, original_width, (left, right), colours, share in self.CASES:
            with self.subTest(case=name), tempfile.TemporaryDirectory() as folder:
                shutil.copy(os.path.join(TOP, "tests", "recover_cases", name + ".png"), folder)
                rec = run("--recover", "--json", os.path.join(folder, name + ".png"))[0]["recover"]
                self.assertEqual((rec["status"], rec["width"]), ("recovered", original_width), rec)
                width, height, rgba = truth.read_rgba(rec["guess"])
                area = [rgba[(y * width + x) * 4:(y * width + x) * 4 + 4]
                        for y in range(height) for x in range(left, right)]
                self.assertGreaterEqual(sum(p in colours for p in area), share * len(area))


class PropertySliceTest(unittest.TestCase):
    """A seeded slice of the width property run (make_corpus.py --kind
    property --slice): widths from 200 to 4,000, RGB and RGBA, every filter
    strategy and level. A width is the original's or refused, never another,
    and no pixel shown as known differs from the original."""

    def test_no_wrong_width(self):
        with tempfile.TemporaryDirectory() as folder:
            subprocess.run([sys.executable, os.path.join(TOP, "bench", "recover", "make_corpus.py"), folder,
                            "--kind", "property", "--slice", "--seed", "7", "--count", "40"],
                           check=True, capture_output=True)
            with open(os.path.join(folder, "manifest.json")) as f:
                names = json.load(f)["cases"]
            files = [os.path.join(folder, n + ".png") for n in names]
            recovered = 0
            for name, line in zip(names, run("--recover", "--json", *files)):
                with self.subTest(case=name):
                    rec, case = line["recover"], truth.Case(folder, name)
                    if rec["status"] != "recovered":
                        continue
                    recovered += 1
                    self.assertEqual((rec["width"], rec["bytesPerPixel"]), (case.width, case.bpp))
                    self.assertEqual(case.violations(truth.read_rgba(rec["picture"])), 0)
            self.assertGreaterEqual(recovered, 8)


class SizeLimitTest(unittest.TestCase):
    """--recover reads sources of any size by default (the recovery bounds
    what it reads itself); --max-size still sets a limit."""

    def test_large_source(self):
        with tempfile.TemporaryDirectory() as folder:
            sys.path.insert(0, os.path.join(TOP, "scripts"))
            import genkit
            name = make_corpus(folder, "--count", "1")[0]
            with open(os.path.join(folder, name + ".png"), "rb") as f:
                data = f.read()
            # A private chunk of 2.1 MB in the cropped picture, before its IHDR's successor.
            at = 8 + 25
            big = data[:at] + genkit.chunk(b"zzZz", bytes(2_100_000)) + data[at:]
            path = os.path.join(folder, "big.png")
            with open(path, "wb") as f:
                f.write(big)
            rec = run("--recover", "--json", path)[0]["recover"]
            self.assertIn(rec["status"], ("recovered", "nothing rebuilt"))
            self.assertEqual(rec["status"], run("--recover", "--json", os.path.join(folder, name + ".png"))[0]
                             ["recover"]["status"])
            limited = subprocess.run([CLI, "--recover", "--max-size", "2048000", path], capture_output=True, text=True)
            self.assertIn("larger than 2,048,000 bytes", limited.stderr)


if __name__ == "__main__":
    unittest.main()
