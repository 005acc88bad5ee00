# Cross-compiles for 64-bit Windows with MinGW-w64. The -posix compilers are
# required: the win32 thread model has no std::mutex or std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(VTX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${VTX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VTX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${VTX_MINGW_PREFIX}-windres)
set(CMAKE_AR           ${VTX_MINGW_PREFIX}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB       ${VTX_MINGW_PREFIX}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${VTX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The runtime is linked statically so every binary imports only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Windows programs built here run under Wine: ctest and gtest_discover_tests
# start each .exe through it.
find_program(VTX_WINE wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VTX_WINE})
