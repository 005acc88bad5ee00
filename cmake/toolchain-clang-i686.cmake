# Cross-compiles vtxbridge.dll for 32-bit Windows with Clang and lld.
set(VTX_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/clang-toolchain.cmake)
