#!/bin/bash
# Runs every test of both builds: unit tests, ThreadSanitizer, end-to-end
# runs of the real executables natively and under Wine, and the Windows
# executable's metadata. Builds first if needed.
set -uo pipefail
cd "$(dirname "$0")/.."
status=0
for preset in native windows; do
  [ -f "build/$preset/CMakeCache.txt" ] || cmake --preset "$preset" || exit 1
  cmake --build --preset "$preset" || exit 1
  ctest --preset "$preset" || status=1
done
exit $status
