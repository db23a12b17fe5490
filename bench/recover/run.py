#!/usr/bin/env python3
"""Measures vexlo-cli --recover on a corpus made by make_corpus.py and prints
a Markdown report (also written to --out).

Every case is copied to a scratch folder (the pictures are written beside
the source) and run without --width (and, unless --found-only, once more
with the original's width), each file in its own process under GNU time
(wall time and peak resident set size). Per case: whether --check calls the
trailer a png-remnant; whether the width was found, refused or found wrong
(the worst fault: a wrong width shows pixels of elsewhere as known); the
rows rebuilt; the pixels known for certain against the limit exact tracking
allows (worked out from the truth by rkit.c, from the earliest deflate block
start after the cut); the best guess's exactly right pixels; the published
tools' method on equal terms (rkit.c's peer); and the hard requirement: no
pixel shown as known may differ from the original. The truth is the
original decoded back by ImageMagick. With --peers, the bench-peers corpus
is checked too: none of its trailers is a remnant, so every png-remnant
there is false.

usage: run.py CORPUS WORKDIR [--cli PATH] [--out FILE] [--peers DIR] [--found-only] [--title T]
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import time
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import screens  # noqa: E402
import truth  # noqa: E402

TOP = truth.TOP
TIME = "/usr/bin/time"
STRATEGIES = ["none", "sub", "up", "average", "paeth", "adaptive", "mixed"]


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
    out = subprocess.run([cli, "--check", "--json", "--max-size", "0"] + files, capture_output=True, text=True).stdout
    return {line["path"]: line["kind"] for line in map(json.loads, out.splitlines())}


def rkit(*args):
    return json.loads(subprocess.run([truth.rkit()] + [str(a) for a in args], check=True, capture_output=True,
                                     text=True).stdout)


def rgba_file(png, path):
    """A picture's pixels as raw 8-bit RGBA in `path`; its (width, height)."""
    size = subprocess.run(["convert", png, "-format", "%w %h", "info:"], check=True, capture_output=True,
                          text=True).stdout.split()
    subprocess.run(["convert", png, "-depth", "8", "rgba:" + path], check=True)
    return int(size[0]), int(size[1])


def measure(case, cli, kind, work, modes, peer):
    o = case.facts["original"]
    w, h, bpp = o["width"], o["height"], o["bytesPerPixel"]
    row = {"name": case.name, "filter": o["filter"], "kind": kind, "edit": case.facts["edit"]["kind"],
           "rowsAfterCut": case.facts["rowsAfterCut"], "width": w, "height": h, "bpp": bpp, "faults": []}
    files = {k: os.path.join(work, "case." + k) for k in ("cont", "scan", "pixels", "rgba")}
    with open(files["cont"], "wb") as f:
        f.write(case.cont)
    with open(files["scan"], "wb") as f:
        f.write(case.scanlines)
    with open(files["pixels"], "wb") as f:
        f.write(screens.decode(case.original_path(), bpp == 4))
    b = rkit("bound", files["cont"], files["scan"], files["pixels"], w, h, bpp)
    row["boundBit"], row["boundRows"], row["limit"], row["limitTyped"] = b["bit"], b["rows"], b["strict"], b["typed"]
    if b["wrong"]:
        row["faults"].append("the bound counts %d bytes as known that differ (truth.py's rule broken)" % b["wrong"])
    if peer:
        p = rkit("peer", files["cont"], files["pixels"], w, h, bpp)
        row["peer"] = {"rows": p["rows"], "right": p["right"], "pixels": p["rows"] * w}
    for mode in modes:
        folder = os.path.join(work, mode)
        path = os.path.join(folder, case.name + ".png")
        cmd = [cli, "--recover", "--json"] + (["--width", str(w)] if mode == "given" else []) + [path]
        out, seconds, kib = timed(cmd, work)
        lines = out.splitlines()
        rec = (json.loads(lines[0]).get("recover") if lines else None) or {"status": "no answer"}
        r = row[mode] = {"status": rec.get("status"), "message": rec.get("message"), "seconds": seconds, "kib": kib,
                         "width": rec.get("width"), "bpp": rec.get("bytesPerPixel"), "rows": rec.get("rows") or 0,
                         "startBit": rec.get("startBit"), "knownShare": rec.get("knownShare") or 0,
                         "known": 0, "guessRight": 0, "guessPixels": 0, "violations": 0, "atStart": 0}
        rebuilt = r["status"] == "recovered"
        r["wrong"] = rebuilt and (r["width"] != w or r["bpp"] != bpp)
        if not rebuilt:
            continue
        r["known"] = round(r["knownShare"] * r["rows"] * r["width"])
        for key, field in (("picture", "shown"), ("guess", "right")):
            if not rec.get(key):
                continue
            pw, ph = rgba_file(rec[key], files["rgba"])
            c = rkit("compare", files["pixels"], w, h, bpp, files["rgba"], ph) if (pw, bpp) == (w, r["bpp"]) \
                else None
            if key == "picture":
                r["violations"] = c["wrong"] if c else r["known"]
                if c and bpp == 3 and abs(c["shown"] - r["known"]) > 1 + r["known"] * 1e-5:
                    row["faults"].append("%s: knownShare says %d pixels, the picture shows %d" % (
                        mode, r["known"], c["shown"]))
            elif c:
                r["guessRight"], r["guessPixels"] = c["right"], pw * ph
            os.remove(rec[key])
        if r["violations"]:
            row["faults"].append("%s: %d pixels shown as known differ from the original%s" % (
                mode, r["violations"], "" if not r["wrong"] else " (width %s, not %d)" % (r["width"], w)))
        if r["wrong"]:
            row["faults"].append("%s: width %s at %s bytes per pixel reported for a %d-wide original at %d" % (
                mode, r["width"], r["bpp"], w, bpp))
            continue
        s = rkit("bound", files["cont"], files["scan"], files["pixels"], w, h, bpp, r["startBit"])
        if s["bit"] is None:
            row["faults"].append("%s: startBit %s is not a block start that decodes the original" % (
                mode, r["startBit"]))
        r["atStart"] = s["strict"]
    return row


def peers_check(cli, corpus, work):
    """(png-remnant verdicts, files): the bench-peers corpus holds no remnant."""
    copy = os.path.join(work, "peers")
    shutil.copytree(corpus, copy)
    with open(os.path.join(copy, "manifest.json")) as f:
        files = json.load(f)["files"]
    out = subprocess.run([cli, "--check", "--json", "-r", copy], capture_output=True, text=True).stdout
    hits = [os.path.basename(line["path"]) for line in map(json.loads, out.splitlines())
            if line.get("kind") == "png-remnant"]
    return hits, len(files)


def pct(part, whole):
    return "%.1f%%" % (100.0 * part / whole) if whole else "-"


def groups_of(rows):
    return [(s, [r for r in rows if r["filter"] == s]) for s in STRATEGIES] + [("all", rows)]


def width_table(rows):
    """Found, refused and wrong widths per strategy, over the cases where a
    deflate block starts after the cut (the only ones a width can come from)."""
    lines = ["| strategy | cases | block start after the cut | width found | refused | wrong widths |",
             "|---|---|---|---|---|---|"]
    for name, group in groups_of(rows):
        if not group:
            continue
        able = [r for r in group if r["boundBit"] is not None]
        found = sum(r["found"]["status"] == "recovered" and not r["found"]["wrong"] for r in able)
        refused = sum(r["found"]["status"] != "recovered" for r in able)
        wrong = sum(r["found"]["wrong"] for r in group)
        lines.append("| %s | %d | %d | %d (%s) | %d (%s) | %d |" % (
            name, len(group), len(able), found, pct(found, len(able)), refused, pct(refused, len(able)), wrong))
    return lines


def quality_table(rows, modes, peer):
    head = "| strategy | cases | png-remnant | known ÷ limit, width found | guess right, width found |"
    if "given" in modes:
        head += " known ÷ limit, --width | guess right, --width |"
    if peer:
        head += " peers' method right |"
    head += " limit (of the pixels after the cut) | shown known but wrong |"
    lines = [head, "|" + "---|" * (head.count("|") - 1)]
    for name, group in groups_of(rows):
        if not group:
            continue
        limit = sum(r["limit"] for r in group)
        pixels = sum(r["rowsAfterCut"] * r["width"] for r in group)
        cells = [name, str(len(group)), str(sum(r["kind"] == "png-remnant" for r in group))]
        for mode in modes:
            g = [r[mode] for r in group]
            cells += [pct(sum(x["known"] for x in g), limit),
                      "%s (%s of the pixels after the cut)" % (
                          pct(sum(x["guessRight"] for x in g), sum(x["guessPixels"] for x in g)),
                          pct(sum(x["guessRight"] for x in g), pixels))]
        if peer:
            cells.append("%s (%s)" % (pct(sum(r["peer"]["right"] for r in group), sum(r["peer"]["pixels"] for r in group)),
                                      pct(sum(r["peer"]["right"] for r in group), pixels)))
        cells += [pct(limit, pixels), str(sum(r[m]["violations"] for r in group for m in modes))]
        lines.append("| " + " | ".join(cells) + " |")
    return lines


def method_table(rows, modes, peer):
    """vexlo's guess beside the peers' method, one row each, on the same cases:
    exactly right pixels of the rows each rebuilt and of all the pixels after the cut."""
    pixels = sum(r["rowsAfterCut"] * r["width"] for r in rows)
    lines = ["| method | cases | rows rebuilt | pixels exactly right, of the rows rebuilt | of the pixels after the cut |",
             "|---|---|---|---|---|"]
    names = {"found": "vexlo --recover, width found", "given": "vexlo --recover --width N"}
    for mode in modes:
        right = sum(r[mode]["guessRight"] for r in rows)
        lines.append("| %s | %d | %d | %s | %s |" % (names[mode], len(rows), sum(r[mode]["rows"] for r in rows),
                                                    pct(right, sum(r[mode]["guessPixels"] for r in rows)),
                                                    pct(right, pixels)))
    if peer:
        right = sum(r["peer"]["right"] for r in rows)
        lines.append("| peers' method: zero-filled window, width and height given, every bit tried | %d | %d | %s | %s |"
                     % (len(rows), sum(r["peer"]["rows"] for r in rows),
                        pct(right, sum(r["peer"]["pixels"] for r in rows)), pct(right, pixels)))
    return lines


def timing(rows, modes):
    def line(runs, what):
        if not runs:
            return []
        return ["%s: time per file median %.2f s, worst %.2f s; peak memory median %.1f MiB, worst %.1f MiB "
                "(%d runs, GNU time)." % (what, statistics.median(x["seconds"] for x in runs),
                                          max(x["seconds"] for x in runs),
                                          statistics.median(x["kib"] for x in runs) / 1024,
                                          max(x["kib"] for x in runs) / 1024, len(runs))]
    every = [r[m] for r in rows for m in modes]
    big = [r[m] for r in rows for m in modes if (r["width"], r["height"]) == (2560, 1440)]
    return line(every, "All files") + line(big, "2560 x 1440 originals")


def report(rows, peer_hits, corpus, cli, started, modes, title, peer):
    lines = ["# %s" % title, "",
             "Corpus: `%s` (%d cases); `%s`; %s." % (corpus, len(rows), cli,
                                                     time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime())), "",
             "Width: of the cases where a deflate block starts after the cut, without --width.", ""]
    lines += width_table(rows)
    if any(m in rows[0] for m in ("given",)) or peer or len(modes) > 0:
        lines += ["", "Limit: the pixels exact tracking of the lost window proves from the earliest block start "
                  "after the cut, rows with unknown filter bytes left unknown. Guess right: exactly right pixels of "
                  "the guessed picture, of the pixels it holds (and of all the pixels after the cut). Peers' method: "
                  "every bit tried with a zero-filled window, width and height given, the first start that "
                  "inflates to the end taken, its bytes unfiltered as they come.", ""]
        lines += quality_table(rows, modes, peer)
        lines += ["", "The guess beside the peers' method, pooled over every case:", ""]
        lines += method_table(rows, modes, peer)
    lines += [""] + timing(rows, modes)
    if peer_hits is not None:
        hits, count = peer_hits
        lines += ["", "bench-peers corpus: %d files, %d called png-remnant (none holds a remnant)." % (count, len(hits))]
        lines += ["- " + h for h in hits]
    faults = [(r["name"], f) for r in rows for f in r["faults"]]
    lines += ["", "Faults (wrong widths, pixels shown as known but wrong, inconsistencies): %d" % len(faults)]
    lines += ["- %s: %s" % nf for nf in faults]
    below = [r["name"] for r in rows for m in modes if r[m]["status"] == "recovered" and not r[m]["wrong"]
             and r[m]["known"] < r[m]["atStart"]]
    lines += ["", "Below the limit from vexlo's own start: %d%s" % (len(below), (": " + ", ".join(below)) if below else "")]
    lines += ["", "| case | edit | kind | width found | rows / after cut | known / limit | guess right | s | MiB |",
              "|" + "---|" * 9]
    for r in rows:
        f = r["found"]
        verdict = "yes" if f["status"] == "recovered" and not f["wrong"] else \
            "WRONG (%s)" % f["width"] if f["wrong"] else "refused"
        lines.append("| %s | %s | %s | %s | %d / %d | %d / %d | %s | %.2f | %.1f |" % (
            r["name"], r["edit"], r["kind"], verdict, f["rows"], r["rowsAfterCut"], f["known"], r["limit"],
            pct(f["guessRight"], f["guessPixels"]), f["seconds"], f["kib"] / 1024))
    lines += ["", "Measured in %.0f s." % (time.time() - started)]
    return "\n".join(lines) + "\n"


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("corpus")
    ap.add_argument("workdir")
    ap.add_argument("--cli")
    ap.add_argument("--out")
    ap.add_argument("--json", help="the per-case figures, for later reports")
    ap.add_argument("--peers", help="the bench-peers corpus (bench/peers/make_corpus.py)")
    ap.add_argument("--found-only", action="store_true", help="no run with --width, no peers' method")
    ap.add_argument("--title", default="Picture recovery on the cropped-screenshot corpus")
    args = ap.parse_args()
    started = time.time()
    cli = cli_path(args.cli)
    with open(os.path.join(args.corpus, "manifest.json")) as f:
        names = json.load(f)["cases"]
    modes = ("found",) if args.found_only else ("found", "given")
    shutil.rmtree(args.workdir, ignore_errors=True)
    for mode in modes:
        os.makedirs(os.path.join(args.workdir, mode))
        for name in names:
            shutil.copy(os.path.join(args.corpus, name + ".png"), os.path.join(args.workdir, mode))
    found = os.path.join(args.workdir, "found")
    kinds = kinds_of(cli, [os.path.join(found, n + ".png") for n in names])
    rows = []
    for name in names:
        case = truth.Case(args.corpus, name)
        rows.append(measure(case, cli, kinds.get(os.path.join(found, name + ".png"), "?"), args.workdir, modes,
                            not args.found_only))
        f = rows[-1]["found"]
        print("%s: %s%s" % (name, f["status"], " WRONG WIDTH %s" % f["width"] if f["wrong"] else ""), file=sys.stderr)
    peer_hits = peers_check(cli, args.peers, args.workdir) if args.peers else None
    text = report(rows, peer_hits, args.corpus, cli, started, modes, args.title, not args.found_only)
    for path, data in ((args.out, text), (args.json, json.dumps(rows, indent=0))):
        if path:
            os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
            with open(path, "w") as f:
                f.write(data)
    print(text, end="")
    sys.exit(1 if any(r["faults"] for r in rows) else 0)


if __name__ == "__main__":
    main()
