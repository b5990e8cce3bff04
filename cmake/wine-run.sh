#!/bin/bash
# Runs a Windows program under Wine in the private prefix named by
# WINEPREFIX (set by the test run), creating that prefix on first use.
# Usage: wine-run.sh PROGRAM.exe [ARG...]
set -u
# Wine runs a host program or a script as it is, and passes on its status:
# a native validator that ctest runs through this wrapper (a Windows build
# configured against a native package) would "pass" without testing a
# thing. A file here that is not a Windows program is refused, with 126,
# the shell's status for a file that cannot be executed. A name that is no
# file here (cmd, C:\windows\...) is Wine's to find.
program=${1:?usage: wine-run.sh PROGRAM.exe [ARG...]}
if [ -e "$program" ] && [ "$(head -c 2 -- "$program" 2>/dev/null)" != MZ ]; then
  echo "wine-run.sh: $program: not a Windows program (it does not start with \"MZ\")" >&2
  exit 126
fi
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
