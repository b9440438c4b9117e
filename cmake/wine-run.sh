#!/bin/sh
# Runs a Windows program under Wine: wine-run.sh PREFIX PROGRAM [ARGS...].
# PREFIX is a throw-away Wine prefix kept in the build tree; the first run
# creates it, which takes a few seconds.
WINEPREFIX="$1"
shift
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
exec wine "$@"
