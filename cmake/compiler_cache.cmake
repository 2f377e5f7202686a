# Every build of this tree compiles through the machine's compiler cache
# (scripts/ccache.sh): the development, sanitizer, thread-sanitizer and fuzz
# builds, and the players built again inside them, which are this tree too.
# A toolchain that honours CMake's compiler launcher (MinGW-w64's, and
# emscripten's through emcmake) goes through it alike. -DQH_CCACHE=OFF, or
# QH_CCACHE=0 in the environment of the first configuration, builds without.
if(DEFINED ENV{QH_CCACHE} AND "$ENV{QH_CCACHE}" STREQUAL "0")
  set(_ccache_default OFF)
else()
  set(_ccache_default ON)
endif()
option(QH_CCACHE "Compile through the machine's compiler cache (scripts/ccache.sh)" ${_ccache_default})

if(QH_CCACHE)
  find_program(QH_CCACHE_PROGRAM ccache)
  if(QH_CCACHE_PROGRAM)
    set(CMAKE_C_COMPILER_LAUNCHER ${CMAKE_SOURCE_DIR}/scripts/ccache.sh)
    set(CMAKE_CXX_COMPILER_LAUNCHER ${CMAKE_SOURCE_DIR}/scripts/ccache.sh)
  else()
    message(STATUS "No ccache: compiling without a compiler cache (scripts/install-deps.sh installs it)")
  endif()
endif()
