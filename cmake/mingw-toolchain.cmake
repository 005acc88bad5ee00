# What the MinGW-w64 toolchain files share. The including file sets
# VTX_MINGW_PREFIX (i686-w64-mingw32 or x86_64-w64-mingw32). The compilers
# are those of the posix thread model: tools and tests need std::thread and
# std::mutex, which the win32 model lacks. vtxbridge.dll uses no thread
# model at all: it links no C++ runtime.
include(${CMAKE_CURRENT_LIST_DIR}/windows-target.cmake)

set(CMAKE_C_COMPILER   ${VTX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VTX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${VTX_MINGW_PREFIX}-windres)
set(CMAKE_AR           ${VTX_MINGW_PREFIX}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB       ${VTX_MINGW_PREFIX}-gcc-ranlib-posix CACHE FILEPATH "")

# The runtime is linked statically so every binary imports only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
