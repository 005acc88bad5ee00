# The link check of vtxbridge.dll (cmake -P, after each link):
#   -DDLL=<the DLL> -DMAP=<the linker's map file> -DOBJDUMP=<objdump>
# The DLL must import only system DLLs and must define nothing of a C++
# runtime: exception handling, the unwinder, emulated TLS, the runtime's
# thread layer, frame registration, libstdc++'s throw helpers. Either means
# a runtime came in, with what it takes at every load. The DLL is deleted
# when the check fails, so that the build stays failed until it is mended.
cmake_policy(VERSION 3.25)
set(system_dlls kernel32.dll user32.dll advapi32.dll ole32.dll rpcrt4.dll msvcrt.dll)
set(runtime_symbols "__cxa_" "__gxx_personality" "_Unwind_" "__emutls" "__gthr" "__register_frame"
  "__deregister_frame" "_ZSt[0-9]+__throw_" "__gnu_cxx" "_ZN9__gnu_cxx" "__cxx_global_var_init" "_Znw" "_Znaj" "_Zdl")

function(fail why)
  file(REMOVE ${DLL})
  message(FATAL_ERROR "vtxbridge.dll link check: ${why} (the DLL was deleted)")
endfunction()

execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE headers RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  fail("${OBJDUMP} -p failed")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
if(NOT imports)
  fail("no imports found in ${OBJDUMP}'s output")
endif()
foreach(import IN LISTS imports)
  string(REGEX REPLACE "DLL Name: *" "" name "${import}")
  string(STRIP "${name}" name)
  string(TOLOWER "${name}" lower)
  if(NOT lower IN_LIST system_dlls)
    fail("it imports ${name}, which is not a system DLL")
  endif()
endforeach()

file(READ ${MAP} map)
# Placement new and delete are inline functions of <new>, not of a runtime;
# a build without optimization emits them out of line.
string(REGEX REPLACE "_Zn[wa][jmy]Pv|_Zd[la]PvS_" "" map "${map}")
foreach(symbol IN LISTS runtime_symbols)
  string(REGEX MATCH "[^ \t\n]*${symbol}[^ \t\n]*" found "${map}")
  if(found)
    fail("it links ${found}, a part of a C++ runtime")
  endif()
endforeach()
