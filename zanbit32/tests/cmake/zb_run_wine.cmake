# Runs one Windows program of the ZANBIT32 test suite under Wine.
#
#   cmake -DWINE=<loader> -DPROGRAM=<program> [-DARGS=a|b|winpath:/host/path]
#         [-DPROBE=<probe.exe>] [-DSUMMARY=ON] [-DREQUIRE_FILE=<path>]
#         [-DWINESERVER=<wineserver>] [-DSTOP_SERVER=<wineserver>]
#         -P zb_run_wine.cmake
#
# WINE is the Wine loader of the program's word size (/usr/lib/wine/wine or
# /usr/lib/wine/wine64), not a launcher that picks one.
# ARGS are separated by "|"; an argument "winpath:<host path>" is handed over
# as the matching Windows path (drive Z:). With PROBE, the probe program runs
# first with the same loader; when it does not start (a machine whose kernel
# refuses the 32-bit loader), the test reports itself skipped. With SUMMARY,
# the output must hold the line "ZBTEST SUMMARY: <n> passed, 0 failed" with
# n > 0: script hosts print nothing and exit 0 when a script dies, so the exit
# code alone proves nothing.

function(zb_windows_path out host)
  string(REPLACE "/" "\\" p "${host}")
  set(${out} "Z:${p}" PARENT_SCOPE)
endfunction()

if(NOT WINE OR NOT PROGRAM)
  message(FATAL_ERROR "zb_run_wine.cmake: WINE and PROGRAM are required")
endif()

if(REQUIRE_FILE AND NOT EXISTS "${REQUIRE_FILE}")
  message(FATAL_ERROR "missing ${REQUIRE_FILE}: the Wine prefix has not been created (build the project first)")
endif()

# Keep one Wine server running for the whole test run (it ends by itself ten
# seconds after its last program), so each test does not pay for its start.
# The server's standard handles must not be this script's pipes, or the
# test would wait for the server to end. STOP_SERVER ends it at once.
# Wine's own background programs, started with the first program of the
# session, inherit its handles too: start them here, detached from the test's
# output, so that no later test waits for them.
if(WINESERVER)
  execute_process(COMMAND "${WINESERVER}" -p10 RESULT_VARIABLE server_rc
                  INPUT_FILE /dev/null OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
  execute_process(COMMAND ${WINE} cmd.exe /c exit 0 RESULT_VARIABLE session_rc
                  INPUT_FILE /dev/null OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
endif()
if(STOP_SERVER)
  execute_process(COMMAND "${STOP_SERVER}" -k RESULT_VARIABLE server_rc
                  INPUT_FILE /dev/null OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
  return()
endif()

if(PROBE)
  execute_process(COMMAND ${WINE} "${PROBE}" --probe
                  OUTPUT_VARIABLE probe_out ERROR_VARIABLE probe_out RESULT_VARIABLE probe_rc)
  if(NOT probe_out MATCHES "ZBPROBE OK")
    message("${probe_out}")
    message("ZBTEST SKIPPED: ${WINE} cannot run this build's 32-bit Windows programs on this machine")
    return()
  endif()
endif()

set(args "")
if(DEFINED ARGS AND NOT ARGS STREQUAL "")
  string(REPLACE "|" ";" raw "${ARGS}")
  foreach(a IN LISTS raw)
    if(a MATCHES "^winpath:(.*)$")
      zb_windows_path(a "${CMAKE_MATCH_1}")
    elseif(a MATCHES "^(--[a-z]+=)winpath:(.*)$")
      set(opt "${CMAKE_MATCH_1}")
      zb_windows_path(a "${CMAKE_MATCH_2}")
      set(a "${opt}${a}")
    endif()
    list(APPEND args "${a}")
  endforeach()
endif()

execute_process(COMMAND ${WINE} "${PROGRAM}" ${args}
                OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE rc)
message("${out}")

if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} ended with exit code ${rc}")
endif()
if(SUMMARY)
  if(NOT out MATCHES "ZBTEST SUMMARY: ([0-9]+) passed, ([0-9]+) failed")
    message(FATAL_ERROR "no summary line: the script stopped early (a script error prints nothing under this host)")
  endif()
  if(NOT CMAKE_MATCH_2 EQUAL 0 OR CMAKE_MATCH_1 EQUAL 0)
    message(FATAL_ERROR "script reported ${CMAKE_MATCH_2} failed checks of ${CMAKE_MATCH_1}+${CMAKE_MATCH_2}")
  endif()
endif()
