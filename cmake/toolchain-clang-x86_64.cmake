# Cross-compiles vtxbridge.dll for 64-bit Windows with Clang and lld.
set(VTX_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/clang-toolchain.cmake)
