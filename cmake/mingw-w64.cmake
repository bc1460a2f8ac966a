# Cross-compiles for Windows with MinGW-w64 (posix thread model).
# VWN_ARCH selects the word size: x86_64 (shipped) or i686.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT VWN_ARCH)
  set(VWN_ARCH x86_64)
endif()
set(VWN_ARCH "${VWN_ARCH}" CACHE STRING "x86_64 or i686")
set(CMAKE_SYSTEM_PROCESSOR ${VWN_ARCH})
set(_triplet ${VWN_ARCH}-w64-mingw32)

set(CMAKE_C_COMPILER ${_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${_triplet}-windres)
# The message compiler of the same binutils (packaging/events).
set(VWN_WINDMC ${_triplet}-windmc)
set(CMAKE_FIND_ROOT_PATH /usr/${_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
