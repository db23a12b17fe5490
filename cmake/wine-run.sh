#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own prefix:
#   wine-run.sh ARCH PREFIX PROGRAM [ARGS...]          output buffered (below)
#   wine-run.sh ARCH PREFIX --exec PROGRAM [ARGS...]   the caller's own streams
#   wine-run.sh ARCH PREFIX --init                     only make the prefix
# ARCH is win32 or win64, the architecture of the build that PROGRAM is
# from; cmake/wine.sh sets the prefix up.
set -euo pipefail
arch=$1 prefix=$2; shift 2
. "$(dirname "$0")/wine.sh"
vexlo_wine "$arch" "$prefix"
case ${1:-} in
  --init) exit 0 ;;
  --exec) shift; exec "$WINE" "$@" ;;
esac
# Wine's background services (services.exe, explorer.exe, ...) start with the
# first program and inherit its standard output and error. Were those the
# caller's pipes, the caller (ctest, a test script) would wait for their end
# as long as the services live. So the program writes to files, copied after.
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
status=0
"$WINE" "$@" >"$out" 2>"$err" || status=$?
cat "$out"
cat "$err" >&2
exit "$status"
