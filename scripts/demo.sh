#!/usr/bin/env bash
# Builds everything, then runs the demo: a host (samples/demo_host) opens a
# session with the substitute peer (vtxpeer.exe), sends a request and reads
# its answer, receives a server request through its callback and closes the
# session, saying what happens. The peer's own trace of every message goes to
# build/mingw/bin/demo-peer-trace.log.
set -euo pipefail
source "$(dirname "$0")/build-env.sh"
vtx_build

exec xvfb-run -a bash -c '
  source scripts/wine-env.sh
  bin=build/mingw/bin
  peer_pid=""
  cleanup() { [ -n "$peer_pid" ] && kill "$peer_pid" 2>/dev/null; vtx_wine_stop; }
  trap cleanup EXIT
  vtx_wine_start
  # The peer answers every request; it answers the callback worker'"'"'s polls
  # (1008) with a server request (1009).
  wine "$bin/vtxpeer.exe" --trace "$bin/demo-peer-trace.log" --exit-after 60000 \
    -c "answer 1014 payload=\"{\\\"answer\\\":\\\"hello from the peer\\\"}\"" \
    -c "answer 1008 inline payload=\"{\\\"request\\\":\\\"print chart\\\"}\"" &
  peer_pid=$!
  # The library writes its log to C:\vantix\log\vc, or to the current
  # folder when that does not exist: keep it next to the binaries.
  cd "$bin" && wine demo_host.exe
  echo "(the peer'"'"'s trace of every message: $bin/demo-peer-trace.log)"
'
