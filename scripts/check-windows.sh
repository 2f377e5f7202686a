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
#   - the demo with its trailer damaged writes crash.txt, its first line
#     ended by CR LF, and ends with 1;
#   - from a read-only folder, with %TEMP% under a name outside the system's
#     code page: the player without a package says the download may have been
#     cut short, a demo with a damaged package ends with 1, and each says on
#     standard output where in %TEMP% its report went, where it is.
# Wine runs in a prefix of this run's own, with its server started and ended
# here. QH_KEEP_WORK=1 keeps the run's folder (screenshot, written sound).
#
# Exit status: 0 passed, 1 failed, 2 usage, 77 could not run here (says why).
set -euo pipefail
if [ $# -ne 0 ]; then
  echo "usage: scripts/check-windows.sh" >&2
  exit 2
fi
# As root the read-only folder is a read-only bind mount, which Wine's server
# must see as the player does (it opens the files its processes ask for): so
# the whole check runs in a mount namespace of its own, and the mount ends
# with it. Not as root, the folder's mode makes it read-only.
if [ "$(id -u)" -eq 0 ] && [ -z "${QH_CHECK_WINDOWS_NAMESPACE:-}" ] &&
  unshare --mount --propagation private true 2>/dev/null; then
  QH_CHECK_WINDOWS_NAMESPACE=1 exec unshare --mount --propagation private bash "$(realpath -- "$0")"
fi
cd "$(dirname "$0")/.."
build=${BUILD:-build}
check="check-windows"
# shellcheck source-path=SCRIPTDIR source=lib/play-check.sh
. scripts/lib/play-check.sh

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
read_only=""
# Windows reads a path in its own code page unless asked for UTF-8: the demo
# plays from here, so that it must find its own file by a path in UTF-8.
demo="démo ünïcødé"
player_files=(player.out player.err "$demo/crash.txt" "$demo/error.log" wineboot.log)
cleanup() {
  stop_display_and_player
  if [ -n "$read_only" ]; then umount "$read_only" 2>/dev/null || chmod u+w "$read_only"; fi
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

# The sound goes beside the run's files, not into the player's folder, which
# may be read-only.
sound=$(winepath -w "$work/sound.raw" 2>/dev/null) || fail "winepath cannot name $work/sound.raw"

# Starts EXE of DIR, in DIR, in the background.
start_player() {
  (cd "$work/$1" && exec env DISPLAY="$display" SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$sound" \
    wine "$2" </dev/null >"$work/player.out" 2>"$work/player.err") &
  player_pid=$!
  player_started=$SECONDS
}

start_player "$demo" demo.exe
wait_for_picture
wait_for_music "$work/sound.raw"
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
expect_fatal_report "$work/damaged/crash.txt" player.err $'\r\n'
[ ! -e "$work/damaged/error.log" ] || fail "error.log beside a demo whose package is damaged"
say "damaged package: crash.txt beside the demo and status 1 ($fatal_line)"

# A folder the player cannot write in, as on a CD: a read-only bind mount as
# root (in this script's own mount namespace), the folder's mode otherwise.
# Where it cannot, says why in `why`.
make_read_only() {
  if [ "$(id -u)" -ne 0 ]; then
    chmod a-w "$1"
  elif [ -z "${QH_CHECK_WINDOWS_NAMESPACE:-}" ]; then
    why="root writes anywhere, and there is no mount namespace here for a read-only mount"; return 1
  elif ! { mount --bind "$1" "$1" && mount -o remount,bind,ro "$1"; }; then
    why="no read-only bind mount here"; return 1
  fi
  read_only=$1
  if touch "$1/probe" 2>/dev/null; then why="the folder still takes files"; return 1; fi
}
mkdir "$work/read-only"
cp "$build/quillharbor.exe" "$work/read-only/plain.exe"
damaged_package "$work/$demo/demo.exe" "$work/read-only/damaged.exe"
make_read_only "$work/read-only" || {
  say "not checked: reports from a read-only folder ($why)"
  say "passed"
  exit 0
}

# %TEMP% under a user name outside the code page, as many users' is.
temp='C:\users\Zoë 小林\Temp'
mkdir -p "$WINEPREFIX/drive_c/users/Zoë 小林/Temp"
for variable in TEMP TMP; do
  wine reg add 'HKCU\Environment' /v "$variable" /d "$temp" /f >/dev/null 2>&1 || fail "wine reg could not set $variable"
done

# The report_path a player printed, seen from here: report_file.
find_report() {
  [[ $report_path == "$temp\\"* ]] || fail "the report is not in %TEMP%, $temp: $report_path"
  report_file=$(winepath -u "$report_path" 2>/dev/null)
}

player_files=(player.out player.err)
start_player read-only damaged.exe
wait_for_failure "damaged package, read-only folder"
expect_report_moved player.out crash.txt
find_report
expect_fatal_report "$report_file" player.err $'\r\n'
say "damaged package, read-only folder: status 1, crash.txt in $report_path, as standard output says"

start_player read-only plain.exe
wait_for_failure "no package, read-only folder"
tr -d '\r' <"$work/player.out" |
  grep -xF "If it was downloaded, the download may have been cut short: fetch it again." >/dev/null ||
  fail "the player without a package does not say a download may have been cut short"
expect_report_moved player.out error.log
find_report
printf 'Cannot find DEMO in executable. Please follow the instructions in Quillharbor.\n' |
  cmp -s - "$report_file" || fail "$report_path is not error.log, byte for byte"
say "no package, read-only folder: status 1, \"cut short\" said, error.log in $report_path, as standard output says"
say "passed"
