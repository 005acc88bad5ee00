# What every toolchain file of the project sets alike: a Windows target
# named by VTX_MINGW_PREFIX (i686-w64-mingw32 or x86_64-w64-mingw32), whose
# headers and import libraries are Debian's MinGW-w64 ones under
# /usr/<prefix>.
set(CMAKE_SYSTEM_NAME Windows)
if(VTX_MINGW_PREFIX MATCHES "^x86_64")
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
else()
  set(CMAKE_SYSTEM_PROCESSOR x86)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VTX_MINGW_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${VTX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
