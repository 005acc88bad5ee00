# Runs vtxbench --quick and checks what it produced: exit code 0, the report's
# tables on standard output, and a JSON file that parses and holds a figure
# for every case. Times are never checked.
# Variables: WINE, DESK (vtxdesk.exe), BENCH (vtxbench.exe), JSON (output path),
# BITS (the build's bitness: the run's host and peer must both have it).
file(REMOVE ${JSON})
execute_process(
  COMMAND ${WINE} ${DESK} ${BENCH} --quick --json ${JSON}
  RESULT_VARIABLE exit_code
  OUTPUT_VARIABLE report
  ERROR_VARIABLE progress
  TIMEOUT 280)
message("${report}")
if(NOT exit_code EQUAL 0)
  message(FATAL_ERROR "vtxbench --quick ended with ${exit_code}:\n${progress}")
endif()

foreach(heading "Round trip, one request in flight" "Library / limit, latency" "Throughput, narrow"
                "Server request to host callback" "Memory, host process private bytes" "Reload, load/unload cycles"
                "Micro-timings")
  string(FIND "${report}" "${heading}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "the report has no '${heading}' table")
  endif()
endforeach()

if(NOT EXISTS ${JSON})
  message(FATAL_ERROR "vtxbench --quick wrote no JSON file at ${JSON}")
endif()
file(READ ${JSON} json)
# string(JSON) fails the script on text that does not parse.
string(JSON latency_count LENGTH "${json}" latency)
if(latency_count LESS 10)
  message(FATAL_ERROR "the JSON holds ${latency_count} latency cases, expected 10")
endif()
math(EXPR last "${latency_count} - 1")
foreach(index RANGE ${last})
  string(JSON key GET "${json}" latency ${index} key)
  string(JSON count GET "${json}" latency ${index} count)
  string(JSON median GET "${json}" latency ${index} median_us)
  if(count LESS 1 OR median STREQUAL "null")
    message(FATAL_ERROR "latency case ${key} has no figures")
  endif()
endforeach()
string(JSON throughput_count LENGTH "${json}" throughput)
if(throughput_count LESS 12)
  message(FATAL_ERROR "the JSON holds ${throughput_count} throughput runs, expected 12")
endif()
string(JSON ratio_count LENGTH "${json}" latency_ratios)
string(JSON micro_count LENGTH "${json}" micro)
string(JSON memory_after GET "${json}" memory private_bytes_after)
string(JSON reload_count LENGTH "${json}" reload)
if(ratio_count LESS 5 OR micro_count LESS 1 OR memory_after LESS 1 OR reload_count LESS 2)
  message(FATAL_ERROR "the JSON lacks ratios, micro-timings, the memory readings or the reload cases")
endif()
string(JSON host_bits GET "${json}" machine host_bits)
string(JSON peer_bits GET "${json}" machine peer_bits)
if(NOT host_bits EQUAL BITS OR NOT peer_bits EQUAL BITS)
  message(FATAL_ERROR "the JSON gives a ${host_bits}-bit host and a ${peer_bits}-bit peer; this build is ${BITS}-bit")
endif()
message(STATUS "vtxbench smoke run: ${latency_count} latency cases, ${throughput_count} throughput runs, JSON well formed")
