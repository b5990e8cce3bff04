#!/bin/bash
# Static analysis: clang-tidy with the checks in .clang-tidy over src/,
# each file with the compile commands of the build that compiles it (the
# Windows files through clang's mingw-w64 target), and the house's
# direction (scripts/include_levels.py: no file includes one that stands
# above it), and the checker's files each within 300 lines. Fails on any
# finding.
set -uo pipefail
cd "$(dirname "$0")/.."
for preset in native windows; do
  [ -f "build/$preset/compile_commands.json" ] || cmake --preset "$preset" >/dev/null || exit 1
done
# clang does not find GCC's libstdc++ for mingw-w64 by itself (see
# cmake/clang-mingw-w64-x86_64.cmake).
cxx=$(dirname "$(x86_64-w64-mingw32-gcc-posix -print-libgcc-file-name)")/include/c++
windows_args=(--extra-arg=--target=x86_64-w64-mingw32
              "--extra-arg=-stdlib++-isystem$cxx" "--extra-arg=-stdlib++-isystem$cxx/x86_64-w64-mingw32"
              "--extra-arg=-stdlib++-isystem$cxx/backward")
status=0
tidy() {  # tidy BUILD-DIR [ARG...] -- FILE...
  local build=$1
  shift
  local args=()
  while [ "$1" != "--" ]; do args+=("$1"); shift; done
  shift
  printf '%s\n' "$@" | xargs -P2 -n2 clang-tidy -p "$build" --quiet "${args[@]}" 2>&1 |
    grep -v "warnings generated\.$"
  [ "${PIPESTATUS[1]}" -eq 0 ] || status=1
}
tidy build/native -- src/*.cpp src/check/*.cpp src/platform/*-posix.cpp
tidy build/windows "${windows_args[@]}" -- src/platform/*-win32.cpp
python3 scripts/include_levels.py || status=1
for file in src/check/*; do
  lines=$(wc -l < "$file")
  [ "$lines" -le 300 ] || { echo "$file: $lines lines, over 300: split it by concern"; status=1; }
done
[ $status -eq 0 ] && echo "clang-tidy: no findings in src/"
exit $status
