# shellcheck shell=bash disable=SC2154,SC2034  # check and work are the caller's; keep_work is read by its trap
# Watching a packed demo play on an Xvfb of the caller's own, for the scripts
# that play one somewhere a user would (check-portable.sh, check-windows.sh).
# Sourced, not run. The caller sets `check` (its name, for the messages) and
# `work` (its scratch folder), starts the player in the background with
# player_pid=$! and player_started=$SECONDS, and names in `player_files`
# the files under $work that `fail` shows (the player's output, its reports).
#
#   start_display          an Xvfb of its own: display, xvfb_pid
#   wait_for_picture       the demo's colours on the screen
#   wait_for_music FILE    music in the last two seconds the player wrote to FILE
#   press_escape           Escape to the player's window; it must end with 0
#   wait_for_end DEADLINE WHAT  the player's end by SECONDS = DEADLINE; status in player_exit
#   wait_for_failure WHAT  the player's end with status 1 within report_timeout
#   stop_display_and_player  for the caller's EXIT trap
#
# And for the players that must fail with their reports:
#
#   bare_player DEMO OUT        the player of a packed demo without its package
#   damaged_package DEMO OUT    the demo with a package the reader refuses at once
#   expect_report_moved OUT NAME  standard output says NAME went to the temporary
#                               folder: the path as printed in report_path
#   expect_fatal_report FILE ERR NEWLINE  FILE is the fatal report, also on standard
#                               error: its first line in fatal_line
#
# Every wait has a deadline and also ends as soon as the player does.

report_timeout=120   # for a player that fails at start-up: SDL and GL come up first
picture_timeout=240  # from the player's start: loading under llvmpipe on a busy machine is slow
sound_timeout=30
exit_timeout=60
min_colour_percent=5  # of the screen's pixels with a chroma over 60 of 255
min_colours=1000      # distinct ones: the loading screen's logo is a few flat colours, effects are gradients
min_music_rms=0.01    # over the two seconds after the first section showed
bytes_per_second=$((44100 * 2 * 2))  # the mixer's format: 44100 Hz, signed 16-bit, stereo

player_pid=""
player_started=0
player_exit=""
xvfb_pid=""
display=""
keep_work=""
player_files=()

say() { echo "$check: $*"; }
skip() {
  say "skipped: $*"
  exit 77
}

# Xvfb picks a free display itself and writes its number to the pipe.
start_display() {
  exec 3< <(Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp -noreset -wr 2>/dev/null & echo "pid $!")
  read -r _ xvfb_pid <&3
  local number
  read -r -t 60 number <&3 || skip "Xvfb did not start"
  display=":$number"
}

stop_player() {
  if [ -n "$player_pid" ]; then
    kill -KILL "$player_pid" 2>/dev/null || true
    wait "$player_pid" 2>/dev/null || true
    player_pid=""
  fi
}

stop_display_and_player() {
  stop_player
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; xvfb_pid=""; fi
}

# Collects the ended player's status into player_exit (not in a subshell:
# only this shell can wait for its child).
reap() {
  player_exit=0
  wait "$player_pid" || player_exit=$?
  player_pid=""
}

fail() {
  keep_work=1
  say "FAILED: $*"
  stop_player
  local f
  for f in "${player_files[@]}"; do
    if [ -s "$work/$f" ]; then
      echo "--- $f:"
      tail -n 40 "$work/$f"
    fi
  done
  exit 1
}

# Percent of the screen's pixels whose chroma (max - min of R, G, B) is over
# 60 of 255 (the white root has none), and how many colours the screen has.
colour_percent() {
  convert "$1" -colorspace HCL -channel G -separate +channel -threshold 23.5% -format '%[fx:round(mean*1000)/10]' info:
}
colour_count() { convert "$1" -format '%k' info:; }

wait_for_picture() {
  local shot=$work/screen.png percent=0 colours=0
  while :; do
    if ! kill -0 "$player_pid" 2>/dev/null; then
      reap
      fail "the player ended with status $player_exit before its picture showed"
    fi
    if [ $((SECONDS - player_started)) -ge "$picture_timeout" ]; then
      fail "no demo on the screen within $picture_timeout s (last: ${percent}% in colour, $colours colours)"
    fi
    if import -window root -display "$display" "$shot" 2>/dev/null; then
      percent=$(colour_percent "$shot")
      colours=$(colour_count "$shot")
      awk -v p="$percent" -v m="$min_colour_percent" -v c="$colours" -v n="$min_colours" \
        'BEGIN { exit !(p >= m && c >= n) }' && break
    fi
    sleep 1
  done
  say "picture: the demo's colours on the screen after $((SECONDS - player_started)) s (${percent}% of it in colour, $colours colours)"
}

# Two seconds of sound written after the call, in the mixer's raw format.
wait_for_music() {
  local sound=$1 from since rms
  from=$(stat -c %s "$sound" 2>/dev/null || echo 0)
  from=$((from / 4 * 4))
  since=$SECONDS
  while [ "$(stat -c %s "$sound" 2>/dev/null || echo 0)" -lt $((from + 2 * bytes_per_second)) ]; do
    kill -0 "$player_pid" 2>/dev/null || { reap; fail "the player ended with status $player_exit while it played"; }
    [ $((SECONDS - since)) -lt "$sound_timeout" ] || fail "the sound file did not grow by two seconds within $sound_timeout s"
    sleep 0.5
  done
  rms=$(sox -t raw -r 44100 -e signed -b 16 -c 2 "$sound" -n trim "$((from / 4))s" 2 stat 2>&1 |
    awk '/^RMS +amplitude/ { print $3 }')
  [ -n "$rms" ] || fail "sox could not read the written sound"
  awk -v r="$rms" -v m="$min_music_rms" 'BEGIN { exit !(r >= m) }' ||
    fail "silence where the music should be: RMS $rms over two seconds from byte $from"
  say "sound: music in the written sound (RMS $rms over the two seconds after the picture showed)"
}

# Waits for the player to end before SECONDS reaches DEADLINE, and collects
# its status; past it fails, saying the player was still running WHAT.
wait_for_end() {
  local deadline=$1 what=$2
  while kill -0 "$player_pid" 2>/dev/null; do
    [ "$SECONDS" -lt "$deadline" ] || fail "the player was still running $what"
    sleep 0.2
  done
  reap
}

# Waits for a player that must fail at start-up; its status is in player_exit.
wait_for_failure() {
  wait_for_end $((player_started + report_timeout)) "$report_timeout s after it started ($1)"
  [ "$player_exit" -eq 1 ] || fail "the player ended with status $player_exit, not 1 ($1)"
}

# A packed demo is the player, the package, the package's length as unsigned
# 32-bit little-endian and "DEMO": sets player_bytes and payload_bytes.
package_layout() {
  [ "$(tail -c 4 "$1")" = DEMO ] || fail "$1 does not end in DEMO"
  payload_bytes=$(tail -c 8 "$1" | head -c 4 | od -An -tu4 --endian=little | tr -d ' ')
  player_bytes=$(($(stat -c %s "$1") - 8 - payload_bytes))
}

bare_player() {
  package_layout "$1"
  head -c "$player_bytes" "$1" >"$2"
  chmod 755 "$2"
}

# The package's first table's record count (bytes 8 to 15) made huge: the
# reader refuses it before it allocates anything, wherever the bytes came from.
damaged_package() {
  package_layout "$1"
  cp "$1" "$2"
  printf '\377\377\377\377\377\377\377\377' | dd of="$2" bs=1 seek=$((player_bytes + 8)) conv=notrunc status=none
}

# A player whose working folder could not take NAME says so on standard
# output ($work/OUT, lines ended by LF or CR LF) and then where it went.
expect_report_moved() {
  local out=$1 name=$2
  report_path=$(tr -d '\r' <"$work/$out" | awk -v said="The working folder cannot take $name; the report is in " '
    last == "Error opening file!" && index($0, said) == 1 { print substr($0, length(said) + 1) }
    { last = $0 }' | tail -n 1)
  [ -n "$report_path" ] || fail "standard output does not say where $name went"
}

# FILE holds the fatal report, its lines ended by NEWLINE, and the player
# wrote its first line to standard error ($work/ERR) as well.
expect_fatal_report() {
  local file=$1 err=$2 newline=$3 report
  [ -f "$file" ] || fail "no report at $file"
  report=$(cat "$file")
  [[ $report == "Fatal error: "*"$newline"Exiting. ]] || fail "$file is not the fatal report: $report"
  fatal_line=${report%%"$newline"*}
  tr -d '\r' <"$work/$err" | grep -xF -- "$fatal_line" >/dev/null || fail "standard error does not say $fatal_line"
}

# The player ends when Escape is released, with the key going to the window under the pointer.
press_escape() {
  local window
  window=$(DISPLAY=$display xdotool search --onlyvisible --name '^Quillharbor' 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] || fail "no window named Quillharbor on the screen"
  DISPLAY=$display xdotool mousemove --window "$window" 10 10 key Escape
  wait_for_end $((SECONDS + exit_timeout)) "$exit_timeout s after Escape"
  [ "$player_exit" -eq 0 ] || fail "the player exited with status $player_exit after Escape"
  say "exit: the player ended with status 0 on Escape"
}
