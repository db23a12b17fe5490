#!/usr/bin/env python3
"""The release zip of one Windows build, as scripts/dist.py writes it.

    dist_test.py ARCH VEXLO_EXE VEXLO_CLI_EXE      (ARCH: x86 or x64)
"""
import os
import re
import shutil
import sys
import tempfile
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True
sys.path[:0] = [HERE, os.path.join(HERE, '..', 'scripts')]
import dist  # noqa: E402
from pe_file import PeFile  # noqa: E402

ARCH, VEXLO, CLI = sys.argv[1:4]
BUILT = {'vexlo.exe': VEXLO, 'vexlo-cli.exe': CLI}


def read(path):
    with open(path, 'rb') as f:
        return f.read()


class DistTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp()
        cls.path = dist.write_zip(ARCH, VEXLO, CLI, os.path.join(cls.tmp, 'a'))
        cls.zip = zipfile.ZipFile(cls.path)
        cls.top = os.path.basename(cls.path)[:-len('.zip')]

    @classmethod
    def tearDownClass(cls):
        cls.zip.close()
        shutil.rmtree(cls.tmp)

    def test_entries(self):
        self.assertRegex(self.top, rf'^vexlo-\d+\.\d+[a-z]?-{ARCH}$')
        self.assertEqual(self.zip.namelist(), [f'{self.top}/{n}' for n in ('readme.txt', 'vexlo-cli.exe', 'vexlo.exe')])
        for info in self.zip.infolist():
            with self.subTest(info.filename):
                self.assertEqual((info.date_time, info.compress_type, info.extra),
                                 ((1980, 1, 1, 0, 0, 0), zipfile.ZIP_DEFLATED, b''))

    def test_programs_are_the_built_ones_for_the_zips_architecture(self):
        for name, built in BUILT.items():
            with self.subTest(name):
                member = os.path.join(self.tmp, name)
                with open(member, 'wb') as f:
                    f.write(self.zip.read(f'{self.top}/{name}'))
                self.assertEqual(read(member), read(built))
                self.assertEqual(PeFile(member).machine, ARCH)

    def test_readme_for_notepad(self):
        data = self.zip.read(f'{self.top}/readme.txt')
        self.assertTrue(data.startswith(b'\xef\xbb\xbf'), 'UTF-8 with a BOM')
        self.assertNotRegex(data, rb'\r(?!\n)|(?<!\r)\n', 'CRLF line endings only')
        text = data.decode('utf-8')
        for needed in ('Windows XP SP3', 'Windows XP x64 Edition', '手前に表示', 'Viewerを起動', self.top.split('-')[1]):
            self.assertIn(needed, text)

    def test_same_inputs_same_bytes(self):
        # Copies with another time and mode: nothing of the source files' metadata may leak in.
        copies = []
        for name, built in BUILT.items():
            copies.append(shutil.copy(built, os.path.join(self.tmp, 'copy-' + name)))
            os.chmod(copies[-1], 0o700)
            os.utime(copies[-1], (1234567890, 1234567890))
        again = dist.write_zip(ARCH, *copies, os.path.join(self.tmp, 'b'))
        self.assertEqual(read(again), read(self.path))


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1])
