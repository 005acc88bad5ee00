# The developer kit: `cpack` in a build folder (scripts/sdk.sh does it all)
# makes vtxbridge-<version>-win32.zip from a 32-bit build and
# vtxbridge-<version>-win64.zip from a 64-bit one, the same layout. The DLL
# (the release build, stripped), its import libraries, the header and the
# tools are installed by src/, tools/peer/ and tools/cli/; this file adds the
# CMake package, the documents and the samples, sets up CPack, and names
# what must be built before packing (target vtx_kit).
#
#   bin/      vtxbridge.dll (the Clang build's) and vtxbridge.pdb, vtxpeer.exe, vtxcli.exe
#   include/  vtxbridge.h
#   lib/      vtxbridge.def (decorated names on x86, plain on x64),
#             libvtxbridge.dll.a (MinGW), vtxbridge.lib (MSVC),
#             cmake/vtxbridge/ (find_package(vtxbridge))
#   docs/     api.md, protocol.md, peer.md, security.md, vtxcli.md
#   samples/  c_host/ (C, polling), cpp_host/ (C++, callback, UTF-16),
#             dynload_host/ (C89, LoadLibrary), mingw-i686.cmake (win32) or
#             mingw-x86_64.cmake (win64)
#   README.md, CHANGELOG.md, LICENSE
#
# The kit's README (docs/sdk.md) and the samples' READMEs speak of their own
# kit only: they are written for the win32 kit, and the win64 kit's are made
# from them (vtx_kit_text).
include(CMakePackageConfigHelpers)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VTX_KIT_PLATFORM win64)
  set(VTX_KIT_OTHER_PLATFORM win32)
else()
  set(VTX_KIT_PLATFORM win32)
  set(VTX_KIT_OTHER_PLATFORM win64)
endif()
math(EXPR VTX_KIT_BITS "${CMAKE_SIZEOF_VOID_P} * 8")

# What differs between the two kits' texts, in pairs: the win32 text, the
# win64 text. Each pair is swapped both ways, so that a sentence about the
# other kit ("a 64-bit host takes the win64 kit") stays true in either.
# Words that name no kit ("the win32 thread model", x86, x64) stay.
set(VTX_KIT_TEXT_SWAPS
  "win32 kit" "win64 kit"
  "-win32" "-win64"
  "-A Win32" "-A x64"
  "i686" "x86_64"
  "32-bit" "64-bit")

# Installs the text `source` into `destination` of the kit: as it is in the
# win32 kit, with VTX_KIT_TEXT_SWAPS swapped in the win64 kit.
function(vtx_kit_text source destination)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    file(READ ${source} text)
    set(pairs ${VTX_KIT_TEXT_SWAPS})
    while(pairs)
      list(POP_FRONT pairs win32 win64)
      string(REPLACE "${win32}" "@vtx-kit-swap@" text "${text}")
      string(REPLACE "${win64}" "${win32}" text "${text}")
      string(REPLACE "@vtx-kit-swap@" "${win64}" text "${text}")
    endwhile()
    file(RELATIVE_PATH path ${PROJECT_SOURCE_DIR} ${source})
    set(source ${CMAKE_BINARY_DIR}/generated/kit/${path})
    file(WRITE ${source} "${text}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${path})
  endif()
  install(FILES ${source} DESTINATION ${destination} ${ARGN})
endfunction()

# What cpack packs, built by `cmake --build <dir> --target vtx_kit`: the DLL's
# target may be one built elsewhere and only imported here.
add_custom_target(vtx_kit)
add_dependencies(vtx_kit vtxbridge vtxpeer vtxcli)

set(VTX_PACKAGE_CONFIG_DIR lib/cmake/vtxbridge)
# Any 1.x request is met by this 1.y.z, and only by a build of the kit's
# bitness (CMAKE_SIZEOF_VOID_P): a project of the other bitness is turned
# away here, not at link time. Turned away by the version file, so that CMake
# goes on to the other kit when it can see both; when it finds none that
# fits, its error lists this kit with the "version" set below, whose second
# line says what to do.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/generated/vtxbridgeConfigVersionBasic.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
file(READ ${CMAKE_BINARY_DIR}/generated/vtxbridgeConfigVersionBasic.cmake version_file)
set(bitness_line [[set(PACKAGE_VERSION "${PACKAGE_VERSION} (${installedBits}bit)")]])
string(FIND "${version_file}" "${bitness_line}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "CMake's version file no longer holds the line that Packaging.cmake replaces:\n${bitness_line}")
endif()
string(CONFIGURE [[math(EXPR _vtxbridge_build_bits "${CMAKE_SIZEOF_VOID_P} * 8")
  set(PACKAGE_VERSION "${PACKAGE_VERSION}\nvtxbridge @PROJECT_VERSION@ is the @VTX_KIT_BITS@-bit kit; this build is ${_vtxbridge_build_bits}-bit: use the @VTX_KIT_OTHER_PLATFORM@ kit or a @VTX_KIT_BITS@-bit toolchain")]]
  refusal @ONLY)
string(REPLACE "${bitness_line}" "${refusal}" version_file "${version_file}")
file(WRITE ${CMAKE_BINARY_DIR}/generated/vtxbridgeConfigVersion.cmake "${version_file}")
install(FILES
  ${PROJECT_SOURCE_DIR}/cmake/vtxbridgeConfig.cmake
  ${CMAKE_BINARY_DIR}/generated/vtxbridgeConfigVersion.cmake
  DESTINATION ${VTX_PACKAGE_CONFIG_DIR})

install(FILES
  ${PROJECT_SOURCE_DIR}/docs/api.md
  ${PROJECT_SOURCE_DIR}/docs/protocol.md
  ${PROJECT_SOURCE_DIR}/docs/peer.md
  ${PROJECT_SOURCE_DIR}/docs/security.md
  ${PROJECT_SOURCE_DIR}/docs/vtxcli.md
  DESTINATION docs)
vtx_kit_text(${PROJECT_SOURCE_DIR}/docs/sdk.md . RENAME README.md)

# The samples (a C host that polls, a C++ host with a callback, a host that
# loads the DLL at run time), each with the README that gives its builds, the
# cross-build toolchain file, and the release notes and licence.
install(FILES
  ${PROJECT_SOURCE_DIR}/samples/c_host/CMakeLists.txt
  ${PROJECT_SOURCE_DIR}/samples/c_host/c_host.c
  DESTINATION samples/c_host)
install(FILES
  ${PROJECT_SOURCE_DIR}/samples/cpp_host/CMakeLists.txt
  ${PROJECT_SOURCE_DIR}/samples/cpp_host/cpp_host.cpp
  DESTINATION samples/cpp_host)
install(FILES
  ${PROJECT_SOURCE_DIR}/samples/dynload_host/CMakeLists.txt
  ${PROJECT_SOURCE_DIR}/samples/dynload_host/dynload_host.c
  DESTINATION samples/dynload_host)
# A sample's README gives the builds of the kit's own bitness.
foreach(sample c_host cpp_host dynload_host)
  vtx_kit_text(${PROJECT_SOURCE_DIR}/samples/${sample}/README.md samples/${sample})
endforeach()
# The cross-build toolchain file of the kit's bitness.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  install(FILES ${PROJECT_SOURCE_DIR}/samples/mingw-x86_64.cmake DESTINATION samples)
else()
  install(FILES ${PROJECT_SOURCE_DIR}/samples/mingw-i686.cmake DESTINATION samples)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME vtxbridge)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_FILE_NAME vtxbridge-${PROJECT_VERSION}-${VTX_KIT_PLATFORM})
# Everything in one folder named like the file, so unpacking never scatters.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
# The build keeps its debugging information; the shipped binaries do not need it.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)
include(CPack)
