# Cross-compiles vtxbridge.dll alone with MinGW-w64's win32 thread model
# (the inner build driven from src/CMakeLists.txt). Its runtime needs no
# threading library of its own, and src/support/runtime_threads.cpp gives back
# what the rest of the runtime takes, so loading and unloading the DLL leaks
# nothing. VTX_MINGW_PREFIX picks the target: i686-w64-mingw32 (default) or
# x86_64-w64-mingw32.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT VTX_MINGW_PREFIX)
  set(VTX_MINGW_PREFIX i686-w64-mingw32)
endif()
if(VTX_MINGW_PREFIX MATCHES "^x86_64")
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
else()
  set(CMAKE_SYSTEM_PROCESSOR x86)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VTX_MINGW_PREFIX)

set(CMAKE_C_COMPILER   ${VTX_MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${VTX_MINGW_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER  ${VTX_MINGW_PREFIX}-windres)
set(CMAKE_AR           ${VTX_MINGW_PREFIX}-gcc-ar-win32 CACHE FILEPATH "")
set(CMAKE_RANLIB       ${VTX_MINGW_PREFIX}-gcc-ranlib-win32 CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${VTX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The runtime is linked statically so the DLL imports only system DLLs.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
