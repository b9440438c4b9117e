#!/bin/sh
# Runs a differential table program of the Linux build and the same program
# of the Windows build under Wine, in an English and in a Russian locale,
# and compares their outputs line by line.
#   run_diff.sh LINUX_EXE WINDOWS_EXE WINEPREFIX
# Exits 0 when every pair of outputs is equal; otherwise prints the
# differences and exits 1.
set -u
if [ $# -ne 3 ]; then
  echo "usage: $0 LINUX_EXE WINDOWS_EXE WINEPREFIX" >&2
  exit 2
fi
linux_exe=$1
windows_exe=$2
prefix=$3
wine_run="$(dirname "$0")/../../cmake/wine-run.sh"
name=$(basename "$linux_exe")
work=$(mktemp -d "${TMPDIR:-/tmp}/$name.XXXXXX") || exit 2
trap 'rm -rf "$work"' EXIT INT TERM

status=0
for locale in en_US.UTF-8 ru_RU.UTF-8; do
  if ! LC_ALL=$locale LANG=$locale "$linux_exe" >"$work/linux.out"; then
    echo "$name: $linux_exe failed in $locale" >&2
    status=1
    continue
  fi
  if ! LC_ALL=$locale LANG=$locale "$wine_run" "$prefix" "$windows_exe" >"$work/wine.raw"; then
    echo "$name: $windows_exe failed under Wine in $locale" >&2
    status=1
    continue
  fi
  # The Windows runtime ends its lines with CR LF.
  tr -d '\r' <"$work/wine.raw" >"$work/wine.out"
  if ! diff -u "$work/wine.out" "$work/linux.out" >"$work/diff"; then
    echo "$name: $locale: the Linux build (+) differs from Windows under Wine (-)" \
      "in $(grep -c '^+[^+]' "$work/diff") lines; the first differences:"
    head -n 200 "$work/diff"
    status=1
  else
    echo "$name: $locale: $(wc -l <"$work/linux.out") lines equal"
  fi
done
exit $status
