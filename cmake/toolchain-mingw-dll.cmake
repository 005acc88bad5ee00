# Cross-compiles vtxbridge.dll alone with MinGW-w64's win32 thread model
# (the inner build driven from src/CMakeLists.txt). Its runtime needs no
# threading library of its own, and src/support/runtime_threads.cpp gives back
# what the rest of the runtime takes, so loading and unloading the DLL leaks
# nothing. VTX_MINGW_PREFIX picks the target: i686-w64-mingw32 (default) or
# x86_64-w64-mingw32.
if(NOT VTX_MINGW_PREFIX)
  set(VTX_MINGW_PREFIX i686-w64-mingw32)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VTX_MINGW_PREFIX)
set(VTX_MINGW_THREADS win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
