# ZANBIT32 is Windows code: it is cross-built with MinGW-w64 once for i686
# (the reference build) and once for x86_64, each in a build tree of its own,
# and its tests run under Wine. Their tests join this project's CTest run.
include(ExternalProject)

# Wine loaders, one per word size. Each Windows program is started by the
# loader of its own word size, never by a launcher that picks one by what the
# machine can run.
set(ZB_WINE32_LOADER /usr/lib/wine/wine CACHE FILEPATH "Wine loader of 32-bit Windows programs")
set(ZB_WINE64_LOADER /usr/lib/wine/wine64 CACHE FILEPATH "Wine loader of 64-bit Windows programs")

foreach(arch i686 x86_64)
  set(zb_binary ${CMAKE_BINARY_DIR}/zanbit32-${arch})
  ExternalProject_Add(zanbit32-${arch}
    SOURCE_DIR ${CMAKE_SOURCE_DIR}/zanbit32
    BINARY_DIR ${zb_binary}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/zanbit32/cmake/mingw-${arch}.cmake
      -DCMAKE_BUILD_TYPE=Release
      -DZB_WINE32_LOADER=${ZB_WINE32_LOADER}
      -DZB_WINE64_LOADER=${ZB_WINE64_LOADER}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    TEST_COMMAND ""
    USES_TERMINAL_BUILD ON)
  # CTest reads the tests of the sub-build from its own CTestTestfile.
  file(WRITE ${CMAKE_BINARY_DIR}/zanbit32-${arch}-tests.cmake
    "if(EXISTS \"${zb_binary}/CTestTestfile.cmake\")\n  subdirs(\"${zb_binary}\")\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_BINARY_DIR}/zanbit32-${arch}-tests.cmake)

  # The file itself, checked without running it.
  add_test(NAME zanbit32.${arch}.image
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${arch}-w64-mingw32-objdump -DWINDRES=${arch}-w64-mingw32-windres
            -DDLL=${zb_binary}/ZANBIT32.dll -P ${CMAKE_SOURCE_DIR}/cmake/check_dll_image.cmake)
  set_tests_properties(zanbit32.${arch}.image PROPERTIES PASS_REGULAR_EXPRESSION "image checked")
endforeach()

# The two builds' type libraries must describe the same library.
set(zb32 ${CMAKE_BINARY_DIR}/zanbit32-i686)
set(zb64 ${CMAKE_BINARY_DIR}/zanbit32-x86_64)
add_test(NAME zanbit32.typelib.both-builds
  COMMAND ${CMAKE_COMMAND} -DWINE=${ZB_WINE64_LOADER} -DTOOL=${zb64}/tools/zb_mktypelib.exe
          -DDLL32=${zb32}/ZANBIT32.dll -DDLL64=${zb64}/ZANBIT32.dll
          -P ${CMAKE_SOURCE_DIR}/cmake/compare_typelibs.cmake)
set_tests_properties(zanbit32.typelib.both-builds PROPERTIES
  ENVIRONMENT "WINEPREFIX=${zb64}/wineprefix;WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=;WINELOADER=${ZB_WINE64_LOADER}"
  RESOURCE_LOCK zanbit32_wineprefix
  PASS_REGULAR_EXPRESSION "type libraries agree: 36 members"
  TIMEOUT 120)
