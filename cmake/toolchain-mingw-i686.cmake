# 32-bit x86 Windows: the release build.
set(OPL2_MINGW_TRIPLE i686-w64-mingw32)
set(OPL2_MINGW_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
