# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix).
#
# The programs are linked statically, the C++ and GCC run-time libraries and the POSIX
# threads layer included, so that each .exe runs on its own: nothing but the DLLs every
# Windows system has (KERNEL32, msvcrt, SHELL32) is needed beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PARLE_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PARLE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PARLE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PARLE_MINGW_TRIPLET}-windres)

# Headers and libraries come from the MinGW-w64 tree only; programs run here are the
# build machine's own.
set(CMAKE_FIND_ROOT_PATH /usr/${PARLE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
