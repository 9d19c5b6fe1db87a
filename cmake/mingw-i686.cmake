# Cross-compiling toolchain for 32-bit Windows with MinGW-w64: the win32-thread compiler, so
# that the static executables need no threading DLL. mingw-x86_64.cmake reuses it for 64 bits.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT FDS_MINGW_TRIPLET)
  set(FDS_MINGW_TRIPLET i686-w64-mingw32)
endif()
string(REGEX MATCH "^[^-]+" CMAKE_SYSTEM_PROCESSOR ${FDS_MINGW_TRIPLET})

set(CMAKE_C_COMPILER ${FDS_MINGW_TRIPLET}-gcc-win32)
set(CMAKE_CXX_COMPILER ${FDS_MINGW_TRIPLET}-g++-win32)
set(CMAKE_RC_COMPILER ${FDS_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${FDS_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
