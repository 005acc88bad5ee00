# CMake package of the vtxbridge developer kit.
#
#   find_package(vtxbridge 1.0 REQUIRED)
#   target_link_libraries(chart PRIVATE vtxbridge::vtxbridge)
#
# vtxbridge::vtxbridge is vtxbridge.dll (32-bit from the -win32 kit, 64-bit
# from the -win64 kit; the version file turns away a project of the other
# bitness, and CMake's error then says "vtxbridge 1.0.0 is the 64-bit kit;
# this build is 32-bit: use the win32 kit or a 64-bit toolchain") with its
# header and the import library that suits the project's linker:
# vtxbridge.lib for MSVC and clang-cl (and clang targeting MSVC),
# libvtxbridge.dll.a for MinGW. Copy
# $<TARGET_FILE:vtxbridge::vtxbridge> next to the program that uses it.
#
# Also defined: vtxbridge::vtxpeer and vtxbridge::vtxcli, the substitute peer
# and the command-line host, as imported executables (for add_test and the
# like), and vtxbridge_INCLUDE_DIR.

get_filename_component(_vtxbridge_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)

if(NOT WIN32)
  set(vtxbridge_FOUND FALSE)
  set(vtxbridge_NOT_FOUND_MESSAGE "vtxbridge.dll is a Windows library: configure the project for Windows")
  return()
endif()

if(MSVC OR CMAKE_C_SIMULATE_ID STREQUAL "MSVC" OR CMAKE_CXX_SIMULATE_ID STREQUAL "MSVC")
  set(_vtxbridge_implib "${_vtxbridge_prefix}/lib/vtxbridge.lib")
else()
  set(_vtxbridge_implib "${_vtxbridge_prefix}/lib/libvtxbridge.dll.a")
endif()

foreach(_vtxbridge_file
    "${_vtxbridge_prefix}/bin/vtxbridge.dll"
    "${_vtxbridge_prefix}/include/vtxbridge.h"
    "${_vtxbridge_implib}")
  if(NOT EXISTS "${_vtxbridge_file}")
    set(vtxbridge_FOUND FALSE)
    set(vtxbridge_NOT_FOUND_MESSAGE "the developer kit in ${_vtxbridge_prefix} lacks ${_vtxbridge_file}")
    unset(_vtxbridge_file)
    unset(_vtxbridge_implib)
    unset(_vtxbridge_prefix)
    return()
  endif()
endforeach()
unset(_vtxbridge_file)

if(NOT TARGET vtxbridge::vtxbridge)
  add_library(vtxbridge::vtxbridge SHARED IMPORTED)
  set_target_properties(vtxbridge::vtxbridge PROPERTIES
    IMPORTED_LOCATION "${_vtxbridge_prefix}/bin/vtxbridge.dll"
    IMPORTED_IMPLIB "${_vtxbridge_implib}"
    INTERFACE_INCLUDE_DIRECTORIES "${_vtxbridge_prefix}/include")
endif()
foreach(_vtxbridge_tool vtxpeer vtxcli)
  if(NOT TARGET vtxbridge::${_vtxbridge_tool} AND EXISTS "${_vtxbridge_prefix}/bin/${_vtxbridge_tool}.exe")
    add_executable(vtxbridge::${_vtxbridge_tool} IMPORTED)
    set_target_properties(vtxbridge::${_vtxbridge_tool} PROPERTIES
      IMPORTED_LOCATION "${_vtxbridge_prefix}/bin/${_vtxbridge_tool}.exe")
  endif()
endforeach()
set(vtxbridge_INCLUDE_DIR "${_vtxbridge_prefix}/include")

unset(_vtxbridge_tool)
unset(_vtxbridge_implib)
unset(_vtxbridge_prefix)
