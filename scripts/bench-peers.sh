#!/usr/bin/env bash
# vexlo-cli side by side with the tools a user might pick instead (pngcheck,
# exiftool, binwalk, foremost) and the floor, over a corpus of 1,000 PNGs:
# installs what is missing, builds vexlo-cli and the floor, makes the corpus
# under build/peers/ and prints the Markdown report (also written to
# build/peers/report.md). See docs/peers.md.
#
# Environment: REPEAT (runs per tool, default 7; 3 for a tool slower than
# 10 s), SEED (corpus seed), ONLY (comma-separated peer names, for a quick
# look: vexlo-cli and the floor always run).
set -euo pipefail
. "$(dirname "$0")/lib.sh"
out=$top/build/peers

"$top/scripts/setup.sh" bench
make -C "$top" --no-print-directory native >/dev/null
mkdir -p "$out"
cc -O2 -Wall -Wextra -o "$out/floor" "$top/bench/peers/floor.c"

seed_args=()
[ -n "${SEED:-}" ] && seed_args=(--seed "$SEED")
echo "bench-peers: making the corpus in $out/corpus" >&2
python3 "$top/bench/peers/make_corpus.py" "$out/corpus" "${seed_args[@]}" >&2

echo "bench-peers: running every tool up to ${REPEAT:-7} times (a few minutes)" >&2
python3 "$top/bench/peers/run.py" "$out/corpus" "$out/run" \
  --vexlo "$top/build/native/vexlo-cli" --floor "$out/floor" \
  --repeat "${REPEAT:-7}" --only "${ONLY:-}" --out "$out/report.md"
