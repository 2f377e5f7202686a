#!/usr/bin/env bash
# The showcase in the web player (Chromium and Firefox) against the desktop
# player on the same machine, both drawing 640 x 360 in software: from start
# to the demo's first frame, and frames per second over its first 30 seconds
# (the tunnel, the title and the post effect over the whole picture). Then
# the same for a demo that draws next to nothing (one effect of a constant
# colour): what a frame costs each of them besides the demo's drawing.
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

# A one-effect demo of a constant colour, with the showcase's music.
flat=$work/flat
mkdir -p "$flat/resources"
cp "$root/examples/showcase/resources/music.mp3" "$root/examples/showcase/resources/default.vert" "$flat/resources/"
printf '#version 330\nout vec4 fragColor;\nvoid main() { fragColor = vec4(0.2, 0.4, 0.6, 1.0); }\n' \
  >"$flat/resources/flat.frag"
cat >"$flat/project.json" <<'JSON'
{"bpm": 120.0, "beat_offset": 0.0, "end_beat": 128.0, "textures": [], "fonts": [], "font_textures": [],
 "datas": [], "models": [], "scenes": [], "audio_samples": [], "event_groups": [],
 "shaders": [{"vertex_shader_filename": "resources/default.vert",
              "fragment_shader_filename": "resources/flat.frag", "uniform_defs": []}],
 "effects": [{"name": "flat", "program": "resources/flat.frag", "textures": [], "effects": [],
              "font_textures": [], "feedback": false, "screen_texture": false}],
 "events": [{"name": "Flat", "type": 1, "effect": "flat", "start_beat": 0.0, "end_beat": 128.0,
             "visible": "true", "control_points": {}}]}
JSON

Xvfb :97 -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1

# The browsers: the page's own clock, from navigation to the first frame,
# as a viewer's browser draws (at the display's 60 Hz); the frame rate with
# the browser drawing as fast as it can, as the desktop player in Xvfb does.
# Chromium draws WebGL with SwiftShader, or with "--angle gl" through the
# Xvfb's OpenGL (Mesa's llvmpipe, as the desktop player draws); Firefox in
# the Xvfb, with llvmpipe too (its sound waits for a click).
browsers=(
  "chromium (SwiftShader)|node $root/tests/web/play_page.mjs --browser chromium"
  "chromium (llvmpipe)|env DISPLAY=:97 node $root/tests/web/play_page.mjs --browser chromium --angle gl"
  "firefox (llvmpipe)|env DISPLAY=:97 node $root/tests/web/play_page.mjs --browser firefox --click"
)
# rate OUT PAGE COMMAND...: frames a second over the first 30 seconds.
rate() {
  local out=$1 page=$2
  shift 2
  "$@" --page "$page" --out "$out" --size 640x360 --capture-ms 30000 --escape --unthrottled >/dev/null
  node -e 'const r = require(process.argv[1]); console.log((r.frames_drawn / (r.last_ms / 1000)).toFixed(1))' \
    "$out/report.json"
}

for demo in showcase flat; do
  project=$root/examples/showcase/project.json
  [ "$demo" = flat ] && project=$flat/project.json
  "$build/quill" pack --player "$build/quillharbor" "$project" -o "$work/$demo.demo" 2>/dev/null
  "$build/quill" pack --target web "$project" -o "$work/$demo.html" 2>/dev/null
  echo "== $demo"
  bash "$root/bench/first_frame.sh" "$work/$demo.demo"
  for entry in "${browsers[@]}"; do
    name=${entry%%|*}
    read -r -a command <<<"${entry#*|}"
    out=$work/$demo-$RANDOM
    if [ "$demo" = showcase ]; then
      "${command[@]}" --page "$work/$demo.html" --out "$out-start" --size 640x360 --capture-ms 1000 --escape >/dev/null
      first=$(node -e 'console.log(Math.round(require(process.argv[1]).first_frame_ms))' "$out-start/report.json")
      echo "web, $name: first demo frame $first ms after navigation, $(rate "$out" "$work/$demo.html" "${command[@]}") frames a second"
    else
      echo "web, $name: $(rate "$out" "$work/$demo.html" "${command[@]}") frames a second"
    fi
  done
done
