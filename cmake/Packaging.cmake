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
include(CMakePackageConfigHelpers)

# What cpack packs, built by `cmake --build <dir> --target vtx_kit`: the DLL's
# target may be one built elsewhere and only imported here.
add_custom_target(vtx_kit)
add_dependencies(vtx_kit vtxbridge vtxpeer vtxcli)

set(VTX_PACKAGE_CONFIG_DIR lib/cmake/vtxbridge)
# Also records the kit's bitness (CMAKE_SIZEOF_VOID_P): a project of the
# other bitness is told the package does not suit it instead of failing at
# link time.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/generated/vtxbridgeConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
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
install(FILES ${PROJECT_SOURCE_DIR}/docs/sdk.md DESTINATION . RENAME README.md)

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
# A sample's README gives the builds of the kit's own bitness. The sources
# are written for the win32 kit; the win64 kit's are made from them.
foreach(sample c_host cpp_host dynload_host)
  set(readme ${PROJECT_SOURCE_DIR}/samples/${sample}/README.md)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    file(READ ${readme} text)
    string(REPLACE "-A Win32" "-A x64" text "${text}")
    string(REPLACE "i686" "x86_64" text "${text}")
    set(readme ${CMAKE_BINARY_DIR}/generated/samples/${sample}/README.md)
    file(WRITE ${readme} "${text}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/samples/${sample}/README.md)
  endif()
  install(FILES ${readme} DESTINATION samples/${sample})
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
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CPACK_PACKAGE_FILE_NAME vtxbridge-${PROJECT_VERSION}-win64)
else()
  set(CPACK_PACKAGE_FILE_NAME vtxbridge-${PROJECT_VERSION}-win32)
endif()
# Everything in one folder named like the file, so unpacking never scatters.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
# The build keeps its debugging information; the shipped binaries do not need it.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)
include(CPack)
