# What the Clang toolchain files share: Clang and lld for a MinGW-w64
# target, with the MinGW-w64 headers and import libraries that Debian ships
# for GCC. The including file sets VTX_MINGW_PREFIX. These builds make
# vtxbridge.dll alone (VTX_LIBRARY_ONLY): the DLL needs no C++ runtime, so
# the second compiler builds it from the same sources, and its debug
# symbols come as a PDB that Windows debuggers read.
include(${CMAKE_CURRENT_LIST_DIR}/windows-target.cmake)

find_program(VTX_CLANG NAMES clang clang-14 REQUIRED)
find_program(VTX_CLANGXX NAMES clang++ clang++-14 REQUIRED)
set(CMAKE_C_COMPILER ${VTX_CLANG})
set(CMAKE_CXX_COMPILER ${VTX_CLANGXX})
set(CMAKE_C_COMPILER_TARGET ${VTX_MINGW_PREFIX})
set(CMAKE_CXX_COMPILER_TARGET ${VTX_MINGW_PREFIX})
set(CMAKE_RC_COMPILER ${VTX_MINGW_PREFIX}-windres)
set(CMAKE_AR ${VTX_MINGW_PREFIX}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${VTX_MINGW_PREFIX}-ranlib CACHE FILEPATH "")

# The C++ headers the library uses (<atomic>, <memory>, <type_traits>, all
# header-only pieces) and the compiler helpers (libgcc: 64-bit division on
# x86, stack probes) come from the MinGW-w64 GCC installation; Clang does
# not find them on its own in Debian's layout.
file(GLOB gcc_dirs LIST_DIRECTORIES true /usr/lib/gcc/${VTX_MINGW_PREFIX}/*-posix)
list(SORT gcc_dirs)
list(POP_BACK gcc_dirs gcc_dir)
if(NOT gcc_dir)
  message(FATAL_ERROR "No MinGW-w64 GCC installation in /usr/lib/gcc/${VTX_MINGW_PREFIX}: run scripts/setup.sh")
endif()
set(CMAKE_CXX_FLAGS_INIT "-isystem ${gcc_dir}/include/c++ -isystem ${gcc_dir}/include/c++/${VTX_MINGW_PREFIX}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${gcc_dir}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -L${gcc_dir}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${gcc_dir}")
