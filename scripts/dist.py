#!/usr/bin/env python3
"""Builds vexlo.exe and vexlo-cli.exe for x86 and x64 Windows and writes
dist/vexlo-VERSION-x86.zip and dist/vexlo-VERSION-x64.zip.

Each zip holds vexlo.exe, vexlo-cli.exe and readme.txt in one top folder
named like the zip. The same programs and readme give byte-identical zips:
fixed timestamps and attributes, sorted entries, deflate, no extra fields.
"""
import os
import re
import subprocess
import sys
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Architecture label -> CMake preset (its binary dir is build/PRESET).
PRESETS = {'x86': 'win32', 'x64': 'win64'}
# 1980-01-01 00:00:00, the oldest time a zip entry can hold.
EPOCH = (1980, 1, 1, 0, 0, 0)
# A regular file, rw-r--r--, in the Unix high half of the external attributes.
UNIX_FILE = 0o100644 << 16


def version(arch):
    """The window caption's version, as the build of ARCH generated it from
    CMakeLists.txt's project() line."""
    header = os.path.join(ROOT, 'build', PRESETS[arch], 'generated', 'version.h')
    with open(header) as f:
        found = re.search(r'^#define VEXLO_VERSION_TEXT "([^"]+)"$', f.read(), re.M)
    if not found:
        raise SystemExit(f'dist.py: no VEXLO_VERSION_TEXT in {header}')
    return found.group(1)


def readme(arch):
    """res/readme.txt for Notepad: CRLF line endings, and UTF-8 with a BOM,
    without which older Notepads read the two Japanese check-box captions
    as the ANSI code page and show them garbled."""
    with open(os.path.join(ROOT, 'res', 'readme.txt'), encoding='utf-8', newline='') as f:
        text = f.read().replace('@VERSION@', version(arch))
    if '\r' in text:
        raise SystemExit('dist.py: res/readme.txt must have LF line endings')
    return '\ufeff'.encode('utf-8') + text.replace('\n', '\r\n').encode('utf-8')


def write_zip(arch, exe, cli, out_dir):
    """Writes OUT_DIR/vexlo-VERSION-ARCH.zip from the two programs; returns its path."""
    top = f'vexlo-{version(arch)}-{arch}'
    members = {'readme.txt': readme(arch)}
    for name, path in (('vexlo.exe', exe), ('vexlo-cli.exe', cli)):
        with open(path, 'rb') as f:
            members[name] = f.read()
    os.makedirs(out_dir, exist_ok=True)
    path = os.path.join(out_dir, top + '.zip')
    # Written aside and renamed: a failed run leaves no half zip under the name.
    partial = path + '.part'
    with zipfile.ZipFile(partial, 'w') as z:
        for name in sorted(members):
            info = zipfile.ZipInfo(f'{top}/{name}', date_time=EPOCH)
            info.create_system = 3  # Unix, whatever host writes it
            info.external_attr = UNIX_FILE
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, members[name], compresslevel=9)
    os.replace(partial, path)
    return path


def main():
    out_dir = os.path.join(ROOT, 'dist')
    for arch, preset in PRESETS.items():
        # The configure step's listing is noise here; the build's output stays.
        for command, quiet in ((['cmake', '--preset', preset], True),
                               (['cmake', '--build', '--preset', preset, '--target', 'vexlo', 'vexlo-cli'], False)):
            if subprocess.run(command, cwd=ROOT, stdout=subprocess.DEVNULL if quiet else None).returncode:
                raise SystemExit(f'dist.py: {" ".join(command)} failed')
        build = os.path.join(ROOT, 'build', preset)
        path = write_zip(arch, os.path.join(build, 'ui', 'vexlo.exe'),
                         os.path.join(build, 'vexlo-cli.exe'), out_dir)
        print(f'{os.path.relpath(path, ROOT)}: {os.path.getsize(path)} bytes')


if __name__ == '__main__':
    sys.exit(main())
