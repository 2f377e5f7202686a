#!/usr/bin/env bash
# What the farm runs on a node: one part of a render, or the join of all the
# parts. The farm's submit scripts (slurm-render.sh, parallel-render.sh) run
# it on the machines; it is the one place that knows how the parts folder is
# laid out: PARTS/part-K holds part K (its frames, unless the render options
# hold --no-frames, sound.wav, segment.json once complete, and video.mp4).
#
#   node-job.sh part QUILL FILE K/N PARTS [quill render options...]
#   node-job.sh join QUILL N PARTS OUT.mp4
#
# QUILL is the quill program on this node. The part needs an OpenGL context:
# with no DISPLAY it runs on an Xvfb of its own when the node has Xvfb, and
# otherwise leaves it to quill (SDL's offscreen driver).
#
# Exit status: quill's (0 done, 1 failure, 2 usage error), or 2 for a usage
# error of its own.
set -euo pipefail

usage() {
  echo "usage: node-job.sh part QUILL FILE K/N PARTS [quill render options...]" >&2
  echo "       node-job.sh join QUILL N PARTS OUT.mp4" >&2
  exit 2
}

# Runs "$@" with DISPLAY set to an Xvfb of its own, which it ends after. The
# server picks a free display itself (-displayfd), so parts that start
# together on one node do not race for one.
with_xvfb() {
  local tmp xvfb status=0
  tmp=$(mktemp -d)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
  xvfb=$!
  # The server writes its display number once it accepts clients.
  until [ -s "$tmp/display" ]; do
    if ! kill -0 "$xvfb" 2>/dev/null; then
      echo "node-job: Xvfb did not start: $(tail -n 1 "$tmp/xvfb.log")" >&2
      rm -rf -- "$tmp"
      return 1
    fi
    sleep 0.1
  done
  DISPLAY=:$(head -n 1 "$tmp/display") "$@" || status=$?
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
  rm -rf -- "$tmp"
  return "$status"
}

[ $# -ge 1 ] || usage
case $1 in
  part)
    [ $# -ge 5 ] || usage
    quill=$2 file=$3 segment=$4 parts=$5
    shift 5
    [[ $segment =~ ^[0-9]+/[0-9]+$ ]] || usage
    part=$parts/part-${segment%/*}
    mkdir -p "$part"
    render=("$quill" render "$file" -o "$part" --segment "$segment" --video "$part/video.mp4" "$@")
    if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null; then
      with_xvfb "${render[@]}"
    else
      exec "${render[@]}"
    fi
    ;;
  join)
    [ $# -eq 5 ] || usage
    quill=$2 count=$3 parts=$4 out=$5
    [[ $count =~ ^[1-9][0-9]*$ ]] || usage
    folders=()
    for k in $(seq "$count"); do folders+=("$parts/part-$k"); done
    exec "$quill" join "${folders[@]}" -o "$out"
    ;;
  *) usage ;;
esac
