#!/usr/bin/env bash
# Builds the developer kit: vtxbridge-<version>-win32.zip with the DLL, its
# header and import libraries (MinGW and MSVC), the CMake package, vtxpeer.exe,
# vtxcli.exe, the documents and the C sample. Prints the zip's path, alone on
# standard output (progress goes to standard error): zip=$(scripts/sdk.sh).
#
# VTX_SDK_BUILD_DIR builds elsewhere than the preset's build/mingw.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh >&2
if [ -n "${VTX_SDK_BUILD_DIR:-}" ]; then
  build=$(realpath -m -- "$VTX_SDK_BUILD_DIR")
  # The toolchain is given only to a new build folder; CMake keeps it.
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  else
    cmake -S . -B "$build" >/dev/null
  fi
  cmake --build "$build" --target vtxbridge vtxpeer vtxcli >&2
else
  build=$root/build/mingw
  cmake --preset mingw >/dev/null
  cmake --build --preset mingw --target vtxbridge vtxpeer vtxcli >&2
fi

# The kit goes into a folder of its own, so an older zip is never taken
# for this one.
out=$build/sdk
rm -rf "$out"
cpack --config "$build/CPackConfig.cmake" -B "$out" >&2
zip=$(find "$out" -maxdepth 1 -name 'vtxbridge-*-win32.zip' -print -quit)
if [ -z "$zip" ]; then
  echo "sdk: cpack made no vtxbridge-*-win32.zip in $out" >&2
  exit 1
fi
echo "$zip"
