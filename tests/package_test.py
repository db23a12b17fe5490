#!/usr/bin/env python3
"""vexlo-cli installed on Linux: `cmake --install` of this build into a
scratch prefix, and the Debian package as `make deb` writes it.

    package_test.py BUILD_DIR [unittest arguments]

The manual renders without warnings and, like the bash completion, knows
every option that --help lists; the completion offers what each place
takes. The package is the same bytes when packed twice, unpacks to a
program that runs, names its dependencies, and lintian finds no error in it.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.dont_write_bytecode = True
sys.path.insert(0, str(HERE.parent / 'scripts'))
import deb  # noqa: E402

BUILD = Path(sys.argv.pop(1)).resolve()
INSTALLED = ['bin/vexlo-cli', 'share/man/man1/vexlo-cli.1', 'share/bash-completion/completions/vexlo-cli',
             'share/doc/vexlo-cli/README.md', 'share/doc/vexlo-cli/copyright']
SECTIONS = ['NAME', 'SYNOPSIS', 'DESCRIPTION', 'OPTIONS', 'EXIT STATUS', 'FILES', 'EXAMPLES', 'SEE ALSO']


def run(*command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, timeout=120, **kwargs)


def version_line(program):
    r = run(str(program), '--version')
    return r.returncode, r.stdout


class Installed(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.prefix = Path(tempfile.mkdtemp(prefix='vexlo-install-'))
        r = run('cmake', '--install', str(BUILD), '--prefix', str(cls.prefix))
        assert r.returncode == 0, r.stdout + r.stderr
        help_text = run(str(BUILD / 'vexlo-cli'), '--help').stdout
        cls.options = set(re.findall(r'(?<![\w-])(--?[a-z][a-z-]*)', help_text)) - {'-'}

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.prefix)

    def test_files_in_their_places_and_the_program_runs(self):
        self.assertEqual(sorted(str(p.relative_to(self.prefix)) for p in self.prefix.rglob('*') if p.is_file()),
                         sorted(INSTALLED))
        self.assertEqual(version_line(self.prefix / 'bin' / 'vexlo-cli'), version_line(BUILD / 'vexlo-cli'))

    def test_manual_renders_without_warnings_and_describes_every_option(self):
        page = self.prefix / 'share' / 'man' / 'man1' / 'vexlo-cli.1'
        r = run('man', '--warnings', '-l', str(page), env=dict(os.environ, MANWIDTH='80'))
        self.assertEqual((r.returncode, r.stderr), (0, ''))
        self.assertEqual([s for s in SECTIONS if re.search(f'^{s}$', r.stdout, re.M)], SECTIONS)
        self.assertIn(version_line(BUILD / 'vexlo-cli')[1].strip(), r.stdout)
        # Each option heads a paragraph of its own: the line after a .TP.
        lines = page.read_text().replace('\\-', '-').splitlines()
        tagged = {o for before, tag in zip(lines, lines[1:]) if before == '.TP'
                  for o in re.findall(r'(?<![\w-])(--?[a-z][a-z-]*)', tag)}
        self.assertGreater(len(self.options), 10, self.options)
        self.assertEqual(sorted(self.options - tagged), [], 'options of --help that the manual does not describe')

    def test_completion_offers_what_each_place_takes(self):
        script = self.prefix / 'share' / 'bash-completion' / 'completions' / 'vexlo-cli'
        cwd = Path(tempfile.mkdtemp(prefix='vexlo-complete-'))
        self.addCleanup(shutil.rmtree, cwd)
        for name in ('a.png', 'b.dat', '-x.png'):
            (cwd / name).write_bytes(b'')
        (cwd / 'pics').mkdir()
        everything = sorted(self.options | {'--'})
        cases = [
            (['-'], everything),
            (['--re'], ['--recover', '--recursive']),
            ([''], ['-x.png', 'a.png', 'b.dat', 'pics']),
            (['a'], ['a.png']),
            (['--json', '-r', ''], ['pics']),
            (['--recursive', 'p'], ['pics']),
            (['--max-size', ''], []),
            (['--max-size', '=', ''], []),
            (['--width', '1'], []),
            (['--', '-'], ['-x.png']),
            (['--', '-r', ''], ['-x.png', 'a.png', 'b.dat', 'pics']),
        ]
        for words, expected in cases:
            with self.subTest(words=words):
                line = ' '.join(f"'{w}'" for w in ['vexlo-cli', *words])
                r = run('bash', '-c', f'. "$0"; COMP_WORDS=({line}); COMP_CWORD={len(words)}; _vexlo_cli; '
                                      'printf "%s\\n" "${COMPREPLY[@]}"', str(script), cwd=cwd)
                self.assertEqual(r.stderr, '')
                self.assertEqual(sorted(filter(None, r.stdout.split('\n'))), expected)


class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = Path(tempfile.mkdtemp(prefix='vexlo-deb-test-'))
        cls.path = Path(deb.write_deb(str(BUILD), str(cls.tmp / 'a')))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp)

    def test_name_fields_and_the_same_bytes_again(self):
        fields = {k: run('dpkg-deb', '-f', str(self.path), k).stdout.strip() for k in ('Package', 'Version', 'Architecture',
                                                                                   'Depends')}
        arch = run('dpkg', '--print-architecture').stdout.strip()
        self.assertEqual(self.path.name, f"vexlo-cli_{fields['Version']}_{arch}.deb")
        self.assertEqual((fields['Package'], fields['Architecture']), ('vexlo-cli', arch))
        self.assertIn(fields['Version'], version_line(BUILD / 'vexlo-cli')[1])
        # What dpkg-shlibdeps found: the C library at least, with a version.
        self.assertRegex(fields['Depends'], r'(^|, )libc6 \(>= [\d.]+\)')
        again = deb.write_deb(str(BUILD), str(self.tmp / 'b'))
        self.assertTrue(Path(again).read_bytes() == self.path.read_bytes(), 'packed twice, different bytes')

    def test_unpacked_program_runs(self):
        root = self.tmp / 'unpacked'
        r = run('dpkg-deb', '-x', str(self.path), str(root))
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(version_line(root / 'usr' / 'bin' / 'vexlo-cli'), version_line(BUILD / 'vexlo-cli'))
        self.assertTrue((root / 'usr' / 'share' / 'man' / 'man1' / 'vexlo-cli.1.gz').is_file())

    def test_lintian_finds_no_error(self):
        r = run('lintian', '--fail-on', 'error', str(self.path))
        self.assertEqual([line for line in r.stdout.splitlines() if line.startswith('E:')], [], r.stdout)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)


if __name__ == '__main__':
    unittest.main(verbosity=2)
