#!/usr/bin/env bash
# Runs the Windows build's tests under Wine, on a private X server, with one
# wineserver kept alive for the whole run so each program starts quickly.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
prefix=$top/build/win32/wineprefix
run() {
  "$top/cmake/wine-run.sh" "$prefix" --init
  export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all
  wineserver -p 2>/dev/null || echo "test-win32: a wineserver already runs on this prefix; sharing it" >&2
  trap 'wineserver -k 2>/dev/null || true' EXIT
  ctest --preset win32 -j2 "$@"
}
if [ -z "${VEXLO_IN_XVFB:-}" ]; then
  VEXLO_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
run "$@"
