#!/usr/bin/env bash
# Builds the static libraries the travelling player links: the SDL family,
# built from Debian's source packages with SDL's run-time loading of X11,
# Wayland, ALSA, PulseAudio and the rest, and with the built-in decoders
# (PNG and JPEG through the image library's own reader; Ogg Vorbis, MP3,
# FLAC and WAVE through the mixer's own), and the FFT library, which Debian
# ships only shared. Debian's own libSDL2*.a cannot serve: they reference
# the window systems, the sound servers and a dozen codec libraries directly.
#
#   scripts/static-deps.sh            build into the cache, unless already there
#   scripts/static-deps.sh --prefix   print where the libraries are (or will be)
#
# The cache lives outside the clone (QH_CACHE, else ~/.cache/quillharbor),
# one folder per version of this script, so every clone on a machine shares
# one build and a change of a version or an option here builds anew.
set -euo pipefail

# Debian 12 source packages, pinned.
sources=(
  kissfft=131.1.0-4.1~deb12u1
  libsdl2=2.26.5+dfsg-1
  libsdl2-image=2.6.3+dfsg-1
  libsdl2-mixer=2.6.2+dfsg-2
  libsdl2-ttf=2.20.1+dfsg-2
)

here=$(cd "$(dirname "$0")" && pwd)
cache=${QH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quillharbor}/static-deps
key=$(sha256sum "$here/static-deps.sh" | cut -c1-16)
prefix=$cache/$key

if [ "${1:-}" = "--prefix" ]; then
  echo "$prefix"
  exit 0
fi
[ -f "$prefix/.complete" ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

# apt-get source needs deb-src entries; they are made from the machine's own
# Debian entries, so the archive is whichever this machine already uses.
ensure_source_entries() {
  if apt-get source --print-uris -qq "${sources[0]}" >/dev/null 2>&1; then return; fi
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
  echo "static-deps: enabled Debian source packages ($list)"
  $sudo apt-get update -qq
}

mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9  # two builds started together make the libraries once
[ -f "$prefix/.complete" ] && exit 0

ensure_source_entries
work=$(mktemp -d)
# The libraries' pkg-config files name the folder they were installed into,
# so they are installed where they stay; the mark at the end says they are
# whole, and a folder without it is the remains of a build that stopped.
trap 'rm -rf "$work"; [ -f "$prefix/.complete" ] || rm -rf "$prefix"' EXIT
rm -rf "$prefix"
echo "static-deps: building ${sources[*]} into $prefix (once per machine)"
cd "$work"
apt-get source -qq "${sources[@]}" >apt-source.log 2>&1 || { cat apt-source.log >&2; exit 1; }

jobs=$(nproc)
# Position-independent, so the objects link into the player's PIE.
common=(-G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release -DCMAKE_POSITION_INDEPENDENT_CODE=ON
        -DBUILD_SHARED_LIBS=OFF -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix"
        -DCMAKE_INSTALL_LIBDIR=lib -DSDL2_DIR="$prefix/lib/cmake/SDL2")

build() {  # folder glob, then CMake options
  local src
  src=$(echo $1)
  shift
  echo "static-deps: $src"
  cmake -S "$src" -B "$src/_build" "${common[@]}" "$@" >"$src.log" 2>&1 &&
    cmake --build "$src/_build" -j "$jobs" >>"$src.log" 2>&1 &&
    cmake --install "$src/_build" >>"$src.log" 2>&1 || { tail -40 "$src.log" >&2; exit 1; }
}

build "kissfft-*" -DKISSFFT_STATIC=ON -DKISSFFT_DATATYPE=float -DKISSFFT_TOOLS=OFF \
  -DKISSFFT_TEST=OFF -DKISSFFT_OPENMP=OFF

# Every window system and sound server is loaded when it is found at run
# time, so the player starts under X11 or Wayland, with PulseAudio, PipeWire,
# ALSA or no sound server at all, and links none of them.
build "libsdl2-2*" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_TESTS=OFF \
  -DSDL_X11_SHARED=ON -DSDL_WAYLAND_SHARED=ON -DSDL_WAYLAND_LIBDECOR_SHARED=ON \
  -DSDL_ALSA_SHARED=ON -DSDL_PULSEAUDIO_SHARED=ON -DSDL_PIPEWIRE_SHARED=ON \
  -DSDL_KMSDRM_SHARED=ON -DSDL_JACK=OFF -DSDL_SNDIO=OFF -DSDL_ESD=OFF -DSDL_ARTS=OFF \
  -DSDL_NAS=OFF -DSDL_LIBSAMPLERATE=OFF -DSDL_RPATH=OFF

build "libsdl2-image-*" -DSDL2IMAGE_SAMPLES=OFF -DSDL2IMAGE_VENDORED=OFF -DSDL2IMAGE_DEPS_SHARED=OFF \
  -DSDL2IMAGE_BACKEND_STB=ON -DSDL2IMAGE_AVIF=OFF -DSDL2IMAGE_JXL=OFF -DSDL2IMAGE_TIF=OFF \
  -DSDL2IMAGE_WEBP=OFF

build "libsdl2-mixer-*" -DSDL2MIXER_SAMPLES=OFF -DSDL2MIXER_VENDORED=OFF -DSDL2MIXER_DEPS_SHARED=OFF \
  -DSDL2MIXER_CMD=OFF -DSDL2MIXER_FLAC_LIBFLAC=OFF -DSDL2MIXER_FLAC_DRFLAC=ON \
  -DSDL2MIXER_MP3_DRMP3=ON -DSDL2MIXER_MP3_MPG123=OFF -DSDL2MIXER_VORBIS=STB \
  -DSDL2MIXER_MOD=OFF -DSDL2MIXER_MIDI=OFF -DSDL2MIXER_OPUS=OFF -DSDL2MIXER_WAVE=ON

# TrueType through Debian's static FreeType; no HarfBuzz (shipped only shared).
build "libsdl2-ttf-*" -DSDL2TTF_SAMPLES=OFF -DSDL2TTF_VENDORED=OFF -DSDL2TTF_HARFBUZZ=OFF

# The companions' own builds write a pkg-config file only for a shared
# library; these say what their archives need.
pc_file() {  # name, version, modules needed, then the archive's own library
  cat >"$prefix/lib/pkgconfig/$1.pc" <<EOF
prefix=$prefix
Name: $1
Description: $1, static, as the travelling player links it
Version: $2
Requires: $3
Cflags: -I\${prefix}/include/SDL2
Libs: -L\${prefix}/lib -l$4
EOF
}
pc_file SDL2_image 2.6.3 sdl2 SDL2_image
pc_file SDL2_mixer 2.6.2 sdl2 SDL2_mixer
pc_file SDL2_ttf 2.20.1 "sdl2 freetype2" SDL2_ttf

touch "$prefix/.complete"
echo "static-deps: done"
