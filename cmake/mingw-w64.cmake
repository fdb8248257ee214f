# Cross build for Windows with Debian's mingw-w64 (POSIX threads flavour).
# QELVO_WIN_ARCH selects the target: x86_64 (default) or i686.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT DEFINED QELVO_WIN_ARCH)
  set(QELVO_WIN_ARCH "$ENV{QELVO_WIN_ARCH}")
endif()
if(NOT QELVO_WIN_ARCH)
  set(QELVO_WIN_ARCH x86_64)
endif()
set(QELVO_WIN_ARCH "${QELVO_WIN_ARCH}" CACHE STRING "Windows target: x86_64 or i686")
set(CMAKE_SYSTEM_PROCESSOR ${QELVO_WIN_ARCH})
set(triple ${QELVO_WIN_ARCH}-w64-mingw32)

set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs a person can copy to a Windows machine: no libstdc++, libgcc or
# winpthread DLL beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Test programs run under wine64 from the Linux side.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
