# The same programs for 64-bit Windows, for running the Windows tests under a
# 64-bit-only Wine where the machine cannot run 32-bit programs (a kernel
# without 32-bit emulation). The release build is the 32-bit one.
set(OPL2_MINGW_TRIPLE x86_64-w64-mingw32)
set(OPL2_MINGW_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
