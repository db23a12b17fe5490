#!/usr/bin/env python3
"""vexlo.exe end to end: the program as its own process under Wine.

    e2e_test.py WINE_RUN ARCH PREFIX VEXLO_EXE PROBE_EXE SAMPLES_DIR [unittest arguments]

Every case starts vexlo.exe afresh in a folder of its own and watches it from
outside: the files it writes, its exit, the hops and beeps it reports on the
debug output (Wine prints them on standard error with +debugstr), and its
windows through e2e_probe.exe. Needs an X display (scripts/test-windows.sh).

Wine's background services inherit the standard output and error of the
program that starts them, so no Wine process here is given a pipe of ours:
vexlo.exe writes to a log file, and the probe runs through WINE_RUN, which
buffers through files itself.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

# Absolute: vexlo.exe runs in folders of its own.
ARCH = sys.argv[2]
WINE_RUN, PREFIX, VEXLO, PROBE, SAMPLES = map(os.path.abspath, sys.argv[1:2] + sys.argv[3:7])
# WINE_RUN with the build's architecture and prefix: the loader and environment
# that match the programs under test.
WINE = [WINE_RUN, ARCH, PREFIX]

# A bound on any single wait, far above what the behaviour needs; every wait
# polls for its condition and ends as soon as it holds.
TIMEOUT = 30
TIMEOUT_MS = str(TIMEOUT * 1000)

# vexlo.exe reports its hops and beeps on the debug output.
VEXLO_ENV = dict(os.environ, WINEDEBUG='-all,+debugstr')
PROBE_ENV = dict(os.environ, WINEDEBUG='-all')

HOP = 'OutputDebugStringA "vexlo: hop\\n"'
BEEP = 'OutputDebugStringA "vexlo: beep\\n"'

# Status pictures.
NOTHING_HIDDEN, UNUSABLE, FAILED_SAVE, SUCCESS, IDLE = range(5)

HIDDEN = Path(SAMPLES, 'hidden.png').read_bytes()
PAYLOAD = Path(SAMPLES, 'payload.jpg').read_bytes()
IMAGE = HIDDEN[:HIDDEN.index(b'IEND') + 8]  # up to and with IEND's CRC
# A second JPEG-typed payload, so outputs tell which source they came from.
OTHER_PAYLOAD = PAYLOAD + b'another payload'


def windows_path(path):
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def probe(*args):
    """Runs e2e_probe.exe; (exit status, its output). Every subcommand prints a
    verdict, so a run that printed nothing never got to look (Wine did not
    start it; seen once in nine runs of the suite): it is run once more, and
    a second silence is reported with Wine's own words."""
    for attempt in range(2):
        result = subprocess.run([*WINE, PROBE, *args], env=PROBE_ENV, stdin=subprocess.DEVNULL,
                                capture_output=True, text=True, timeout=3 * TIMEOUT)
        if result.stdout.strip():
            return result.returncode, result.stdout
    return result.returncode, f'(probe printed nothing, status {result.returncode}: {result.stderr.strip()})'


def wait_until(condition, what):
    deadline = time.monotonic() + TIMEOUT
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError('timed out waiting for ' + what)
        time.sleep(0.02)


class Run:
    """One vexlo.exe process, started in `folder` with `args`."""

    def __init__(self, folder, args, log, start=None):
        self.log = Path(log)
        with open(self.log, 'wb') as out:
            if start is None:
                command = [*WINE, '--exec', VEXLO, *args]
            else:  # through start.exe, which waits for the program: /min, or a normal window
                command = [*WINE, '--exec', 'start', '/wait', *start, windows_path(VEXLO), *args]
            self.process = subprocess.Popen(command, cwd=folder, env=VEXLO_ENV, stdin=subprocess.DEVNULL,
                                            stdout=out, stderr=subprocess.STDOUT)

    def count(self, line):
        return self.log.read_text(errors='replace').count(line)

    def running(self):
        return self.process.poll() is None

    def end(self):
        """Closes the window, which ends the program; forcibly if it will not."""
        if self.running():
            probe('close', TIMEOUT_MS)
        try:
            self.process.wait(TIMEOUT)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


class VexloCase(unittest.TestCase):
    def setUp(self):
        self.tmp = Path(tempfile.mkdtemp(prefix='vexlo-e2e-'))
        self.addCleanup(shutil.rmtree, self.tmp, ignore_errors=True)
        self.folder = self.make_folder('files')
        self.runs = 0

    def make_folder(self, name, files=None):
        folder = self.tmp / name
        folder.mkdir()
        for file, data in (files or {}).items():
            (folder / file).write_bytes(data)
        return folder

    def start(self, *args, folder=None, start=None):
        self.runs += 1
        run = Run(folder or self.folder, args, self.tmp / f'vexlo-{self.runs}.log', start)
        self.addCleanup(run.end)
        return run

    def assert_folder(self, folder, expected):
        """Exactly these files, byte for byte."""
        self.assertEqual(sorted(p.name for p in folder.iterdir()), sorted(expected))
        for name, data in expected.items():
            self.assertTrue((folder / name).read_bytes() == data, name + ' holds other bytes')

    def assert_ends(self, run, what):
        try:
            run.process.wait(TIMEOUT)
        except subprocess.TimeoutExpired:
            self.fail(what + ' did not end')
        self.assertEqual(run.process.returncode, 0)

    def window(self):
        """What the probe sees of the main window, line by line: rect, screen, topmost, iconic."""
        status, out = probe('window', TIMEOUT_MS)
        self.assertEqual(status, 0, out)
        return {key: [int(v) for v in values] for key, *values in (line.split() for line in out.splitlines())}

    def assert_picture(self, expected, msg=None):
        status, out = probe('picture', str(expected), TIMEOUT_MS)
        self.assertEqual(out.split(), [str(expected)], msg)
        self.assertEqual(status, 0)

    def on_hop(self, action):
        """Starts the probe waiting for the first hop to `action` the window; the
        caller starts vexlo.exe once this returns, so the hop cannot be missed."""
        ready = self.tmp / 'probe-ready'
        out = open(self.tmp / 'probe.out', 'wb')
        self.addCleanup(out.close)
        waiter = subprocess.Popen([*WINE, PROBE, action + '-on-hop', TIMEOUT_MS, windows_path(ready)],
                                  env=PROBE_ENV, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: waiter.poll() is None and waiter.kill())
        wait_until(lambda: ready.exists() or waiter.poll() is not None, 'the probe')
        self.assertTrue(ready.exists(), 'the probe did not start')

        def finished():
            waiter.wait(3 * TIMEOUT)
            return (self.tmp / 'probe.out').read_text().split()
        return finished


class BatchTest(VexloCase):
    def test_arguments_run_in_order_outputs_are_exact_last_picture_stays_until_idle(self):
        # pic.png and pic.dat both want pic.jpg: the one processed first gets it.
        sources = {'pic.png': IMAGE + PAYLOAD, 'pic.dat': IMAGE + OTHER_PAYLOAD, 'plain.png': IMAGE}
        for name, data in sources.items():
            (self.folder / name).write_bytes(data)
        args = ['pic.png', 'missing.png', 'pic.dat', 'plain.png']
        run = self.start(*args)

        wait_until(lambda: run.count(HOP) >= len(args), 'a hop per file')
        self.assert_picture(NOTHING_HIDDEN, 'the last file held nothing')
        self.assert_folder(self.folder, {**sources, 'pic.jpg': PAYLOAD, 'pic(1).jpg': OTHER_PAYLOAD})
        self.assert_picture(IDLE, 'the idle picture comes back after the batch')
        self.assertEqual(run.count(HOP), len(args))
        self.assertTrue(run.running())

    def test_the_last_outcome_decides_the_picture(self):
        taken = {'pic.jpg' if n == 0 else f'pic({n}).jpg': b'taken %d' % n for n in range(101)}
        cases = [
            ('extracted', SUCCESS, {'pic.png': HIDDEN}, {'pic.jpg': PAYLOAD}),
            ('missing source', UNUSABLE, {}, {}),
            ('not a PNG', UNUSABLE, {'pic.png': PAYLOAD}, {}),
            ('no free output name', FAILED_SAVE, {'pic.png': HIDDEN, **taken}, {}),
        ]
        for name, picture, files, outputs in cases:
            with self.subTest(name):
                folder = self.make_folder(name.replace(' ', '-'), files)
                run = self.start('pic.png', folder=folder)
                try:
                    wait_until(lambda: run.count(HOP) == 1, 'the hop')
                    self.assert_picture(picture)
                    self.assert_folder(folder, {**files, **outputs})
                finally:
                    run.end()  # one instance at a time


class DropTest(VexloCase):
    def test_a_drag_from_another_process_is_answered_with_a_copy_and_extracted(self):
        # DoDragDrop hands the source what the drop answered: a copy whatever
        # else the source allows (a source that honours a move would delete
        # the file), nothing when it allows no copy.
        copy, move, link = 1, 2, 4
        for allowed, answer in [(copy | move | link, copy), (copy | move, copy), (move, 0), (copy, copy)]:
            with self.subTest(allowed=allowed):
                folder = self.make_folder(f'allowed-{allowed}', {'pic.png': HIDDEN})
                run = self.start(folder=folder)
                try:
                    status, out = probe('drag', str(allowed), TIMEOUT_MS, windows_path(folder / 'pic.png'))
                    self.assertEqual((status, out.split()), (0, ['effect', str(answer)]), out)
                finally:
                    # The close is queued behind the drop's batch, which extracts first.
                    run.end()
                self.assert_folder(folder, {'pic.png': HIDDEN, **({'pic.jpg': PAYLOAD} if answer else {})})


class WindowTest(VexloCase):
    def test_right_edge_45_pixels_down_in_front_and_the_box_switches_that(self):
        self.start()
        window = self.window()
        left, top, right, bottom = window['rect']
        width, height = window['screen']
        self.assertEqual(right, width, window)
        self.assertEqual(top, 45, window)
        self.assertTrue(0 <= left < right and bottom <= height, window)
        self.assertEqual(window['topmost'], [1])
        self.assertEqual(window['iconic'], [0])

        self.assertEqual(probe('click-top'), (0, 'before 1 after 0 checked 0\n'))
        self.assertEqual(probe('click-top'), (0, 'before 0 after 1 checked 1\n'))
        self.assertEqual(self.window()['rect'], window['rect'], 'the box moves nothing')

    def test_every_file_is_processed_and_the_balloon_hops_only_for_a_normal_window(self):
        names = ['a.png', 'b.png', 'c.png']
        for how, start, iconic, hops in [('normal', [], 0, len(names)), ('minimized', ['/min'], 1, 0)]:
            with self.subTest(how):
                folder = self.make_folder(how, {name: HIDDEN for name in names})
                outputs = {name[0] + '.jpg': PAYLOAD for name in names}
                run = self.start(*names, folder=folder, start=start)
                try:
                    wait_until(lambda: all((folder / name).exists() for name in outputs), 'every output')
                    self.assertEqual(self.window()['iconic'], [iconic])
                finally:
                    run.end()  # one instance at a time; the log is complete afterwards
                self.assert_folder(folder, {**{n: HIDDEN for n in names}, **outputs})
                self.assertEqual(run.count(HOP), hops)


class LifetimeTest(VexloCase):
    def test_a_second_start_ends_at_once_and_processes_nothing(self):
        first = self.start()
        self.window()
        other = self.make_folder('other', {'other.png': HIDDEN})
        second = self.start('other.png', folder=other)
        self.assert_ends(second, 'the second start')
        self.assertTrue(first.running(), 'the first instance runs on')
        self.assertEqual(probe('window', '0')[0], 0, 'its window is still there')
        self.assert_folder(other, {'other.png': HIDDEN})
        self.assertEqual(second.count(HOP), 0)
        self.assertEqual(first.count(HOP), 0)

    def three_files(self):
        files = {'a.png': IMAGE + PAYLOAD, 'b.png': IMAGE + OTHER_PAYLOAD, 'c.png': HIDDEN}
        for name, data in files.items():
            (self.folder / name).write_bytes(data)
        return files

    def test_a_click_during_the_first_hop_stops_the_batch_after_that_file_with_one_beep(self):
        files = self.three_files()
        clicked = self.on_hop('click')
        run = self.start(*files)
        self.assertEqual(clicked(), ['clicked'])
        wait_until(lambda: run.count(BEEP) == 1, 'the beep')
        # The idle picture comes only once a batch has ended.
        self.assert_picture(IDLE)
        self.assert_folder(self.folder, {**files, 'a.jpg': PAYLOAD})
        self.assertEqual((run.count(HOP), run.count(BEEP)), (1, 1))

    def test_closing_mid_batch_ends_the_program_and_leaves_the_rest_untouched(self):
        files = self.three_files()
        closed = self.on_hop('close')
        run = self.start(*files)
        self.assertEqual(closed(), ['closed'])
        self.assert_ends(run, 'the closed program')
        self.assert_folder(self.folder, {**files, 'a.jpg': PAYLOAD})
        self.assertEqual((run.count(HOP), run.count(BEEP)), (1, 0))


def setUpModule():
    # Makes the prefix if needed and starts Wine's services through WINE_RUN,
    # away from our log files; closes anything a broken earlier run left.
    subprocess.run([*WINE, '--init'], env=PROBE_ENV, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    probe('close', TIMEOUT_MS)
    assert HIDDEN == IMAGE + PAYLOAD, 'samples/hidden.png hides samples/payload.jpg'


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1] + sys.argv[7:], verbosity=2)
