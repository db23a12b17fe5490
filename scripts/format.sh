#!/usr/bin/env bash
# Lays the tracked C and C++ sources out in the house style (.clang-format).
#   scripts/format.sh [FILE...]          rewrites the files that are not
#   scripts/format.sh --check [FILE...]  rewrites nothing; lists them, fails
# Without FILEs: every tracked *.c, *.cpp and *.h. Needs clang-format 14
# (VEXLO_CLANG_FORMAT names another binary): other versions lay some lines
# out differently, and --check would then fail on well-formatted code.
#
# Before clang-format, declarations written "T const x" become "const T x":
# clang-format 14 moves const only before types it recognises, and leaves it
# after qualified names (std::size_t const) and upper-case ones (HWND const).
set -euo pipefail
. "$(dirname "$0")/lib.sh"

check=0
if [ "${1:-}" = --check ]; then check=1; shift; fi

tool=${VEXLO_CLANG_FORMAT:-}
if [ -z "$tool" ]; then
  for candidate in clang-format-14 clang-format; do
    if command -v "$candidate" >/dev/null; then tool=$candidate; break; fi
  done
fi
if [ -z "$tool" ]; then
  echo "format: clang-format not found (scripts/setup.sh installs it)" >&2
  exit 2
fi
version=$("$tool" --version | sed -n 's/.*version \([0-9]*\)\..*/\1/p')
if [ "$version" != 14 ] && [ -z "${VEXLO_CLANG_FORMAT:-}" ]; then
  echo "format: $tool is version ${version:-unknown}, the style is set for 14" >&2
  exit 2
fi

cd "$top"
if [ $# -gt 0 ]; then
  files=("$@")
else
  mapfile -t files < <(git ls-files -- '*.c' '*.cpp' '*.h')
fi

east_const='s~(^\s*|\b(?:for|if|while|switch)\s*\()((?:::)?[A-Za-z_]\w*(?:::[A-Za-z_]\w*)*(?:<[^<>;(){}]*>)?)\s+const\s+(?=[A-Za-z_]\w*\s*(?:[=({\[:;,]|$))~$1const $2 ~g'
scratch=$(mktemp)
trap 'rm -f "$scratch"' EXIT
unformatted=0
for f in "${files[@]}"; do
  perl -pe "$east_const" "$f" | "$tool" --style=file --assume-filename="$f" >"$scratch"
  cmp -s "$f" "$scratch" && continue
  unformatted=$((unformatted + 1))
  if [ "$check" -eq 1 ]; then
    echo "format: $f is not formatted" >&2
  else
    cat "$scratch" >"$f"
    echo "format: $f"
  fi
done

if [ "$check" -eq 1 ] && [ "$unformatted" -gt 0 ]; then
  echo "format: $unformatted of ${#files[@]} files are not formatted; scripts/format.sh rewrites them" >&2
  exit 1
fi
