#!/bin/sh
# Runs a Windows program under Wine: wine-run.sh PREFIX PROGRAM [ARGS...].
# PREFIX is a throw-away Wine prefix kept in the build tree; the first run
# creates it, which takes a few seconds. Every Windows program of the builds
# and tests starts through this script, the one place that sets up Wine.
#
# Wine's 32-bit loader needs the kernel's 32-bit emulation. Where it cannot
# run, the 64-bit loader runs the programs of the win64 build instead.
WINEPREFIX="$1"
shift
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ -x /usr/lib/wine/wine64 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  export WINELOADER=/usr/lib/wine/wine64
  exec /usr/lib/wine/wine64 "$@"
fi
exec wine "$@"
