#!/bin/bash
# Runs the tool chain on the sample deck: the tool-executable form and the
# in-process form, natively and (the Windows executable) under Wine. Each
# run prints the components' own output and then the launcher's status.
# Then it shows the statuses a user meets when the chain stops, natively,
# each with a line that explains it.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

export WINEPREFIX=$root/build/windows/wineprefix
wine_run=$root/cmake/wine-run.sh

demo() {  # demo TITLE BUILD-DIR COMMAND...; MEANING, if set, explains the status
  local title=$1 dir=$2
  shift 2
  rm -rf "$dir/demo"
  mkdir -p "$dir/demo"
  cp samples/beam.inp "$dir/demo/beam.inp"
  echo "=== $title"
  (cd "$dir/demo" && "$@")
  echo "=== exit status $?${MEANING:+: $MEANING}"
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

# --- when the chain stops ------------------------------------------------------

MEANING="the converter failed; it said why itself, and the launcher adds nothing" \
  demo "a deck that is not there: Tolvane.exe missing.inp" build/native \
  "$root/build/native/Tolvane.exe" missing.inp

MEANING="the editor exited non-zero (the user cancelled), so the chain stopped before the monitor" \
  demo "the user cancels the editor: SAMPLE_EDITOR_CANCEL=1 Tolvane.exe beam.inp" build/native \
  env SAMPLE_EDITOR_CANCEL=1 "$root/build/native/Tolvane.exe" beam.inp

# A copy of the layout, in a folder of its own, without the monitor.
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
mkdir -p "$copy/app/tools" "$copy/app/FrontISTR-DEV250506"
cp build/native/Tolvane.exe build/native/session.xml "$copy/app/"
cp build/native/tools/inp_converter.exe build/native/tools/editor.exe "$copy/app/tools/"
MEANING="a component is missing: the launcher's one-line diagnostic names it" \
  demo "a missing component: Tolvane.exe beam.inp, from a copy of the layout without tools/monitor.exe" \
  "$copy" "$copy/app/Tolvane.exe" beam.inp

# --- checking components ----------------------------------------------------------

MEANING="every sample component keeps the launcher's contract (0: no check failed)" \
  demo "the validator on the demo layout: tolvane-check build/native" build/native \
  "$root/build/native/tolvane-check" "$root/build/native"
