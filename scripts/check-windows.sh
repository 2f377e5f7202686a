#!/usr/bin/env bash
# `make test-windows`: the Windows player under Wine, on an Xvfb of this
# script's own with Mesa's software GL (there is no Windows machine here).
#
#   scripts/check-windows.sh
#
# Packs the showcase with BUILD/quill --target windows (BUILD defaults to
# build), that is into BUILD/quillharbor.exe, which the build cross-builds
# where MinGW-w64 is installed. Passes when:
#   - the packed demo imports only Windows' own DLLs;
#   - from a folder whose name is not ASCII, it shows its colours, its music
#     reaches SDL's disk audio driver, and sent Escape it ends with status 0;
#   - the player without a package writes error.log beside itself and ends
#     with status 1;
#   - the demo with its trailer damaged writes crash.txt and ends with 1.
# Wine runs in a prefix of this run's own, with its server started and ended
# here. QH_KEEP_WORK=1 keeps the run's folder (screenshot, written sound).
#
# Exit status: 0 passed, 1 failed, 2 usage, 77 could not run here (says why).
set -euo pipefail
if [ $# -ne 0 ]; then
  echo "usage: scripts/check-windows.sh" >&2
  exit 2
fi
cd "$(dirname "$0")/.."
build=${BUILD:-build}
check="check-windows"
# shellcheck source-path=SCRIPTDIR source=lib/play-check.sh
. scripts/lib/play-check.sh

report_timeout=120  # for a player that fails at start-up: SDL and GL come up first
objdump=x86_64-w64-mingw32-objdump
# What every 64-bit Windows 10 or later has: the system's C runtime, OpenGL
# and the Win32 libraries.
system_dlls=" advapi32 cfgmgr32 comdlg32 dinput8 dwmapi gdi32 hid imm32 kernel32 msvcrt ole32 oleaut32 \
opengl32 setupapi shell32 shlwapi user32 uxtheme version winmm ws2_32 "

[ -f "$build/quillharbor.exe" ] ||
  skip "no $build/quillharbor.exe: the build finds no MinGW-w64 cross compiler (scripts/install-deps.sh installs it)"
for tool in wine wineserver Xvfb import convert xdotool sox $objdump; do
  command -v "$tool" >/dev/null || skip "no $tool on this machine"
done
[ -x "$build/quill" ] || { say "FAILED: no $build/quill; run make build first"; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/check-windows.XXXXXX")
wineserver_pid=""
# Windows reads a path in its own code page unless asked for UTF-8: the demo
# plays from here, so that it must find its own file by a path in UTF-8.
demo="démo ünïcødé"
player_files=(player.out player.err "$demo/crash.txt" "$demo/error.log" wineboot.log)
cleanup() {
  stop_display_and_player
  if [ -n "$wineserver_pid" ]; then
    # Ends every Windows process of the prefix, then the server itself.
    WINEPREFIX=$work/prefix timeout 30 wineserver -k 2>/dev/null || true
    kill "$wineserver_pid" 2>/dev/null || true
    wait "$wineserver_pid" 2>/dev/null || true
  fi
  if [ -n "$keep_work" ] || [ -n "${QH_KEEP_WORK:-}" ]; then
    say "its files are kept in $work"
  else
    rm -rf --one-file-system "$work"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir "$work/$demo" "$work/plain" "$work/damaged" "$work/prefix"
"$build/quill" pack --target windows examples/showcase/project.json -o "$work/$demo/demo.exe" >"$work/pack.log" 2>&1 ||
  { cat "$work/pack.log"; say "FAILED: quill pack --target windows did not pack the showcase"; exit 1; }
say "demo: $(du -h "$work/$demo/demo.exe" | cut -f1), the showcase packed into $build/quillharbor.exe"

# The DLLs it names must all be the system's: nothing of the compiler's
# runtime or of the libraries it was built with travels beside it.
imports=$($objdump -p "$work/$demo/demo.exe" | awk '/DLL Name:/ { print tolower($3) }' | sort -u | paste -sd ' ')
[ -n "$imports" ] || fail "$objdump lists no imported DLL"
for dll in $imports; do
  [[ $system_dlls == *" ${dll%.dll} "* ]] || fail "the demo needs $dll, which Windows does not have: $imports"
done
say "imports: only the system's DLLs ($imports)"

# The player runs with the Windows environment Wine gives it plus these;
# Wine maps file names as the locale says, and a desktop's locale is UTF-8.
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
wineserver -f -p &
wineserver_pid=$!
start_display
started=$SECONDS
DISPLAY=$display timeout 300 wine wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot could not make the prefix within 300 s"
say "wine: $(wine --version) with a prefix of its own, made in $((SECONDS - started)) s"

# Starts demo.exe of DIR, in DIR, in the background.
start_player() {
  (cd "$work/$1" && exec env DISPLAY="$display" SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=sound.raw \
    wine "$2" </dev/null >"$work/player.out" 2>"$work/player.err") &
  player_pid=$!
  player_started=$SECONDS
}

# Waits for a player that must fail at start-up; its status is in player_exit.
wait_for_failure() {
  wait_for_end $((player_started + report_timeout)) "$report_timeout s after it started ($1)"
  [ "$player_exit" -eq 1 ] || fail "the player ended with status $player_exit, not 1 ($1)"
}

start_player "$demo" demo.exe
wait_for_picture
wait_for_music "$work/$demo/sound.raw"
press_escape

# The player with no package: error.log, word for word.
cp "$build/quillharbor.exe" "$work/plain/plain.exe"
player_files=(player.out player.err plain/error.log plain/crash.txt)
start_player plain plain.exe
wait_for_failure "no package"
[ "$(cat "$work/plain/error.log" 2>/dev/null)" = \
  "Cannot find DEMO in executable. Please follow the instructions in Quillharbor." ] ||
  fail "error.log does not say the package is missing"
[ ! -e "$work/plain/crash.txt" ] || fail "crash.txt beside a player that has no package"
say "no package: error.log beside the player and status 1"

# The packed demo with its trailer announcing a package longer than the file.
cp "$work/$demo/demo.exe" "$work/damaged/demo.exe"
size=$(stat -c %s "$work/damaged/demo.exe")
printf '\377\377\377\177' | dd of="$work/damaged/demo.exe" bs=1 seek=$((size - 8)) conv=notrunc status=none
player_files=(player.out player.err damaged/crash.txt damaged/error.log)
start_player damaged demo.exe
wait_for_failure "damaged package"
report=$(cat "$work/damaged/crash.txt" 2>/dev/null || true)
[[ $report == "Fatal error: "*$'\n'"Exiting." ]] || fail "crash.txt is not the fatal report: $report"
[ ! -e "$work/damaged/error.log" ] || fail "error.log beside a demo whose package is damaged"
say "damaged package: crash.txt beside the demo and status 1 (${report%%$'\n'*})"
say "passed"
