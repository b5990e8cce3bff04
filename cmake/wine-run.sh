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
# With the kernel's address-space randomisation, about one Wine start in
# three thousand dies before the program runs ("failed to map the shared
# user data: c0000018"): something placed at random sits where Wine must
# map the page Windows keeps at 0x7FFE0000. A program started by one that
# failed so sees "Internal error (error 1359)". Without randomisation every
# program, and every child it starts, is laid out alike.
NO_ASLR=()
if setarch "$(uname -m)" -R true 2>/dev/null; then NO_ASLR=(setarch "$(uname -m)" -R); fi
if [ ! -f "$WINEPREFIX/.tolvane-ready" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.tolvane-ready" ]; then
      "${NO_ASLR[@]}" wineboot -i </dev/null >/dev/null 2>&1
      wineserver -w
      touch "$WINEPREFIX/.tolvane-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
fi
exec "${NO_ASLR[@]}" "$WINE" "$@" </dev/null
