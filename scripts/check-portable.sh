#!/usr/bin/env bash
# `make check-portable`: plays a packed demo in a fresh Debian 12 root that
# holds only a minimal system, Mesa's GL, the X client libraries and ALSA's
# library, so whatever else the player needs must travel inside it.
#
#   scripts/check-portable.sh [PACKED_DEMO]
#
# Without PACKED_DEMO it packs the showcase with BUILD/quill (BUILD defaults
# to build), that is into the player quill packs by default. The root is made
# once by debootstrap from this machine's own apt source for bookworm and kept
# in portable-root/ of the machine's cache (scripts/lib/cache-root.sh).
# The demo plays there under chroot, in a mount namespace of its own, from a
# read-only working folder (as from a CD or a write-protected stick), on an
# Xvfb of this script's own, with Mesa's software renderer and its sound
# written by SDL's disk audio driver. Passes when:
#   - the screen shows the demo's colours, the written sound holds music after
#     the first section showed, and the player, sent Escape, exits with 0;
#   - the demo with a damaged package, from that folder, exits with 1, and
#     says on standard output that crash.txt is in /tmp, where it is;
#   - its player without the package says the download may have been cut
#     short and exits with 1, error.log in /tmp, said the same way.
#
# Exit status: 0 passed, 1 failed, 2 usage, 77 could not run here (says why).
set -euo pipefail
if [ $# -gt 1 ] || [ "${1:-}" = -h ] || [ "${1:-}" = --help ]; then
  echo "usage: scripts/check-portable.sh [PACKED_DEMO]" >&2
  exit 2
fi
demo_in=""
if [ $# -eq 1 ]; then
  [ -f "$1" ] || { echo "check-portable: no file $1" >&2; exit 2; }
  demo_in=$(realpath -- "$1")  # before the cd below
fi
cd "$(dirname "$0")/.."
build=${BUILD:-build}
check="check-portable"
# shellcheck source-path=SCRIPTDIR source=lib/play-check.sh
. scripts/lib/play-check.sh

suite=bookworm
variant=minbase
packages=libgl1-mesa-dri,libglx-mesa0,libgl1,libx11-6,libxext6,libxcursor1,libxi6,libxrandr2,libxss1,libxxf86vm1,libxfixes3,libasound2
bootstrap_timeout=840  # so that a hung download ends here, within the test's 1200 s

# What it cannot do without: each missing piece is a reason to skip, not a failure.
[ "$(id -u)" -eq 0 ] || skip "needs root (debootstrap, chroot and mounts)"
for tool in unshare chroot Xvfb import convert xdotool sox sha256sum; do
  command -v "$tool" >/dev/null || skip "no $tool on this machine"
done
unshare --mount --propagation private true 2>/dev/null || skip "cannot make a mount namespace here"

# The archive this machine itself installs from: a deb822 stanza or a
# sources.list line of type deb whose suites include bookworm. Prints the URI
# and, when the source names one, its keyring.
apt_source() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v suite="$suite" '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " suite " ") && uri != "") {
          print uri, signed; found = 1; exit
        }
        types = suites = uri = signed = ""
      }
      /^[ \t]*$/ { flush(); next }
      /^#/ { next }
      /^Types:/ { sub(/^Types:[ \t]*/, ""); types = $0 }
      /^Suites:/ { sub(/^Suites:[ \t]*/, ""); suites = $0 }
      /^URIs:/ { sub(/^URIs:[ \t]*/, ""); split($0, u, /[ \t]+/); uri = u[1] }
      /^Signed-By:/ { sub(/^Signed-By:[ \t]*/, ""); if ($0 ~ /^\//) signed = $0 }
      END { if (!found) flush() }' "$f"
  done
  [ -f /etc/apt/sources.list ] || return 0
  awk -v suite="$suite" '
    $1 == "deb" {
      line = $0; signed = ""
      if (match(line, /\[[^]]*\]/)) {
        opts = substr(line, RSTART + 1, RLENGTH - 2)
        if (match(opts, /signed-by=[^ ]+/)) signed = substr(opts, RSTART + 10, RLENGTH - 10)
        line = substr(line, 1, RSTART - 1) substr(line, RSTART + RLENGTH)
      }
      split(line, w, /[ \t]+/)
      if (w[3] == suite) { print w[2], signed; exit }
    }' /etc/apt/sources.list
}

# shellcheck source=lib/cache-root.sh
. scripts/lib/cache-root.sh
cache=$qh_cache_root/portable-root
key=$(printf '%s\n' "$suite" "$variant" "$packages" | sha256sum | cut -c1-12)
root=$cache/$key

work=$(mktemp -d "${TMPDIR:-/tmp}/check-portable.XXXXXX")
building=""
bootstrap_pid=""
cleanup() {
  stop_display_and_player
  # debootstrap leads a process group of its own (setsid), so its helpers end with it.
  if [ -n "$bootstrap_pid" ]; then kill -- -"$bootstrap_pid" 2>/dev/null || true; fi
  if [ -n "$building" ]; then rm -rf --one-file-system "$building"; fi
  if [ -n "$keep_work" ]; then say "its files are kept in $work"; else rm -rf --one-file-system "$work"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The root: made once per suite, variant and package list; renamed into place
# only when debootstrap succeeded, so a broken half root is never used.
if [ -d "$root" ]; then
  say "root: the cached one in $root"
else
  if ! command -v debootstrap >/dev/null; then
    say "installing debootstrap"
    { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap; } \
      >"$work/apt.log" 2>&1 || skip "debootstrap is missing and apt-get could not install it: $(tail -n 1 "$work/apt.log")"
  fi
  read -r mirror keyring < <(apt_source; echo) || true
  [ -n "$mirror" ] || skip "this machine's apt sources name no archive for $suite"
  mkdir -p "$cache"
  # Leftovers of runs that were killed outright; never read, only removed.
  find "$cache" -maxdepth 1 -name '.building.*' -mmin +1440 -exec rm -rf --one-file-system {} + 2>/dev/null || true
  building=$(mktemp -d "$cache/.building.XXXXXX")
  chmod 755 "$building"  # the root's / : mktemp made it for its owner alone
  say "root: making a $suite $variant root from $mirror (a few minutes, once)"
  started=$SECONDS
  # In a mount namespace of its own, so nothing it mounts outlives it.
  setsid unshare --mount --propagation private timeout "$bootstrap_timeout" \
    debootstrap --variant="$variant" --include="$packages" ${keyring:+--keyring="$keyring"} \
    "$suite" "$building" "$mirror" >"$work/debootstrap.log" 2>&1 &
  bootstrap_pid=$!
  status=0
  wait "$bootstrap_pid" || status=$?
  bootstrap_pid=""
  if [ "$status" -ne 0 ]; then
    if grep -qE "Failed getting release file|Couldn't download|Temporary failure resolving|Could not resolve" "$work/debootstrap.log"; then
      skip "debootstrap could not reach $mirror: $(grep -m1 -E '^E:' "$work/debootstrap.log" || tail -n 1 "$work/debootstrap.log")"
    fi
    tail -n 20 "$work/debootstrap.log"
    if [ "$status" -eq 124 ]; then
      say "FAILED: debootstrap did not finish within $bootstrap_timeout s"
    else
      say "FAILED: debootstrap ended with status $status"
    fi
    exit 1
  fi
  mkdir "$building/demo"  # where each run's own folder is mounted
  if mv -T "$building" "$root" 2>/dev/null; then
    building=""
  else
    say "root: another run made it first; using that one"
  fi
  say "root: made in $((SECONDS - started)) s, $(du -sh --one-file-system "$root" | cut -f1) in $root"
fi
if ! [ -d "$root/demo" ] || ! [ -x "$root/bin/sh" ]; then
  say "FAILED: $root is not a root this script made"
  exit 1
fi

# The demo, in a folder of this run's own that becomes /demo in the root.
mkdir "$work/demo"
if [ -n "$demo_in" ]; then
  cp "$demo_in" "$work/demo/demo"
else
  [ -x "$build/quill" ] || { say "FAILED: no $build/quill; run make build first"; exit 1; }
  "$build/quill" pack examples/showcase/project.json -o "$work/demo/demo" >"$work/pack.log" 2>&1 ||
    { cat "$work/pack.log"; say "FAILED: quill pack did not pack the showcase"; exit 1; }
fi
chmod 755 "$work/demo/demo"
damaged_package "$work/demo/demo" "$work/demo/damaged"
bare_player "$work/demo/demo" "$work/demo/bare"
# It plays as nobody, as a user would, not as root, and from a folder of its
# own that only the mount makes read-only.
chown -R 65534:65534 "$work/demo"
say "demo: $(du -h "$work/demo/demo" | cut -f1) ${demo_in:-(the showcase packed by $build/quill)}"

start_display

# Everything the root gets is mounted in a namespace that ends with the
# player: the root itself read-only (the cache stays clean), a few device
# nodes, /proc, /sys, the run's own empty /tmp with the X sockets, and /demo,
# read-only.
# shellcheck disable=SC2016  # expanded by the shell in the namespace
in_namespace='
set -e
root=$1 work=$2 display=$3 tmp=$4 program=$5
mount --bind "$root" "$root"
mount -o remount,bind,ro "$root"
mount -t proc proc "$root/proc"
mount -t sysfs -o ro sysfs "$root/sys"
mount -t tmpfs -o mode=755 tmpfs "$root/dev"
for node in null zero full random urandom; do
  touch "$root/dev/$node"
  mount --bind "/dev/$node" "$root/dev/$node"
done
ln -s /proc/self/fd "$root/dev/fd"
ln -s /proc/self/fd/0 "$root/dev/stdin"
ln -s /proc/self/fd/1 "$root/dev/stdout"
ln -s /proc/self/fd/2 "$root/dev/stderr"
mkdir "$root/dev/shm"
mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
mount --bind "$work/$tmp" "$root/tmp"
mkdir "$root/tmp/.X11-unix"
mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
mount --bind "$work/demo" "$root/demo"
mount -o remount,bind,ro "$root/demo"
exec chroot --userspec=65534:65534 "$root" /usr/bin/env -i PATH=/usr/bin:/bin HOME=/demo DISPLAY="$display" \
  XDG_CACHE_HOME=/tmp/.cache LIBGL_ALWAYS_SOFTWARE=1 SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/tmp/sound.raw \
  /bin/sh -c "cd /demo && exec ./$program"
'
# Starts /demo/PROGRAM in the root, in /demo, with $work/NAME.tmp as its /tmp
# and its output in $work/NAME.out and NAME.err. Every step execs the next,
# so player_pid ends up being the player's.
start_in_root() {
  local name=$1 program=$2
  mkdir -m 1777 "$work/$name.tmp"
  player_files=("$name.out" "$name.err" "$name.tmp/crash.txt" "$name.tmp/error.log")
  unshare --mount --propagation private bash -c "$in_namespace" check-portable \
    "$root" "$work" "$display" "$name.tmp" "$program" </dev/null >"$work/$name.out" 2>"$work/$name.err" &
  player_pid=$!
  player_started=$SECONDS
}

# The report_path the run NAME printed, seen from here: report_file.
find_report() {
  [[ $report_path == /tmp/* ]] || fail "the report is not in the temporary folder, /tmp: $report_path"
  report_file=$work/$1.tmp/${report_path#/tmp/}
}

start_in_root play demo
wait_for_picture
wait_for_music "$work/play.tmp/sound.raw"
press_escape
say "read-only folder: the demo played from it"

start_in_root damaged damaged
wait_for_failure "damaged package"
expect_report_moved damaged.out crash.txt
find_report damaged
expect_fatal_report "$report_file" damaged.err $'\n'
say "damaged package: status 1, crash.txt in $report_path, as standard output says ($fatal_line)"

start_in_root bare bare
wait_for_failure "no package"
grep -qxF "If it was downloaded, the download may have been cut short: fetch it again." "$work/bare.out" ||
  fail "the player without a package does not say a download may have been cut short"
expect_report_moved bare.out error.log
find_report bare
printf 'Cannot find DEMO in executable. Please follow the instructions in Quillharbor.\n' |
  cmp -s - "$report_file" || fail "$report_path does not say the package is missing"
say "no package: status 1, \"cut short\" said, error.log in $report_path, as standard output says"
say "passed"
