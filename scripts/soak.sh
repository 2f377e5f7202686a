#!/usr/bin/env bash
# Long runs under Xvfb that watch resident memory and GL errors.
#
#   scripts/soak.sh player [OUT]   the packed showcase played to its end
#   scripts/soak.sh loop [OUT]     quill play --loop over the whole showcase for
#                                  SOAK_MINUTES minutes (10)
#   scripts/soak.sh watch [OUT]    quill play --watch on a copy of the showcase
#                                  while one of its shaders is rewritten
#                                  SOAK_REWRITES times (500), every tenth time
#                                  with a compile error; each rewrite is waited
#                                  for (the line saying it rebuilt or did not)
#
# Needs the build (BUILD, default build) with quillharbor and quill. Writes
# OUT (default BUILD/soak-MODE) /rss.csv (seconds since start, VmRSS in kB,
# every SOAK_SAMPLE seconds, 10) and output.log (what the program printed),
# then prints the figures. The sound goes to the dummy audio driver.
# Fails (status 1) when the program printed a GL error, did not end as it
# should, or its memory rose by more than SOAK_MAX_RISE_MB (6) between the
# end of the warm-up (SOAK_WARMUP seconds) and the end of the run. The
# warm-up is the start-up (30 s) for the player, which plays the showcase
# once; for the others it is the showcase's first pass (70 s): memory rises
# while each section is drawn for the first time, and not on later passes.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
mode=${1:?usage: scripts/soak.sh player|loop|watch [OUT]}
out=${2:-$build/soak-$mode}
minutes=${SOAK_MINUTES:-10}
rewrites=${SOAK_REWRITES:-500}
every=${SOAK_SAMPLE:-10}
if [ "$mode" = player ]; then warmup=${SOAK_WARMUP:-30}; else warmup=${SOAK_WARMUP:-70}; fi
max_rise_mb=${SOAK_MAX_RISE_MB:-6}
showcase_seconds=64  # the showcase's end beat, 128 at 120 bpm

rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd)
log="$out/output.log"
rss="$out/rss.csv"

exec 3< <(Xvfb -displayfd 1 -screen 0 1280x720x24 -nolisten tcp 2>/dev/null & echo "pid $!")
read -r _ xvfb_pid <&3
read -r display_number <&3
pid=""
sampler=""
cleanup() {
  [ -n "$sampler" ] && kill "$sampler" 2>/dev/null || true
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=":$display_number" SDL_AUDIODRIVER=dummy

case "$mode" in
  player)
    "$build/quill" pack examples/showcase/project.json -o "$out/showcase" >/dev/null
    "$out/showcase" >"$log" 2>&1 &
    ;;
  loop)
    "$build/quill" play examples/showcase/project.json --size 1280x720 \
      --loop "0:$showcase_seconds" >"$log" 2>&1 &
    ;;
  watch)
    cp -r examples/showcase "$out/project"
    "$build/quill" play "$out/project/project.json" --size 1280x720 --watch \
      --loop "0:$showcase_seconds" >"$log" 2>&1 &
    ;;
  *)
    echo "soak: no mode $mode (player, loop or watch)" >&2
    exit 2
    ;;
esac
pid=$!
start=$SECONDS

# Resident memory every few seconds for as long as the program runs.
(
  while status=$(cat "/proc/$pid/status" 2>/dev/null); do
    kb=$(awk '/^VmRSS:/ { print $2 }' <<<"$status")
    [ -n "$kb" ] && echo "$((SECONDS - start)),$kb" >>"$rss"
    sleep "$every"
  done
) &
sampler=$!

# Waits until the log holds COUNT lines matching PATTERN: status 1 when the
# program ended first, 2 after TIMEOUT seconds.
wait_for_lines() {
  local pattern=$1 count=$2 timeout=$3 since=$SECONDS
  while [ "$(grep -c -E "$pattern" "$log" || true)" -lt "$count" ]; do
    kill -0 "$pid" 2>/dev/null || return 1
    [ $((SECONDS - since)) -lt "$timeout" ] || return 2
    sleep 0.05
  done
}

ended_well=1
case "$mode" in
  player)
    wait "$pid" || ended_well=0
    pid=""
    ;;
  loop)
    while [ $((SECONDS - start)) -lt $((minutes * 60)) ]; do
      kill -0 "$pid" 2>/dev/null || { ended_well=0; break; }
      sleep 1
    done
    ;;
  watch)
    shader="$out/project/resources/rings.frag"
    good=$(cat "$shader")
    rebuilt=0
    broken=0
    for ((i = 1; i <= rewrites; i++)); do
      if ((i % 10 == 0)); then
        text=$(printf '%s\n#error rewrite %d does not build' "$good" "$i")
        broken=$((broken + 1))
      else
        text=$(printf '%s\n// rewrite %d' "$good" "$i")
        rebuilt=$((rebuilt + 1))
      fi
      # Written again, a little differently, when nothing answers: the first
      # may come before the program has read the project at all, and a text
      # equal to the one built is not built again.
      taken=""
      for attempt in 1 2 3 4 5; do
        printf '%s (%d)\n' "$text" "$attempt" >"$shader.new"
        mv "$shader.new" "$shader"
        if wait_for_lines 'rings\.frag (rebuilt|does not build)' "$i" 60; then
          taken=1
          break
        fi
        kill -0 "$pid" 2>/dev/null || break
      done
      [ -n "$taken" ] || { ended_well=0; break; }
    done
    echo "soak: $((i - 1)) rewrites taken in ($rebuilt rebuilt, $broken with an error)"
    ;;
esac

if [ -n "$pid" ]; then
  kill -0 "$pid" 2>/dev/null || ended_well=0
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  pid=""
fi
kill "$sampler" 2>/dev/null || true
wait "$sampler" 2>/dev/null || true
sampler=""

gl_errors=$(grep -c -E '^(ERROR!|Error: )' "$log" || true)
read -r samples first_kb warm_kb last_kb peak_kb < <(awk -F, -v w="$warmup" '
  { n++; if (n == 1) first = $2; if ($1 >= w && warm == "") warm = $2;
    if ($1 >= w && $2 > peak) peak = $2; last = $2 }
  END { if (warm == "") warm = last; print n, first, warm, last, peak }' "$rss")
rise_kb=$((last_kb - warm_kb))
echo "soak $mode: $samples samples over $((SECONDS - start)) s; RSS first $((first_kb / 1024)) MB," \
  "after warm-up $((warm_kb / 1024)) MB, peak after warm-up $((peak_kb / 1024)) MB," \
  "last $((last_kb / 1024)) MB (rise ${rise_kb} kB); GL errors printed: $gl_errors"

status=0
[ "$ended_well" = 1 ] || { echo "soak: the program did not run as it should; see $log" >&2; status=1; }
[ "$gl_errors" = 0 ] || { echo "soak: GL errors printed; see $log" >&2; status=1; }
[ "$rise_kb" -le $((max_rise_mb * 1024)) ] || { echo "soak: memory rose by more than $max_rise_mb MB" >&2; status=1; }
exit "$status"
