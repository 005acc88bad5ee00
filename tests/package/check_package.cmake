# The developer kit as customers get it: makes the zip with cpack, unpacks it,
# checks its layout, bitness and stripped binaries, the PDB and the READMEs of
# its bitness, builds the samples from the unpacked kit with its CMake package
# (c_host by the very command its README gives, cpp_host by the kit README's
# Debian block, which also runs it under Wine), configures one for clang-cl,
# checks the package's version file, and links an MSVC-style object against
# lib/vtxbridge.lib. package_test.cpp then runs the samples against the kit's
# vtxpeer.exe.
#
# cmake -DCPACK_COMMAND=... -DCPACK_CONFIG=<build>/CPackConfig.cmake
#       -DWORK_DIR=... -DGENERATOR=... -DMAKE_PROGRAM=...
#       -DVERSION=... -DPOINTER_SIZE=4|8 -DEXPORTS=<names> -DKIT_PDB=0|1 -P check_package.cmake
cmake_minimum_required(VERSION 3.25)

foreach(input CPACK_COMMAND CPACK_CONFIG WORK_DIR GENERATOR VERSION POINTER_SIZE EXPORTS KIT_PDB)
  if(NOT DEFINED ${input})
    message(FATAL_ERROR "check_package.cmake needs -D${input}=...")
  endif()
endforeach()

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${what} failed (${result}):\n${output}")
  endif()
endfunction()

# The kit of a 32-bit build and that of a 64-bit one differ in name, the
# machine of their binaries, the .def and the MSVC target; nothing else.
if(POINTER_SIZE EQUAL 8)
  set(platform win64)
  set(samples_toolchain mingw-x86_64.cmake)
  set(msvc_target x86_64-pc-windows-msvc)
  set(msvc_platform x64)
  set(other_bitness "-A Win32|i686")
  set(coff_machine IMAGE_FILE_MACHINE_AMD64)
elseif(POINTER_SIZE EQUAL 4)
  set(platform win32)
  set(samples_toolchain mingw-i686.cmake)
  set(msvc_target i686-pc-windows-msvc)
  set(msvc_platform Win32)
  set(other_bitness "-A x64|x86_64")
  set(coff_machine IMAGE_FILE_MACHINE_I386)
else()
  message(FATAL_ERROR "POINTER_SIZE must be 4 or 8, not ${POINTER_SIZE}")
endif()

set(kit ${WORK_DIR}/sdk)
set(name vtxbridge-${VERSION}-${platform})
# WORK_DIR/<name> leads to the kit, as the kit README's Debian block names it
# from the home folder (WORK_DIR when it runs).
file(REMOVE ${WORK_DIR}/${name})
foreach(folder cpack unpacked sdk cpp_host-build dynload_host-build msvc msvc-config)
  file(REMOVE_RECURSE ${WORK_DIR}/${folder})
endforeach()

# --- The zip, made from this build -----------------------------------------
run("cpack" ${CPACK_COMMAND} --config ${CPACK_CONFIG} -B ${WORK_DIR}/cpack)
file(GLOB zips ${WORK_DIR}/cpack/*.zip)
if(NOT zips STREQUAL "${WORK_DIR}/cpack/${name}.zip")
  message(FATAL_ERROR "expected cpack to make ${name}.zip alone, got: ${zips}")
endif()

# Everything in one folder named like the zip.
file(ARCHIVE_EXTRACT INPUT ${WORK_DIR}/cpack/${name}.zip DESTINATION ${WORK_DIR}/unpacked)
file(GLOB top RELATIVE ${WORK_DIR}/unpacked ${WORK_DIR}/unpacked/*)
if(NOT top STREQUAL name)
  message(FATAL_ERROR "the zip should hold the single folder ${name}, not: ${top}")
endif()
file(RENAME ${WORK_DIR}/unpacked/${name} ${kit})

# --- Layout: exactly these files, no build leftovers ------------------------
set(expected
  README.md
  bin/vtxbridge.dll
  bin/vtxcli.exe
  bin/vtxpeer.exe
  docs/api.md
  docs/peer.md
  docs/protocol.md
  docs/security.md
  docs/vtxcli.md
  include/vtxbridge.h
  lib/cmake/vtxbridge/vtxbridgeConfig.cmake
  lib/cmake/vtxbridge/vtxbridgeConfigVersion.cmake
  lib/libvtxbridge.dll.a
  lib/vtxbridge.def
  lib/vtxbridge.lib
  samples/c_host/CMakeLists.txt
  samples/c_host/c_host.c
  samples/c_host/README.md
  samples/cpp_host/CMakeLists.txt
  samples/cpp_host/cpp_host.cpp
  samples/cpp_host/README.md
  samples/dynload_host/CMakeLists.txt
  samples/dynload_host/dynload_host.c
  samples/dynload_host/README.md
  samples/${samples_toolchain}
  CHANGELOG.md
  LICENSE)
if(KIT_PDB)
  list(APPEND expected bin/vtxbridge.pdb)
endif()
file(GLOB_RECURSE found RELATIVE ${kit} ${kit}/*)
list(SORT found)
list(SORT expected)
if(NOT found STREQUAL expected)
  set(missing ${expected})
  list(REMOVE_ITEM missing ${found})
  set(extra ${found})
  list(REMOVE_ITEM extra ${expected})
  message(FATAL_ERROR "kit layout differs\n  missing: ${missing}\n  unexpected: ${extra}")
endif()
foreach(file IN LISTS expected)
  file(SIZE ${kit}/${file} size)
  if(size EQUAL 0)
    message(FATAL_ERROR "${file} in the kit is empty")
  endif()
endforeach()

# --- Bitness: binaries for the kit's machine, the .def that fits it ---------
# Shipped stripped: no symbol table and no debugging sections.
find_program(LLVM_READOBJ NAMES llvm-readobj llvm-readobj-14)
if(LLVM_READOBJ)
  foreach(binary bin/vtxbridge.dll bin/vtxpeer.exe bin/vtxcli.exe)
    execute_process(COMMAND ${LLVM_READOBJ} --file-headers --sections ${kit}/${binary}
      RESULT_VARIABLE result OUTPUT_VARIABLE headers ERROR_VARIABLE headers)
    if(NOT result EQUAL 0 OR NOT headers MATCHES "Machine: ${coff_machine} ")
      message(FATAL_ERROR "${binary} in the ${platform} kit is not built for ${coff_machine}:\n${headers}")
    endif()
    if(NOT headers MATCHES "SymbolCount: 0\n" OR headers MATCHES "Name: \\.debug")
      message(FATAL_ERROR "${binary} in the ${platform} kit is not stripped:\n${headers}")
    endif()
  endforeach()
  # The PDB beside the DLL is the DLL's own: the DLL names it without a
  # folder, and both carry the same signature.
  if(KIT_PDB)
    find_program(LLVM_PDBUTIL NAMES llvm-pdbutil llvm-pdbutil-14 REQUIRED)
    execute_process(COMMAND ${LLVM_READOBJ} --coff-debug-directory ${kit}/bin/vtxbridge.dll OUTPUT_VARIABLE debug)
    execute_process(COMMAND ${LLVM_PDBUTIL} dump --summary ${kit}/bin/vtxbridge.pdb OUTPUT_VARIABLE summary)
    string(REGEX MATCH "PDBGUID: \\(([0-9A-Fa-f ]+)\\)" guid "${debug}")
    string(REPLACE " " "" dll_guid "${CMAKE_MATCH_1}")
    string(REGEX MATCH "GUID: {([0-9A-Fa-f-]+)}" guid "${summary}")
    string(REPLACE "-" "" pdb_guid "${CMAKE_MATCH_1}")
    if(NOT debug MATCHES "PDBFileName: vtxbridge\\.pdb\n" OR dll_guid STREQUAL "" OR pdb_guid STREQUAL "")
      message(FATAL_ERROR "bin/vtxbridge.dll of the ${platform} kit does not name its PDB:\n${debug}\n${summary}")
    endif()
    # The debug directory shows the GUID's bytes, whose first three fields
    # are little-endian; the PDB shows the GUID's text.
    string(SUBSTRING "${dll_guid}" 0 8 a)
    string(SUBSTRING "${dll_guid}" 8 4 b)
    string(SUBSTRING "${dll_guid}" 12 4 c)
    string(SUBSTRING "${dll_guid}" 16 16 rest)
    foreach(part a b c)
      string(LENGTH "${${part}}" length)
      set(swapped "")
      while(length GREATER 0)
        math(EXPR length "${length} - 2")
        string(SUBSTRING "${${part}}" ${length} 2 byte)
        string(APPEND swapped "${byte}")
      endwhile()
      set(${part} "${swapped}")
    endforeach()
    string(TOUPPER "${a}${b}${c}${rest}" dll_guid)
    string(TOUPPER "${pdb_guid}" pdb_guid)
    if(NOT dll_guid STREQUAL pdb_guid)
      message(FATAL_ERROR "bin/vtxbridge.pdb of the ${platform} kit is not the DLL's: ${dll_guid} vs ${pdb_guid}")
    endif()
    # It names the library's sources as they lie in this version's tree at
    # C:\vtxbridge-<version>, where a debugger can find them, and never by
    # the build machine's paths; only the compilers' own headers keep theirs.
    execute_process(COMMAND ${LLVM_PDBUTIL} dump --files ${kit}/bin/vtxbridge.pdb OUTPUT_VARIABLE files)
    string(REGEX MATCHALL "\n- \\([^)\n]*\\) [^\n]+" sources "${files}")
    set(tree "C:\\vtxbridge-${VERSION}\\")
    set(foreign "")
    foreach(source IN LISTS sources)
      string(REGEX REPLACE "^\n- \\([^)]*\\) " "" source "${source}")
      string(FIND "${source}" "${tree}" at)
      if(NOT at EQUAL 0 AND NOT source MATCHES "^/usr/")
        list(APPEND foreign "${source}")
      endif()
    endforeach()
    string(FIND "${files}" ") ${tree}src\\api\\session_exports.cpp\n" session_exports)
    if(session_exports EQUAL -1 OR foreign)
      message(FATAL_ERROR "bin/vtxbridge.pdb of the ${platform} kit should name its sources under ${tree}; "
        "it names ${foreign}\n${files}")
    endif()
  endif()
else()
  message(STATUS "machine of the kit's binaries not checked: llvm-readobj missing")
endif()
# The library's exports (EXPORTS, from src/api/export_list.h), tied to their
# decorated names on x86 only: an x64 linker cannot resolve `@N`.
string(REPLACE "," ";" exports "${EXPORTS}")
list(LENGTH exports expected_count)
file(STRINGS ${kit}/lib/vtxbridge.def def_exports REGEX "^[ \t]+vtx_[a-z]+")
file(STRINGS ${kit}/lib/vtxbridge.def def_decorated REGEX "^[ \t]+vtx_[a-z]+ = vtx_[a-z]+@[0-9]+$")
list(LENGTH def_exports export_count)
list(LENGTH def_decorated decorated_count)
if(POINTER_SIZE EQUAL 8)
  set(expected_decorated 0)
else()
  set(expected_decorated ${expected_count})
endif()
if(NOT export_count EQUAL expected_count OR NOT decorated_count EQUAL expected_decorated)
  message(FATAL_ERROR "lib/vtxbridge.def of the ${platform} kit should list ${expected_count} exports, "
    "${expected_decorated} of them decorated; it lists ${export_count}, ${decorated_count} decorated")
endif()

# --- The READMEs: the builds of the kit's own bitness ------------------------
foreach(readme README.md samples/c_host/README.md samples/cpp_host/README.md samples/dynload_host/README.md)
  file(READ ${kit}/${readme} text)
  string(FIND "${text}" "-A ${msvc_platform} " own_platform)
  string(FIND "${text}" "/samples/${samples_toolchain} " own_toolchain)
  if(own_platform EQUAL -1 OR own_toolchain EQUAL -1 OR text MATCHES "${other_bitness}")
    message(FATAL_ERROR "${readme} of the ${platform} kit should give -A ${msvc_platform} and "
      "samples/${samples_toolchain}, and nothing of the other bitness:\n${text}")
  endif()
endforeach()

# --- samples/c_host from the unpacked kit, as its README says ----------------
# The Debian line exactly, run in the kit's folder: the kit's toolchain file,
# named as the README names it, and the package found through find_package.
file(STRINGS ${kit}/samples/c_host/README.md readme_build REGEX "^cmake -S samples/c_host .* -G Ninja ")
list(LENGTH readme_build readme_build_count)
if(NOT readme_build_count EQUAL 1)
  message(FATAL_ERROR "samples/c_host/README.md should give one Debian build line, not: ${readme_build}")
endif()
execute_process(COMMAND sh -c "${readme_build}" WORKING_DIRECTORY ${kit}
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the build line of samples/c_host/README.md failed in the kit's folder (${result}):\n"
    "${readme_build}\n${output}")
endif()
foreach(file c_host.exe vtxbridge.dll)
  if(NOT EXISTS ${kit}/c_host-build/${file})
    message(FATAL_ERROR "the sample's build did not leave ${file} in ${kit}/c_host-build")
  endif()
endforeach()
file(STRINGS ${kit}/c_host-build/CMakeCache.txt dir_line REGEX "^vtxbridge_DIR:")
if(NOT dir_line STREQUAL "vtxbridge_DIR:PATH=${kit}/lib/cmake/vtxbridge")
  message(FATAL_ERROR "find_package found the wrong vtxbridge: ${dir_line}")
endif()

# --- samples/cpp_host by the kit README's Debian block, run as written ------
# From the home folder, with the kit unpacked there: it builds cpp_host into
# cpp_host-build, runs it under Wine against the kit's vtxpeer.exe, and must
# print what the README shows after it. Wine's prefix stays the one this test
# runs with.
file(READ ${kit}/README.md readme)
if(NOT readme MATCHES "\n```sh\n(kit=\\$HOME/${name} [^\n]*\n([^`\n][^\n]*\n)+)```\n+```\n(([^`\n][^\n]*\n)+)```\n")
  message(FATAL_ERROR "README.md of the ${platform} kit should give a Debian block that starts "
    "kit=\$HOME/${name}, followed by its output")
endif()
set(block "${CMAKE_MATCH_1}")
set(block_output "${CMAKE_MATCH_3}")
file(CREATE_LINK ${kit} ${WORK_DIR}/${name} SYMBOLIC)
file(WRITE ${WORK_DIR}/readme-block.sh "${block}")
if(NOT DEFINED ENV{WINEPREFIX})
  set(ENV{WINEPREFIX} "$ENV{HOME}/.wine")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E env HOME=${WORK_DIR} sh readme-block.sh WORKING_DIRECTORY ${WORK_DIR}
  TIMEOUT 180 RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
string(REPLACE "\r\n" "\n" output "${output}")
string(FIND "${output}" "\n${block_output}" shown)
if(shown EQUAL -1 OR NOT EXISTS ${WORK_DIR}/cpp_host-build/cpp_host.exe
   OR NOT EXISTS ${WORK_DIR}/cpp_host-build/vtxbridge.dll)
  execute_process(COMMAND wine ${kit}/bin/vtxpeer.exe --control quit TIMEOUT 20 OUTPUT_QUIET ERROR_QUIET)
  message(FATAL_ERROR "the Debian block of the ${platform} kit's README, run in ${WORK_DIR} (${result}), "
    "did not show what the README shows:\n${block}\n--- README:\n${block_output}--- run:\n${output}")
endif()
# Once more with the kit's header as a plain include folder (not a system
# one), so that C++17 with -Werror -pedantic sees it too.
run("compiling cpp_host with the kit's header as a plain include folder"
  ${CMAKE_COMMAND} -DCMAKE_NO_SYSTEM_FROM_IMPORTED=ON ${WORK_DIR}/cpp_host-build)
run("building cpp_host so" ${CMAKE_COMMAND} --build ${WORK_DIR}/cpp_host-build)

# --- dynload_host, with the kit's own cross-build toolchain file ------------
# As its README says: the C89 sample uses the header's helpers, so this also
# compiles the header as C89 with -Werror -pedantic.
set(configure ${CMAKE_COMMAND} -S ${kit}/samples/dynload_host -B ${WORK_DIR}/dynload_host-build -G ${GENERATOR}
  -DCMAKE_TOOLCHAIN_FILE=${kit}/samples/${samples_toolchain}
  -DCMAKE_PREFIX_PATH=${kit}
  -DCMAKE_NO_SYSTEM_FROM_IMPORTED=ON)
if(MAKE_PROGRAM)
  list(APPEND configure -DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM})
endif()
run("configuring samples/dynload_host against the kit" ${configure})
run("building samples/dynload_host" ${CMAKE_COMMAND} --build ${WORK_DIR}/dynload_host-build)
foreach(file dynload_host.exe vtxbridge.dll)
  if(NOT EXISTS ${WORK_DIR}/dynload_host-build/${file})
    message(FATAL_ERROR "the build of dynload_host did not leave ${file} in ${WORK_DIR}/dynload_host-build")
  endif()
endforeach()
# dynload_host loads the DLL itself: no import library on its link line.
file(READ ${WORK_DIR}/dynload_host-build/build.ninja rules)
if(rules MATCHES "libvtxbridge\\.dll\\.a|vtxbridge\\.lib")
  message(FATAL_ERROR "dynload_host must not link an import library")
endif()

# --- The CMake package with an MSVC-style compiler ---------------------------
# Configured only (no MSVC headers or libraries here): for clang-cl the
# package must hand the linker vtxbridge.lib, not the MinGW import library.
find_program(CLANG_CL NAMES clang-cl clang-cl-14)
find_program(LLD_LINK lld-link)
if(CLANG_CL AND LLD_LINK)
  file(WRITE ${WORK_DIR}/msvc-config/toolchain.cmake
    "set(CMAKE_SYSTEM_NAME Windows)\n"
    "set(CMAKE_C_COMPILER \"${CLANG_CL}\")\n"
    "set(CMAKE_C_COMPILER_TARGET ${msvc_target})\n"
    "set(CMAKE_LINKER \"${LLD_LINK}\")\n"
    "set(CMAKE_C_COMPILER_WORKS ON)\n")
  set(configure ${CMAKE_COMMAND} -S ${kit}/samples/c_host -B ${WORK_DIR}/msvc-config/build -G ${GENERATOR}
    -DCMAKE_TOOLCHAIN_FILE=${WORK_DIR}/msvc-config/toolchain.cmake -DCMAKE_PREFIX_PATH=${kit})
  if(MAKE_PROGRAM)
    list(APPEND configure -DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM})
  endif()
  run("configuring samples/c_host for clang-cl" ${configure})
  file(READ ${WORK_DIR}/msvc-config/build/build.ninja rules)
  string(FIND "${rules}" "${kit}/lib/vtxbridge.lib" msvc_lib)
  string(FIND "${rules}" "libvtxbridge.dll.a" mingw_lib)
  if(msvc_lib EQUAL -1 OR NOT mingw_lib EQUAL -1)
    message(FATAL_ERROR "for clang-cl the package must link ${kit}/lib/vtxbridge.lib alone")
  endif()
else()
  message(STATUS "CMake package with clang-cl skipped: clang-cl or lld-link missing")
endif()

# The version file: 1.x is accepted, and only by a build of the kit's own
# bitness, so a project of the other bitness is told the kit does not suit
# it instead of failing at link time; CMake's error shows the version the
# file gives, whose second line says which kit fits.
function(kit_version_accepts wanted pointer_size out)
  set(PACKAGE_FIND_VERSION ${wanted})
  string(REPLACE "." ";" parts ${wanted})
  list(GET parts 0 PACKAGE_FIND_VERSION_MAJOR)
  set(CMAKE_SIZEOF_VOID_P ${pointer_size})
  include(${kit}/lib/cmake/vtxbridge/vtxbridgeConfigVersion.cmake)
  if(PACKAGE_VERSION_COMPATIBLE AND NOT PACKAGE_VERSION_UNSUITABLE)
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
  set(${out}_version "${PACKAGE_VERSION}" PARENT_SCOPE)
endfunction()
if(POINTER_SIZE EQUAL 8)
  set(other_pointer_size 4)
  set(refusal "${VERSION}\nvtxbridge ${VERSION} is the 64-bit kit; this build is 32-bit: use the win32 kit or a 64-bit toolchain")
else()
  set(other_pointer_size 8)
  set(refusal "${VERSION}\nvtxbridge ${VERSION} is the 32-bit kit; this build is 64-bit: use the win64 kit or a 32-bit toolchain")
endif()
kit_version_accepts(1.0 ${POINTER_SIZE} same_major)
kit_version_accepts(2.0 ${POINTER_SIZE} next_major)
kit_version_accepts(1.0 ${other_pointer_size} other_bitness)
if(NOT same_major OR next_major OR other_bitness OR NOT other_bitness_version STREQUAL refusal)
  message(FATAL_ERROR "the kit's version file should accept 1.0 for a ${platform} build only "
    "(1.0: ${same_major}, 2.0: ${next_major}, 1.0 of the other bitness: ${other_bitness}), "
    "and tell the other bitness:\n${refusal}\nnot:\n${other_bitness_version}")
endif()

# --- lib/vtxbridge.lib for MSVC linkers --------------------------------------
# An object compiled for the MSVC ABI from the kit's header calls each export
# by its decorated name on x86 (_vtx_init@16) and by its plain name on x64;
# linked against vtxbridge.lib, the program must import the undecorated names
# from vtxbridge.dll.
find_program(CLANG clang)
if(NOT CLANG OR NOT LLD_LINK OR NOT LLVM_READOBJ)
  message(STATUS "MSVC-style link of vtxbridge.lib skipped: clang, lld-link or llvm-readobj missing")
  return()
endif()
set(msvc ${WORK_DIR}/msvc)
# No MSVC headers here: the header needs only wchar_t, which stddef.h brings.
file(WRITE ${msvc}/stub/wchar.h "#include <stddef.h>\n")
set(exports
  vtx_init vtx_initw vtx_deinit vtx_sendrequest vtx_sendrequestw vtx_sendrequestparam
  vtx_sendrequestparamw vtx_sendresponse vtx_sendresponsew vtx_getrequestmessage
  vtx_getrequestmessagew vtx_getjobid vtx_getjobidw vtx_geterrorstring vtx_geterrorstringw
  vtx_login vtx_loginw vtx_iswcalive vtx_setbridgeid vtx_getbridgeid)
file(WRITE ${msvc}/probe.c [=[
#include "vtxbridge.h"

/* Never run: it only makes the linker resolve every export. */
int probe_main(void) {
    char c[8];
    wchar_t w[8];
    unsigned int n = 8;
    int r = 0;
    r += vtx_init(0, "", 1, 0);
    r += vtx_initw(0, L"", 1, 0);
    r += vtx_deinit();
    r += vtx_sendrequest("", 0) != 0;
    r += vtx_sendrequestw(L"", 0) != 0;
    r += vtx_sendrequestparam("", 0, c, &n);
    r += vtx_sendrequestparamw(L"", 0, w, &n);
    r += vtx_sendresponse("", 0);
    r += vtx_sendresponsew(L"", 0);
    r += vtx_getrequestmessage(c, &n);
    r += vtx_getrequestmessagew(w, &n);
    r += vtx_getjobid(c, &n);
    r += vtx_getjobidw(w, &n);
    r += vtx_geterrorstring(0, c, &n);
    r += vtx_geterrorstringw(0, w, &n);
    r += vtx_login("", "");
    r += vtx_loginw(0, L"", L"");
    r += vtx_iswcalive();
    r += vtx_setbridgeid("");
    r += vtx_getbridgeid() != 0;
    return r;
}
]=])
run("compiling an MSVC-style object against the kit's header"
  ${CLANG} --target=${msvc_target} -std=c99 -Wall -Wextra -Werror -pedantic
  -I ${msvc}/stub -I ${kit}/include -c ${msvc}/probe.c -o ${msvc}/probe.obj)
run("linking it against lib/vtxbridge.lib with lld-link"
  ${LLD_LINK} /nologo /subsystem:console /entry:probe_main /nodefaultlib /out:${msvc}/probe.exe
  ${msvc}/probe.obj ${kit}/lib/vtxbridge.lib)
execute_process(COMMAND ${LLVM_READOBJ} --coff-imports ${msvc}/probe.exe
  RESULT_VARIABLE result OUTPUT_VARIABLE imports ERROR_VARIABLE imports)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "llvm-readobj failed:\n${imports}")
endif()
string(REGEX MATCHALL "Name: [^\n]+" modules "${imports}")
if(NOT modules STREQUAL "Name: vtxbridge.dll")
  message(FATAL_ERROR "the probe should import from vtxbridge.dll alone:\n${imports}")
endif()
string(REGEX MATCHALL "Symbol: [^ \n]+" symbols "${imports}")
list(TRANSFORM symbols REPLACE "^Symbol: " "")
list(SORT symbols)
list(SORT exports)
if(NOT symbols STREQUAL exports)
  message(FATAL_ERROR "the probe imports ${symbols}\nexpected the undecorated ${exports}")
endif()
message(STATUS "kit ${name}: layout, c_host build and MSVC-style link checked")
