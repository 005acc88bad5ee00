# What the MinGW-w64 toolchain files share. The including file sets
# VTX_MINGW_PREFIX (i686-w64-mingw32 or x86_64-w64-mingw32). The compilers
# are those of the posix thread model: tools and tests need std::thread and
# std::mutex, which the win32 model lacks. vtxbridge.dll uses no thread
# model at all: it links no C++ runtime.
set(CMAKE_SYSTEM_NAME Windows)
if(VTX_MINGW_PREFIX MATCHES "^x86_64")
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
else()
  set(CMAKE_SYSTEM_PROCESSOR x86)
endif()

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
