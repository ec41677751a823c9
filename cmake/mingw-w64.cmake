# Cross-building for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64):
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DOSTREL_GUI=OFF ...
# The -posix variant of the compiler, for std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(OSTREL_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${OSTREL_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OSTREL_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${OSTREL_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${OSTREL_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Tests run under Wine.
find_program(OSTREL_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(OSTREL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${OSTREL_WINE})
endif()
