#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the benchmarks and the
# headless runs need. Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  build-essential binutils cmake pkg-config clang
  # the compiler cache every build goes through (scripts/ccache.sh)
  ccache
  libsdl2-dev libsdl2-mixer-dev libsdl2-ttf-dev libsdl2-image-dev
  libglew-dev libglm-dev libtinygltf-dev libstb-dev libkissfft-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev libxml2-dev libsnappy-dev liblz4-dev libpng-dev
  xvfb xauth xdotool x11-utils openbox imagemagick mesa-utils libgl1-mesa-dri libglx-mesa0
  fonts-dejavu-core sox ffmpeg
  # quill play --edit's track view; its SDL2 and OpenGL 3 backends are built
  # from the sources the package ships (tools/quill/play/CMakeLists.txt)
  libimgui-dev
  # the travelling player's static libraries (scripts/static-deps.sh), and the
  # headers of the window systems and sound servers its SDL is built against
  # (it loads their libraries at run time; static-deps stops if one is missing)
  dpkg-dev libfreetype-dev libbrotli-dev zlib1g-dev
  libx11-dev libxext-dev libwayland-dev libxkbcommon-dev libegl-dev
  libasound2-dev libpulse-dev libpipewire-0.3-dev
  # the sound servers the travelling player is heard through in the tests
  # (tests/e2e/sound_server_test.cpp), each started in a D-Bus session of its own
  dbus-daemon pulseaudio pulseaudio-utils pipewire pipewire-bin pipewire-pulse wireplumber
  # the Windows player, cross-built (scripts/static-deps.sh --target windows),
  # and Wine with the X11 libraries its display driver loads, to run it here
  g++-mingw-w64-x86-64-posix
  wine wine64 libxrender1 libxrandr2 libxi6 libxcursor1 libxcomposite1 libxinerama1 libxxf86vm1
  # rendering across machines (scripts/render-farm/): Slurm's controller, node
  # daemon and commands, its authentication service, and GNU parallel
  slurmctld slurmd slurm-client munge parallel
  # the web player (scripts/static-deps.sh --target web, cmake/web_player.cmake),
  # the shader translation quill pack --target web runs, and the browsers its
  # tests open it in
  emscripten glslang-tools spirv-cross chromium firefox-esr
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

# Node.js may come from elsewhere with npm in it; Debian's npm only where none is.
command -v npm >/dev/null || missing+=(npm)

if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  echo "install-deps: installing ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The browser tests' driver (tests/web/), at the versions its lockfile pins;
# it drives the browsers installed above and downloads none.
web_tests=$(cd "$(dirname "$0")/../tests/web" && pwd)
if [ ! -f "$web_tests/node_modules/.package-lock.json" ] ||
   ! cmp -s "$web_tests/package-lock.json" "$web_tests/node_modules/.lock-installed"; then
  (cd "$web_tests" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --silent --no-audit --no-fund) &&
    cp "$web_tests/package-lock.json" "$web_tests/node_modules/.lock-installed"
fi
