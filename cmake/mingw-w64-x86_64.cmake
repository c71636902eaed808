# Cross build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix: the
# compiler with POSIX threads, which std::thread needs). Programs are linked statically, so that
# they run without the compiler's DLLs, and run under Wine when tests run on Linux.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_triplet}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# CTest (and GoogleTest's test discovery) start the Windows programs through Wine when it is
# installed; WINEPREFIX and WINEDEBUG come from the environment (see the mingw test preset).
find_program(QUORVALIS_WINE NAMES wine wine-stable wine64 PATHS /usr/lib/wine)
if(QUORVALIS_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${QUORVALIS_WINE})
endif()
