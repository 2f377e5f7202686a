# The player for browsers: this source tree built with emscripten in web/
# against the static libraries `scripts/static-deps.sh --target web` makes,
# into one HTML page that holds the program (src/app/web/page.html). It
# comes out as quillharbor-web.html; quill packs it with --target web:
#
#   quill pack --target web DIR/project.json -o demo.html
include(${CMAKE_CURRENT_LIST_DIR}/nested_player.cmake)

execute_process(COMMAND em-config EMSCRIPTEN_ROOT OUTPUT_VARIABLE _emscripten_root
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(_web ${CMAKE_BINARY_DIR}/web)
qh_nested_player(qh_web_player DIR web TARGET web
  # Small rather than fast: the page is downloaded, and the time goes to the GPU.
  BUILD_TYPE MinSizeRel
  # Debian's node finds the modules emscripten's tools use only here.
  ENV NODE_PATH=/usr/share/nodejs
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${_emscripten_root}/cmake/Modules/Platform/Emscripten.cmake
             -DQH_HOST_LOADER_ASSETS=$<TARGET_FILE:qh_make_loader_assets>
  DEPENDS qh_make_loader_assets
  INSTALL_COMMAND ${CMAKE_COMMAND} -E copy ${_web}/quillharbor.html
                  ${CMAKE_BINARY_DIR}/${QH_WEB_PLAYER_NAME}
  BYPRODUCTS ${CMAKE_BINARY_DIR}/${QH_WEB_PLAYER_NAME})
