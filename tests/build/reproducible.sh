#!/bin/bash
# Builds the product a second time, from a copy of the sources in another
# folder and into another build folder, with -DBUILD_TESTING=OFF and a PATH
# that holds only CMake, make and the compilers (no Python, no Wine), and
# checks that the launcher, the modules and the tools come out byte for
# byte as in the build tree under test.
# Usage: reproducible.sh SOURCE_DIR BUILD_DIR [TOOLCHAIN_FILE]
set -euo pipefail
source_dir=$1 build_dir=$2 toolchain=${3:-}
work=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-reproducible-XXXXXX")
trap 'rm -rf "$work"' EXIT

# The sources as a clean checkout has them, without any build tree.
mkdir "$work/source"
if git -C "$source_dir" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git -C "$source_dir" ls-files -z --cached --others --exclude-standard |
    (cd "$source_dir" && tar --null -cf - -T -) | tar -xf - -C "$work/source"
else
  (cd "$source_dir" && tar --exclude=./build -cf - .) | tar -xf - -C "$work/source"
fi

# Only what a product build may need.
mkdir "$work/bin"
for tool in cmake make sh cc c++ gcc g++ ar ranlib ld as nm strip objcopy objdump \
            /usr/bin/x86_64-w64-mingw32-* /usr/bin/x86_64-linux-gnu-*; do
  path=$(command -v "$tool" 2>/dev/null) || continue
  ln -sf "$path" "$work/bin/$(basename "$tool")"
done
for forbidden in python3 python wine wine64 wineserver; do
  if [ -e "$work/bin/$forbidden" ]; then echo "FAIL: $forbidden on the build PATH" >&2; exit 1; fi
done

args=(-S "$work/source" -B "$work/build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF)
[ -z "$toolchain" ] || args+=("-DCMAKE_TOOLCHAIN_FILE=$work/source/${toolchain#"$source_dir/"}")
PATH="$work/bin" cmake "${args[@]}" >"$work/configure.log" 2>&1 ||
  { cat "$work/configure.log"; echo "FAIL: configuring without tests" >&2; exit 1; }
PATH="$work/bin" cmake --build "$work/build" -j2 >"$work/build.log" 2>&1 ||
  { tail -50 "$work/build.log"; echo "FAIL: building without tests" >&2; exit 1; }

status=0
compared=0
for file in Tolvane Tolvane.exe inp_converter/main.dll editor/gui.dll monitor/gui.dll \
            inp_converter/main.so editor/gui.so monitor/gui.so \
            tools/inp_converter.exe tools/editor.exe tools/monitor.exe exes/res2frd.exe; do
  [ -e "$build_dir/$file" ] || continue
  compared=$((compared + 1))
  if cmp -s "$build_dir/$file" "$work/build/$file"; then
    echo "same: $file"
  else
    echo "FAIL: $file differs between the two builds"
    status=1
  fi
done
[ "$compared" -ge 8 ] || { echo "FAIL: only $compared files to compare" >&2; exit 1; }
exit $status
