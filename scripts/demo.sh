#!/usr/bin/env bash
# Builds everything, then runs the demo: a host (samples/demo_host) opens a
# session with the substitute peer (vtxpeer.exe), sends a request, reads the
# job ID, collects a server request and closes the session.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw

exec xvfb-run -a bash -c '
  source scripts/wine-env.sh
  bin=build/mingw/bin
  peer_pid=""
  cleanup() { [ -n "$peer_pid" ] && kill "$peer_pid" 2>/dev/null; vtx_wine_stop; }
  trap cleanup EXIT
  vtx_wine_start
  # The peer answers every request; it answers a poll (1008) with a server
  # request (1009) for the host to collect. Its trace shows every message.
  wine "$bin/vtxpeer.exe" --trace - --exit-after 60000 \
    -c "answer 1014 payload=\"{\\\"answer\\\":\\\"hello from the peer\\\"}\"" \
    -c "answer 1008 inline payload=\"{\\\"request\\\":\\\"print chart\\\"}\"" &
  peer_pid=$!
  # The library writes its log to C:\vantix\log\vc, or to the current
  # folder when that does not exist: keep it next to the binaries.
  cd "$bin" && wine demo_host.exe
'
