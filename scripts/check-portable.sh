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
# The demo plays there under chroot, in a mount namespace of its own, on an
# Xvfb of this script's own, with Mesa's software renderer and its sound
# written by SDL's disk audio driver. Passes when the screen shows the demo's
# colours, the written sound holds music after the first section showed, and
# the player, sent Escape, exits with status 0.
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
player_files=(player.out player.err demo/crash.txt demo/error.log)
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
chown -R 65534:65534 "$work/demo"  # it plays as nobody, as a user would, not as root
say "demo: $(du -h "$work/demo/demo" | cut -f1) ${demo_in:-(the showcase packed by $build/quill)}"

start_display

# Everything the root gets is mounted in a namespace that ends with the
# player: the root itself read-only (the cache stays clean), a few device
# nodes, /proc, /sys, an empty /tmp with the X sockets, and /demo.
# shellcheck disable=SC2016  # expanded by the shell in the namespace
in_namespace='
set -e
root=$1 work=$2 display=$3
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
mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
mkdir "$root/tmp/.X11-unix"
mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
mount --bind "$work/demo" "$root/demo"
exec chroot --userspec=65534:65534 "$root" /usr/bin/env -i PATH=/usr/bin:/bin HOME=/demo DISPLAY="$display" \
  XDG_CACHE_HOME=/tmp/.cache LIBGL_ALWAYS_SOFTWARE=1 SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/demo/sound.raw \
  /bin/sh -c "cd /demo && exec ./demo"
'
# Every step execs the next, so this process id ends up being the player's.
unshare --mount --propagation private bash -c "$in_namespace" check-portable "$root" "$work" "$display" \
  </dev/null >"$work/player.out" 2>"$work/player.err" &
player_pid=$!
player_started=$SECONDS

wait_for_picture
wait_for_music "$work/demo/sound.raw"
press_escape
say "passed"
