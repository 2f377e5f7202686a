#!/usr/bin/env bash
# Builds the static libraries the travelling players link: the SDL family,
# built from Debian's source packages with the built-in decoders (PNG and
# JPEG through the image library's own reader; Ogg Vorbis, MP3, FLAC and
# WAVE through the mixer's own), and the FFT library, which Debian ships
# only shared.
#
# For Linux, SDL loads X11, Wayland, ALSA, PulseAudio and the rest at run
# time. Debian's own libSDL2*.a cannot serve: they reference the window
# systems, the sound servers and a dozen codec libraries directly.
# For 64-bit Windows, cross-built with MinGW-w64 (cmake/mingw-w64-x86_64.cmake),
# FreeType and GLEW are built too, which Debian ships for Linux alone.
# For the web, built with Debian's emscripten (emcmake), FreeType is built
# too; emscripten has its own GL headers (GLEW's among them) and its own SDL
# ports, but those download their sources when first used.
#
#   scripts/static-deps.sh [--target linux|windows|web] [--pin NAME=VERSION]...
#       build into the cache, unless already there
#   scripts/static-deps.sh [--target linux|windows|web] [--pin NAME=VERSION]... --prefix
#       print where the libraries are (or will be)
#
# Each source package is pinned below to the revision it was tested with.
# When Debian's archive no longer has that revision (a point release or a
# security update replaced it), the archive's revision of the same upstream
# version is built instead, with a line that says so; another upstream
# version is refused. --pin replaces one of those pins (to try a revision).
#
# The cache lives outside the clone (scripts/lib/cache-root.sh), one folder
# per target, version of this script (and of the toolchain file, or of
# emscripten) and revisions built, so every clone on a machine shares one
# build and a change of any of them builds anew. The compilers run through
# the compiler cache (scripts/ccache.sh) unless QH_CCACHE=0.
set -euo pipefail

# Debian 12 source packages, pinned.
sources=(
  kissfft=131.1.0-4.1~deb12u1
  libsdl2=2.26.5+dfsg-1
  libsdl2-image=2.6.3+dfsg-1
  libsdl2-mixer=2.6.2+dfsg-2
  libsdl2-ttf=2.20.1+dfsg-2
)
# Linux takes these from Debian's static libraries; Windows and the web
# build them.
freetype=freetype=2.12.1+dfsg-5+deb12u4
windows_sources=("$freetype" glew=2.2.0-4)
web_sources=("$freetype")

here=$(cd "$(dirname "$0")" && pwd)
toolchain=$(cd "$here/../cmake" && pwd)/mingw-w64-x86_64.cmake

usage() {
  echo "usage: static-deps.sh [--target linux|windows|web] [--pin NAME=VERSION]... [--prefix]" >&2
  exit 2
}
target=linux
print_prefix=0
pins=()
while [ $# -gt 0 ]; do
  case "$1" in
    --target) [ $# -ge 2 ] || usage; target=$2; shift 2 ;;
    --pin) [ $# -ge 2 ] && [[ $2 == ?*=?* ]] || usage; pins+=("$2"); shift 2 ;;
    --prefix) print_prefix=1; shift ;;
    *) usage ;;
  esac
done
# What else the build depends on and no file names: emscripten's version.
compiler_version=""
case "$target" in
  linux) recipe=("$here/static-deps.sh") ;;
  windows) recipe=("$here/static-deps.sh" "$toolchain"); sources+=("${windows_sources[@]}") ;;
  web)
    recipe=("$here/static-deps.sh"); sources+=("${web_sources[@]}")
    command -v emcc >/dev/null || { echo "static-deps: the web target needs emscripten (emcc)" >&2; exit 1; }
    # Debian's emscripten runs its JavaScript tools with /usr/bin/node and
    # takes their modules (acorn) from Debian's; a node not Debian's own
    # does not look there.
    export NODE_PATH=${NODE_PATH:+$NODE_PATH:}/usr/share/nodejs
    compiler_version=$(emcc --version | sed -n 1p)
    ;;
  *) echo "static-deps: unknown target '$target' (linux, windows or web)" >&2; exit 2 ;;
esac
for pin in "${pins[@]}"; do
  found=0
  for i in "${!sources[@]}"; do
    if [ "${sources[i]%%=*}" = "${pin%%=*}" ]; then sources[i]=$pin found=1; fi
  done
  [ "$found" -eq 1 ] || { echo "static-deps: no source package ${pin%%=*} to pin for $target" >&2; exit 2; }
done

# shellcheck source=lib/cache-root.sh
. "$here/lib/cache-root.sh"
cache=$qh_cache_root/static-deps

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

# apt-get source needs deb-src entries; they are made from the machine's own
# Debian entries, so the archive is whichever this machine already uses.
ensure_source_entries() {
  if apt-cache showsrc --only-source "${sources[0]%%=*}" 2>/dev/null | grep -q '^Version:'; then
    return
  fi
  local list=/etc/apt/sources.list.d/quillharbor-deb-src.sources made=0
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && grep -q "debian-archive-keyring" "$f" || continue
    sed 's/^Types: deb$/Types: deb-src/' "$f" | $sudo tee -a "$list" >/dev/null
    made=1
  done
  if [ -f /etc/apt/sources.list ] && grep -q '^deb ' /etc/apt/sources.list; then
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list |
      $sudo tee /etc/apt/sources.list.d/quillharbor-deb-src.list >/dev/null
    made=1
  fi
  if [ "$made" -eq 0 ]; then
    echo "static-deps: no Debian entries in the apt sources to take source packages from" >&2
    exit 1
  fi
  echo "static-deps: enabled Debian source packages ($list)" >&2
  $sudo apt-get update -qq >&2
}

# A version without its Debian revision: the upstream version (and epoch).
upstream_of() { if [[ $1 == *-* ]]; then echo "${1%-*}"; else echo "$1"; fi; }

# Each pin as the archive has it now: the pinned revision where the archive
# still offers it, else the archive's latest revision of the same upstream
# version (said in one line); another upstream version stops the build.
resolve_sources() {
  local i name version upstream offered v best latest
  for i in "${!sources[@]}"; do
    name=${sources[i]%%=*} version=${sources[i]#*=}
    upstream=$(upstream_of "$version")
    offered=$(apt-cache showsrc --only-source "$name" 2>/dev/null | sed -n 's/^Version: //p' | sort -uV)
    if grep -qxF -- "$version" <<<"$offered"; then continue; fi
    best=""
    for v in $offered; do
      if [ "$(upstream_of "$v")" = "$upstream" ] &&
         { [ -z "$best" ] || dpkg --compare-versions "$v" gt "$best"; }; then
        best=$v
      fi
    done
    if [ -z "$best" ]; then
      [ -n "$offered" ] || { echo "static-deps: the apt sources have no source package $name" >&2; exit 1; }
      latest=$(tail -n1 <<<"$offered")
      echo "static-deps: $name is pinned to $version (upstream $upstream), but the archive offers" \
           "$(paste -sd, - <<<"$offered" | sed 's/,/, /g') (upstream $(upstream_of "$latest")):" \
           "another upstream version is never built unasked; pin one the archive has" >&2
      exit 1
    fi
    echo "static-deps: the archive has no $name $version (any more); building $best," \
         "its revision of the same upstream version $upstream" >&2
    sources[i]=$name=$best
  done
}

ensure_source_entries
resolve_sources
key=$({ cat "${recipe[@]}"; printf '%s\n' "${sources[@]}"; [ -z "$compiler_version" ] || echo "$compiler_version"; } |
      sha256sum | cut -c1-16)
prefix=$cache/$target-$key

if [ "$print_prefix" -eq 1 ]; then
  echo "$prefix"
  exit 0
fi
[ -f "$prefix/.complete" ] && exit 0

mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9  # two builds started together make the libraries once
[ -f "$prefix/.complete" ] && exit 0

work=$(mktemp -d)
# The libraries' pkg-config files name the folder they were installed into,
# so they are installed where they stay; the mark at the end says they are
# whole, and a folder without it is the remains of a build that stopped.
trap 'rm -rf "$work"; [ -f "$prefix/.complete" ] || rm -rf "$prefix"' EXIT
rm -rf "$prefix"
echo "static-deps: building ${sources[*]} for $target into $prefix (once per machine)"
cd "$work"
apt-get source -qq "${sources[@]}" >apt-source.log 2>&1 || { cat apt-source.log >&2; exit 1; }

jobs=$(nproc)
common=(-G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix"
        -DCMAKE_INSTALL_LIBDIR=lib -DSDL2_DIR="$prefix/lib/cmake/SDL2")
if [ "${QH_CCACHE:-1}" != 0 ] && command -v ccache >/dev/null; then
  # The sources are unpacked in a new folder each time: paths under it are
  # hashed as relative ones, so a build made again hits the cache.
  export QH_CCACHE_BASEDIR=$work
  common+=(-DCMAKE_C_COMPILER_LAUNCHER="$here/ccache.sh" -DCMAKE_CXX_COMPILER_LAUNCHER="$here/ccache.sh")
fi
configure=(cmake)
case "$target" in
  windows) common+=(-DCMAKE_TOOLCHAIN_FILE="$toolchain") ;;
  # emcmake names emscripten's toolchain file, which searches emscripten's
  # own folder alone for libraries and headers: the prefix is added to it,
  # for FreeType and SDL.
  web) configure=(emcmake cmake); common+=(-DCMAKE_FIND_ROOT_PATH="$prefix") ;;
  # Position-independent, so the objects link into the player's PIE.
  *) common+=(-DCMAKE_POSITION_INDEPENDENT_CODE=ON) ;;
esac

build() {  # folder glob, then CMake options
  local src
  src=$(echo $1)
  shift
  echo "static-deps: $src"
  "${configure[@]}" -S "$src" -B "$src/_build" "${common[@]}" "$@" >"$src.log" 2>&1 &&
    cmake --build "$src/_build" -j "$jobs" >>"$src.log" 2>&1 &&
    cmake --install "$src/_build" >>"$src.log" 2>&1 || { tail -40 "$src.log" >&2; exit 1; }
}

# Its build names the headers' folder only on Unix, hence the folder here.
build "kissfft-*" -DKISSFFT_STATIC=ON -DKISSFFT_DATATYPE=float -DKISSFFT_TOOLS=OFF \
  -DKISSFFT_TEST=OFF -DKISSFFT_OPENMP=OFF -DCMAKE_INSTALL_INCLUDEDIR=include

# SDL's own ccache option would put plain ccache in place of the launcher
# above, with neither its folder nor its base folder (nor QH_CCACHE=0).
sdl=(-DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_TESTS=OFF -DSDL_CCACHE=OFF)
if [ "$target" = linux ]; then
  # Every window system and sound server is loaded when it is found at run
  # time, so the player starts under X11 or Wayland, with PulseAudio,
  # PipeWire, ALSA or no sound server at all, and links none of them.
  sdl+=(-DSDL_X11_SHARED=ON -DSDL_WAYLAND_SHARED=ON -DSDL_WAYLAND_LIBDECOR_SHARED=ON
        -DSDL_ALSA_SHARED=ON -DSDL_PULSEAUDIO_SHARED=ON -DSDL_PIPEWIRE_SHARED=ON
        -DSDL_KMSDRM_SHARED=ON -DSDL_JACK=OFF -DSDL_SNDIO=OFF -DSDL_ESD=OFF -DSDL_ARTS=OFF
        -DSDL_NAS=OFF -DSDL_LIBSAMPLERATE=OFF -DSDL_RPATH=OFF)
elif [ "$target" = web ]; then
  # Without threads, the player links without SharedArrayBuffer, which a
  # page has only when served with cross-origin isolation.
  sdl+=(-DSDL_THREADS=OFF -DSDL_PTHREADS=OFF)
fi
build "libsdl2-2*" "${sdl[@]}"

# SDL leaves out, with no more than a line in its log, each back end whose
# headers it does not find; a player built so starts, and is silent (or has
# no window) where the machine has only that back end. So each one the
# player is said to load is checked in SDL's configuration: built in, and
# loaded at run time rather than linked.
check_backends() {  # (macro, name, Debian package with its headers)...
  local config=$prefix/include/SDL2/SDL_config.h missing=() macro name package
  while [ $# -gt 0 ]; do
    macro=$1 name=$2 package=$3
    shift 3
    grep -q "^#define ${macro}_DYNAMIC " "$config" || missing+=("$name ($package)")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "static-deps: SDL was configured without $(printf '%s, ' "${missing[@]}" | sed 's/, $//')" \
         "loaded at run time: install the headers (scripts/install-deps.sh) and run this again" >&2
    exit 1
  fi
}
if [ "$target" = linux ]; then
  check_backends SDL_VIDEO_DRIVER_X11 X11 libx11-dev SDL_VIDEO_DRIVER_WAYLAND Wayland libwayland-dev \
    SDL_AUDIO_DRIVER_ALSA ALSA libasound2-dev SDL_AUDIO_DRIVER_PULSEAUDIO PulseAudio libpulse-dev \
    SDL_AUDIO_DRIVER_PIPEWIRE PipeWire libpipewire-0.3-dev
fi

if [ "$target" != linux ]; then
  # TrueType outlines alone: no HarfBuzz, Brotli, PNG or bzip2; gzip-packed
  # fonts, which the player never reads, through FreeType's own inflater.
  build "freetype-*" -DFT_DISABLE_ZLIB=TRUE -DFT_DISABLE_BZIP2=TRUE -DFT_DISABLE_PNG=TRUE \
    -DFT_DISABLE_HARFBUZZ=TRUE -DFT_DISABLE_BROTLI=TRUE
fi
if [ "$target" = windows ]; then
  build "glew-*/build/cmake" -DBUILD_UTILS=OFF
fi

build "libsdl2-image-*" -DSDL2IMAGE_SAMPLES=OFF -DSDL2IMAGE_VENDORED=OFF -DSDL2IMAGE_DEPS_SHARED=OFF \
  -DSDL2IMAGE_BACKEND_STB=ON -DSDL2IMAGE_AVIF=OFF -DSDL2IMAGE_JXL=OFF -DSDL2IMAGE_TIF=OFF \
  -DSDL2IMAGE_WEBP=OFF

build "libsdl2-mixer-*" -DSDL2MIXER_SAMPLES=OFF -DSDL2MIXER_VENDORED=OFF -DSDL2MIXER_DEPS_SHARED=OFF \
  -DSDL2MIXER_CMD=OFF -DSDL2MIXER_FLAC_LIBFLAC=OFF -DSDL2MIXER_FLAC_DRFLAC=ON \
  -DSDL2MIXER_MP3_DRMP3=ON -DSDL2MIXER_MP3_MPG123=OFF -DSDL2MIXER_VORBIS=STB \
  -DSDL2MIXER_MOD=OFF -DSDL2MIXER_MIDI=OFF -DSDL2MIXER_OPUS=OFF -DSDL2MIXER_WAVE=ON

# TrueType through a static FreeType (on Linux, Debian's); no HarfBuzz
# (Debian ships it only shared).
build "libsdl2-ttf-*" -DSDL2TTF_SAMPLES=OFF -DSDL2TTF_VENDORED=OFF -DSDL2TTF_HARFBUZZ=OFF

# Some builds write a pkg-config file only for a shared library, or one that
# names what the archive does not need; these say what the archives need.
pc_file() {  # name, version, modules needed, compiler flags, libraries
  cat >"$prefix/lib/pkgconfig/$1.pc" <<PC
prefix=$prefix
Name: $1
Description: $1, static, as the travelling player links it
Version: $2
Requires: $3
Cflags: $4
Libs: -L\${prefix}/lib $5
PC
}
lib() {  # library name: how a link names it
  # emcc takes -lSDL2_mixer for its own port of the mixer, which it would
  # download: on the web the archives are named by path.
  if [ "$target" = web ]; then echo "\${prefix}/lib/lib$1.a"; else echo "-l$1"; fi
}
pc_file SDL2_image 2.6.3 sdl2 "-I\${prefix}/include/SDL2" "$(lib SDL2_image)"
pc_file SDL2_mixer 2.6.2 sdl2 "-I\${prefix}/include/SDL2" "$(lib SDL2_mixer)"
pc_file SDL2_ttf 2.20.1 "sdl2 freetype2" "-I\${prefix}/include/SDL2" "$(lib SDL2_ttf)"
if [ "$target" = windows ]; then
  pc_file glew 2.2.0 "" "-DGLEW_STATIC -I\${prefix}/include" "-lglew32 -lopengl32"
fi

touch "$prefix/.complete"
echo "static-deps: done"
