#!/usr/bin/env bash
# Builds the developer kit: vtxbridge-<version>-win32.zip with the DLL, its
# header and import libraries (MinGW and MSVC), the CMake package, vtxpeer.exe,
# vtxcli.exe, the documents and the C sample. Prints the zip's path, alone on
# standard output (progress goes to standard error): zip=$(scripts/sdk.sh).
#
# VTX_SDK_BUILD_DIR builds elsewhere than the preset's build/mingw.
set -euo pipefail
source "$(dirname "$0")/build-env.sh"
# Progress on standard error: standard output is the zip's path alone.
vtx_build --dir "${VTX_SDK_BUILD_DIR:-}" vtxbridge vtxpeer vtxcli >&2

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
