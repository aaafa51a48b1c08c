# Cross build for 64-bit Windows with mingw-w64 (Debian: g++-mingw-w64-x86-64).
#   cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(QRIMAGE_MINGW_PREFIX x86_64-w64-mingw32)
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
