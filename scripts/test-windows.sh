#!/usr/bin/env bash
# Runs the Windows builds' tests under Wine on a private X server: x64
# always, x86 where this machine runs 32-bit programs (VEXLO_NO_X86=1 leaves
# it out anyway); where it cannot, only x86's checks that need no Wine run
# (PE headers, imports, resources, zip). One wineserver per architecture
# stays alive for its run, so each program starts quickly. Extra arguments
# go to ctest.
#   scripts/test-windows.sh [CTEST ARGS...]
set -euo pipefail
. "$(dirname "$0")/lib.sh"
if [ -z "${VEXLO_IN_XVFB:-}" ]; then
  vexlo_need_wine test-windows "the Windows suites did not run"
  vexlo_in_xvfb 1024x768 "$0" "$@"
fi

x86_fault=$(vexlo_x86_unavailable)
if [ -n "$x86_fault" ]; then archs=(win64); else archs=(win32 win64); fi
failed=()
if [ -n "$x86_fault" ]; then
  echo "== x86 checks that need no Wine =="
  ctest --preset win32 -L host "$@" || failed+=("win32 (host checks)")
fi
for arch in "${archs[@]}"; do
  echo "== Windows suites, $arch =="
  status=0
  (
    vexlo_wine "$arch" "$top/build/$arch/wineprefix"
    wineserver -p 2>/dev/null || echo "test-windows: a wineserver already runs on this prefix; sharing it" >&2
    trap 'wineserver -k 2>/dev/null || true' EXIT
    ctest --preset "$arch" -j2 "$@"
  ) || status=$?
  [ "$status" -eq 0 ] || failed+=("$arch")
done

if [ -n "$x86_fault" ]; then
  summary="test-windows: ran the x64 suite and x86's checks that need no Wine; x86 programs left out: $x86_fault"
else
  summary="test-windows: ran the x86 and x64 suites"
fi
if [ ${#failed[@]} -gt 0 ]; then
  echo "$summary; failed: ${failed[*]}" >&2
  exit 1
fi
echo "$summary; all passed"
