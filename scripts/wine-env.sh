# Sourced by the other scripts: a Wine prefix of the project's own and a
# persistent wineserver for it.
#   vtx_wine_start   prepare the prefix (first time only) and start the server
#   vtx_wine_stop    stop the server
# VTX_WINEPREFIX overrides the prefix location (one per concurrent user).

vtx_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${VTX_WINEPREFIX:-$vtx_root/build/wineprefix}
export WINEDEBUG=-all
# One win64 prefix for both builds: it runs 32- and 64-bit programs side by
# side, which the mixed-bitness tests need (a 32-bit host with a 64-bit peer
# and the reverse) and which a win32 prefix cannot do.
export WINEARCH=win64
# No Mono or Gecko installers: the prefix needs neither.
export WINEDLLOVERRIDES="mscoree=;mshtml="

vtx_wine_start() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  # A prefix these scripts made before both builds existed is 32-bit only
  # and cannot be changed in place: it is made again. Anyone else's is left
  # alone.
  if [ -f "$WINEPREFIX/system.reg" ] && grep -q '^#arch=win32' "$WINEPREFIX/system.reg"; then
    if [ ! -f "$WINEPREFIX/.vtx-ready" ]; then
      echo "wine: $WINEPREFIX is a 32-bit prefix not made by these scripts; give VTX_WINEPREFIX another folder" >&2
      return 1
    fi
    echo "wine: $WINEPREFIX is a 32-bit prefix; making it again as win64"
    wineserver -k </dev/null >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/.vtx-ready" ]; then
    echo "wine: preparing prefix $WINEPREFIX"
    wineboot -i </dev/null >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.vtx-ready"
  fi
  if [ ! -f "$WINEPREFIX/.vtx-settings-2" ]; then
    # Without a window manager Wine stalls after each message box closes
    # unless its windows are unmanaged.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    # A crash prints its backtrace and ends the process, instead of opening a
    # dialog nobody closes and holding the test until its time-out.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.vtx-settings-2"
  fi
  # A persistent server makes each process start cost milliseconds, not
  # seconds. It must not inherit our output, or CI waits for it.
  wineserver -p </dev/null >/dev/null 2>&1 &
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

vtx_wine_stop() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
}
