#!/usr/bin/env python3
"""Runs vexlo-cli and the tools a user might pick instead over the corpus made
by make_corpus.py, in one run, and prints a Markdown report.

Each tool gets its own fresh copy of the corpus (so outputs never mix) and is
started once over all 1,000 files, under GNU time for the peak resident set
size; the wall time is taken around that process here. The copy is flushed to
disk before the clock starts, so every tool starts from the same warm cache.

Detection: a tool's yes/no for "there is data after IEND" must match the
manifest for the file to count; a file without a trailer must not be
reported. Extraction: a file counts when one of the files the tool produced
from it (traced by name, by binwalk's folder or by foremost's audit.txt) has
the SHA-256 of its expected trailer.

usage: run.py CORPUS WORKDIR --vexlo PATH --floor PATH [--repeat N] [--only NAME,...]
"""
import argparse
import datetime
import hashlib
import json
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import time

TIME = "/usr/bin/time"
SLOW_SECONDS = 10  # a tool this slow is run --slow-repeat times, not --repeat

# The floor: one process that copies exactly the trailing bytes of every file
# whose offset the manifest gives (floor.c: open, seek, read and write per
# file). One process, like vexlo-cli, so start-up is paid once by both; it
# reads only the trailer, where vexlo-cli must read the whole file to find
# it. The same loop in Python is run too, as the floor a script would reach.
FLOOR_PY = r"""
import sys
with open(sys.argv[1]) as jobs:
    for line in jobs:
        offset, name = line.rstrip("\n").split(" ", 1)
        with open(name, "rb") as src:
            src.seek(int(offset))
            data = src.read()
        with open(name + ".trailer", "xb") as out:
            out.write(data)
"""


def sha256_file(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def produced_files(root, exclude=()):
    """Every regular file under root, except the names in exclude (top level)."""
    out = []
    for dirpath, _, names in os.walk(root):
        for n in names:
            p = os.path.join(dirpath, n)
            if dirpath == root and n in exclude:
                continue
            if os.path.isfile(p) and not os.path.islink(p):
                out.append(p)
    return out


# --------------------------------------------------------------------- tools
# Each tool: name, role ("extract", "detect" or "floor"), the command line
# (run in WORK/<tool>/src, where the fresh copy is, with the file names as
# arguments), and what its output says.

def tools(vexlo, floor, names, as_root):
    # binwalk refuses to run its helpers as root unless told to.
    run_as = ["--run-as=root"] if as_root else []
    shown_as = " --run-as=root" if as_root else ""
    return [
        {"name": "vexlo-cli", "role": "extract",
         "cmd": [vexlo, "--"] + names, "shown": "vexlo-cli -- FILES"},
        {"name": "floor (C)", "role": "floor",
         "cmd": [floor, "../jobs.txt"], "shown": "floor jobs.txt (bench/peers/floor.c)"},
        {"name": "floor (Python)", "role": "floor",
         "cmd": [sys.executable, "-c", FLOOR_PY, "../jobs.txt"],
         "shown": "python3 -c '<open, seek, read, write per file>' jobs.txt"},
        {"name": "binwalk -e", "role": "extract",
         "cmd": ["binwalk", "-q", "-e"] + run_as + ["-C", "../out"] + names,
         "shown": "binwalk -q -e%s -C OUT FILES" % shown_as},
        {"name": "binwalk --dd='.*'", "role": "extract",
         "cmd": ["binwalk", "-q", "--dd=.*"] + run_as + ["-C", "../out"] + names,
         "shown": "binwalk -q --dd='.*'%s -C OUT FILES" % shown_as},
        {"name": "foremost", "role": "extract",
         "cmd": ["foremost", "-Q", "-o", "../out"] + names, "shown": "foremost -Q -o OUT FILES"},
        {"name": "vexlo-cli -r", "role": "extract",
         "cmd": [vexlo, "-r", "."], "shown": "vexlo-cli -r . (the folder walked)"},
        {"name": "vexlo-cli --check", "role": "detect",
         "cmd": [vexlo, "--check", "--"] + names, "shown": "vexlo-cli --check -- FILES"},
        {"name": "vexlo-cli --check --json", "role": "detect",
         "cmd": [vexlo, "--check", "--json", "--"] + names, "shown": "vexlo-cli --check --json -- FILES"},
        {"name": "pngcheck", "role": "detect",
         "cmd": ["pngcheck"] + names, "shown": "pngcheck FILES"},
        {"name": "exiftool", "role": "detect",
         "cmd": ["exiftool", "-j", "-a", "-Warning", "--"] + names,
         "shown": "exiftool -j -a -Warning -- FILES"},
    ]


# pngcheck's last line when given several files. Its exit status is not a
# yes/no: it is the number of files with errors, at least 2 and capped at 127
# (0 when there were none), so 127 here means "127 or more", not "not found".
PNGCHECK_SUMMARY = re.compile(r"^Errors were detected in (?P<n>\d+) of the \d+ files tested",
                              re.M)
VEXLO_DONE = re.compile(r"^(?P<name>[^:]+): (?P<n>\d+) bytes -> (?P<out>.*)$")
VEXLO_CHECK = re.compile(r"^(?P<name>[^:]+): (?P<n>\d+) bytes of (?P<ext>\.\w+) data \([\w-]+\), "
                         r"would be written to (?P<out>.*)$")


def expected_out_name(entry):
    # p0001.png's own name is taken by the source, so a PNG trailer gets (1).
    base = entry["name"][:-4]
    return base + ("(1)" if entry["ext"] == ".png" else "") + entry["ext"]


def detections(tool, stdout, stderr, manifest):
    """Names reported as having a trailer, and notes on anything unexpected."""
    found, notes = set(), []
    by_name = {e["name"]: e for e in manifest}
    if tool["name"].startswith("vexlo-cli"):
        pattern = VEXLO_CHECK if tool["role"] == "detect" else VEXLO_DONE
        wrong_size = wrong_name = 0
        for line in stdout.splitlines():
            if "--json" in tool["cmd"]:
                rec = json.loads(line)
                if rec["status"] not in ("has-trailer", "extracted"):
                    continue
                m = {"name": rec["path"], "n": rec["length"], "out": rec["output"]}
            else:
                m = pattern.match(line)
            if not m:
                notes.append("unparsed line: " + line)
                continue
            name = os.path.basename(m["name"])  # -r gives ./p0001.png
            found.add(name)
            e = by_name[name]
            if e["trailer"] and int(m["n"]) != e["length"]:
                wrong_size += 1
            if e["trailer"] and os.path.basename(m["out"]) != expected_out_name(e):
                wrong_name += 1
        if wrong_size or wrong_name:
            notes.append("%d wrong sizes, %d unexpected output names" % (wrong_size, wrong_name))
    elif tool["name"] == "pngcheck":
        for line in stdout.splitlines():
            if line.endswith("  additional data after IEND chunk"):
                found.add(line[: -len("  additional data after IEND chunk")])
    elif tool["name"] == "exiftool":
        for obj in json.loads(stdout or "[]"):
            texts = []
            for key, value in obj.items():
                if key.startswith("Warning"):
                    texts += value if isinstance(value, list) else [value]
            if any("Trailer data after PNG IEND chunk" in str(t) for t in texts):
                found.add(obj["SourceFile"])
    return found, notes


def run_once(tool, corpus, work, manifest):
    top = os.path.join(work, re.sub(r"[^a-z0-9]+", "_", tool["name"].lower()).strip("_"))
    if os.path.exists(top):
        shutil.rmtree(top)
    src = os.path.join(top, "src")
    os.makedirs(src)
    for e in manifest:
        shutil.copyfile(os.path.join(corpus, e["name"]), os.path.join(src, e["name"]))
    with open(os.path.join(top, "jobs.txt"), "w") as f:
        for e in manifest:
            if e["trailer"]:
                f.write("%d %s\n" % (e["offset"], e["name"]))
    os.sync()

    tfile = os.path.join(top, "time.txt")
    with open(os.path.join(top, "stdout.txt"), "wb") as out, \
            open(os.path.join(top, "stderr.txt"), "wb") as err:
        start = time.perf_counter()
        proc = subprocess.run([TIME, "-v", "-o", tfile] + tool["cmd"], cwd=src,
                              stdout=out, stderr=err, stdin=subprocess.DEVNULL)
        wall = time.perf_counter() - start

    with open(tfile) as f:
        timing = f.read()
    rss = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", timing).group(1))
    with open(os.path.join(top, "stdout.txt"), errors="replace") as f:
        stdout = f.read()
    with open(os.path.join(top, "stderr.txt"), errors="replace") as f:
        stderr = f.read()

    result = {"wall": wall, "rss_kb": rss, "exit": proc.returncode}
    if tool["name"] == "pngcheck":
        m = PNGCHECK_SUMMARY.search(stdout)
        result["files_with_errors"] = int(m["n"]) if m else None
    if tool["role"] in ("detect", "extract") and tool["name"].startswith("vexlo") \
            or tool["role"] == "detect":
        found, notes = detections(tool, stdout, stderr, manifest)
        result["detected"] = sorted(found)
        result["notes"] = notes
    if tool["role"] in ("extract", "floor"):
        originals = {e["name"] for e in manifest}
        files = produced_files(src, exclude=originals)
        out = os.path.join(top, "out")
        if os.path.isdir(out):
            files += produced_files(out)
        owners, stray = attribute(files, src, out, originals)
        result["produced"] = len(files)
        result["stray"] = len(stray)
        # SHA-256 of every file produced, per source it came from.
        result["hashes"] = {name: sorted({sha256_file(p) for p in paths})
                            for name, paths in sorted(owners.items())}
        # Outputs of vexlo-cli and the floor sit beside the sources.
        result["beside"] = sorted(os.path.relpath(p, src) for p in files
                                  if os.path.dirname(p) == src)
    return result


def attribute(files, src, out, originals):
    """Which source each produced file came from: by name beside the source
    (p0001.jpg, p0001(1).png, p0001.png.trailer), by binwalk's folder
    (_p0001.png.extracted/), or by foremost's audit.txt."""
    owners, stray = {}, []
    carved_by = {}
    audit = os.path.join(out, "audit.txt")
    if os.path.isfile(audit):
        current = None
        with open(audit, errors="replace") as f:
            for line in f:
                if line.startswith("File: "):
                    current = line[6:].strip()
                    continue
                m = re.match(r"^\d+:\s+(\S+)", line)
                if m and current:
                    carved_by[m.group(1)] = current
    for p in files:
        rel = os.path.relpath(p, out) if p.startswith(out + os.sep) else None
        owner = None
        if rel is None:
            m = re.match(r"^(p\d+)[.(]", os.path.basename(p))
            owner = m and m.group(1) + ".png"
        elif rel == "audit.txt":
            continue
        elif rel.startswith("_") and ".extracted" in rel.split(os.sep)[0]:
            owner = rel.split(os.sep)[0][1:-len(".extracted")]
        else:
            owner = carved_by.get(os.path.basename(p))
        if owner in originals:
            owners.setdefault(owner, []).append(p)
        else:
            stray.append(p)
    return owners, stray


# ------------------------------------------------------------------- scoring

def score(tool, runs, manifest):
    first = runs[0]
    s = {"name": tool["name"], "role": tool["role"], "shown": tool["shown"],
         "wall": statistics.median(r["wall"] for r in runs),
         "walls": [r["wall"] for r in runs],
         "rss_kb": max(r["rss_kb"] for r in runs),
         "exit": sorted({r["exit"] for r in runs}),
         "notes": list(first.get("notes", []))}
    s["exit_meaning"] = exit_meaning(tool, first, manifest)
    if "detected" in first:
        found = set(first["detected"])
        s["detected_ok"] = sum((e["name"] in found) == e["trailer"] for e in manifest)
        s["false_pos"] = sum(e["name"] in found and not e["trailer"] for e in manifest)
        s["missed"] = sum(e["name"] not in found and e["trailer"] for e in manifest)
        s["detect_by_case"] = by_group(manifest, lambda e: (e["name"] in found) == e["trailer"], case_group)
        if any(r["detected"] != first["detected"] for r in runs[1:]):
            s["notes"].append("detections differed between repetitions")
    if "hashes" in first:
        hashes = first["hashes"]

        def exact(e):
            return e["trailer"] and e["sha256"] in hashes.get(e["name"], ())

        s["exact"] = sum(exact(e) for e in manifest)
        s["produced"] = first["produced"]
        if first["stray"]:
            s["notes"].append("%d produced files not traced to a source" % first["stray"])
        s["exact_by_kind"] = by_group([e for e in manifest if e["trailer"]], exact, kind_group)
        if any(r["hashes"] != first["hashes"] for r in runs[1:]):
            s["notes"].append("outputs differed between repetitions")
        if tool["name"] == "vexlo-cli":
            expected = {expected_out_name(e) for e in manifest if e["trailer"]}
            s["beside_ok"] = set(first["beside"]) == expected
    return s


def exit_meaning(tool, first, manifest):
    """What the exit status says, in the tool's own terms."""
    if tool["name"] == "pngcheck":
        n = first.get("files_with_errors")
        if n is None:
            return ""
        return ("pngcheck's count of files with errors, capped at 127; it reported %d" % n
                if first["exit"] == 127 else "pngcheck's count of files with errors: %d" % n)
    if tool["name"].startswith("vexlo-cli") and first["exit"] == 1:
        missing = len(manifest) - len(first.get("detected", ()))
        return ("%d files had no trailing data" % missing if tool["role"] == "detect"
                else "%d files had nothing to extract" % missing)
    return ""


def case_group(e):
    c = e["case"]
    if c == "regular":
        return "trailer" if e["trailer"] else "no trailer"
    return re.sub(r"-(IDAT|IEND|IHDR|topbit|past-end)$", "", c)


def kind_group(e):
    return e["case"] if e["case"] in ("two-iend",) else e["kind"]


def by_group(entries, ok, group):
    out = {}
    for e in entries:
        g = group(e)
        hit, total = out.get(g, (0, 0))
        out[g] = (hit + bool(ok(e)), total + 1)
    return out


# ------------------------------------------------------------------- report

def ratio(a, b):
    return "%.2f×" % (a / b) if b else "n/a"


def report(scores, manifest, env, repeat):
    n = len(manifest)
    t = sum(e["trailer"] for e in manifest)
    ref = {"extract": next(s for s in scores if s["name"] == "vexlo-cli"),
           "detect": next(s for s in scores if s["name"] == "vexlo-cli --check")}
    ref["floor"] = ref["extract"]
    lines = []
    add = lines.append
    add("Measured %s on %s (%s, %d CPUs; load average before the run %s)." % (
        env["date"], env["host"], env["cpu"], env["cpus"], env["load_before"]))
    add("Corpus: %d files, %.1f MB, %d with a trailer (seed %s). Wall time: the median of "
        "%d runs (%d for a tool slower than %d s), each on a fresh copy, taken in turns; "
        "peak RSS: the largest of those runs." % (
            n, sum(e["size"] for e in manifest) / 1e6, t, env["seed"], repeat[0], repeat[1],
            SLOW_SECONDS))
    add("")
    add("| tool | role | trailer detected correctly (of %d) | extracted byte-exact (of %d) "
        "| wall time (s) | time ÷ vexlo-cli | peak RSS (MB) | RSS ÷ vexlo-cli |" % (n, t))
    add("|---|---|---|---|---|---|---|---|")
    for s in scores:
        r = ref[s["role"]]
        role = {"extract": "extracts", "detect": "detects", "floor": "floor"}[s["role"]]
        det = "%d (%d missed, %d false)" % (s["detected_ok"], s["missed"], s["false_pos"]) \
            if "detected_ok" in s else "—"
        ext = "%d" % s["exact"] if "exact" in s else "—"
        vs = "(ref. extraction)" if s is ref["extract"] else (
            "(ref. detection)" if s is ref["detect"] else ratio(s["wall"], r["wall"]))
        vs_m = "" if s is r else ratio(s["rss_kb"], r["rss_kb"])
        add("| %s | %s | %s | %s | %.3f | %s | %.1f | %s |" % (
            s["name"].replace("|", "\\|"), role, det, ext, s["wall"], vs,
            s["rss_kb"] / 1024, vs_m))
    add("")
    for floor in (s for s in scores if s["role"] == "floor"):
        add("vexlo-cli ÷ %s, wall time: %s; peak RSS: %s." % (
            floor["name"], ratio(ref["extract"]["wall"], floor["wall"]),
            ratio(ref["extract"]["rss_kb"], floor["rss_kb"])))
    add("")

    def breakdown(title, key, first_column):
        """One row per group (payload kind or case), one column per tool that has it."""
        tools = [s for s in scores if key in s]
        groups = sorted({g for s in tools for g in s[key]})
        add(title)
        add("")
        add("| %s | files | " % first_column + " | ".join(s["name"] for s in tools) + " |")
        add("|---|---|" + "---|" * len(tools))
        for g in groups:
            total = tools[0][key].get(g, (0, 0))[1]
            add("| %s | %d | %s |" % (g, total, " | ".join(str(s[key].get(g, (0, 0))[0]) for s in tools)))
        add("")

    breakdown("Byte-exact extraction by payload kind (files with a trailer):", "exact_by_kind", "kind")
    breakdown("Trailer detected correctly, by case:", "detect_by_case", "case")
    add("Commands (run in the copy's folder, FILES = the %s names, OUT a fresh folder):"
        % format(n, ","))
    add("")
    for s in scores:
        add("- %s: `%s`; exit status %s%s; wall times %s s%s%s" % (
            s["name"], s["shown"], "/".join(map(str, s["exit"])),
            " (%s)" % s["exit_meaning"] if s["exit_meaning"] else "",
            ", ".join("%.3f" % w for w in s["walls"]),
            "; %d files produced" % s["produced"] if "produced" in s else "",
            ("; " + "; ".join(s["notes"])) if s["notes"] else ""))
    vx = ref["extract"]
    if "beside_ok" in vx:
        add("- vexlo-cli outputs beside the sources with the expected names: %s"
            % ("yes" if vx["beside_ok"] else "NO"))
    add("")
    add("Versions: " + "; ".join("%s %s" % kv for kv in env["versions"].items()))
    return "\n".join(lines)


def version(cmd):
    try:
        out = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             text=True, timeout=60).stdout
    except OSError:
        return "not installed"
    for line in out.splitlines():
        if re.search(r"\d+\.\d+", line):
            return line.strip().rstrip(",")
    return out.strip().splitlines()[0] if out.strip() else "?"


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("corpus")
    ap.add_argument("work")
    ap.add_argument("--vexlo", required=True)
    ap.add_argument("--floor", required=True, help="floor.c, compiled")
    ap.add_argument("--repeat", type=int, default=7)
    ap.add_argument("--slow-repeat", type=int, default=3,
                    help="runs of a tool whose first run took over %d s" % SLOW_SECONDS)
    ap.add_argument("--only", default="", help="comma-separated tool names (for a quick look)")
    ap.add_argument("--out", default=None, help="also write the report here")
    args = ap.parse_args()

    with open(os.path.join(args.corpus, "manifest.json")) as f:
        meta = json.load(f)
    manifest = meta["files"]
    names = [e["name"] for e in manifest]
    vexlo = os.path.abspath(args.vexlo)
    for exe in (TIME, "pngcheck", "exiftool", "binwalk", "foremost"):
        if not shutil.which(exe):
            sys.exit("run.py: %s is missing: run scripts/setup.sh bench" % exe)

    cpu = "?"
    try:
        with open("/proc/cpuinfo") as f:
            cpu = next(l.split(":", 1)[1].strip() for l in f if l.startswith("model name"))
    except (OSError, StopIteration):
        pass
    env = {
        "date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
        "host": "%s %s" % (platform.system(), platform.release()),
        "cpu": cpu, "cpus": os.cpu_count(),
        "load_before": " ".join("%.2f" % x for x in os.getloadavg()),
        "seed": meta.get("seed"),
        "versions": {
            "vexlo-cli": version([vexlo, "--version"]),
            "pngcheck": version(["pngcheck", "-h"]),
            "exiftool": version(["exiftool", "-ver"]),
            "binwalk": version(["binwalk", "-h"]),
            "foremost": version(["foremost", "-V"]),
            "python3": platform.python_version(),
        },
    }

    args.corpus, args.work = os.path.abspath(args.corpus), os.path.abspath(args.work)
    os.makedirs(args.work, exist_ok=True)
    only = {x.strip() for x in args.only.split(",") if x.strip()}
    chosen = [t for t in tools(vexlo, os.path.abspath(args.floor), names, os.geteuid() == 0)
              if not only or t["name"] in only or t["name"].startswith("vexlo-cli")
              or t["role"] == "floor"]
    # Round-robin: a change in the machine's load touches every tool alike.
    runs = {t["name"]: [] for t in chosen}
    for i in range(args.repeat):
        for tool in chosen:
            done = runs[tool["name"]]
            if len(done) >= args.slow_repeat and done[0]["wall"] > SLOW_SECONDS:
                continue
            r = run_once(tool, args.corpus, args.work, manifest)
            print("run %d/%d  %-20s %8.3f s %7.1f MB  exit %d" % (
                i + 1, args.repeat, tool["name"], r["wall"], r["rss_kb"] / 1024, r["exit"]),
                file=sys.stderr, flush=True)
            done.append(r)
    scores = [score(t, runs[t["name"]], manifest) for t in chosen]
    env["load_after"] = " ".join("%.2f" % x for x in os.getloadavg())

    text = report(scores, manifest, env, (args.repeat, min(args.repeat, args.slow_repeat)))
    text += "\nLoad average after the run: %s.\n" % env["load_after"]
    print(text)
    if args.out:
        with open(args.out, "w") as f:
            f.write(text)
        with open(os.path.splitext(args.out)[0] + ".json", "w") as f:
            json.dump({"env": env, "scores": scores}, f, indent=1)


if __name__ == "__main__":
    main()
