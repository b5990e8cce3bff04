#!/bin/bash
# up: create the private Wine prefix named by WINEPREFIX (if new) and keep
# its server running; down: stop that server.
set -eu
: "${WINEPREFIX:?WINEPREFIX must name the private prefix}"
export WINEPREFIX WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
here=$(dirname "$0")
case "$1" in
  up)
    "$here/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 || true
    wineserver -p
    ;;
  down)
    wineserver -k || true
    ;;
esac
