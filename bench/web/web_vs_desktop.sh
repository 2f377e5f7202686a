#!/usr/bin/env bash
# The showcase in the web player (Chromium and Firefox) against the desktop
# player on the same machine, both drawing 640 x 360 in software: from start
# to the demo's first frame, and frames per second over its first 30 seconds
# (the tunnel, the title and the post effect over the whole picture).
#
#   bash bench/web/web_vs_desktop.sh [BUILD]     (BUILD defaults to build)
#
# The desktop player is the development build (SDL linked dynamically, so
# bench/web/frame_clock.c sees its frames), in an Xvfb of its own 640 wide.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
work=$(mktemp -d)
xvfb=""
cleanup() { [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

project=$root/examples/showcase/project.json
"$build/quill" pack --player "$build/quillharbor" "$project" -o "$work/demo" 2>/dev/null
"$build/quill" pack --target web "$project" -o "$work/demo.html" 2>/dev/null
cc -O2 -shared -fPIC -o "$work/frame_clock.so" "$here/frame_clock.c" -ldl

# Desktop: the first frame after the music starts, and the frames of the 30
# seconds after it.
Xvfb :97 -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
(cd "$work" && DISPLAY=:97 SDL_AUDIODRIVER=dummy QH_FRAME_LOG="$work/desktop.log" \
   LD_PRELOAD="$work/frame_clock.so" timeout 60 ./demo >/dev/null 2>&1) &
player=$!
while ! awk '$1 == "music" { m = $2 } $1 == "frame" && m && $2 > m + 30000 { found = 1 } END { exit !found }' \
        "$work/desktop.log" 2>/dev/null; do
  sleep 1
done
kill "$player" 2>/dev/null || true
wait "$player" 2>/dev/null || true
awk '$1 == "music" { m = $2 } $1 == "frame" && m && !first { first = $2 }
     $1 == "frame" && m && $2 <= m + 30000 { n++ }
     END { printf "desktop: first demo frame %.0f ms after start, %.1f frames a second\n", first, n / 30 }' \
  "$work/desktop.log"

# The browsers: the page's own clock, from navigation to the first frame.
# Chromium draws WebGL with SwiftShader; Firefox, in the Xvfb, with Mesa's
# llvmpipe as the desktop player does (its sound waits for a click).
web() {
  node -e '
const r = require(process.argv[1]);
console.log(`web (${r.version}): first demo frame ${Math.round(r.first_frame_ms)} ms after navigation, ` +
            `${(r.frames_drawn / (r.last_ms / 1000)).toFixed(1)} frames a second`);' "$1"
}
node "$root/tests/web/play_page.mjs" --browser chromium --page "$work/demo.html" --out "$work/chromium" \
  --size 640x360 --capture-ms 30000 --escape >/dev/null
web "$work/chromium/report.json"
DISPLAY=:97 node "$root/tests/web/play_page.mjs" --browser firefox --click --page "$work/demo.html" \
  --out "$work/firefox" --size 640x360 --capture-ms 30000 --escape >/dev/null
web "$work/firefox/report.json"
