# Writes one test script of the build tree: the shared start of the test
# scripts followed by one test's own part.
#
#   cmake -DCOMMON=<zb_common.vbs> -DSCRIPT=<zb_<name>.vbs> -DOUTPUT=<file>
#         -P zb_join_vbs.cmake
#
# The script hosts of Wine run neither .wsf jobs (they look for a script
# engine by the file's extension) nor code handed to Execute/ExecuteGlobal,
# so the shared part cannot be loaded when the script runs.

foreach(var COMMON SCRIPT OUTPUT)
  if(NOT ${var})
    message(FATAL_ERROR "zb_join_vbs.cmake: ${var} is required")
  endif()
endforeach()

file(READ "${COMMON}" common)
file(READ "${SCRIPT}" script)
if(NOT common MATCHES "\n$")
  string(APPEND common "\n")
endif()
get_filename_component(common_name "${COMMON}" NAME)
get_filename_component(script_name "${SCRIPT}" NAME)
file(WRITE "${OUTPUT}"
  "' Written by the build from ${common_name} and ${script_name}: edit those.\n"
  "${common}"
  "\n' ---- ${script_name} ----\n"
  "${script}")
