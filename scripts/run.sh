#!/usr/bin/env bash
# The run command: on a fresh Debian 12 machine, installs what the build
# needs, builds the Linux yxtk and runs it. Without arguments it runs
# `yxtk -?` (banner and usage); any arguments are passed to yxtk instead,
# so `scripts/run.sh -l` locks the session for real.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

"$ROOT/scripts/install-deps.sh" >&2
cmake --preset linux >&2
cmake --build --preset linux --target yxtk --parallel 2 >&2
if [ "$#" -eq 0 ]; then
  set -- '-?'
fi
exec "$ROOT/build/linux/app/yxtk" "$@"
