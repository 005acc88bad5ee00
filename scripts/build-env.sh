# Sourced by the scripts that build (demo, test, sdk, bench): goes to the
# repository root and offers
#   vtx_build [--preset mingw|mingw64|clang|clang64] [--dir DIR] [TARGET...]
# which installs what the build needs (setup.sh), configures and builds the
# targets (everything when none are named) and sets $build to the build
# folder: build/mingw with the preset mingw (32-bit, the default),
# build/mingw64 with mingw64 (64-bit), build/clang and build/clang64 for
# vtxbridge.dll alone built by Clang, or DIR when one is given (an empty DIR
# means the preset's folder, so a script can pass its variable as is).

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

vtx_build() {
  local dir="" preset=mingw
  while [ $# -gt 0 ]; do
    case $1 in
      --dir) dir=$2; shift 2 ;;
      --preset) preset=$2; shift 2 ;;
      *) break ;;
    esac
  done
  local targets=()
  [ $# -gt 0 ] && targets=(--target "$@")
  local toolchain extra=()
  case $preset in
    mingw) toolchain=cmake/toolchain-mingw-i686.cmake ;;
    mingw64) toolchain=cmake/toolchain-mingw-x86_64.cmake ;;
    clang) toolchain=cmake/toolchain-clang-i686.cmake extra=(-DVTX_LIBRARY_ONLY=ON) ;;
    clang64) toolchain=cmake/toolchain-clang-x86_64.cmake extra=(-DVTX_LIBRARY_ONLY=ON) ;;
    *) echo "vtx_build: unknown preset $preset (mingw, mingw64, clang or clang64)" >&2; return 1 ;;
  esac

  scripts/setup.sh
  if [ -z "$dir" ]; then
    build=$root/build/$preset
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" "${targets[@]}"
    return
  fi
  build=$(realpath -m -- "$dir")
  # A build of the presets' kind in DIR takes the Clang DLL for its kit from
  # the sibling folder the Clang build of its bitness uses (see sdk.sh).
  case $preset in
    mingw) extra=(-DVTX_KIT_LIBRARY_DIR="$(dirname "$build")/clang/bin") ;;
    mingw64) extra=(-DVTX_KIT_LIBRARY_DIR="$(dirname "$build")/clang64/bin") ;;
  esac
  # The toolchain is given only to a new build folder; CMake keeps it.
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo "${extra[@]}" >/dev/null
  else
    cmake -S . -B "$build" >/dev/null
  fi
  cmake --build "$build" "${targets[@]}"
}
