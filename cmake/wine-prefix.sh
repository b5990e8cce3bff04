#!/bin/bash
# up: create the private Wine prefix named by WINEPREFIX (if new) and keep
# one server running for it, so each program starts in a few hundredths of
# a second; down: stop that server.
set -u
: "${WINEPREFIX:?WINEPREFIX must name the private prefix}"
export WINEPREFIX WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
here=$(dirname "$0")
case "$1" in
  up)
    "$here/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1
    # The server that ran it lingers a few seconds; once it has gone,
    # start one that stays. One kept up by someone else is fine too.
    for _ in $(seq 50); do
      wineserver -p 2>/dev/null && break
      sleep 0.2
    done
    "$here/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1
    ;;
  down)
    wineserver -k 2>/dev/null || true
    ;;
esac
