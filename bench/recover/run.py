#!/usr/bin/env python3
"""Measures vexlo-cli --recover on the corpus made by make_corpus.py and
prints a Markdown report (also written to --out).

Every case is copied to a scratch folder (the pictures are written beside
the source), then run once without --width and once with the original's
width, each file in its own process under GNU time (wall time and peak
resident set size). Per case: whether --check calls the trailer a
png-remnant, whether the width was found, the rows rebuilt against the rows
after the cut, the pixels known for certain against the bound that exact
tracking allows (worked out here from the truth, see truth.py), the best
guess's exactly right pixels, and the hard requirement: no pixel shown as
known may differ from the original. With --peers, the bench-peers corpus is
checked too: none of its trailers is a remnant, so every png-remnant there
is false.

usage: run.py CORPUS WORKDIR [--cli PATH] [--out FILE] [--peers DIR]
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import truth  # noqa: E402

TOP = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
TIME = "/usr/bin/time"
STRATEGIES = ["none", "sub", "up", "average", "paeth", "adaptive"]


def cli_path(given):
    path = given or os.path.join(TOP, "build", "native", "vexlo-cli")
    if not given and not os.path.exists(path):
        subprocess.run(["cmake", "--preset", "native"], cwd=TOP, check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", "--preset", "native", "--target", "vexlo-cli"], cwd=TOP, check=True)
    return path


def timed(cmd, workdir):
    """(standard output, seconds, peak KiB) of one process under GNU time."""
    stats = os.path.join(workdir, "time.txt")
    run = subprocess.run([TIME, "-f", "%e %M", "-o", stats] + cmd, capture_output=True, text=True)
    with open(stats) as f:
        seconds, kib = f.read().split()[-2:]
    return run.stdout, float(seconds), int(kib)


def kinds_of(cli, files):
    """path -> trailer kind, from vexlo-cli --check --json."""
    out = subprocess.run([cli, "--check", "--json"] + files, capture_output=True, text=True).stdout
    return {line["path"]: line["kind"] for line in map(json.loads, out.splitlines())}


def recover(cli, path, width, workdir):
    cmd = [cli, "--recover", "--json"] + (["--width", str(width)] if width else []) + [path]
    out, seconds, kib = timed(cmd, workdir)
    lines = out.splitlines()
    rec = json.loads(lines[0]).get("recover") if lines else None
    return rec or {"status": "no answer"}, seconds, kib


def picture(path):
    if not path or not os.path.exists(path):
        return None
    width, height, px = truth.read_rgba(path)
    return width, height, px


def bound(case):
    """Pixels known at the limit, from the earliest true block start: (start
    bit or None, whole rows, pixels with unknown filter bytes left unknown,
    pixels with the filter types taken from the truth)."""
    bit = truth.block_start(case.cont, case.scanlines)
    if bit is None:
        return None, 0, 0, 0
    found = case.from_bit(bit)
    strict = truth.known_pixels(found, case.width, case.bpp, case.height, original=case.pixels())
    typed = truth.known_pixels(found, case.width, case.bpp, case.height, case.scanlines, case.pixels())
    return bit, sum(c is not None for c in strict), sum(c or 0 for c in strict), sum(c or 0 for c in typed)


def measure(case, cli, kind, work):
    row = {"name": case.name, "filter": case.filter, "kind": kind, "edit": case.facts["edit"]["kind"],
           "rowsAfterCut": case.facts["rowsAfterCut"], "width": case.width, "faults": []}
    row["boundBit"], row["boundRows"], row["boundStrict"], row["boundTyped"] = bound(case)
    for mode in ("found", "given"):
        folder = os.path.join(work, mode)
        rec, seconds, kib = recover(cli, os.path.join(folder, case.name + ".png"),
                                    case.width if mode == "given" else 0, work)
        row[mode] = r = {"status": rec.get("status"), "seconds": seconds, "kib": kib,
                         "width": rec.get("width"), "rows": rec.get("rows") or 0,
                         "startBit": rec.get("startBit"), "knownShare": rec.get("knownShare") or 0}
        pic, guess = picture(rec.get("picture")), picture(rec.get("guess"))
        r["violations"] = case.violations(pic) if pic else 0
        r["known"] = round(r["knownShare"] * r["rows"] * (r["width"] or 0))
        r["guessRight"] = r["guessPixels"] = 0
        if pic and case.bpp == 3:  # an RGB original: alpha tells the known pixels
            shown = sum(1 for i in range(3, len(pic[2]), 4) if pic[2][i])
            if abs(shown - r["knownShare"] * len(pic[2]) / 4) > 0.5 + len(pic[2]) / 4 * 5e-7:  # 6 decimals
                row["faults"].append("%s: knownShare says %d pixels, the picture shows %d" % (mode, r["known"], shown))
        if guess and guess[0] == case.width and guess[1] <= case.height:
            orig = case.rgba()[(case.height - guess[1]) * case.width * 4:]
            gp = guess[2]
            r["guessRight"] = sum(1 for i in range(0, len(gp), 4) if gp[i:i + 4] == orig[i:i + 4])
            r["guessPixels"] = guess[0] * guess[1]
        # The bound again, from where vexlo-cli began inflating.
        start = case.from_bit(r["startBit"]) if r["startBit"] is not None and r["rows"] else None
        r["boundAtStart"] = sum(c or 0 for c in truth.known_pixels(start, case.width, case.bpp, case.height)) \
            if start else 0
        if r["rows"] and start is None:
            row["faults"].append("%s: startBit %s is not a block start that decodes the original"
                                 % (mode, r["startBit"]))
        if r["violations"]:
            row["faults"].append("%s: %d pixels shown as known differ from the original%s" % (
                mode, r["violations"], "" if r["width"] == case.width else " (width %s, not %d)" % (r["width"], case.width)))
    return row


def peers(cli, corpus, work):
    """(png-remnant verdicts, of them false, files): the bench-peers corpus
    holds no remnant, whatever its manifest says a trailer is."""
    copy = os.path.join(work, "peers")
    shutil.copytree(corpus, copy)
    with open(os.path.join(copy, "manifest.json")) as f:
        files = json.load(f)["files"]
    out = subprocess.run([cli, "--check", "--json", "-r", copy], capture_output=True, text=True).stdout
    hits = [line["path"] for line in map(json.loads, out.splitlines()) if line.get("kind") == "png-remnant"]
    by_name = {os.path.basename(e["name"] if "name" in e else e["file"]): e for e in files}
    found = []
    for path in hits:
        e = by_name.get(os.path.basename(path), {})
        found.append("%s (payload %s, case %s)" % (os.path.basename(path), e.get("kind"), e.get("case")))
    return found, len(files)


def pct(part, whole):
    return "%.1f%%" % (100.0 * part / whole) if whole else "-"


def report(rows, peer, corpus, cli, started):
    lines = ["# Picture recovery on the cropped-screenshot corpus", "",
             "Corpus: `%s` (%d cases); `%s`; %s." % (corpus, len(rows), cli, time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime())),
             "", "Rows and pixels are counted over the original's rows after the cut (rows wholly decoded from "
             "the bytes after it). Bound: exact tracking of unknown bytes from the earliest deflate block that "
             "decodes to the end, unknown filter bytes left unknown (strict) or taken from the truth (typed); "
             "at vexlo's start: strict, from the startBit vexlo-cli reported. Rows bound: the whole rows "
             "inflated from that earliest block. "
             "Rebuilt rows, known pixels and the guess: with --width. Best guess: exactly right pixels of the "
             "guessed picture.", ""]
    head = ("| filter | cases | png-remnant | width found | rows rebuilt | rows bound | known | bound at vexlo's start "
            "| bound strict | bound typed | guess right | shown known but wrong |")
    lines += [head, "|" + "---|" * 12]
    groups = [(s, [r for r in rows if r["filter"] == s]) for s in STRATEGIES] + [("all", rows)]
    for name, group in groups:
        if not group:
            continue
        rebuildable = [r for r in group if r["boundBit"] is not None]
        after = sum(r["rowsAfterCut"] for r in group)
        pixels = sum(r["rowsAfterCut"] * r["width"] for r in group)
        g = [r["given"] for r in group]
        lines.append("| %s | %d | %d | %s of %d | %s | %s | %s | %s | %s | %s | %s | %d |" % (
            name, len(group), sum(r["kind"] == "png-remnant" for r in group),
            pct(sum(r["found"]["width"] == r["width"] and r["found"]["rows"] > 0 for r in rebuildable),
                len(rebuildable)), len(rebuildable),
            pct(sum(min(x["rows"], r["rowsAfterCut"]) for x, r in zip(g, group)), after),
            pct(sum(r["boundRows"] for r in group), after),
            pct(sum(x["known"] for x in g), pixels), pct(sum(x["boundAtStart"] for x in g), pixels),
            pct(sum(r["boundStrict"] for r in group), pixels), pct(sum(r["boundTyped"] for r in group), pixels),
            pct(sum(x["guessRight"] for x in g), sum(x["guessPixels"] for x in g)),
            sum(r[m]["violations"] for r in group for m in ("found", "given"))))
    runs = [r[m] for r in rows for m in ("found", "given")]
    lines += ["", "Width found: of the cases where a block starts after the cut (the bound found one), "
              "the width vexlo-cli found without --width is the original's.", "",
              "Time per file: median %.3f s, max %.3f s; peak memory: median %.1f MiB, max %.1f MiB "
              "(GNU time, one process per file)." % (
                  statistics.median(x["seconds"] for x in runs), max(x["seconds"] for x in runs),
                  statistics.median(x["kib"] for x in runs) / 1024, max(x["kib"] for x in runs) / 1024)]
    if peer is not None:
        hits, count = peer
        lines += ["", "bench-peers corpus: %d files, %d called png-remnant (none holds a remnant)." % (count, len(hits))]
        lines += ["- " + h for h in hits]
    faults = [(r["name"], f) for r in rows for f in r["faults"]]
    lines += ["", "Faults (hard requirement and consistency): %d" % len(faults)]
    lines += ["- %s: %s" % nf for nf in faults]
    below = [r["name"] for r in rows if r["given"]["known"] < r["given"]["boundAtStart"]]
    lines += ["", "Below the bound from vexlo's own start (pixels exact tracking proves but not shown as known): %d%s"
              % (len(below), (": " + ", ".join(below)) if below else "")]
    lines += ["", "| case | edit | kind | status | width found | rows / after cut | known | bound at start "
              "| bound strict | bound typed | guess right | s | MiB |", "|" + "---|" * 13]
    for r in rows:
        f, g = r["found"], r["given"]
        px = r["rowsAfterCut"] * r["width"]
        lines.append("| %s | %s | %s | %s | %s | %d / %d | %s | %s | %s | %s | %s | %.2f | %.1f |" % (
            r["name"], r["edit"], r["kind"], g["status"],
            "yes" if f["width"] == r["width"] and f["rows"] else "no (%s)" % f["width"],
            g["rows"], r["rowsAfterCut"], pct(g["known"], px), pct(g["boundAtStart"], px),
            pct(r["boundStrict"], px), pct(r["boundTyped"], px),
            pct(g["guessRight"], g["guessPixels"]), g["seconds"], g["kib"] / 1024))
    lines += ["", "Measured in %.0f s." % (time.time() - started)]
    return "\n".join(lines) + "\n"


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("corpus")
    ap.add_argument("workdir")
    ap.add_argument("--cli")
    ap.add_argument("--out")
    ap.add_argument("--peers", help="the bench-peers corpus (bench/peers/make_corpus.py)")
    args = ap.parse_args()
    started = time.time()
    cli = cli_path(args.cli)
    with open(os.path.join(args.corpus, "manifest.json")) as f:
        names = json.load(f)["cases"]
    shutil.rmtree(args.workdir, ignore_errors=True)
    for mode in ("found", "given"):
        os.makedirs(os.path.join(args.workdir, mode))
        for name in names:
            shutil.copy(os.path.join(args.corpus, name + ".png"), os.path.join(args.workdir, mode))
    found = os.path.join(args.workdir, "found")
    kinds = kinds_of(cli, [os.path.join(found, n + ".png") for n in names])
    rows = []
    for name in names:
        case = truth.Case(args.corpus, name)
        rows.append(measure(case, cli, kinds.get(os.path.join(found, name + ".png"), "?"), args.workdir))
        print("%s: %s" % (name, rows[-1]["given"]["status"]), file=sys.stderr)
    peer = peers(cli, args.peers, args.workdir) if args.peers else None
    text = report(rows, peer, args.corpus, cli, started)
    if args.out:
        os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
        with open(args.out, "w") as f:
            f.write(text)
    print(text, end="")
    faults = sum(len(r["faults"]) for r in rows)
    sys.exit(1 if faults else 0)


if __name__ == "__main__":
    main()
