# Cross-compiles for 64-bit Windows with MinGW-w64. The -posix compilers are
# required: the win32 thread model has no std::mutex or std::thread.
set(VTX_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)

# Windows programs built here run under Wine: ctest and gtest_discover_tests
# start each .exe through it.
find_program(VTX_WINE wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VTX_WINE})
