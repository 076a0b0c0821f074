# Runs one Windows program of the ZANBIT32 test suite under Wine.
#
#   cmake -DWINE=<launcher> -DPROGRAM=<program> [-DARGS=a|b|winpath:/host/path]
#         [-DPROBE=<probe.exe>] [-DSUMMARY=ON] [-DREQUIRE_FILE=<path>]
#         -P zb_run_wine.cmake
#
# ARGS are separated by "|"; an argument "winpath:<host path>" is handed over
# as the matching Windows path (drive Z:). With PROBE, the probe program runs
# first; when it does not start (a machine that cannot run 32-bit Windows
# programs), the test reports itself skipped. With SUMMARY, the output must
# hold the line "ZBTEST SUMMARY: <n> passed, 0 failed" with n > 0: script
# hosts print nothing and exit 0 when a script dies, so the exit code alone
# proves nothing.

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

if(PROBE)
  execute_process(COMMAND ${WINE} "${PROBE}" --probe
                  OUTPUT_VARIABLE probe_out ERROR_VARIABLE probe_out RESULT_VARIABLE probe_rc)
  if(NOT probe_out MATCHES "ZBPROBE OK")
    message("${probe_out}")
    message("ZBTEST SKIPPED: this machine cannot run the build's 32-bit Windows programs under Wine")
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
