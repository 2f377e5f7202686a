#!/usr/bin/env bash
# A packed demo made with the development build of the player (SDL linked
# dynamically, so bench/web/frame_clock.c, preloaded, sees its frames), in an
# Xvfb of its own 640 wide: from the process start to its first demo frame
# (the first frame after the music starts), and frames per second over the
# 30 seconds after it.
#
#   bash bench/first_frame.sh DEMO     (e.g. quill pack --player build/quillharbor ...)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
demo=$(realpath "$1")
work=$(mktemp -d)
xvfb=""
cleanup() { [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
cc -O2 -shared -fPIC -o "$work/frame_clock.so" "$here/web/frame_clock.c" -ldl
Xvfb :98 -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
(cd "$(dirname "$demo")" && DISPLAY=:98 SDL_AUDIODRIVER=dummy QH_FRAME_LOG="$work/frames.log" \
   LD_PRELOAD="$work/frame_clock.so" timeout 60 "$demo" >/dev/null 2>&1) &
player=$!
while ! awk '$1 == "music" { m = $2 } $1 == "frame" && m && $2 > m + 30000 { found = 1 } END { exit !found }' \
        "$work/frames.log" 2>/dev/null; do
  sleep 1
done
kill "$player" 2>/dev/null || true
wait "$player" 2>/dev/null || true
awk '$1 == "music" { m = $2 } $1 == "frame" && m && !first { first = $2 }
     $1 == "frame" && m && $2 <= m + 30000 { n++ }
     END { printf "desktop: first demo frame %.0f ms after start, %.1f frames a second\n", first, n / 30 }' \
  "$work/frames.log"
