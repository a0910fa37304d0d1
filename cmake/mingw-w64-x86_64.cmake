# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (the win32 thread
# model). The programs link statically so they run under Wine, or on Windows,
# with no MinGW runtime DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BRISKO_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BRISKO_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${BRISKO_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${BRISKO_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BRISKO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
