# Cross build for 64-bit Windows with Debian's mingw-w64 (posix threads: Qt needs them).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VORKAST_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VORKAST_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORKAST_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VORKAST_MINGW_TRIPLE}-windres)

# Extra prefixes (the cached Qt and libusb) join the sysroot as find roots, so
# their libraries resolve under the "only" rules below.
set(CMAKE_FIND_ROOT_PATH /usr/${VORKAST_MINGW_TRIPLE} ${VORKAST_WINDOWS_PREFIXES})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# try_compile projects see the same prefixes.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VORKAST_WINDOWS_PREFIXES)
