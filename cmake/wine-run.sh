#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own prefix:
#   wine-run.sh PREFIX PROGRAM [ARGS...]
#   wine-run.sh PREFIX --init          (only make the prefix)
# The prefix is made on first use: 32-bit, windows neither decorated nor
# managed by an X window manager (Wine draws the frames itself, and hiding a
# window does not wait two seconds for a manager that Xvfb does not have),
# the Japanese UI face mapped to an installed font, and Wine's own fonts.
set -euo pipefail
prefix=$1; shift
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ ! -f "$prefix/.vexlo-ready-3" ]; then
  mkdir -p "$(dirname "$prefix")"
  exec 9>"$prefix.lock"
  flock 9
  if [ ! -f "$prefix/.vexlo-ready-3" ]; then
    wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
      /v 'ＭＳ Ｐゴシック' /t REG_SZ /d IPAPGothic /f >/dev/null 2>&1
    # This Wine does not find its own fonts (Tahoma, Marlett for the caption
    # buttons) where the package puts them; the prefix's font folder is
    # always searched.
    for font in /usr/share/wine/fonts/*.ttf; do
      [ -e "$font" ] && ln -sf "$font" "$prefix/drive_c/windows/Fonts/"
    done
    wineserver -w
    touch "$prefix/.vexlo-ready-3"
  fi
  exec 9>&-
fi
[ "${1:-}" = --init ] && exit 0
# Wine's background services (services.exe, explorer.exe, ...) start with the
# first program and inherit its standard output and error. Were those the
# caller's pipes, the caller (ctest, a test script) would wait for their end
# as long as the services live. So the program writes to files, copied after.
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
status=0
wine "$@" >"$out" 2>"$err" || status=$?
cat "$out"
cat "$err" >&2
exit "$status"
