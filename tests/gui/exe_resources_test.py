"""Reads the programs' resources back with icoutils and checks them.

    exe_resources_test.py VEXLO_EXE VEXLO_CLI_EXE RES_DIR

For each program: version information (fixed part, the string table and
the translation), the icon's two images, the manifest, and that it imports
nothing but system DLLs; for vexlo.exe also the six pictures byte for byte.
"""
import os
import re
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), '..'))
from pe_file import PeFile  # noqa: E402

VEXLO, CLI, RES = sys.argv[1:4]
failures = []


def check(ok, what):
    print(('ok   ' if ok else 'FAIL ') + what)
    if not ok:
        failures.append(what)


def wrestool(exe, *args):
    return subprocess.run(['wrestool', *args, exe], check=True, capture_output=True).stdout


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


# What differs between the two programs: the string table's language and
# strings, the pictures, and the size bound.
PROGRAMS = {
    VEXLO: dict(table='041104B0', translation=(0x0411, 1200), max_size=1024 * 1024, strings={
        'FileVersion': '0.09.0001',
        'ProductVersion': '0.09.0001',
        'ProductName': 'vexlo',
        'InternalName': 'vexlo',
        'OriginalFilename': 'vexlo.exe',
        'Comments': 'windows98/Me/2000/XP',
    }, gifs=[(100, 'info0'), (101, 'info1'), (102, 'info2'), (103, 'info3'), (104, 'info4'), (110, 'balloon')]),
    CLI: dict(table='040904B0', translation=(0x0409, 1200), max_size=2 * 1024 * 1024, strings={
        'FileDescription': 'vexlo command-line tool: extracts the data hidden after a PNG image',
        'FileVersion': '0.09.0001',
        'ProductVersion': '0.09.0001',
        'ProductName': 'vexlo',
        'InternalName': 'vexlo-cli',
        'OriginalFilename': 'vexlo-cli.exe',
    }, gifs=[]),
}


def check_program(exe, table, translation, max_size, strings, gifs):
    name = os.path.basename(exe)
    # Version information.
    version = wrestool(exe, '-x', '--raw', '-t', '16')
    key, fixed, _, children, _ = parse_block(version, 0)
    check(key == 'VS_VERSION_INFO', f'{name}: version resource present')
    (sig, _, file_ms, file_ls, prod_ms, prod_ls, mask, flags, os_, ftype, subtype, _, _) = struct.unpack('<13I', fixed)
    check(sig == 0xFEEF04BD, f'{name}: fixed version signature')
    check((file_ms, file_ls) == (0x00000009, 0x00000001), f'{name}: file version 0.9.0.1')
    check((prod_ms, prod_ls) == (0x00000009, 0x00000001), f'{name}: product version 0.9.0.1')
    check(flags == 0, f'{name}: no file flags')
    check(os_ == 0x00000004, f'{name}: operating system VOS__WINDOWS32')
    check(ftype == 1, f'{name}: file type VFT_APP')

    blocks = {c[0]: c for c in children}
    tables = blocks.get('StringFileInfo', (None, None, None, [], None))[3]
    check([t[0] for t in tables] == [table], f'{name}: one string table, {table}')
    found = {s[0]: s[1].decode('utf-16-le').rstrip('\0') for t in tables for s in t[3]}
    for k, v in strings.items():
        check(found.get(k) == v, f'{name}: {k} = "{v}" (read "{found.get(k)}")')
    check(set(found) == set(strings), f'{name}: no other version strings')
    var = blocks.get('VarFileInfo', (None, None, None, [], None))[3]
    translations = [struct.unpack('<HH', n[1]) for n in var if n[0] == 'Translation']
    check(translations == [translation], f'{name}: translation {translation}')

    # The icon: the first group, with a 32x32 and a 16x16 image of 16 colours.
    listing = wrestool(exe, '-l').decode()
    groups = re.findall(r"--type=14 --name=(\S+)", listing)
    check(groups[:1] == ['1'], f'{name}: first icon group is number 1 (the file icon)')
    with tempfile.TemporaryDirectory() as tmp:
        ico = os.path.join(tmp, 'icon.ico')
        with open(ico, 'wb') as f:
            f.write(wrestool(exe, '-x', '-t', '14', '-n', '1'))
        images = subprocess.run(['icotool', '-l', ico], check=True, capture_output=True, text=True).stdout
    sizes = sorted(re.findall(r'--width=(\d+) --height=(\d+) --bit-depth=(\d+)', images))
    check(sizes == [('16', '16', '4'), ('32', '32', '4')], f'{name}: icon images 32x32 and 16x16 at 4 bits ({sizes})')

    # The pictures, byte for byte what res/ holds.
    for ident, picture in gifs:
        data = wrestool(exe, '-x', '--raw', '-t', 'GIF', '-n', str(ident))
        with open(os.path.join(RES, picture + '.gif'), 'rb') as f:
            check(data == f.read(), f'{name}: GIF resource {ident} is {picture}.gif')

    # The manifest asks for Common Controls 6, runs as the invoker (no file
    # virtualisation, no elevation prompt) and names the supported systems.
    manifest = wrestool(exe, '-x', '--raw', '-t', '24', '-n', '1').decode()
    check('Microsoft.Windows.Common-Controls' in manifest and 'version="6.0.0.0"' in manifest,
          f'{name}: manifest asks for Common Controls 6')
    check(re.search(r'<requestedExecutionLevel level="asInvoker" uiAccess="false"/>', manifest) is not None,
          f'{name}: manifest runs as the invoker')
    check(manifest.count('<supportedOS') >= 4, f'{name}: manifest lists supported systems')
    # Both identities name the program's own architecture; the other one's
    # Common Controls would not load.
    arch = {'x86': 'x86', 'x64': 'amd64'}[PeFile(exe).machine]
    check(re.findall(r'processorArchitecture="([^"]*)"', manifest) == [arch, arch], f'{name}: manifest names {arch} twice')
    check(re.search(r'<assemblyIdentity type="win32" name="' + re.escape(name[:-4]) + '"', manifest) is not None,
          f'{name}: manifest names the program')

    # Nothing to ship beside the program: it imports only system DLLs.
    dlls = {dll for dll, _ in PeFile(exe).imports()}
    system = {'kernel32.dll', 'user32.dll', 'gdi32.dll', 'comctl32.dll', 'msimg32.dll', 'msvcrt.dll',
              'shell32.dll', 'ole32.dll', 'oleaut32.dll', 'advapi32.dll'}
    check(dlls and dlls <= system, f'{name}: imports only system DLLs ({sorted(dlls)})')
    size = os.path.getsize(exe)
    check(size < max_size, f'{name} is {size} bytes, under {max_size // (1024 * 1024)} MiB')


for program, expected in PROGRAMS.items():
    check_program(program, **expected)
sys.exit(1 if failures else 0)
