# The 64-bit DLL has no decorated export names to fail its link when an
# export's parameter list changes; src/api/export_signatures.cpp fails the
# build instead. This compiles that file once against the real header (it
# must pass) and once against a copy in which vtx_login lost a parameter (it
# must fail, naming vtx_login).
#
# cmake -DCXX=<compiler> -DSOURCE_DIR=<repository> -DWORK_DIR=... -P export_guard.cmake
cmake_minimum_required(VERSION 3.25)

foreach(input CXX SOURCE_DIR WORK_DIR)
  if(NOT DEFINED ${input})
    message(FATAL_ERROR "export_guard.cmake needs -D${input}=...")
  endif()
endforeach()

set(guard ${SOURCE_DIR}/src/api/export_signatures.cpp)
function(compile_guard include_dir out_result out_output)
  execute_process(COMMAND ${CXX} -std=c++17 -fsyntax-only -DVTXBRIDGE_BUILDING -I ${include_dir} -I ${SOURCE_DIR}/src ${guard}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  set(${out_result} ${result} PARENT_SCOPE)
  set(${out_output} "${output}" PARENT_SCOPE)
endfunction()

compile_guard(${SOURCE_DIR}/include result output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the export guard fails against the real header:\n${output}")
endif()

file(READ ${SOURCE_DIR}/include/vtxbridge.h header)
set(login "vtx_login(const char* loginText1, const char* loginText2)")
string(FIND "${header}" "${login}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "vtx_login's declaration in vtxbridge.h is not the one this check changes: ${login}")
endif()
string(REPLACE "${login}" "vtx_login(const char* loginText1)" header "${header}")
file(WRITE ${WORK_DIR}/changed/vtxbridge.h "${header}")
compile_guard(${WORK_DIR}/changed result output)
if(result EQUAL 0 OR NOT output MATCHES "vtx_login: its result or parameter list differs")
  message(FATAL_ERROR "a changed parameter list of vtx_login passed the export guard (${result}):\n${output}")
endif()
message(STATUS "export guard: passes the header, fails a changed vtx_login")
