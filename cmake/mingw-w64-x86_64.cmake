# 64-bit Windows, cross-built with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix:
# the POSIX thread model, which std::thread and std::mutex need).
#
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake ...
#
# Libraries and headers come from the MinGW-w64 system folder and from the
# prefixes named in CMAKE_PREFIX_PATH (the static libraries that
# scripts/static-deps.sh --target windows builds); programs run at build time
# come from the build machine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QH_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QH_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QH_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QH_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QH_MINGW_TRIPLE} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
