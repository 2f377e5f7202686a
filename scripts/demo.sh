#!/usr/bin/env bash
# `make demo`: installs what is missing, builds the player and quill, packs
# the showcase (examples/showcase) into BUILD/showcase and plays it.
#
# With a display it plays in a window as wide as the desktop. Without one it
# says so and plays under Xvfb (1280 x 720), with the sound written by the
# disk audio driver to BUILD/showcase-sound.raw (signed 16-bit stereo at
# 44100 Hz) and a screenshot of the screen every two seconds in
# BUILD/showcase-shots/ (shot-SSS.png, SSS the seconds since the window
# showed), plus a contact sheet of them (contact-sheet.png).
# Exits with the player's status.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}

bash scripts/install-deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target quillharbor quill
"$build/quill" pack examples/showcase/project.json -o "$build/showcase"

if [ -n "${DISPLAY:-}" ]; then
  exec "$build/showcase"
fi

shots="$build/showcase-shots"
sound="$build/showcase-sound.raw"
echo "demo: no display here; playing the showcase under Xvfb."
echo "demo: screenshots go to $shots/, the sound to $sound"
rm -rf "$shots"
mkdir -p "$shots"

# Xvfb picks a free display itself and writes its number to the pipe.
exec 3< <(Xvfb -displayfd 1 -screen 0 1280x720x24 -nolisten tcp 2>/dev/null & echo "pid $!")
read -r _ xvfb_pid <&3
read -r display_number <&3
player_pid=""
cleanup() {
  [ -n "$player_pid" ] && kill "$player_pid" 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=":$display_number"

SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$sound" "$build/showcase" &
player_pid=$!

# Screenshots from the moment the window shows until the player ends.
started=""
while kill -0 "$player_pid" 2>/dev/null; do
  if [ -z "$started" ] && xdotool search --onlyvisible --name '^Quillharbor' >/dev/null 2>&1; then
    started=$SECONDS
  fi
  if [ -n "$started" ]; then
    import -window root "$shots/shot-$(printf '%03d' $((SECONDS - started))).png" 2>/dev/null || true
  fi
  sleep 2
done
status=0
wait "$player_pid" || status=$?
player_pid=""

count=$(ls "$shots" | wc -l)
if [ "$count" -gt 0 ]; then
  montage "$shots"/shot-*.png -tile 6x -geometry 320x180+2+2 "$shots/contact-sheet.png" 2>/dev/null || true
fi
echo "demo: the player ended with status $status; $count screenshots in $shots/"
exit "$status"
