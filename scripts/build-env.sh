# Sourced by the scripts that build (demo, test, sdk, bench): goes to the
# repository root and offers
#   vtx_build [--dir DIR] [TARGET...]
# which installs what the build needs (setup.sh), configures and builds the
# targets (everything when none are named) and sets $build to the build
# folder: build/mingw with the preset mingw, or DIR when one is given (an
# empty DIR means the preset too, so a script can pass its variable as is).

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

vtx_build() {
  local dir=""
  if [ "${1:-}" = --dir ]; then
    dir=$2
    shift 2
  fi
  local targets=()
  [ $# -gt 0 ] && targets=(--target "$@")

  scripts/setup.sh
  if [ -z "$dir" ]; then
    build=$root/build/mingw
    cmake --preset mingw >/dev/null
    cmake --build --preset mingw "${targets[@]}"
    return
  fi
  build=$(realpath -m -- "$dir")
  # The toolchain is given only to a new build folder; CMake keeps it.
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  else
    cmake -S . -B "$build" >/dev/null
  fi
  cmake --build "$build" "${targets[@]}"
}
