# The travelling player: this source tree built a second time, in portable/,
# against the static libraries scripts/static-deps.sh makes (once per machine,
# in a cache outside the clone). Its stripped copy and debug file replace the
# development build's as the player quill packs by default.
include(ExternalProject)

execute_process(COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/static-deps.sh --prefix
                OUTPUT_VARIABLE QH_STATIC_PREFIX OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
add_custom_target(qh_static_deps
  COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/static-deps.sh
  USES_TERMINAL)

set(_portable ${CMAKE_BINARY_DIR}/portable)
ExternalProject_Add(qh_portable_player
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${_portable}
  PREFIX ${_portable}-steps
  CMAKE_ARGS -DQH_STATIC_DEPS=${QH_STATIC_PREFIX} -DQH_PORTABLE_PLAYER=OFF -DQH_TESTS=OFF
             -DQH_BENCH=OFF -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
             -DCMAKE_C_COMPILER=${CMAKE_C_COMPILER} -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}
  INSTALL_COMMAND ${CMAKE_COMMAND} -E copy ${_portable}/${QH_PACKED_PLAYER_NAME}
                  ${_portable}/${QH_PLAYER_DEBUG_NAME} ${CMAKE_BINARY_DIR}
  BUILD_ALWAYS ON
  DEPENDS qh_static_deps
  BUILD_BYPRODUCTS ${CMAKE_BINARY_DIR}/${QH_PACKED_PLAYER_NAME} ${CMAKE_BINARY_DIR}/${QH_PLAYER_DEBUG_NAME})
