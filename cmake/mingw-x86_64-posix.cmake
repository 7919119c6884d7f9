# The same Windows code for x86-64, so that it can be tested under 64-bit
# Wine on hosts that cannot execute 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(PELMORA_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
