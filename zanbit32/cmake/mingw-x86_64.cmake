# Cross build of ZANBIT32 for 64-bit Windows (x86_64) with Debian's MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
# Word size of the type library (widl --win32 / --win64) and of the system
# that registers it.
set(ZB_WIN_BITS 64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
