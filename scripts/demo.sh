#!/usr/bin/env bash
# Runs vexlo on a fresh copy of samples/hidden.png, which hides a picture
# after the end of its image:
#   1. vexlo-cli, the Linux command-line companion;
#   2. vexlo.exe, the Windows program, under Wine. With a display it opens
#      there: watch the balloon hop, then close the window. Without one it
#      runs on a private X server, saves a screenshot after the batch
#      (build/demo/vexlo.png) and closes the program itself.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
demo=$top/build/demo

if [ -z "${VEXLO_IN_XVFB:-}" ]; then
  rm -rf "$demo" && mkdir -p "$demo/cli" "$demo/windows"
  cp "$top/samples/hidden.png" "$demo/cli/"
  cp "$top/samples/hidden.png" "$demo/windows/"

  echo "== vexlo-cli (Linux) =="
  "$top/build/native/vexlo-cli" "$demo/cli/hidden.png"
  cmp "$demo/cli/hidden.jpg" "$top/samples/payload.jpg" && echo "hidden.jpg is byte-exact"

  echo "== vexlo.exe (Windows, under Wine) =="
  if [ -n "${DISPLAY:-}" ] && timeout 5 xwd -root -silent >/dev/null 2>&1; then
    echo "on $DISPLAY: close the vexlo window when you have seen enough"
    "$top/cmake/wine-run.sh" "$top/build/win32/wineprefix" --init
    (cd "$demo/windows" && WINEPREFIX=$top/build/win32/wineprefix WINEDEBUG=-all \
      wine "$top/build/win32/ui/vexlo.exe" hidden.png >/dev/null 2>&1 </dev/null)
  else
    echo "no display: on a private X server"
    VEXLO_IN_XVFB=1 xvfb-run -a -s "-screen 0 640x400x24" "$0"
  fi
  cmp "$demo/windows/hidden.jpg" "$top/samples/payload.jpg" && echo "hidden.jpg is byte-exact"
  echo "Results are in $demo"
  exit 0
fi

# On the private X server: start the program, wait for the batch, take the
# picture, close the window as a user would.
prefix=$top/build/win32/wineprefix
"$top/cmake/wine-run.sh" "$prefix" --init
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
cd "$demo/windows"
wine "$top/build/win32/ui/vexlo.exe" hidden.png >/dev/null 2>&1 </dev/null &
program=$!
for _ in $(seq 500); do [ -e hidden.jpg ] && break; sleep 0.02; done
sleep 1  # the hop ends; the window shows the success picture
import -window root "$demo/vexlo.png"
echo "screenshot: $demo/vexlo.png"
wine taskkill /im vexlo.exe >/dev/null 2>&1 || true
wait "$program" || true
