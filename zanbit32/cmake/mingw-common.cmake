# Settings shared by the MinGW-w64 cross builds of ZANBIT32; the files per
# architecture set CMAKE_SYSTEM_PROCESSOR and ZB_WIN_BITS, then include this.
set(CMAKE_SYSTEM_NAME Windows)
set(ZB_TARGET_TRIPLE ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
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
