#!/usr/bin/env bash
# Figures of the Windows program under Wine on a private X server:
#   - vexlo.exe's size and the DLLs it imports (system DLLs only);
#   - CPU and wall time to create both windows and decode the six pictures,
#     and the wall time of single hops (hop_demo);
#   - a command-line batch of 100 small files: the time per file beyond the
#     500 ms that each hop spends sleeping (engine, viewer launch, picture,
#     moves and event pumping), from the timestamps of the hops on the
#     debug output.
# Uses its own Wine prefix, so it does not disturb a test run.
#   scripts/measure-window.sh [win32|win64]   (default: x86 where it runs)
set -euo pipefail
. "$(dirname "$0")/lib.sh"
arch=${1:-$(vexlo_preferred_arch)}
if [ -z "${VEXLO_IN_XVFB:-}" ]; then
  make -C "$top" --no-print-directory "$arch" >/dev/null
  vexlo_in_xvfb 1024x768 "$0" "$arch"
fi
exe=$(vexlo_exe "$arch")
work=$top/build/measure/batch
vexlo_wine "$arch" "$top/build/measure/wineprefix-$arch"

echo "vexlo.exe ($arch): $(stat -c %s "$exe") bytes; imports: $(python3 - "$top/tests" "$exe" <<'PY'
import sys
sys.path.insert(0, sys.argv[1])
from pe_file import PeFile
print(' '.join(sorted({dll for dll, _ in PeFile(sys.argv[2]).imports()})))
PY
)"
WINEDEBUG=-all "$WINE" "$top/build/$arch/tests/gui/hop_demo.exe" --hops 5 2>/dev/null

rm -rf "$work" && mkdir -p "$work"
for i in $(seq -w 1 100); do cp "$top/samples/hidden.png" "$work/f$i.png"; done
cd "$work"
WINEDEBUG=-all,+timestamp,+debugstr "$WINE" "$exe" f*.png >log.txt 2>&1 </dev/null &
program=$!
vexlo_wait_for f100.jpg 120
sleep 1
vexlo_stop "$program"
python3 - log.txt <<'PY'
import re, statistics, sys
stamps = [float(m.group(1)) for line in open(sys.argv[1])
          if 'vexlo: hop' in line and (m := re.match(r'\s*([0-9.]+):', line))]
if len(stamps) < 2:
    sys.exit("measure-window: the batch showed fewer than two hops")
periods = [b - a for a, b in zip(stamps, stamps[1:])]
mean = statistics.mean(periods)
print(f"batch of {len(stamps)} files: {1000 * mean:.1f} ms per file (median {1000 * statistics.median(periods):.1f}, "
      f"max {1000 * max(periods):.1f}); beyond the 500 ms of hop sleeps: {1000 * (mean - 0.5):.1f} ms "
      f"= {100 * (mean - 0.5) / mean:.1f}% of the batch")
PY
