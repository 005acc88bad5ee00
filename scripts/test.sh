#!/usr/bin/env bash
# Builds everything and runs the whole test suite under Wine and Xvfb.
# Usage: scripts/test.sh [extra ctest arguments]
set -euo pipefail
source "$(dirname "$0")/build-env.sh"
vtx_build

# The portable decoder, natively under ASan and UBSan, and fuzzed for a
# bounded time (VTX_FUZZ_SECONDS, default 60).
cmake --preset native -DVTX_FUZZ_SECONDS="${VTX_FUZZ_SECONDS:-60}" >/dev/null
cmake --build --preset native
ctest --preset native

# Wine must meet the display from its first process on: the peer's window is
# a top-level window, and the tests find and close real message boxes.
exec xvfb-run -a bash -c '
  source scripts/wine-env.sh
  trap vtx_wine_stop EXIT
  vtx_wine_start
  ctest --preset mingw "$@"
' vtx-test "$@"
