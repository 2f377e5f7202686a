# The travelling player's dependencies: the same PkgConfig:: targets the
# development build uses, made of static archives, so the libraries link
# unchanged. What a player may still take from the system is named below;
# every other library a module needs must be found as an archive, or the
# configuration stops, so a shared library cannot slip in unnoticed.
#
# QH_STATIC_DEPS is the prefix scripts/static-deps.sh builds into.

set(QH_SYSTEM_LIBRARIES c m dl pthread rt GL OpenGL GLX EGL)

set(ENV{PKG_CONFIG_PATH} "${QH_STATIC_DEPS}/lib/pkgconfig")

# qh_static_module(NAME MODULE [IGNORE lib...]): PkgConfig::NAME from the
# module's static link line. IGNORE drops libraries a module's file lists
# but its archive does not use.
function(qh_static_module name module)
  cmake_parse_arguments(ARG "" "" "IGNORE" ${ARGN})
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
# GLEW's file lists X11 and GLU for its shared build; its archive calls GL alone.
qh_static_module(GLEW glew IGNORE X11 GLU)
qh_static_module(KISSFFT kissfft-float)

# The C++ runtime and GCC's support library go in too; as-needed keeps the
# system libraries named above off the list unless something calls them.
add_link_options(-static-libstdc++ -static-libgcc -Wl,--as-needed)
