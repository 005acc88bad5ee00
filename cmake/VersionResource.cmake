# vtx_version_resource(<target> <description>): gives one of the project's
# programs a version resource numbered from the project version, like the one
# vtxbridge.dll carries (res/vtxbridge.rc). The file version is what support
# staff see under Properties > Details and what vtxcli prints for the DLL.
include_guard(GLOBAL)

function(vtx_version_resource target description)
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/generated/${target})
  configure_file(${PROJECT_SOURCE_DIR}/res/version.h.in ${generated}/vtxbridge_version.h @ONLY)
  set(VTX_RESOURCE_NAME ${target})
  set(VTX_RESOURCE_DESCRIPTION "${description}")
  configure_file(${PROJECT_SOURCE_DIR}/res/program.rc.in ${generated}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${generated}/${target}.rc)
  # For the resource compiler's #include of vtxbridge_version.h.
  target_include_directories(${target} PRIVATE ${generated})
endfunction()
