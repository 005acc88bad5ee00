#!/usr/bin/env bash
# Builds vtxbench.exe (with vtxbridge.dll and vtxpeer.exe), then measures the
# library against the transport's own limit under Wine and Xvfb. Arguments go
# to vtxbench, e.g. scripts/bench.sh --json bench.json, or --quick, or --help.
# The default run takes about 4½ minutes on a machine shared with other
# builds; see docs/performance.md.
#
# VTX_BENCH_PRESET=mingw64 measures the 64-bit build (default mingw, the
# 32-bit one). VTX_BENCH_PEER=mingw or mingw64 talks to that build's
# vtxpeer.exe instead of the one next to vtxbench.exe: the other one makes a
# mixed-bitness run. VTX_BENCH_BUILD_DIR builds elsewhere than the preset's
# build/<preset> (with VTX_WINEPREFIX, for a prefix of one's own while
# others use the defaults).
set -euo pipefail
source "$(dirname "$0")/build-env.sh"
preset=${VTX_BENCH_PRESET:-mingw}
peer_preset=${VTX_BENCH_PEER:-}
if [ -n "$peer_preset" ] && [ "$peer_preset" != "$preset" ]; then
  vtx_build --preset "$peer_preset" vtxpeer
  # vtxbench starts the peer VTX_TEST_PEER names; Wine shows / as Z:.
  export VTX_TEST_PEER="Z:$build/bin/vtxpeer.exe"
fi
vtx_build --preset "$preset" --dir "${VTX_BENCH_BUILD_DIR:-}" vtxbench

# vtxbench runs in its own folder (the library's fallback log goes there):
# a relative --json path is made absolute against the caller's folder.
args=()
expect_json=0
for arg in "$@"; do
  if [ "$expect_json" = 1 ]; then
    arg=$(realpath -m -- "$arg")
    expect_json=0
  fi
  [ "$arg" = --json ] && expect_json=1
  args+=("$arg")
done

# Wine must meet the display from its first process on: the peer's window is
# a top-level window.
exec xvfb-run -a bash -c '
  source scripts/wine-env.sh
  trap vtx_wine_stop EXIT
  vtx_wine_start
  cd "$0/bin" && wine vtxbench.exe "$@"
' "$build" "${args[@]}"
