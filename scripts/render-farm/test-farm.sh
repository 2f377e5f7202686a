#!/usr/bin/env bash
# Renders the showcase in parts through one of the farm's paths and checks
# the joined video against one render of the whole range: as many frames,
# the same decoded sound, and pictures that are the parts' pictures in order.
#
#   scripts/render-farm/test-farm.sh slurm|parallel
#
# slurm: on a one-node cluster of its own (local-slurm.sh) through
# slurm-render.sh; parallel: through parallel-render.sh with two local slots.
# BUILD names the folder holding quill (default build).
# Exit status: 0 passed, 1 failed, 2 usage, 77 could not run here (says why).
set -euo pipefail
here=$(dirname -- "$(realpath -- "$0")")
root=$(realpath -- "$here/../..")
path=${1:-}
[ "$path" = slurm ] || [ "$path" = parallel ] || { echo "usage: test-farm.sh slurm|parallel" >&2; exit 2; }
quill=$(realpath -- "${BUILD:-$root/build}/quill")
demo=$root/examples/showcase/project.json
render=(--size 64x36 --fps 12 --to 3)
count=3
jobs_timeout=300  # seconds for the Slurm jobs to leave the queue on a busy machine

say() { echo "test-farm ($path): $*"; }
fail() { say "FAILED: $*" >&2; exit 1; }
for tool in ffmpeg ffprobe; do command -v "$tool" >/dev/null || { say "skipped: no $tool"; exit 77; }; done
[ -x "$quill" ] || fail "no quill at $quill"

tmp=$(mktemp -d)
cleanup() {
  ! declare -F local_slurm_stop >/dev/null || local_slurm_stop "$tmp/slurm"
  rm -rf -- "$tmp"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

frames() { ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$1"; }
sound() { ffmpeg -v error -i "$1" -map 0:a -f s16le -; }
pictures() { ffmpeg -v error -i "$1" -map 0:v -f framemd5 - | awk -F, '!/^#/ {print $NF}'; }

# The farm's video $1 from the parts in $2 against the one-shot video $3.
check_join() {
  local k
  [ -s "$1" ] || fail "no joined video $1"
  [ "$(frames "$3")" -gt 0 ] || fail "the one-shot render has no frames"
  [ "$(frames "$1")" = "$(frames "$3")" ] || fail "$(frames "$1") frames joined, $(frames "$3") in one render"
  sound "$1" >"$tmp/joined.s16" && sound "$3" >"$tmp/whole.s16"
  [ -s "$tmp/whole.s16" ] || fail "the one-shot render has no sound"
  cmp -s "$tmp/joined.s16" "$tmp/whole.s16" || fail "the joined sound differs from one render's"
  pictures "$1" >"$tmp/joined.md5"
  for k in $(seq "$count"); do pictures "$2/part-$k/video.mp4"; done >"$tmp/parts.md5"
  cmp -s "$tmp/joined.md5" "$tmp/parts.md5" || fail "the joined pictures are not the parts' pictures in order"
}

# Waits until Slurm jobs $1 and $2 have left the queue, then wants each
# task of them completed (showing the jobs' output when not).
await_jobs() {
  local ids=$1,$2 states deadline=$(($(date +%s) + jobs_timeout))
  until [ -z "$(squeue -h -j "$ids" -o %i)" ]; do
    [ "$(date +%s)" -lt "$deadline" ] || fail "jobs $ids still queued after ${jobs_timeout}s: $(squeue -j "$ids")"
    sleep 0.2
  done
  states=$(for id in "$1" "$2"; do scontrol show job -o "$id"; done | grep -o '\bJobId=[0-9]*\|JobState=[A-Z_]*' | paste -d ' ' - -)
  if [ "$(grep -c 'JobState=COMPLETED$' <<<"$states")" != $((count + 1)) ]; then
    tail -n 20 "$tmp"/out.parts/slurm-*.out >&2 || true
    fail "not every task completed:"$'\n'"$states"
  fi
}

case $path in
  slurm)
    # shellcheck source-path=SCRIPTDIR source=local-slurm.sh
    source "$here/local-slurm.sh"
    local_slurm_start "$tmp/slurm" 2>/dev/null  # exits 77, saying why, where it cannot run
    "$here/slurm-render.sh" --quill "$quill" "$demo" "$count" "$tmp/out.mp4" -- "${render[@]}" >"$tmp/submit.log"
    render_job=$(awk '/^render job/ {sub(":", "", $3); print $3}' "$tmp/submit.log")
    join_job=$(awk '/^join job/ {sub(":", "", $3); print $3}' "$tmp/submit.log")
    [[ $render_job =~ ^[0-9]+$ && $join_job =~ ^[0-9]+$ ]] || fail "no job ids in: $(cat "$tmp/submit.log")"
    await_jobs "$render_job" "$join_job"
    ;;
  parallel)
    command -v parallel >/dev/null || { say "skipped: no GNU parallel"; exit 77; }
    "$here/parallel-render.sh" -j 2 --quill "$quill" "$demo" "$count" "$tmp/out.mp4" -- "${render[@]}" >"$tmp/farm.log" 2>&1 ||
      { cat "$tmp/farm.log" >&2; fail "parallel-render.sh failed"; }
    ;;
esac
"$quill" render "$demo" -o "$tmp/whole" --video "$tmp/whole/video.mp4" "${render[@]}" >"$tmp/whole.log" 2>&1 ||
  { cat "$tmp/whole.log" >&2; fail "the one-shot render failed"; }
check_join "$tmp/out.mp4" "$tmp/out.parts" "$tmp/whole/video.mp4"
say "passed"
