# Cross-builds for Windows with Debian's MinGW-w64 compilers (the posix
# thread model, so std::thread and std::mutex work), for the target the
# including toolchain file names in OPL2_MINGW_TRIPLE and
# OPL2_MINGW_PROCESSOR. Programs link statically: they import only the DLLs
# every Windows has.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${OPL2_MINGW_PROCESSOR})

set(CMAKE_C_COMPILER /usr/bin/${OPL2_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER /usr/bin/${OPL2_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER /usr/bin/${OPL2_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${OPL2_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
