#!/bin/bash
# Runs the tool chain on the sample deck: the tool-executable form and the
# in-process form, natively and (the Windows executable) under Wine. Each
# run prints the components' own output and then the launcher's status.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

export WINEPREFIX=$root/build/windows/wineprefix
wine_run=$root/cmake/wine-run.sh

demo() {  # demo TITLE BUILD-DIR COMMAND...
  local title=$1 dir=$2
  shift 2
  rm -rf "$dir/demo"
  mkdir -p "$dir/demo"
  cp samples/beam.inp "$dir/demo/beam.inp"
  echo "=== $title"
  (cd "$dir/demo" && "$@")
  echo "=== exit status $?"
  echo
}

demo "native, tool executables: Tolvane.exe beam.inp" build/native \
  "$root/build/native/Tolvane.exe" beam.inp
demo "native, in-process: Tolvane beam.inp" build/native \
  "$root/build/native/Tolvane" beam.inp
demo "native, in-process, unattended: Tolvane beam.inp -nogui" build/native \
  "$root/build/native/Tolvane" beam.inp -nogui

wineserver -p 2>/dev/null || true
demo "Windows under Wine, tool executables: Tolvane.exe beam.inp" build/windows \
  "$wine_run" "$root/build/windows/Tolvane.exe" beam.inp
demo "Windows under Wine, in-process (copy named Tolvane): Tolvane beam.inp -nogui" build/windows \
  "$wine_run" "$root/build/windows/Tolvane" beam.inp -nogui
wineserver -k 2>/dev/null || true
