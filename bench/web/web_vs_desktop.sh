#!/usr/bin/env bash
# The showcase in the web player (Chromium and Firefox) against the desktop
# player on the same machine, both drawing 640 x 360 in software: from start
# to the demo's first frame, and frames per second over its first 30 seconds
# (the tunnel, the title and the post effect over the whole picture).
#
#   bash bench/web/web_vs_desktop.sh [BUILD]     (BUILD defaults to build)
#
# The desktop player is the development build, timed by bench/first_frame.sh.
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

bash "$root/bench/first_frame.sh" "$work/demo"

Xvfb :97 -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1

# The browsers: the page's own clock, from navigation to the first frame,
# as a viewer's browser draws (at the display's 60 Hz); the frame rate with
# the browser drawing as fast as it can, as the desktop player in Xvfb does.
# Chromium draws WebGL with SwiftShader; Firefox, in the Xvfb, with Mesa's
# llvmpipe as the desktop player does (its sound waits for a click).
web() {
  local name=$1
  shift
  "$@" --out "$work/$name-start" --size 640x360 --capture-ms 1000 --escape >/dev/null
  "$@" --out "$work/$name-rate" --size 640x360 --capture-ms 30000 --escape --unthrottled >/dev/null
  node -e '
const s = require(process.argv[1]), r = require(process.argv[2]);
console.log(`web (${s.version}): first demo frame ${Math.round(s.first_frame_ms)} ms after navigation, ` +
            `${(r.frames_drawn / (r.last_ms / 1000)).toFixed(1)} frames a second`);' \
    "$work/$name-start/report.json" "$work/$name-rate/report.json"
}
web chromium node "$root/tests/web/play_page.mjs" --browser chromium --page "$work/demo.html"
web firefox env DISPLAY=:97 node "$root/tests/web/play_page.mjs" --browser firefox --click --page "$work/demo.html"
