# The travelling player's dependencies: the same PkgConfig:: targets the
# development build uses, made of static archives, so the libraries link
# unchanged. What a player may still take from the system is named below;
# every other library a module needs must be found as an archive, or the
# configuration stops, so a shared library cannot slip in unnoticed.
#
# QH_STATIC_DEPS is the prefix scripts/static-deps.sh builds into; for
# Windows (cmake/windows_player.cmake) it holds every library the player
# links, and the build machine's modules are not looked at.

if(EMSCRIPTEN)
  # The browser's side of the system: emscripten links what it provides
  # (WebGL, the GL and GLEW headers, WebAudio, its C library's maths) by itself.
  set(QH_SYSTEM_LIBRARIES m)
  set(ENV{PKG_CONFIG_LIBDIR} "${QH_STATIC_DEPS}/lib/pkgconfig")
  list(APPEND CMAKE_FIND_ROOT_PATH ${QH_STATIC_DEPS})
  add_library(OpenGL::GL INTERFACE IMPORTED GLOBAL)
  add_library(PkgConfig::GLEW INTERFACE IMPORTED GLOBAL)
  # Its compiler searches its own system headers, which hold an old SDL,
  # before any other system folder: the prefix's SDL headers must come first.
  set(CMAKE_NO_SYSTEM_FROM_IMPORTED ON)
elseif(WIN32)
  # MinGW-w64's start-up code and the libraries of what every Windows has.
  set(QH_SYSTEM_LIBRARIES mingw32 m kernel32 user32 gdi32 winmm imm32 ole32 oleaut32 version
      uuid advapi32 setupapi shell32 dinput8 opengl32)
  set(ENV{PKG_CONFIG_LIBDIR} "${QH_STATIC_DEPS}/lib/pkgconfig")
  list(APPEND CMAKE_FIND_ROOT_PATH ${QH_STATIC_DEPS})  # a cross-build looks nowhere else
else()
  set(QH_SYSTEM_LIBRARIES c m dl pthread rt GL OpenGL GLX EGL)
  set(ENV{PKG_CONFIG_PATH} "${QH_STATIC_DEPS}/lib/pkgconfig")
endif()

# qh_static_module(NAME MODULE [IGNORE lib...]): PkgConfig::NAME from the
# module's static link line. IGNORE drops libraries a module's file lists
# but its archive does not use.
function(qh_static_module name module)
  cmake_parse_arguments(ARG "" "" "IGNORE" ${ARGN})
  # Looked up at every configuration: a result kept in the cache would still
  # name the libraries of the prefix before, once a new one is built.
  unset(${name}_FOUND CACHE)
  pkg_check_modules(${name} REQUIRED QUIET ${module})
  set(dirs ${QH_STATIC_DEPS}/lib)
  set(libs)
  set(options)
  foreach(flag IN LISTS ${name}_STATIC_LDFLAGS)
    if(flag MATCHES "^-L(.+)")
      list(APPEND dirs ${CMAKE_MATCH_1})
    elseif(flag MATCHES "^-l(.+)")
      set(lib ${CMAKE_MATCH_1})
      if(lib IN_LIST ARG_IGNORE)
        continue()
      elseif(lib IN_LIST QH_SYSTEM_LIBRARIES)
        list(APPEND libs ${lib})
      else()
        unset(archive)  # find_library keeps a value it already has
        find_library(archive NAMES lib${lib}.a HINTS ${dirs} NO_CACHE)
        if(NOT archive)
          message(FATAL_ERROR "${module} needs lib${lib}, found only shared or not at all; "
                              "the travelling player links it statically (scripts/static-deps.sh)")
        endif()
        list(APPEND libs ${archive})
      endif()
    else()
      list(APPEND options ${flag})
    endif()
  endforeach()
  add_library(PkgConfig::${name} INTERFACE IMPORTED GLOBAL)
  set_target_properties(PkgConfig::${name} PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${${name}_STATIC_INCLUDE_DIRS}"
    INTERFACE_COMPILE_OPTIONS "${${name}_STATIC_CFLAGS_OTHER}"
    INTERFACE_LINK_LIBRARIES "${libs}"
    INTERFACE_LINK_OPTIONS "${options}")
endfunction()

qh_static_module(SDL2 sdl2)
qh_static_module(SDL2_MIXER SDL2_mixer)
qh_static_module(SDL2_TTF SDL2_ttf)
qh_static_module(SDL2_IMAGE SDL2_image)
if(NOT EMSCRIPTEN)
  # GLEW's file lists X11 and GLU for its shared build; its archive calls GL alone.
  qh_static_module(GLEW glew IGNORE X11 GLU)
endif()
qh_static_module(KISSFFT kissfft-float)

if(CMAKE_CROSSCOMPILING)
  # The header-only libraries are the build machine's Debian packages. Their
  # folder cannot be searched whole by a cross-compiler (the build machine's
  # C library headers would stand in for the target's), so the build sees
  # them through a folder of links to them alone.
  set(_headers ${CMAKE_BINARY_DIR}/header-only)
  file(MAKE_DIRECTORY ${_headers})
  foreach(header glm/glm.hpp nlohmann/json.hpp tiny_gltf.h)
    # Named, as emscripten's toolchain searches its own system folders alone.
    find_path(_dir ${header} PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_CACHE REQUIRED)
    string(REGEX REPLACE "/.*" "" _top ${header})
    file(CREATE_LINK ${_dir}/${_top} ${_headers}/${_top} SYMBOLIC)
    unset(_dir)
  endforeach()
  # The prefix's own headers stand where the system's do on Linux: some are
  # named by their folder (<kissfft/...>).
  include_directories(${_headers} ${QH_STATIC_DEPS}/include)
  # The packages' own targets, found here first, name that folder instead.
  find_package(nlohmann_json REQUIRED PATHS /usr NO_CMAKE_FIND_ROOT_PATH)
  find_package(glm REQUIRED PATHS /usr NO_CMAKE_FIND_ROOT_PATH)
  set_target_properties(nlohmann_json::nlohmann_json glm::glm PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${_headers})
endif()

if(EMSCRIPTEN)
  # The page's program is one static link by nature.
elseif(WIN32)
  # Everything static: the C++ runtime, GCC's support library and the
  # thread library, so the player needs no DLL but the system's.
  add_link_options(-static)
else()
  # The C++ runtime and GCC's support library go in too; as-needed keeps the
  # system libraries named above off the list unless something calls them.
  add_link_options(-static-libstdc++ -static-libgcc -Wl,--as-needed)
endif()
