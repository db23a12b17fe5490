# Wine for the project's Windows builds, sourced by the runner and scripts.
#
#   vexlo_wine ARCH PREFIX   ARCH is win32 (x86) or win64 (x64): exports the
#                            environment for that prefix and makes the prefix
#                            on first use; $WINE is then the loader to start
#                            programs with.
#   vexlo_x86_unavailable    prints why x86 programs cannot run here, or
#                            nothing when they can.
#   vexlo_wine_unavailable   prints why no Windows program can run here, or
#                            nothing when x64 ones can.
#   vexlo_preferred_arch     win32 where x86 programs run, else win64.
#
# Debian's `wine` launcher always prefers the 32-bit loader once wine32 is
# installed, so each architecture's loader is started directly, and each
# architecture has a prefix of its own.

vexlo_wine_loader() {
  case $1 in
    win32) echo /usr/lib/wine/wine ;;
    win64) echo /usr/lib/wine/wine64 ;;
    *) echo "wine: unknown architecture '$1' (win32 or win64)" >&2; return 2 ;;
  esac
}

# Why a loader cannot start, in words, or nothing when it starts.
vexlo_loader_fault() {
  local loader=$1 out
  [ -x "$loader" ] || { echo "$loader is not installed"; return; }
  out=$("$loader" --version 2>&1) && return
  case $out in
    *"Exec format error"*) echo "this kernel cannot run $2-bit programs (Exec format error; 32-bit emulation is off)" ;;
    *) echo "$loader does not start: ${out:-no output}" ;;
  esac
}

vexlo_x86_unavailable() {
  if [ -n "${VEXLO_NO_X86:-}" ]; then
    echo "VEXLO_NO_X86 is set"
  else
    vexlo_loader_fault /usr/lib/wine/wine 32
  fi
}

# The build to run where one will do: x86, the one we hand out, where it
# runs; x64 otherwise.
vexlo_preferred_arch() {
  if [ -z "$(vexlo_x86_unavailable)" ]; then echo win32; else echo win64; fi
}

vexlo_wine_unavailable() {
  vexlo_loader_fault /usr/lib/wine/wine64 64
}

vexlo_wine() {
  local arch=$1 prefix=$2
  WINE=$(vexlo_wine_loader "$arch") || return
  # WINELOADER also starts the programs Wine itself runs (services, start.exe).
  export WINEPREFIX=$prefix WINEARCH=$arch WINELOADER=$WINE WINE
  export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
  [ -f "$prefix/.vexlo-ready-4" ] && return
  # Only a prefix of ours (or nothing) is ever made or made again here: a
  # mistaken argument must not wipe a program or a folder.
  if [ -e "$prefix" ] && ! compgen -G "$prefix/.vexlo-*" >/dev/null &&
     { [ ! -d "$prefix" ] || [ -n "$(ls -A "$prefix")" ]; }; then
    echo "wine: $prefix is not a Wine prefix made by this project; leaving it alone" >&2
    return 1
  fi
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    [ -f "$prefix/.vexlo-ready-4" ] && exit 0
    # A prefix left half made by an interrupted run is made again.
    rm -rf "$prefix"
    mkdir -p "$prefix" && touch "$prefix/.vexlo-prefix"
    set -e
    "$WINE" wineboot -i >/dev/null 2>&1
    # Windows neither decorated nor managed by an X window manager: Wine draws
    # the frames itself, and hiding a window does not wait two seconds for a
    # manager that Xvfb does not have.
    "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
    "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    "$WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
      /v 'ＭＳ Ｐゴシック' /t REG_SZ /d IPAPGothic /f >/dev/null 2>&1
    # This Wine does not find its own fonts (Tahoma, Marlett for the caption
    # buttons) where the package puts them; the prefix's font folder is
    # always searched.
    for font in /usr/share/wine/fonts/*.ttf; do
      [ -e "$font" ] && ln -sf "$font" "$prefix/drive_c/windows/Fonts/"
    done
    wineserver -w
    touch "$prefix/.vexlo-ready-4"
  ) 9>"$prefix.lock"
}
