#!/usr/bin/env bash
# Pulls the picture hidden in samples/hidden.png out of a fresh copy of it,
# with the Linux and the Windows (under Wine) command-line programs.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
demo=$top/build/demo
rm -rf "$demo" && mkdir -p "$demo"
cp "$top/samples/hidden.png" "$demo/"

echo "== vexlo-cli (Linux) =="
"$top/build/native/vexlo-cli" "$demo/hidden.png"
cmp "$demo/hidden.jpg" "$top/samples/payload.jpg" && echo "hidden.jpg is byte-exact"

echo "== vexlo-cli.exe (Windows, under Wine) =="
cd "$demo"
"$top/cmake/wine-run.sh" "$top/build/win32/wineprefix" "$top/build/win32/vexlo-cli.exe" hidden.png
cmp "$demo/hidden(1).jpg" "$top/samples/payload.jpg" && echo "hidden(1).jpg is byte-exact"
echo "Results are in $demo"
