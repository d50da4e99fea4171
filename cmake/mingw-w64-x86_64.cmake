# Cross-building for 64-bit Windows with Debian's MinGW-w64 (POSIX threads
# flavour, which std::thread and std::mutex need).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TRANSDAE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TRANSDAE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TRANSDAE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TRANSDAE_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TRANSDAE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Tests and tools built here run under Wine.
find_program(TRANSDAE_WINE NAMES wine64 wine)
if(TRANSDAE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TRANSDAE_WINE})
  # Wine shows the build machine's root folder as the drive Z:; paths of the
  # build tree handed to programs under Wine are written on it.
  set(TRANSDAE_HOST_ROOT "Z:")
endif()
