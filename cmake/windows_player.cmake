# The player for 64-bit Windows: this source tree cross-built in windows/
# with MinGW-w64 (cmake/mingw-w64-x86_64.cmake) against the static libraries
# `scripts/static-deps.sh --target windows` makes, so it needs no DLL but the
# system's. Its stripped copy comes out as quillharbor.exe; the debug file
# it points to stays in windows/. quill packs it with --player:
#
#   cmake -S . -B build-win -DQH_WINDOWS_PLAYER=ON ...
#   cmake --build build-win --target qh_windows_player quill
#   build-win/quill pack --player build-win/quillharbor.exe DIR/project.json -o demo.exe
include(${CMAKE_CURRENT_LIST_DIR}/nested_player.cmake)

set(_windows ${CMAKE_BINARY_DIR}/windows)
qh_nested_player(qh_windows_player DIR windows TARGET windows
  # The loading screen's assets are made at build time, by a program of the
  # build machine: this build's own.
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake
             -DQH_HOST_LOADER_ASSETS=$<TARGET_FILE:qh_make_loader_assets>
  DEPENDS qh_make_loader_assets
  INSTALL_COMMAND ${CMAKE_COMMAND} -E copy ${_windows}/${QH_PACKED_PLAYER_NAME}
                  ${CMAKE_BINARY_DIR}/${QH_WINDOWS_PLAYER_NAME}
  BYPRODUCTS ${CMAKE_BINARY_DIR}/${QH_WINDOWS_PLAYER_NAME})
