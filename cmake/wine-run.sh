#!/bin/bash
# Runs a Windows program under Wine in the private prefix named by
# WINEPREFIX (set by the test run), creating that prefix on first use.
# Usage: wine-run.sh PROGRAM.exe [ARG...]
set -u
: "${WINEPREFIX:?WINEPREFIX must name the private prefix}"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export WINEARCH=win64
WINE=$(command -v wine64 || command -v wine)
if [ ! -f "$WINEPREFIX/.tolvane-ready" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.tolvane-ready" ]; then
      wineboot -i </dev/null >/dev/null 2>&1
      wineserver -w
      touch "$WINEPREFIX/.tolvane-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
fi
exec "$WINE" "$@" </dev/null
