#!/usr/bin/env python3
"""One sample file per trailer kind, each made by a program that makes such files.

    make_kind_samples.py OUTDIR

Debian's main archive has no RAR creator, so archive.rar alone is written by
hand: a RAR 5 signature and a few bytes. The png-remnant samples are what a
cropping tool leaves when it overwrites a larger PNG in place: the larger
file's bytes past the length of the cropped one.
"""
import pathlib
import subprocess
import sys

TINY_C = "printf 'int main(void) { return 0; }\\n' | "
GST = 'gst-launch-1.0 -q '
# Remnant of BIG (made by COMMAND) after a crop of it overwrote its start.
REMNANT = ('{command} && convert {big} -crop 8x8+0+0 +repage {big}.crop.png && '
           'tail -c +$(( $(stat -c %s {big}.crop.png) + 1 )) {big} > {out}')

# Made in this order, in OUTDIR, by sh: text.txt is the input of the archivers.
SAMPLES = {
    'text.txt': "printf '\\357\\273\\277Trailer text, caf\\303\\251 \\342\\202\\254 5\\r\\n\\tend\\n' > text.txt",
    'zeros.bin': 'truncate -s 5000 zeros.bin',
    'image.jpg': 'convert -seed 7 -size 16x16 plasma: image.jpg',
    'image.png': 'convert -seed 7 -size 16x16 plasma: image.png',
    'image.gif': 'convert -seed 7 -size 16x16 plasma: image.gif',
    'image.bmp': 'convert -seed 7 -size 16x16 plasma: image.bmp',
    'image.tiff': 'convert -seed 7 -size 16x16 plasma: image.tiff',
    'image.webp': 'convert -seed 7 -size 16x16 plasma: image.webp',
    'archive.zip': 'zip -q archive.zip text.txt',
    'archive.7z': '7z a -bso0 -bsp0 archive.7z text.txt',
    # RAR 5: the signature and the first bytes of the main archive header.
    'archive.rar': "printf 'Rar!\\032\\007\\001\\000\\063\\222\\265\\345\\012\\001\\005\\006\\000\\005\\001\\001' "
                   '> archive.rar',
    'text.gz': 'gzip -9nc text.txt > text.gz',
    'text.bz2': 'bzip2 -c text.txt > text.bz2',
    'text.xz': 'xz -c text.txt > text.xz',
    'text.zst': 'zstd -q -c text.txt > text.zst',
    'document.pdf': 'qpdf --empty document.pdf',
    'sound.wav': 'sox -n -r 8000 -c 1 sound.wav synth 0.1 sine 440',
    'sound.mp3': 'sox -n -r 8000 -c 1 sound.mp3 synth 0.1 sine 440',
    'tagged.mp3': GST + 'audiotestsrc num-buffers=4 ! lamemp3enc ! taginject tags=title=vexlo ! id3v2mux '
                        '! filesink location=tagged.mp3',
    'sound.ogg': 'sox -n -r 8000 -c 1 sound.ogg synth 0.1 sine 440',
    'sound.mp4': GST + 'audiotestsrc num-buffers=4 ! lamemp3enc ! mp4mux ! filesink location=sound.mp4',
    'video.avi': GST + 'videotestsrc num-buffers=2 ! video/x-raw,width=16,height=16 ! jpegenc ! avimux '
                       '! filesink location=video.avi',
    'program.exe': TINY_C + 'x86_64-w64-mingw32-gcc -s -x c -o program.exe -',
    'program.elf': TINY_C + 'cc -x c -o program.elf -',
    'database.sqlite': "sqlite3 database.sqlite 'create table t(x); insert into t values (1);'",
    'data.bin': 'head -c 3000 image.bmp | gzip -9nc | tail -c +11 > data.bin',
    # 64x64: one IDAT, cut through. 300x300: IDAT chunks of 32 KiB, cut in the first.
    'remnant-one-idat.bin': REMNANT.format(command='convert -seed 7 -size 64x64 plasma: one.png', big='one.png',
                                           out='remnant-one-idat.bin'),
    'remnant-idats.bin': REMNANT.format(command='convert -seed 7 -size 300x300 plasma: many.png', big='many.png',
                                        out='remnant-idats.bin'),
}


def make_samples(out):
    out.mkdir(parents=True, exist_ok=True)
    for command in SAMPLES.values():
        subprocess.run(['sh', '-ec', command], cwd=out, check=True)


if __name__ == '__main__':
    make_samples(pathlib.Path(sys.argv[1]))
