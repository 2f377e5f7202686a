#!/usr/bin/env bash
# Makes the showcase's generated resources again: the music (encoded as Ogg
# Vorbis by sox; the project form keeps the music as resources/music.mp3,
# and the mixer reads it by its contents, not its name), the two samples, the
# model and the image. Run from the repository's root after a build:
#   examples/showcase/generate/regenerate.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
res=examples/showcase/resources
cmake --build "$build" --target make_showcase_music make_showcase_art
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$build/examples/make_showcase_music" "$tmp/music.wav" "$res/hit.wav" "$res/blip.wav"
sox "$tmp/music.wav" -C 3 "$tmp/music.ogg"
cp "$tmp/music.ogg" "$res/music.mp3"
"$build/examples/make_showcase_art" "$res/garden.glb" "$res/grain.png"
echo "regenerated: $res/music.mp3 hit.wav blip.wav garden.glb grain.png"
