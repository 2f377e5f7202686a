# qh_nested_player(NAME DIR <folder> TARGET <linux|windows|web> [BUILD_TYPE <type>]
#                  [ENV VAR=VALUE...] [CMAKE_ARGS ...] [DEPENDS ...]
#                  INSTALL_COMMAND ... BYPRODUCTS ...)
#
# This source tree built a second time, in <folder> of the build, as the
# player alone, against the static libraries that
# `scripts/static-deps.sh --target <target>` makes (once per machine, in a
# cache outside the clone). INSTALL_COMMAND brings what it made out to the
# build folder, as BYPRODUCTS. BUILD_TYPE replaces this build's type; ENV is
# the environment of the libraries' build and of the nested one's configure
# and build. Targets: NAME, and NAME_deps for the libraries.
include(ExternalProject)

function(qh_nested_player name)
  cmake_parse_arguments(ARG "" "DIR;TARGET;BUILD_TYPE" "ENV;CMAKE_ARGS;DEPENDS;INSTALL_COMMAND;BYPRODUCTS"
                        ${ARGN})
  if(NOT ARG_BUILD_TYPE)
    set(ARG_BUILD_TYPE ${CMAKE_BUILD_TYPE})
  endif()
  set(env ${CMAKE_COMMAND} -E env ${ARG_ENV})
  set(script ${CMAKE_SOURCE_DIR}/scripts/static-deps.sh)
  execute_process(COMMAND ${env} bash ${script} --target ${ARG_TARGET} --prefix
                  OUTPUT_VARIABLE prefix OUTPUT_STRIP_TRAILING_WHITESPACE
                  COMMAND_ERROR_IS_FATAL ANY)
  # The prefix changes with the script: a build after an edit of it
  # configures again, so the player links what the edited script makes.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${script})
  add_custom_target(${name}_deps
    COMMAND ${env} QH_CCACHE=$<BOOL:${QH_CCACHE}> bash ${script} --target ${ARG_TARGET}
    USES_TERMINAL)

  set(dir ${CMAKE_BINARY_DIR}/${ARG_DIR})
  set(commands)
  if(ARG_ENV)
    # Built outside make's job server, so with as many jobs as it would share.
    cmake_host_system_information(RESULT cores QUERY NUMBER_OF_LOGICAL_CORES)
    set(commands CMAKE_COMMAND ${env} ${CMAKE_COMMAND}
                 BUILD_COMMAND ${env} ${CMAKE_COMMAND} --build <BINARY_DIR> -j ${cores})
  endif()
  ExternalProject_Add(${name}
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${dir}
    PREFIX ${dir}-steps
    ${commands}
    CMAKE_ARGS -DQH_STATIC_DEPS=${prefix} -DQH_PORTABLE_PLAYER=OFF -DQH_TESTS=OFF
               -DQH_BENCH=OFF -DQH_CCACHE=${QH_CCACHE} -DCMAKE_BUILD_TYPE=${ARG_BUILD_TYPE}
               ${ARG_CMAKE_ARGS}
    INSTALL_COMMAND ${ARG_INSTALL_COMMAND}
    BUILD_ALWAYS ON
    DEPENDS ${name}_deps ${ARG_DEPENDS}
    BUILD_BYPRODUCTS ${ARG_BYPRODUCTS})
endfunction()
