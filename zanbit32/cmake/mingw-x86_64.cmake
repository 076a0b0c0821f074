# Cross build of ZANBIT32 for 64-bit Windows (x86_64) with Debian's MinGW-w64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZB_TARGET_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${ZB_TARGET_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZB_TARGET_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${ZB_TARGET_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZB_TARGET_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The runtime libraries are linked in, so the DLL and the test programs run
# under Wine without any MinGW DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Word size of the type library (widl --win32 / --win64) and of the system
# that registers it.
set(ZB_WIN_BITS 64)
