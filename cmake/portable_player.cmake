# The travelling player: this source tree built a second time, in portable/,
# against the static libraries scripts/static-deps.sh makes (once per machine,
# in a cache outside the clone). Its stripped copy and debug file replace the
# development build's as the player quill packs by default.
include(${CMAKE_CURRENT_LIST_DIR}/nested_player.cmake)

set(_portable ${CMAKE_BINARY_DIR}/portable)
qh_nested_player(qh_portable_player DIR portable TARGET linux
  CMAKE_ARGS -DCMAKE_C_COMPILER=${CMAKE_C_COMPILER} -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}
  INSTALL_COMMAND ${CMAKE_COMMAND} -E copy ${_portable}/${QH_PACKED_PLAYER_NAME}
                  ${_portable}/${QH_PLAYER_DEBUG_NAME} ${CMAKE_BINARY_DIR}
  BYPRODUCTS ${CMAKE_BINARY_DIR}/${QH_PACKED_PLAYER_NAME} ${CMAKE_BINARY_DIR}/${QH_PLAYER_DEBUG_NAME})
