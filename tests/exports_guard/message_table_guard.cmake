# The table of messages (src/transport/message_codes.h) guards two changes at
# compile time, and this proves both with scratch compilations:
#  - an export body that waits for the answer to a code the table does not
#    list as awaited in its form does not compile (api/call_frame.h), so no
#    such export ships to time out on every call;
#  - a third form added to the table's Form fails to compile at every place
#    that dispatches on a form (a switch without a default), in the library,
#    the substitute peer and vtxcli, instead of going the wide form's way.
#
# cmake -DCXX=<compiler> -DSOURCE_DIR=<repository> -DWORK_DIR=... -P message_table_guard.cmake
cmake_minimum_required(VERSION 3.25)

foreach(input CXX SOURCE_DIR WORK_DIR)
  if(NOT DEFINED ${input})
    message(FATAL_ERROR "message_table_guard.cmake needs -D${input}=...")
  endif()
endforeach()
set(ENV{LC_ALL} C)

# Compiles `source` (syntax and templates only) with the library's
# definitions; `include_first` comes before the sources' own folders.
function(compile source include_first out_result out_output)
  execute_process(COMMAND ${CXX} -std=c++17 -fsyntax-only -Wswitch -Werror=switch ${ARGN}
      -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -DNOMINMAX -DVTXBRIDGE_BUILDING
      -I ${include_first} -I ${SOURCE_DIR}/src -I ${SOURCE_DIR}/include -I ${SOURCE_DIR}/tools ${source}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  set(${out_result} ${result} PARENT_SCOPE)
  set(${out_output} "${output}" PARENT_SCOPE)
endfunction()

# 1. Waiting for an answer: a body like the exports', for a form and a code.
file(MAKE_DIRECTORY ${WORK_DIR}/none)
set(body ${WORK_DIR}/waiting_body.cpp)
file(WRITE ${body} "#include \"api/call_frame.h\"\n"
  "int Body() { return static_cast<int>(vtx::api::RunExchange<vtx::FORM, CODE>().outcome); }\n")
compile(${body} ${WORK_DIR}/none result output -DFORM=NarrowForm -DCODE=vtx::code::kIsAlive)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "an export waiting for 1020, listed as awaited, does not compile:\n${output}")
endif()
foreach(case "NarrowForm;1024;a code the table lacks"
             "NarrowForm;vtx::code::kSetBridgeId;a code listed as not awaited"
             "WideForm;vtx::code::kIsAlive;a code whose wide twin the table lacks")
  list(GET case 0 form)
  list(GET case 1 code)
  list(GET case 2 what)
  compile(${body} ${WORK_DIR}/none result output -DFORM=${form} -DCODE=${code})
  if(result EQUAL 0 OR NOT output MATCHES "does not have in the message table")
    message(FATAL_ERROR "an export waiting for ${what} (${form}, ${code}) passed the frame's check (${result}):\n${output}")
  endif()
endforeach()

# 2. A third form: the table's header, changed, comes before the real one.
file(READ ${SOURCE_DIR}/src/transport/message_codes.h table)
set(forms "enum class Form { Narrow, Wide };")
string(FIND "${table}" "${forms}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "message_codes.h does not declare the forms as this check changes them: ${forms}")
endif()
string(REPLACE "${forms}" "enum class Form { Narrow, Wide, Third };" table "${table}")
file(WRITE ${WORK_DIR}/third/transport/message_codes.h "${table}")

# Each file that dispatches on a form, and the dispatch it must fail at.
foreach(case "src/transport/bridge_window.cpp;src/transport/form_traits.h"
             "src/transport/callback_worker.cpp;src/transport/form_traits.h"
             "src/transport/decode.cpp;src/transport/form_traits.h"
             "src/transport/peer_delivery.cpp;src/transport/form_traits.h"
             "tools/peer/envelope_builder.cpp;tools/peer/peer_forms.h"
             "tools/peer/peer_engine.cpp;tools/peer/peer_forms.h"
             "tools/peer/text_encoding.cpp;tools/peer/text_encoding.cpp"
             "tools/cli/command.cpp;tools/cli/command.cpp")
  list(GET case 0 source)
  list(GET case 1 dispatch)
  compile(${SOURCE_DIR}/${source} ${WORK_DIR}/third result output)
  if(result EQUAL 0 OR NOT output MATCHES "${dispatch}:[0-9]+:[0-9]+: error: enumeration value .Third. not handled in switch")
    message(FATAL_ERROR "${source} compiled with a third form, or failed elsewhere than at ${dispatch} (${result}):\n${output}")
  endif()
endforeach()
message(STATUS "message table guard: a waiting export needs its awaited code; a third form fails at every dispatch")
