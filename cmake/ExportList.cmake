# The list of the exports (src/api/export_list.h) as CMake reads it, and the
# check that res/vtxbridge.def says the same: every export once, in the
# list's order, tied to its decorated name with the list's argument bytes.
include_guard(GLOBAL)

# vtx_read_export_list(<names> <decorated>): the export names (vtx_init, ...)
# and their decorated names (vtx_init@16, ...), in the list's order.
function(vtx_read_export_list names_var decorated_var)
  set(list_file ${PROJECT_SOURCE_DIR}/src/api/export_list.h)
  # Each line up to its closing backslash, which in a CMake list would
  # escape the separator.
  file(READ ${list_file} text)
  string(REGEX MATCHALL "\n[ \t]*X\\([^\n\\]*" lines "${text}")
  set(names)
  set(decorated)
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^\n[ \t]*X\\(([a-z]+), .*, ([0-9]+)\\)[ \t]*$")
      message(FATAL_ERROR "${list_file}: cannot read the line `${line}`")
    endif()
    list(APPEND names vtx_${CMAKE_MATCH_1})
    list(APPEND decorated vtx_${CMAKE_MATCH_1}@${CMAKE_MATCH_2})
  endforeach()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${list_file})
  set(${names_var} ${names} PARENT_SCOPE)
  set(${decorated_var} ${decorated} PARENT_SCOPE)
endfunction()

# vtx_check_def_file(<def file> <decorated names>): stops the configuration
# unless the .def ties exactly these exports, in this order.
function(vtx_check_def_file def_file decorated)
  file(STRINGS ${def_file} def_lines REGEX "^[ \t]+vtx_")
  set(found)
  foreach(line IN LISTS def_lines)
    if(NOT line MATCHES "^[ \t]+(vtx_[a-z]+) = (vtx_[a-z]+)@([0-9]+)[ \t]*$"
       OR NOT CMAKE_MATCH_1 STREQUAL CMAKE_MATCH_2)
      message(FATAL_ERROR "${def_file}: `${line}` is not of the form `name = name@N`")
    endif()
    list(APPEND found ${CMAKE_MATCH_2}@${CMAKE_MATCH_3})
  endforeach()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def_file})
  if(NOT found STREQUAL decorated)
    message(FATAL_ERROR "${def_file} does not list the exports of src/api/export_list.h:\n"
      "  the list: ${decorated}\n  the .def: ${found}")
  endif()
endfunction()
