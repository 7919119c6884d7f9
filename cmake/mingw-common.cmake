# Shared part of the MinGW-w64 cross toolchains (posix thread model: the
# win32 model has no std::mutex / std::thread). PELMORA_MINGW_TRIPLE names
# the target before this file is included.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${PELMORA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PELMORA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PELMORA_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${PELMORA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Wine runs the tests; the wrapper gives each build tree its own prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)

# libjpeg-turbo and libpng, cross-built by tools/build-deps.
if(DEFINED ENV{PELMORA_DEPS_CACHE})
  set(PELMORA_DEPS_PREFIX $ENV{PELMORA_DEPS_CACHE}/${PELMORA_MINGW_TRIPLE})
else()
  set(PELMORA_DEPS_PREFIX $ENV{HOME}/.cache/pelmora-deps/${PELMORA_MINGW_TRIPLE})
endif()
list(APPEND CMAKE_FIND_ROOT_PATH ${PELMORA_DEPS_PREFIX})
