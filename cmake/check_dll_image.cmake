# Checks a ZANBIT32 build's file without running it: the four undecorated
# entry points, and the resources (type library 1 in language 1033, string 1,
# the version record with its strings and the self-registration mark).
#   -DOBJDUMP=<objdump> -DWINDRES=<windres> -DDLL=<ZANBIT32.dll>

execute_process(COMMAND "${OBJDUMP}" -p "${DLL}" OUTPUT_VARIABLE headers RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} could not read ${DLL}")
endif()
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([^\n]+\n)+" table "${headers}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" names "${table}")
list(TRANSFORM names REPLACE "^\\[ *[0-9]+\\] " "")
list(SORT names)
set(expected DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "exports are '${names}', expected '${expected}'")
endif()

execute_process(COMMAND "${WINDRES}" -i "${DLL}" -O rc OUTPUT_VARIABLE rc_text RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${WINDRES} could not read the resources of ${DLL}")
endif()
string(REGEX REPLACE "\n\n+" "\n" rc_text "${rc_text}")
foreach(pattern
    "LANGUAGE 9, 1\n1 \"TYPELIB\""
    "STRINGTABLE\nBEGIN\n  1, \"ZBUtility Class\""
    "FILEVERSION 1, 0, 0, 0"
    "PRODUCTVERSION 1, 0, 0, 0"
    "VALUE \"FileDescription\", \"Halden ZBUtility 1.0 Library\""
    "VALUE \"FileVersion\", \"1.00.000\""
    "VALUE \"ProductVersion\", \"1.00.000\""
    "VALUE \"InternalName\", \"ZANBIT32\""
    "VALUE \"OriginalFilename\", \"ZANBIT32.DLL\""
    "VALUE \"OLESelfRegister\"")
  string(FIND "${rc_text}" "${pattern}" at)
  if(at LESS 0)
    message(FATAL_ERROR "resource not found: ${pattern}\nin:\n${rc_text}")
  endif()
endforeach()
message(STATUS "image checked: ${DLL}")
