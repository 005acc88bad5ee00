# The project version (project() in CMakeLists.txt) is the one source of the
# version; include/vtxbridge.h repeats it for hosts that compile against the
# header, so a release that bumps one without the other stops here.
include_guard(GLOBAL)

function(vtx_check_header_version header)
  file(READ ${header} text)
  math(EXPR number "${PROJECT_VERSION_MAJOR} * 10000 + ${PROJECT_VERSION_MINOR} * 100 + ${PROJECT_VERSION_PATCH}")
  foreach(pair
      "MAJOR;${PROJECT_VERSION_MAJOR}" "MINOR;${PROJECT_VERSION_MINOR}" "PATCH;${PROJECT_VERSION_PATCH}"
      "NUMBER;${number}" "STRING;\"${PROJECT_VERSION}\"")
    list(GET pair 0 name)
    list(GET pair 1 wanted)
    if(NOT text MATCHES "#define VTXBRIDGE_VERSION_${name} ([^\n]+)\n")
      message(FATAL_ERROR "${header} lacks VTXBRIDGE_VERSION_${name}")
    endif()
    if(NOT CMAKE_MATCH_1 STREQUAL wanted)
      message(FATAL_ERROR "${header}: VTXBRIDGE_VERSION_${name} is ${CMAKE_MATCH_1}, "
        "but the project version makes it ${wanted}; update the header")
    endif()
  endforeach()
endfunction()
