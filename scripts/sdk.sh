#!/usr/bin/env bash
# Builds the developer kits: vtxbridge-<version>-win32.zip (32-bit) and
# vtxbridge-<version>-win64.zip (64-bit), each with its DLL, the header and
# import libraries (MinGW and MSVC), the .def that fits, the CMake package,
# vtxpeer.exe, vtxcli.exe, the documents and the samples. The kits' DLL and
# its PDB come from the Clang builds (presets clang and clang64). Builds only
# what the kits hold (target vtx_kit, cmake/Packaging.cmake). Prints the two
# zips' paths, one a line (win32 first), alone on standard output (progress
# goes to standard error): kits=$(scripts/sdk.sh).
#
# VTX_SDK_BUILD_DIR builds elsewhere than the presets' build/ folders: in its
# subfolders clang, clang64, mingw and mingw64.
set -euo pipefail
source "$(dirname "$0")/build-env.sh"

for preset in mingw mingw64; do
  dir="" clangdir=""
  clang=clang
  [ "$preset" = mingw64 ] && clang=clang64
  if [ -n "${VTX_SDK_BUILD_DIR:-}" ]; then
    dir=$VTX_SDK_BUILD_DIR/$preset
    clangdir=$VTX_SDK_BUILD_DIR/$clang
  fi
  # Progress on standard error: standard output is the zips' paths alone.
  vtx_build --preset "$clang" --dir "$clangdir" >&2
  vtx_build --preset "$preset" --dir "$dir" vtx_kit >&2

  case $preset in
    mingw) platform=win32 ;;
    mingw64) platform=win64 ;;
  esac
  # The kit goes into a folder of its own, so an older zip is never taken
  # for this one.
  out=$build/sdk
  rm -rf "$out"
  cpack --config "$build/CPackConfig.cmake" -B "$out" >&2
  zip=$(find "$out" -maxdepth 1 -name "vtxbridge-*-$platform.zip" -print -quit)
  if [ -z "$zip" ]; then
    echo "sdk: cpack made no vtxbridge-*-$platform.zip in $out" >&2
    exit 1
  fi
  echo "$zip"
done
