#!/usr/bin/env bash
# Runs each libFuzzer target for FUZZ_SECONDS (default 600) on a corpus that
# starts from the seeds, then prints executions and coverage per target.
# New crashers land in build/fuzz/findings/<target>/; copy any into
# tests/crashers/<target>/ once the bug is fixed.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
seconds=${FUZZ_SECONDS:-600}
out=$top/build/fuzz
python3 "$top/fuzz/make_seeds.py" "$out/seeds"
for name in ${FUZZ_TARGETS:-engine stream_walk command_line split_path recover gif_decoder}; do
  mkdir -p "$out/corpus/$name" "$out/findings/$name" "$out/seeds/$name"
  # The GIF reader starts from the program's own pictures.
  [ "$name" = gif_decoder ] && cp "$top"/res/*.gif "$out/seeds/$name/"
  # libFuzzer stops at a corpus folder that does not exist, and a target
  # with no past crashers has none.
  crashers=()
  [ -d "$top/tests/crashers/$name" ] && crashers=("$top/tests/crashers/$name")
  echo "== $name: $seconds s"
  "$out/fuzz/${name}_fuzz" "$out/corpus/$name" "$out/seeds/$name" "${crashers[@]}" \
    -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$out/findings/$name/" \
    -max_len=65536 2>"$out/$name.log" || { tail -40 "$out/$name.log"; exit 1; }
  grep -E 'DONE|stat::number_of_executed_units|stat::peak_rss_mb' "$out/$name.log" | sed 's/^/   /'
  echo "   corpus: $(ls "$out/corpus/$name" | wc -l) inputs"
done
