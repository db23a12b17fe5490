#!/usr/bin/env bash
# Speed and memory of the engine: the in-process benchmark against its floor,
# then vexlo-cli as a whole process (wall time and peak memory) on the same
# kind of file, against `tail -c` copying the same bytes.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
"$top/build/native/bench/process_file_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

python3 - "$top/build/native/vexlo-cli" "$top/scripts" <<'PY'
import os, subprocess, sys, tempfile, time
cli = sys.argv[1]
sys.path.insert(0, sys.argv[2])
import genkit
size, trailer = 2_048_000, 1_900_000
with tempfile.TemporaryDirectory() as d:
    src = os.path.join(d, "big.png")
    idat = size - trailer - len(genkit.PNG_SIG) - 2 * 12
    # The CRC is never read on the way to the trailer.
    head = genkit.PNG_SIG + genkit.chunk(b"IDAT", bytes(i * 31 % 256 for i in range(idat)), crc=0) + genkit.IEND
    body = b"\xff\xd8\xff\xe0\x00\x10JFIF" + bytes(i * 7 % 256 for i in range(trailer - 10))
    open(src, "wb").write(head + body)
    assert os.path.getsize(src) == size

    def timed(cmd, out):
        best = float("inf")
        for _ in range(20):
            if os.path.exists(out): os.unlink(out)
            t = time.perf_counter()
            subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, shell=isinstance(cmd, str))
            best = min(best, time.perf_counter() - t)
        return best

    out = os.path.join(d, "big.jpg")
    floor = timed(f"tail -c {trailer} {src} > {out}", out)
    cli_time = timed([cli, src], out)
    print(f"whole process, best of 20: vexlo-cli {cli_time*1e3:.2f} ms, tail -c {floor*1e3:.2f} ms, ratio {cli_time/floor:.2f}")
    os.unlink(out)
    # GNU time reports the peak of the measured program itself, not of this script's fork.
    r = subprocess.run(["/usr/bin/time", "-f", "%M", cli, src], check=True, capture_output=True, text=True)
    print(f"vexlo-cli peak resident memory: {int(r.stderr.split()[-1]) / 1024:.2f} MiB")

    # Hostile: eight million empty chunks (96 MiB of headers) before IEND; the
    # walk reads headers ahead in 64 KiB pieces, not one system call each.
    hostile = os.path.join(d, "chunks.png")
    with open(hostile, "wb") as f:
        f.write(genkit.PNG_SIG + genkit.chunk(b"tEXt", b"", crc=0) * (8 << 20) + genkit.IEND + b"GIF89a")
    runs = []
    for _ in range(5):
        out = os.path.join(d, "chunks.gif")
        if os.path.exists(out): os.unlink(out)
        t = time.perf_counter()
        subprocess.run([cli, "--max-size", "0", hostile], check=True, stdout=subprocess.DEVNULL)
        runs.append(time.perf_counter() - t)
    print(f"8M empty chunks, vexlo-cli --max-size 0: best {min(runs)*1e3:.0f} ms, worst {max(runs)*1e3:.0f} ms of 5")
PY
