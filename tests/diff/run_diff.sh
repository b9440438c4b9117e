#!/bin/sh
# run_diff.sh LINUX_EXE WINDOWS_EXE WINEPREFIX: runs a differential table
# program of the Linux build and the same program of the Windows build under
# Wine, in an English and in a Russian locale, and compares their outputs;
# exits 1 with the differences when any pair differs.
set -u
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
