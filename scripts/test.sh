#!/usr/bin/env bash
# Builds everything and runs the whole test suite under Wine and Xvfb.
# Usage: scripts/test.sh [extra ctest arguments]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw

source scripts/wine-env.sh
trap vtx_wine_stop EXIT
vtx_wine_start

# The tests need a display: the peer's window is a top-level window, and the
# run-the-peer-first message box is found and closed by the tests.
xvfb-run -a ctest --preset mingw "$@"
