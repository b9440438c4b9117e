#!/usr/bin/env bash
# The run command: on a fresh Debian 12 machine, installs what the Linux
# build needs (and nothing for the tests), builds the Linux yxtk and runs it.
# Without arguments it runs yxtk '-?' (banner and usage); any arguments are
# passed to yxtk instead, so `scripts/run.sh -l` locks the session for real.
#
# It builds in build/run, without the tests and benchmarks, so that it needs
# neither their packages nor touches the test command's build trees.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build/run"

"$ROOT/scripts/install-deps.sh" --build >&2
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DYX_BUILD_TESTS=OFF -DYX_BUILD_BENCH=OFF >&2
cmake --build "$BUILD" --target yxtk --parallel 2 >&2
if [ "$#" -eq 0 ]; then
  set -- '-?'
fi
exec "$BUILD/app/yxtk" "$@"
