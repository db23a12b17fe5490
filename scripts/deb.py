#!/usr/bin/env python3
"""Builds vexlo-cli natively and writes dist/vexlo-cli_VERSION_ARCH.deb with
CPack; its dependencies are what dpkg-shlibdeps finds the program linked to.

The same sources give the same bytes: every time in the package is
SOURCE_DATE_EPOCH, 1980-01-01 as in the zips unless the caller sets it, and
the program is stripped.
"""
import glob
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PRESET = 'native'
# 1980-01-01 00:00:00 UTC, the zips' time.
EPOCH = '315532800'


def write_deb(build, out_dir):
    """Packs what BUILD (a configured build folder with vexlo-cli built) installs
    into OUT_DIR; returns the package's path."""
    os.makedirs(out_dir, exist_ok=True)
    env = dict(os.environ, SOURCE_DATE_EPOCH=os.environ.get('SOURCE_DATE_EPOCH', EPOCH))
    # CPack's working files go to a scratch folder; only the package is kept.
    with tempfile.TemporaryDirectory(prefix='vexlo-deb-') as scratch:
        result = subprocess.run(['cpack', '-G', 'DEB', '--config', os.path.join(build, 'CPackConfig.cmake'),
                                 '-B', scratch], env=env, capture_output=True, text=True)
        debs = glob.glob(os.path.join(scratch, '*.deb'))
        if result.returncode or len(debs) != 1:
            raise SystemExit(f'deb.py: cpack failed\n{result.stdout}{result.stderr}')
        path = os.path.join(out_dir, os.path.basename(debs[0]))
        # Moved whole: a failed run leaves no half package under the name.
        shutil.move(debs[0], path + '.part')
        os.replace(path + '.part', path)
    return path


def main():
    for command, quiet in ((['cmake', '--preset', PRESET], True),
                           (['cmake', '--build', '--preset', PRESET, '--target', 'vexlo-cli'], False)):
        if subprocess.run(command, cwd=ROOT, stdout=subprocess.DEVNULL if quiet else None).returncode:
            raise SystemExit(f'deb.py: {" ".join(command)} failed')
    path = write_deb(os.path.join(ROOT, 'build', PRESET), os.path.join(ROOT, 'dist'))
    print(f'{os.path.relpath(path, ROOT)}: {os.path.getsize(path)} bytes')


if __name__ == '__main__':
    sys.exit(main())
