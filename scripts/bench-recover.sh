#!/usr/bin/env bash
# vexlo-cli --recover measured on the cropped-screenshot corpus
# (bench/recover/make_corpus.py): remnants recognised, width found, rows and
# pixels rebuilt against the bound exact tracking allows, the best guess,
# pixels shown as known but wrong (must be none), false png-remnant verdicts
# on the bench-peers corpus, time and peak memory per file. Prints the
# Markdown report, also written to build/recover/report.md.
#
# Environment: SEED (corpus seed), COUNT (cases, default 60).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=$top/build/recover

"$top/scripts/setup.sh"
cmake --preset native >/dev/null
cmake --build --preset native --target vexlo-cli >/dev/null
mkdir -p "$out"

args=()
[ -n "${SEED:-}" ] && args+=(--seed "$SEED")
[ -n "${COUNT:-}" ] && args+=(--count "$COUNT")
rm -rf "$out/corpus" "$out/peers-corpus"
echo "bench-recover: making the corpus in $out/corpus (a minute or two)" >&2
# One line per case on stderr: only the closing count and time are shown.
nice python3 "$top/bench/recover/make_corpus.py" "$out/corpus" "${args[@]}" 2>&1 | tail -n 1 >&2
echo "bench-recover: making the bench-peers corpus in $out/peers-corpus" >&2
nice python3 "$top/bench/peers/make_corpus.py" "$out/peers-corpus" >/dev/null 2>&1

echo "bench-recover: measuring (a few minutes)" >&2
python3 "$top/bench/recover/run.py" "$out/corpus" "$out/run" --cli "$top/build/native/vexlo-cli" \
  --peers "$out/peers-corpus" --out "$out/report.md"
