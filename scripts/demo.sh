#!/usr/bin/env bash
# Runs vexlo on a fresh copy of samples/hidden.png, which hides a picture
# after the end of its image:
#   1. vexlo-cli, the Linux command-line companion;
#   2. vexlo.exe, the Windows program, under Wine: the x86 build where this
#      machine runs 32-bit programs, else the x64 one (VEXLO_NO_X86=1 picks
#      x64 anyway). With a display it opens there: watch the balloon hop,
#      then close the window. Without one it runs on a private X server,
#      saves a screenshot after the batch (build/demo/vexlo.png) and closes
#      the program itself.
# Builds only the two programs it runs.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
demo=$top/build/demo

# On the private X server: start the program, wait for the batch, take the
# picture, close the window as a user would.
if [ -n "${VEXLO_IN_XVFB:-}" ]; then
  arch=$1
  vexlo_wine "$arch" "$top/build/$arch/wineprefix"
  cd "$demo/windows"
  "$WINE" "$(vexlo_exe "$arch")" hidden.png >/dev/null 2>&1 </dev/null &
  program=$!
  vexlo_wait_for hidden.jpg 10
  sleep 1  # the hop ends; the window shows the success picture
  import -window root "$demo/vexlo.png"
  echo "screenshot: $demo/vexlo.png"
  vexlo_stop "$program"
  exit 0
fi

vexlo_need_wine demo
arch=$(vexlo_preferred_arch)
label="x86 build"
[ "$arch" = win32 ] || label="x64 build, since x86 is left out: $(vexlo_x86_unavailable)"
cd "$top"
cmake --preset native >/dev/null && cmake --build --preset native --target vexlo-cli >/dev/null
cmake --preset "$arch" >/dev/null && cmake --build --preset "$arch" --target vexlo >/dev/null

rm -rf "$demo" && mkdir -p "$demo/cli" "$demo/windows"
cp "$top/samples/hidden.png" "$demo/cli/"
cp "$top/samples/hidden.png" "$demo/windows/"

echo "== vexlo-cli (Linux) =="
"$top/build/native/vexlo-cli" "$demo/cli/hidden.png"
cmp "$demo/cli/hidden.jpg" "$top/samples/payload.jpg" && echo "hidden.jpg is byte-exact"

echo "== vexlo.exe (Windows, under Wine: the $label) =="
if [ -n "${DISPLAY:-}" ] && timeout 5 xwd -root -silent >/dev/null 2>&1; then
  echo "on $DISPLAY: close the vexlo window when you have seen enough"
  (cd "$demo/windows" &&
    "$top/cmake/wine-run.sh" "$arch" "$top/build/$arch/wineprefix" "$(vexlo_exe "$arch")" hidden.png \
      >/dev/null 2>&1 </dev/null)
else
  echo "no display: on a private X server"
  (vexlo_in_xvfb 640x400 "$0" "$arch")
fi
cmp "$demo/windows/hidden.jpg" "$top/samples/payload.jpg" && echo "hidden.jpg is byte-exact"
echo "Results are in $demo"
