#!/usr/bin/env python3
"""vexlo-cli against hostile surroundings, one row per fault: standard output
that cannot be written, entries the walk cannot examine, files the system
will not open, names made to forge lines or drive the terminal, symbolic
links in the way, paths beyond the length limit; and real signals while a
multi-GiB output is being written, a kill that cannot be caught, private
sources. Under Wine (WINE_RUN ARCH
PREFIX given) only the rows that apply to Windows run.

usage: fault_test.py VEXLO_CLI SAMPLES [WINE_RUN ARCH PREFIX]
"""
import os
import pathlib
import re
import signal
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

CLI = os.path.abspath(sys.argv.pop(1))
SAMPLES = pathlib.Path(sys.argv.pop(1))
WINE = [os.path.abspath(sys.argv.pop(1)), sys.argv.pop(1), os.path.abspath(sys.argv.pop(1))] if len(sys.argv) > 3 else []

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import as_nobody  # noqa: E402

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "scripts"))
import genkit  # noqa: E402

PNG = (SAMPLES / "hidden.png").read_bytes()
PAYLOAD = len((SAMPLES / "payload.jpg").read_bytes())
DEEP = "d" * 200  # a folder name; 25 of them nest deeper than PATH_MAX


def nest_deep(top, levels):
    """top/DEEP/DEEP/.../a.png, made relative to open folders: too long for one path."""
    fd = os.open(top, os.O_RDONLY | os.O_DIRECTORY)
    try:
        for _ in range(levels):
            os.mkdir(DEEP, dir_fd=fd)
            inner = os.open(DEEP, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
            os.close(fd)
            fd = inner
        out = os.open("a.png", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd)
        os.write(out, PNG)
        os.close(out)
    finally:
        os.close(fd)


# Each row: what the folder holds (name: bytes, "->target" for a symbolic
# link, an int for a folder's mode, a callable to make it), the arguments,
# where standard output goes ("pipe", "full": /dev/full, "closed": a pipe
# nobody reads, with SIGPIPE ignored) and standard error ("pipe", "full"), the folder to run in, whether the run
# is nobody's (folders given a mode stay root's, so nobody is "others"), then
# the exit status, standard output and standard error (regular expressions;
# {dir} is the run's folder, {d} the same as a prefix of a name in it, {n}
# the trailer's length), the files that must exist after it and those that
# must not.
# "win" rows run under Wine too.
ROWS = [
    # Reports that cannot be delivered stop the run with one line and status 1.
    dict(name="plain lines to a full disk", files={"a.png": PNG}, args=["a.png"], stdout="full",
         status=1, err=r"vexlo-cli: write error: No space left on device\n", exist=["a.jpg"]),
    dict(name="JSON to a full disk", files={"a.png": PNG}, args=["--json", "a.png"], stdout="full",
         status=1, err=r"vexlo-cli: write error: No space left on device\n", exist=["a.jpg"]),
    dict(name="--check to a full disk", files={"a.png": PNG}, args=["--check", "a.png"], stdout="full",
         status=1, err=r"vexlo-cli: write error: No space left on device\n", absent=["a.jpg"]),
    dict(name="messages to a full disk: the first one ends the run", files={"b.png": PNG},
         args=["missing.png", "b.png"], stderr="full", status=1, absent=["b.jpg"]),
    dict(name="a closed pipe, SIGPIPE ignored: the first file ends the run",
         files={f"a{i:02}.png": PNG for i in range(30)}, args=[f"a{i:02}.png" for i in range(30)], stdout="closed",
         status=1, err=r"vexlo-cli: write error: Broken pipe\n", exist=["a00.jpg"], absent=["a01.jpg"]),
    # Entries the walk cannot examine are named, with the system's reason.
    dict(name="a folder that can be listed, not searched", files={"top/a.png": PNG, "top/sub/b.png": PNG, "top/sub": 0o744},
         args=["-r", "top"], nobody=True, status=1, out=r"top/a\.png: {n} bytes -> {dir}/top/a\.jpg\n",
         err=r"top/sub/b\.png: cannot be read: Permission denied\n"),
    dict(name="a walk deeper than PATH_MAX", files={"top": lambda d: nest_deep(d / "top", 25)}, args=["-r", "top"],
         status=1, err=r"top/(d{200}/)*d{200}(/a\.png)?: cannot be read: File name too long\n"),
    # A file the system will not open is unreadable, with its reason; only a missing one is no-file.
    dict(name="a file in a folder nobody may search", files={"locked/a.png": PNG, "locked": 0o644},
         args=["locked/a.png"], nobody=True, status=1, err=r"locked/a\.png: cannot be read: Permission denied\n"),
    dict(name="a loop of links", files={"loop.png": "->loop.png"}, args=["loop.png"],
         status=1, err=r"loop\.png: cannot be read: Too many levels of symbolic links\n"),
    dict(name="a name too long", files={}, args=["n" * 300 + ".png"],
         status=1, err=r"n{300}\.png: cannot be read: File name too long\n"),
    dict(name="a dangling link as source", files={"gone.png": "->nowhere.png"}, args=["gone.png"],
         status=1, err=r"gone\.png: no such file\n"),
    # Names never forge a line or reach the terminal raw; JSON keeps them exact.
    dict(name="a newline forging a result", files={"nl\nforged.png": PNG}, args=["nl\nforged.png"],
         status=0, out=r"nl\\nforged\.png: {n} bytes -> {dir}/nl\\nforged\.jpg\n", exist=["nl\nforged.jpg"]),
    dict(name="a title set by OSC", files={"\x1b]0;owned\x07.png": PNG}, args=["--check", "\x1b]0;owned\x07.png"],
         status=0, out=r"\\x1b\]0;owned\\x07\.png: {n} bytes of \.jpg data \(jpeg\), would be written to "
                       r"{dir}/\\x1b\]0;owned\\x07\.jpg\n"),
    dict(name="a screen cleared in a walk's message", files={"top/\x1b[2J": 0o000}, args=["-r", "top"],
         nobody=True, status=1, err=r"top/\\x1b\[2J: cannot be read: Permission denied\n"),
    dict(name="a screen cleared by a usage error", files={}, args=["--\x1b[2J"],
         status=2, err=r"vexlo-cli: unknown option --\\x1b\[2J\nusage: vexlo-cli[^\x1b]*"),
    dict(name="bytes that are not UTF-8", files={b"caf\xe9.png": PNG}, args=[b"caf\xe9.png", "none\x1b.png"],
         status=1, out=r"caf\\xe9\.png: {n} bytes -> {dir}/caf\\xe9\.jpg\n",
         err=r"none\\x1b\.png: no such file\nvexlo-cli: 2 files: 1 extracted, 1 no-file\n"),
    # Symbolic links: the output lands beside the file read, and --check names it.
    dict(name="'..' after a link", files={"A/sub": 0o755, "A/a.png": PNG, "B/L": "->../A/sub"}, args=["L/../a.png"],
         cwd="B", status=0, out=r"L/\.\./a\.png: {n} bytes -> {dir}/A/a\.jpg\n", exist=["A/a.jpg"], absent=["B/a.jpg"]),
    dict(name="a dangling link holding the name", files={"a.png": PNG, "a.jpg": "->nowhere.jpg"},
         args=["--check", "a.png"], status=0,
         out=r"a\.png: {n} bytes of \.jpg data \(jpeg\), would be written to {dir}/a\(1\)\.jpg\n"),
    # The length limit says what it is.
    dict(name="a full path over 254 characters", files={"p" * 250 + "/a.png": PNG}, args=["p" * 250 + "/a.png"],
         status=1, err=r"p{250}/a\.png: the full path is longer than 254 characters\n", win=True),
    # Redirected output is UTF-8 whatever the console's code page.
    dict(name="Japanese and emoji names redirected", files={"日本.png": PNG, "😀.png": PNG}, args=["日本.png", "😀.png"],
         status=0, out=r"日本\.png: {n} bytes -> {d}日本\.jpg\n😀\.png: {n} bytes -> {d}😀\.jpg\n",
         err=r"vexlo-cli: 2 files: 2 extracted\n", win=True),
]


def make(root, files):
    for name, what in files.items():
        path = root / os.fsdecode(name)
        if callable(what):
            path.mkdir(parents=True, exist_ok=True)
            what(root)
        elif isinstance(what, int):
            path.mkdir(parents=True, exist_ok=True)
        else:
            path.parent.mkdir(parents=True, exist_ok=True)
            if isinstance(what, str):
                os.symlink(what[2:], path)
            else:
                path.write_bytes(what)
    # Modes last: a folder closed to its owner could not be filled.
    for name, what in files.items():
        if isinstance(what, int):
            os.chmod(root / os.fsdecode(name), what)


class Faults(unittest.TestCase):
    def run_row(self, row):
        root = pathlib.Path(tempfile.mkdtemp(prefix="vexlo-fault-"))
        self.addCleanup(shutil.rmtree, root, ignore_errors=True)
        make(root, row["files"])
        program, extra = CLI, {}
        if row.get("nobody"):
            as_nobody.give_to_nobody(root)
            for name, what in row["files"].items():
                if isinstance(what, int):
                    os.chown(root / name, 0, 0)
            program, remove = as_nobody.reachable_copy(CLI)
            self.addCleanup(remove)
            extra = {"preexec_fn": as_nobody.become_nobody}
        stdout = row.get("stdout", "pipe")
        reader = None
        if stdout == "full":
            extra["stdout"] = open("/dev/full", "wb")
            self.addCleanup(extra["stdout"].close)
        elif stdout == "closed":
            reader, writer = os.pipe()
            os.close(reader)
            extra["stdout"] = writer
            self.addCleanup(os.close, writer)
            extra["restore_signals"] = False  # keeps Python's SIGPIPE = ignored for the child
        else:
            extra["stdout"] = subprocess.PIPE
        command = [*WINE, program, *map(os.fsencode, row["args"])]
        errors = subprocess.PIPE
        if row.get("stderr") == "full":
            errors = open("/dev/full", "wb")
            self.addCleanup(errors.close)
        r = subprocess.run(command, cwd=root / row.get("cwd", ""), stderr=errors, timeout=60, **extra)
        windows_dir = "Z:" + str(root).replace("/", "\\") + "\\"
        fields = {"dir": re.escape(str(root)), "n": str(PAYLOAD),
                  "d": re.escape(windows_dir if WINE else str(root) + "/")}

        def expected(pattern):
            for key, value in fields.items():
                pattern = pattern.replace("{" + key + "}", value)
            if WINE:  # the C runtime's text mode
                pattern = pattern.replace(r"\r?\n", r"\n").replace(r"\n", r"\r?\n")
            return "^" + pattern + r"\Z"

        out = (r.stdout or b"").decode("utf-8", "replace")
        err = (r.stderr or b"").decode("utf-8", "replace")
        self.assertEqual(r.returncode, row["status"], err)
        if stdout == "pipe":
            self.assertRegex(out, expected(row.get("out", "")))
        if errors == subprocess.PIPE:
            self.assertRegex(err, expected(row.get("err", "")))
        for name in row.get("exist", []):
            self.assertTrue(os.path.lexists(root / name), name)
        for name in row.get("absent", []):
            self.assertFalse(os.path.lexists(root / name), name)

    def test_faults(self):
        for row in ROWS:
            with self.subTest(row["name"]):
                if WINE and not row.get("win"):
                    continue
                if row.get("nobody") and as_nobody.unavailable():
                    print(f"skipped: {row['name']}: {as_nobody.unavailable()}", file=sys.stderr)
                    continue
                self.run_row(row)



# Signals, kills and modes: the writer's own faults, each a row of its table.

SIG = b"\x89PNG\r\n\x1a\n"
IHDR = b"\0\0\0\rIHDR\0\0\0\x01\0\0\0\x01\x08\0\0\0\0\0\0\0\0"  # the CRC is never read
IEND = b"\0\0\0\0IEND\xaeB`\x82"
JFIF = b"\xff\xd8\xff\xe0\x00\x10JFIF\x00" + bytes(9)
SPARSE = 3 << 30  # far more than can be written before the signal comes


def make_source(folder, size=SPARSE, mode=0o644):
    """big.png: a PNG, then a JPEG header and a sparse hole up to `size` bytes."""
    source = folder / "big.png"
    source.write_bytes(SIG + IHDR + IEND + JFIF)
    os.truncate(source, size)
    os.chmod(source, mode)
    return source


def names(folder):
    return sorted(p.name for p in folder.iterdir())


def start_writing(source):
    """vexlo-cli on `source`, returned once its temporary holds some bytes."""
    run = subprocess.Popen([CLI, "--max-size", "0", str(source)], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        parts = [p for p in source.parent.iterdir() if p.name.endswith(".part")]
        if parts and parts[0].stat().st_size > 0:
            return run, parts[0]
        if run.poll() is not None:
            break
        time.sleep(0.01)
    run.kill()
    run.wait()
    raise AssertionError("vexlo-cli never began writing")


# (signal, what a caught signal must leave): each ends the run as the signal
# would (status 128 + n in a shell) with nothing but the source left.
INTERRUPTIONS = [signal.SIGTERM, signal.SIGHUP, signal.SIGINT, signal.SIGPIPE]

# (source mode, umask, output mode): the source's read and write bits, less the umask.
PERMISSIONS = [(0o600, 0o022, 0o600), (0o644, 0o022, 0o644), (0o664, 0o002, 0o664), (0o666, 0o077, 0o600),
               (0o755, 0o022, 0o644)]


@unittest.skipIf(WINE, "signals and POSIX modes: the native build only")
class Interruptions(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="vexlo-fault")
        self.folder = pathlib.Path(self.tmp.name)

    def tearDown(self):
        self.tmp.cleanup()

    def test_interruption_leaves_nothing(self):
        for sig in INTERRUPTIONS:
            with self.subTest(signal=sig.name):
                for p in self.folder.iterdir():
                    p.unlink()
                run, part = start_writing(make_source(self.folder))
                run.send_signal(sig)
                self.assertEqual(run.wait(timeout=20), -sig, "ended by the signal itself")
                self.assertEqual(names(self.folder), ["big.png"], f"{part.name} or an output left")

    def test_kill_leaves_at_most_a_temporary_that_the_next_run_ignores(self):
        source = make_source(self.folder)
        run, part = start_writing(source)
        run.kill()
        run.wait(timeout=20)
        self.assertEqual(names(self.folder), sorted(["big.png", part.name]))
        os.truncate(source, len(SIG + IHDR + IEND + JFIF) + 100)
        done = subprocess.run([CLI, str(source)], capture_output=True, text=True)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("big.jpg", done.stdout)
        self.assertEqual(names(self.folder), sorted(["big.jpg", "big.png", part.name]))

    def test_recover_commits_both_pictures_or_neither(self):
        # Every name of the second picture is a dangling link: free to the
        # existence test, refused when claimed, after the first is claimed.
        w, h, kept = 160, 100, 20
        px = bytes(((x * 3 + y * 5) ^ (x * y)) & 255 for y in range(h) for x in range(w * 3))
        original, crop = genkit.png(w, h, 2, px, idat_size=8192), genkit.png(w, kept, 2, px[:w * kept * 3])
        (self.folder / "shot.png").write_bytes(crop + original[len(crop):])
        for n in range(101):
            os.symlink("nowhere/x", self.folder / ("shot.guessed.png" if n == 0 else f"shot.guessed({n}).png"))
        before = names(self.folder)
        done = subprocess.run([CLI, "--recover", "shot.png"], cwd=self.folder, capture_output=True, text=True)
        self.assertEqual(done.returncode, 1, done.stderr)
        self.assertIn("no free output name", done.stdout + done.stderr)
        self.assertEqual(names(self.folder), before, "the first picture went again")

    def test_output_keeps_the_source_private(self):
        for source_mode, umask, expected in PERMISSIONS:
            with self.subTest(source=oct(source_mode), umask=oct(umask)):
                for p in self.folder.iterdir():
                    p.unlink()
                source = make_source(self.folder, size=len(SIG + IHDR + IEND + JFIF) + 10, mode=source_mode)
                done = subprocess.run([CLI, str(source)], capture_output=True,
                                      preexec_fn=lambda u=umask: os.umask(u))
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertEqual((self.folder / "big.jpg").stat().st_mode & 0o777, expected)


if __name__ == "__main__":
    unittest.main()
