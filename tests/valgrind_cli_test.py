#!/usr/bin/env python3
"""vexlo-cli under valgrind memcheck over 200 files covering every result
code: no memory error and no leak, with and without --check; and with
--recover over them and real remnants, some rebuilt."""
import pathlib
import shutil
import subprocess
import sys
import tempfile

CLI, SEEDS = sys.argv[1], pathlib.Path(__file__).resolve().parent.parent / "fuzz" / "make_seeds.py"


def corpus(folder: pathlib.Path):
    subprocess.run([sys.executable, SEEDS, folder / "seeds"], check=True)
    seeds = sorted((folder / "seeds" / "engine").iterdir())
    files = []
    for i in range(180):
        seed = seeds[i % len(seeds)]
        target = folder / f"f{i:03}.png"
        shutil.copy(seed, target)
        files.append(target)
    big = folder / "big.png"
    big.write_bytes((folder / "seeds" / "engine" / "jpeg").read_bytes().ljust(2_048_001, b"\0"))
    (folder / "dir.png").mkdir()
    (folder / ".png").write_bytes((folder / "seeds" / "engine" / "jpeg").read_bytes())
    extra = [big, folder / "dir.png", folder / ".png"] + [folder / f"missing{i}.png" for i in range(16)]
    # Standard input is a PNG with a trailer: readable, but nothing can be created beside /proc/self/fd/0.
    extra.append(pathlib.Path("/proc/self/fd/0"))
    return files + extra


def remnants(folder: pathlib.Path):
    """The recovery seeds' trailers behind a small PNG: files --recover rebuilds."""
    cover = (folder / "seeds" / "engine" / "no_trailer").read_bytes()
    files = []
    for seed in sorted((folder / "seeds" / "recover").iterdir()):
        files.append(folder / f"{seed.name}.png")
        files[-1].write_bytes(cover + seed.read_bytes()[2:])
    return files


def memcheck(args, stdin):
    r = subprocess.run(["valgrind", "--quiet", "--error-exitcode=99", "--leak-check=full",
                        "--show-leak-kinds=all", "--errors-for-leak-kinds=all", CLI, *map(str, args)],
                       capture_output=True, text=True, stdin=stdin)
    return r


def main():
    with tempfile.TemporaryDirectory(prefix="vexlo-vg-") as d:
        files = corpus(pathlib.Path(d))
        assert len(files) == 200, len(files)
        with open(pathlib.Path(d) / "seeds" / "engine" / "gif", "rb") as stdin:
            r = memcheck(["--recover", "-q"] + files + remnants(pathlib.Path(d)), stdin)
        errors = [line for line in r.stderr.splitlines() if line.startswith("==")]
        rebuilt = [line for line in r.stdout.splitlines() if " rows of " in line]
        print(f"--recover: exit {r.returncode}, {len(rebuilt)} rebuilt")
        if r.returncode != 1 or errors or not rebuilt:
            print("\n".join(errors) or r.stderr[-3000:])
            return 1
        for mode in (["--check"], []):
            with open(pathlib.Path(d) / "seeds" / "engine" / "gif", "rb") as stdin:
                r = memcheck(mode + files, stdin)
            errors = [line for line in r.stderr.splitlines() if line.startswith("==")]
            if r.returncode not in (0, 1) or errors:
                print("\n".join(errors) or r.stderr[-3000:])
                return 1
            # Every line but the summary ("vexlo-cli: 200 files: ...") is "FILE: reason".
            reasons = {line.split(": ", 1)[1] for line in r.stderr.splitlines()
                       if ": " in line and not line.startswith("vexlo-cli: ")}
            print(f"{mode or ['extract']}: exit {r.returncode}, {len(r.stdout.splitlines())} extracted, "
                  f"failures: {sorted(reasons)}")
            expected = {"no such file", "cannot be read or larger than 2,048,000 bytes", "not a PNG file",
                        "nothing after the end of the image", "no free output name"}
            if not mode:
                expected.add("cannot write the output")
            if not expected <= reasons:
                print("missing result codes:", expected - reasons)
                return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
