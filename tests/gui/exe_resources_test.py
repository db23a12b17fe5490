#!/usr/bin/env python3
"""Reads vexlo.exe's resources back with icoutils and checks them.

    exe_resources_test.py VEXLO_EXE RES_DIR

Version information (fixed part, the Japanese/Unicode string table and the
translation), the icon's two images, the six pictures byte for byte, the
manifest, and that the program imports nothing but system DLLs.
"""
import os
import re
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), '..'))
from pe_file import PeFile  # noqa: E402

EXE, RES = sys.argv[1], sys.argv[2]
failures = []


def check(ok, what):
    print(('ok   ' if ok else 'FAIL ') + what)
    if not ok:
        failures.append(what)


def wrestool(*args):
    return subprocess.run(['wrestool', *args, EXE], check=True, capture_output=True).stdout


def parse_block(data, pos):
    """One VS_VERSIONINFO-style node: (key, value bytes, is_text, children, end)."""
    length, value_length, is_text = struct.unpack_from('<HHH', data, pos)
    end = pos + length
    key_end = pos + 6
    while data[key_end:key_end + 2] != b'\0\0':
        key_end += 2
    key = data[pos + 6:key_end].decode('utf-16-le')
    value_pos = (key_end + 2 + 3) & ~3
    size = value_length * 2 if is_text else value_length
    value = data[value_pos:value_pos + size]
    children, child = [], (value_pos + size + 3) & ~3
    while child < end:
        node = parse_block(data, child)
        children.append(node)
        child = (node[4] + 3) & ~3
    return key, value, is_text, children, end


# Version information.
version = wrestool('-x', '--raw', '-t', '16')
key, fixed, _, children, _ = parse_block(version, 0)
check(key == 'VS_VERSION_INFO', 'version resource present')
(sig, _, file_ms, file_ls, prod_ms, prod_ls, mask, flags, os_, ftype, subtype, _, _) = struct.unpack('<13I', fixed)
check(sig == 0xFEEF04BD, 'fixed version signature')
check((file_ms, file_ls) == (0x00000009, 0x00000001), 'file version 0.9.0.1')
check((prod_ms, prod_ls) == (0x00000009, 0x00000001), 'product version 0.9.0.1')
check(flags == 0, 'no file flags')
check(os_ == 0x00000004, 'operating system VOS__WINDOWS32')
check(ftype == 1, 'file type VFT_APP')

blocks = {c[0]: c for c in children}
tables = blocks.get('StringFileInfo', (None, None, None, [], None))[3]
check([t[0] for t in tables] == ['041104B0'], 'one string table, Japanese, code page 1200')
strings = {s[0]: s[1].decode('utf-16-le').rstrip('\0') for t in tables for s in t[3]}
expected = {
    'FileVersion': '0.09.0001',
    'ProductVersion': '0.09.0001',
    'ProductName': 'vexlo',
    'InternalName': 'vexlo',
    'OriginalFilename': 'vexlo.exe',
    'Comments': 'windows98/Me/2000/XP',
}
for k, v in expected.items():
    check(strings.get(k) == v, f'{k} = "{v}" (read "{strings.get(k)}")')
check(set(strings) == set(expected), 'no other version strings')
var = blocks.get('VarFileInfo', (None, None, None, [], None))[3]
translation = [struct.unpack('<HH', n[1]) for n in var if n[0] == 'Translation']
check(translation == [(0x0411, 1200)], 'translation 0x0411, 1200')

# The icon: the first group, with a 32x32 and a 16x16 image of 16 colours.
listing = wrestool('-l').decode()
groups = re.findall(r"--type=14 --name=(\S+)", listing)
check(groups[:1] == ['1'], 'first icon group is number 1 (the file icon)')
with tempfile.TemporaryDirectory() as tmp:
    ico = os.path.join(tmp, 'icon.ico')
    with open(ico, 'wb') as f:
        f.write(wrestool('-x', '-t', '14', '-n', '1'))
    images = subprocess.run(['icotool', '-l', ico], check=True, capture_output=True, text=True).stdout
sizes = sorted(re.findall(r'--width=(\d+) --height=(\d+) --bit-depth=(\d+)', images))
check(sizes == [('16', '16', '4'), ('32', '32', '4')], f'icon images 32x32 and 16x16 at 4 bits ({sizes})')

# The pictures, byte for byte what res/ holds.
for ident, name in [(100, 'info0'), (101, 'info1'), (102, 'info2'), (103, 'info3'), (104, 'info4'),
                    (110, 'balloon')]:
    data = wrestool('-x', '--raw', '-t', 'GIF', '-n', str(ident))
    with open(os.path.join(RES, name + '.gif'), 'rb') as f:
        check(data == f.read(), f'GIF resource {ident} is {name}.gif')

# The manifest asks for Common Controls 6 and names the supported systems.
manifest = wrestool('-x', '--raw', '-t', '24', '-n', '1').decode()
check('Microsoft.Windows.Common-Controls' in manifest and 'version="6.0.0.0"' in manifest,
      'manifest asks for Common Controls 6')
check(manifest.count('<supportedOS') >= 4, 'manifest lists supported systems')
# Both identities name the program's own architecture; the other one's
# Common Controls would not load.
arch = {'x86': 'x86', 'x64': 'amd64'}[PeFile(EXE).machine]
check(re.findall(r'processorArchitecture="([^"]*)"', manifest) == [arch, arch], f'manifest names {arch} twice')

# Nothing to ship beside the program: it imports only system DLLs.
dlls = {dll for dll, _ in PeFile(EXE).imports()}
system = {'kernel32.dll', 'user32.dll', 'gdi32.dll', 'comctl32.dll', 'msimg32.dll', 'msvcrt.dll',
          'shell32.dll', 'ole32.dll', 'oleaut32.dll', 'advapi32.dll'}
check(dlls and dlls <= system, f'imports only system DLLs ({sorted(dlls)})')
size = os.path.getsize(EXE)
check(size < 1024 * 1024, f'vexlo.exe is {size} bytes, under 1 MiB')

sys.exit(1 if failures else 0)
