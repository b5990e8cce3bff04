#!/bin/bash
# Runs every check, building first what each needs: the native and the
# Windows test suites (unit tests, ThreadSanitizer, end-to-end runs of the
# real executables natively and under Wine, the SDK and the packages, a
# second build that must give the same bytes, the executable's metadata),
# the native tests again under AddressSanitizer and UndefinedBehavior-
# Sanitizer, the fuzz targets, and clang-tidy over src/. Goes on after a
# failure, so that one run shows them all, and exits 1 if any failed.
set -uo pipefail
cd "$(dirname "$0")/.."
failed=()
for preset in native windows native-asan; do
  if cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" &&
     ctest --preset "$preset"; then
    :
  else
    failed+=("ctest --preset $preset")
  fi
done
bash scripts/fuzz.sh || failed+=("scripts/fuzz.sh")
bash scripts/tidy.sh || failed+=("scripts/tidy.sh")
if [ ${#failed[@]} -gt 0 ]; then
  printf 'FAILED: %s\n' "${failed[@]}"
  exit 1
fi
echo "All checks passed."
