# The developer kit: `cpack` in a build folder (scripts/sdk.sh does it all)
# makes vtxbridge-<version>-win32.zip. The DLL, its import libraries, the
# header and the tools are installed by src/, tools/peer/ and tools/cli/;
# this file adds the CMake package, the documents and the C sample, and sets
# up CPack.
#
#   bin/      vtxbridge.dll, vtxpeer.exe, vtxcli.exe
#   include/  vtxbridge.h
#   lib/      vtxbridge.def, libvtxbridge.dll.a (MinGW), vtxbridge.lib (MSVC),
#             cmake/vtxbridge/ (find_package(vtxbridge))
#   docs/     api.md, protocol.md, peer.md, vtxcli.md
#   samples/  c_host/ (C, polling), cpp_host/ (C++, callback, UTF-16),
#             dynload_host/ (C89, LoadLibrary), mingw-i686.cmake
#   README.md, CHANGELOG.md, LICENSE
include(CMakePackageConfigHelpers)

set(VTX_PACKAGE_CONFIG_DIR lib/cmake/vtxbridge)
# Also records that the kit is 32-bit: a 64-bit project is told the package
# does not suit it instead of failing at link time.
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
  ${PROJECT_SOURCE_DIR}/docs/vtxcli.md
  DESTINATION docs)
install(FILES ${PROJECT_SOURCE_DIR}/docs/sdk.md DESTINATION . RENAME README.md)
install(FILES
  ${PROJECT_SOURCE_DIR}/samples/c_host/CMakeLists.txt
  ${PROJECT_SOURCE_DIR}/samples/c_host/c_host.c
  DESTINATION samples/c_host)

# More samples (a C++ host with a callback, a host that loads the DLL at run
# time), the READMEs that give their builds, the cross-build toolchain file,
# and the release notes and licence.
install(FILES ${PROJECT_SOURCE_DIR}/samples/c_host/README.md DESTINATION samples/c_host)
install(FILES
  ${PROJECT_SOURCE_DIR}/samples/cpp_host/CMakeLists.txt
  ${PROJECT_SOURCE_DIR}/samples/cpp_host/cpp_host.cpp
  ${PROJECT_SOURCE_DIR}/samples/cpp_host/README.md
  DESTINATION samples/cpp_host)
install(FILES
  ${PROJECT_SOURCE_DIR}/samples/dynload_host/CMakeLists.txt
  ${PROJECT_SOURCE_DIR}/samples/dynload_host/dynload_host.c
  ${PROJECT_SOURCE_DIR}/samples/dynload_host/README.md
  DESTINATION samples/dynload_host)
install(FILES ${PROJECT_SOURCE_DIR}/samples/mingw-i686.cmake DESTINATION samples)
install(FILES ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME vtxbridge)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_FILE_NAME vtxbridge-${PROJECT_VERSION}-win32)
# Everything in one folder named like the file, so unpacking never scatters.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
# The build keeps its debugging information; the shipped binaries do not need it.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)
include(CPack)
