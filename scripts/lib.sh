# What the scripts share, sourced first thing: `. "$(dirname "$0")/lib.sh"`.
# Sets $top (the repository) and brings in cmake/wine.sh (vexlo_wine, ...).
#
#   vexlo_exe ARCH               the window program of that build
#   vexlo_need_wine NAME [WHAT]  ends the script, in NAME's words (and WHAT
#                                was left undone), where Wine cannot run
#                                Windows programs
#   vexlo_in_xvfb WxH CMD...     unless on it already, runs CMD on a private
#                                X server of that size, in place of this
#                                shell (call it in a subshell to go on after)
#   vexlo_wait_for FILE SECONDS  returns once FILE exists or time is up
#   vexlo_stop [PID]             closes vexlo.exe in the current prefix and
#                                waits for the program started as PID
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$top/cmake/wine.sh"

vexlo_exe() { echo "$top/build/$1/ui/vexlo.exe"; }

vexlo_need_wine() {
  local fault
  fault=$(vexlo_wine_unavailable)
  [ -z "$fault" ] && return
  echo "$1: Wine cannot run Windows programs on this machine: $fault." >&2
  [ -z "${2:-}" ] || echo "$1: $2." >&2
  exit 1
}

vexlo_in_xvfb() {
  [ -z "${VEXLO_IN_XVFB:-}" ] || return 0
  local size=$1; shift
  VEXLO_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 ${size}x24" "$@"
}

vexlo_wait_for() {
  local i
  for ((i = 0; i < $2 * 50; i++)); do [ -e "$1" ] && return; sleep 0.02; done
}

# As a user closing the window would; the program may have ended already.
vexlo_stop() {
  WINEDEBUG=-all "$WINE" taskkill /im vexlo.exe >/dev/null 2>&1 || true
  [ -z "${1:-}" ] || wait "$1" || true
}
