#!/usr/bin/env bash
# Builds both bitnesses, with GCC and (the DLL alone) with Clang, and runs the
# whole test suite under Wine and Xvfb: the 32-bit build's, then the 64-bit
# build's, each with its mixed-bitness runs (mixed.*: the tests of what
# crosses between the processes, against the other build's vtxpeer.exe); the
# 32-bit one also runs the tests of the DLL's edges against the Clang DLL
# (clang.*). README.md's "What runs how often" says which and why.
# Usage: scripts/test.sh [extra ctest arguments, given to both runs]
set -euo pipefail
source "$(dirname "$0")/build-env.sh"
# The DLL by Clang first: the 32-bit suite runs the export tests against it
# too (clang.*), and the kits ship it.
vtx_build --preset clang
vtx_build --preset clang64
vtx_build --preset mingw
vtx_build --preset mingw64

# The portable decoder, natively under ASan and UBSan, and fuzzed for a
# bounded time (VTX_FUZZ_SECONDS, default 60).
cmake --preset native -DVTX_FUZZ_SECONDS="${VTX_FUZZ_SECONDS:-60}" >/dev/null
cmake --build --preset native
ctest --preset native

# Wine must meet the display from its first process on: the peer's window is
# a top-level window, and the tests find and close real message boxes. One
# win64 prefix serves both builds (scripts/wine-env.sh). Both runs go on when
# one fails; the script fails if either did.
exec xvfb-run -a bash -c '
  source scripts/wine-env.sh
  trap vtx_wine_stop EXIT
  vtx_wine_start
  status=0
  echo "=== 32-bit build (build/mingw)"
  ctest --preset mingw "$@" || status=1
  echo "=== 64-bit build (build/mingw64)"
  ctest --preset mingw64 "$@" || status=1
  exit $status
' vtx-test "$@"
