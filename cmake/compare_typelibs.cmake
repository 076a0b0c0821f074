# Reads the type library embedded in both ZANBIT32 builds back with the
# 64-bit type-library tool and checks that they describe the same library:
# identical but for the target system and the vtable sizes of the word size.
# This checks the 32-bit reference build's library also on machines that
# cannot run 32-bit programs. The 64-bit library itself is compared with the
# full listing by the x86_64 tests.
#   -DWINE=<64-bit Wine loader> -DTOOL=<zb_mktypelib.exe> -DDLL32=<i686 dll> -DDLL64=<x86_64 dll>

function(dump dll out)
  execute_process(COMMAND "${WINE}" "${TOOL}" --dump "Z:${dll}"
                  OUTPUT_VARIABLE text ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR text STREQUAL "")
    message(FATAL_ERROR "reading the type library of ${dll} failed (${rc}): ${err}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Checks the vtable size of the interface against the word size and returns
# the dump with the word-size dependent fields taken out.
function(normalise text syskind pointer out)
  if(NOT text MATCHES "^library [^\n]* syskind=${syskind} ")
    message(FATAL_ERROR "expected a library for system kind ${syskind}, read:\n${text}")
  endif()
  if(NOT text MATCHES "vtable half: [^\n]* funcs=([0-9]+) [^\n]*cbvft=([0-9]+)")
    message(FATAL_ERROR "no vtable interface in:\n${text}")
  endif()
  math(EXPR expected "(7 + ${CMAKE_MATCH_1}) * ${pointer}")
  if(NOT CMAKE_MATCH_2 EQUAL expected)
    message(FATAL_ERROR "vtable of ${CMAKE_MATCH_2} bytes, expected ${expected} for ${pointer}-byte pointers")
  endif()
  string(REGEX REPLACE " syskind=[0-9]+" "" text "${text}")
  string(REGEX REPLACE " (cbvft|align)=[0-9]+" "" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

dump("${DLL32}" text32)
dump("${DLL64}" text64)
normalise("${text32}" 1 4 norm32)
normalise("${text64}" 3 8 norm64)
if(NOT norm32 STREQUAL norm64)
  file(WRITE "${CMAKE_CURRENT_BINARY_DIR}/typelib-i686.txt" "${text32}")
  file(WRITE "${CMAKE_CURRENT_BINARY_DIR}/typelib-x86_64.txt" "${text64}")
  message(FATAL_ERROR "the two type libraries differ; dumps written beside this test")
endif()
string(REGEX MATCHALL "\n    id=" members "${text32}")
list(LENGTH members count)
message(STATUS "type libraries agree: ${count} members")
