# Shared part of the mingw-w64 toolchain files: they set CMAKE_SYSTEM_PROCESSOR
# and QRIMAGE_MINGW_PREFIX (the compilers' target triple), then include this.
set(CMAKE_SYSTEM_NAME Windows)

# The win32 thread model needs no threading DLL beside the program.
find_program(CMAKE_C_COMPILER NAMES ${QRIMAGE_MINGW_PREFIX}-gcc-win32 ${QRIMAGE_MINGW_PREFIX}-gcc)
find_program(CMAKE_CXX_COMPILER NAMES ${QRIMAGE_MINGW_PREFIX}-g++-win32 ${QRIMAGE_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${QRIMAGE_MINGW_PREFIX}-windres)

# Headers and libraries come from the mingw-w64 tree only; programs run
# on the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${QRIMAGE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
