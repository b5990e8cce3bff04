#!/bin/bash
# Set-up on a fresh Debian machine: installs what the builds and tests
# need (as root, or through sudo), builds the native and the Windows form,
# and runs the demo: the whole tool chain on the sample deck, in both
# builds and both component forms.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake make g++ libgtest-dev googletest
          g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
          wine wine64 python3 python3-pefile locales util-linux
          clang lld libclang-rt-14-dev clang-tidy)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
fi

cmake --preset native
cmake --build --preset native
cmake --preset windows
cmake --build --preset windows

[ "${1:-}" = "--no-demo" ] || bash scripts/demo.sh
