# Cross-builds the samples (or your host) for 32-bit Windows on Debian or
# Ubuntu with MinGW-w64 (apt install mingw-w64 cmake ninja-build), from the
# kit's folder, naming this file by its full path (CMake looks for a relative
# one in the build folder):
#
#   cmake -S samples/c_host -B c_host-build -G Ninja -DCMAKE_TOOLCHAIN_FILE=$PWD/samples/mingw-i686.cmake -DCMAKE_PREFIX_PATH=$PWD
#   cmake --build c_host-build
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

# The -posix compilers: the win32 thread model of the plain i686-w64-mingw32-g++
# has no std::thread or std::mutex.
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

# The compilers' own libraries and headers come from the MinGW root; the kit
# is found through CMAKE_PREFIX_PATH wherever it is unpacked.
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Programs that need no MinGW runtime DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
