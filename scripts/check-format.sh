#!/usr/bin/env bash
# Checks the form of the C++ sources that git tracks:
#   - every file matches .clang-format (data tables stand between
#     "// clang-format off" and "// clang-format on");
#   - every .cpp that has a header of its own includes it first (a platform
#     implementation's own header is plat/NAME.h).
# Prints each file that does not and exits 1; exits 0 when all do.
# With --fix, reformats the files in place first.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then clang-format -i "${files[@]}"; fi

status=0
# One run over all files; only when it fails, one run per file to name them.
if ! clang-format --dry-run -Werror "${files[@]}" >/dev/null 2>&1; then
  for f in "${files[@]}"; do
    if ! clang-format --dry-run -Werror "$f" >/dev/null 2>&1; then
      echo "check-format: $f does not match .clang-format (run: clang-format -i $f)"
      status=1
    fi
  done
fi

for f in "${files[@]}"; do
  case "$f" in *.cpp) ;; *) continue ;; esac
  dir="${f%/*}"
  name="${f##*/}"
  name="${name%.cpp}"
  own=""
  if [ -f "$dir/$name.h" ]; then
    own="$name.h"
  elif [ -f "platform/include/plat/$name.h" ] && [[ "$dir" == platform/* ]]; then
    own="plat/$name.h"
  fi
  [ -n "$own" ] || continue
  first=$(grep -m1 -E '^#include ' "$f" | sed -E 's/^#include [<"]([^>"]*)[>"].*/\1/')
  if [ "$first" != "$own" ]; then
    echo "check-format: $f includes $first first, not its own header $own"
    status=1
  fi
done
exit $status
