#!/bin/sh
# Writes, or checks, platform/posix/CodePages.cpp from the Windows text
# functions: runs codepage_tables.exe of a built Windows tree under Wine
# (cmake/wine-run.sh, the tree's own prefix), once in an English locale for
# code page 1252 and once in a Russian locale for 1251.
#   gen-codepage-tables.sh WINDOWS_BUILD_DIR           rewrite the file
#   gen-codepage-tables.sh --check WINDOWS_BUILD_DIR   exit 1 if it differs
set -u
check=0
if [ $# -ge 1 ] && [ "$1" = "--check" ]; then
  check=1
  shift
fi
if [ $# -ne 1 ]; then
  echo "usage: $0 [--check] WINDOWS_BUILD_DIR" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
exe=$build/tests/codepage_tables.exe
target=$root/platform/posix/CodePages.cpp
if [ ! -f "$exe" ]; then
  echo "gen-codepage-tables: $exe is missing; build the Windows tree first" >&2
  exit 2
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/codepage_tables.XXXXXX") || exit 2
trap 'rm -rf "$work"' EXIT INT TERM

run() {
  locale=$1
  shift
  LC_ALL=$locale LANG=$locale "$root/cmake/wine-run.sh" "$build/wineprefix" "$exe" "$@" >"$work/raw" || {
    echo "gen-codepage-tables: $exe $* failed under Wine in $locale" >&2
    exit 1
  }
  # The Windows runtime ends its lines with CR LF.
  tr -d '\r' <"$work/raw"
}

{
  run en_US.UTF-8 --head
  run en_US.UTF-8
  run ru_RU.UTF-8
  run en_US.UTF-8 --tail
} >"$work/CodePages.cpp" || exit 1

if [ $check -eq 0 ]; then
  cp "$work/CodePages.cpp" "$target"
  echo "gen-codepage-tables: wrote $target"
  exit 0
fi
if ! diff -u "$target" "$work/CodePages.cpp"; then
  echo "gen-codepage-tables: the committed tables (-) differ from what Windows gives under Wine (+)"
  exit 1
fi
echo "gen-codepage-tables: the committed tables equal Wine's"
