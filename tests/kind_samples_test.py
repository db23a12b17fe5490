#!/usr/bin/env python3
"""Files made by the programs that make them, through TrailerKind (kind_of).

    kind_samples_test.py KIND_OF
"""
import pathlib
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).parent))
from make_kind_samples import make_samples  # noqa: E402

KIND_OF = sys.argv.pop(1)
EXPECTED = {
    'image.jpg': 'jpeg', 'image.png': 'png', 'image.gif': 'gif', 'image.bmp': 'bmp', 'image.tiff': 'tiff',
    'image.webp': 'webp', 'archive.zip': 'zip', 'archive.7z': '7z', 'archive.rar': 'rar', 'text.gz': 'gzip',
    'text.bz2': 'bzip2', 'text.xz': 'xz', 'text.zst': 'zstd', 'document.pdf': 'pdf', 'sound.wav': 'wav',
    'sound.mp3': 'mp3', 'tagged.mp3': 'mp3', 'sound.ogg': 'ogg', 'sound.mp4': 'mp4', 'video.avi': 'avi',
    'program.exe': 'exe', 'program.elf': 'elf', 'database.sqlite': 'sqlite', 'remnant-one-idat.bin': 'png-remnant',
    'remnant-idats.bin': 'png-remnant', 'zeros.bin': 'zeros', 'text.txt': 'text', 'data.bin': 'data',
}


class KindSamples(unittest.TestCase):
    def test_every_sample_gets_its_word(self):
        with tempfile.TemporaryDirectory(prefix='vexlo-kinds-') as d:
            out = pathlib.Path(d)
            make_samples(out)
            # Each png-remnant rule has its sample: without and with a whole IDAT header.
            self.assertNotIn(b'IDAT', (out / 'remnant-one-idat.bin').read_bytes())
            self.assertIn(b'IDAT', (out / 'remnant-idats.bin').read_bytes())
            names = list(EXPECTED)
            r = subprocess.run([KIND_OF, *names], cwd=out, capture_output=True, text=True, timeout=120)
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertEqual(dict(zip(names, r.stdout.split())), EXPECTED)


if __name__ == '__main__':
    unittest.main()
