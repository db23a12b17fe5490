#!/usr/bin/env python3
"""What a Windows loader checks before running our programs.

    exe_test.py IMPORT_LIST VEXLO_EXE VEXLO_CLI_EXE

The machine and subsystem of each program, the oldest Windows its PE header
admits, and its import table against the committed list of allowed imports.
"""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from pe_file import PeFile  # noqa: E402

IMPORT_LIST, VEXLO, CLI = sys.argv[1:4]
# The build's architecture is read off vexlo.exe; both programs must match it.
ARCH = PeFile(VEXLO).machine
# Oldest Windows per architecture: XP (5.1) for x86, XP x64 Edition (5.2) for x64.
FLOOR = {'x86': (5, 1), 'x64': (5, 2)}
ALLOWED_SINCE = {'2000', 'XP'}


def allowed_imports():
    """{(dll, function): since} for this architecture's lines."""
    allowed = {}
    with open(IMPORT_LIST) as f:
        for number, line in enumerate(f, 1):
            fields = line.split('#', 1)[0].split()
            if not fields:
                continue
            if len(fields) != 4 or fields[3] not in ('both', 'x86', 'x64'):
                raise ValueError(f'{IMPORT_LIST}:{number}: expected "dll function since build"')
            dll, function, since, build = fields
            if build in ('both', ARCH):
                allowed[(dll, function)] = since
    return allowed


class ExeTest(unittest.TestCase):
    def test_header(self):
        for path, subsystem in ((VEXLO, 'gui'), (CLI, 'console')):
            with self.subTest(os.path.basename(path)):
                pe = PeFile(path)
                self.assertIn(ARCH, FLOOR)
                self.assertEqual((pe.machine, pe.pe32_plus), (ARCH, ARCH == 'x64'))
                self.assertEqual(pe.subsystem, subsystem)
                self.assertLessEqual(pe.os_version, FLOOR[ARCH])
                self.assertLessEqual(pe.subsystem_version, FLOOR[ARCH])

    def test_imports_are_the_committed_list(self):
        allowed = allowed_imports()
        newer = {name: since for name, since in allowed.items() if since not in ALLOWED_SINCE}
        self.assertEqual(newer, {}, f'the list admits imports newer than XP, or a version other than {ALLOWED_SINCE}')
        imported = PeFile(VEXLO).imports() | PeFile(CLI).imports()
        self.assertEqual(sorted(imported - allowed.keys()), [], 'imports missing from ' + IMPORT_LIST)
        self.assertEqual(sorted(allowed.keys() - imported), [], f'lines of {IMPORT_LIST} that no {ARCH} program imports')


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1] + sys.argv[4:], verbosity=2)
