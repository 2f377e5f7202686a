#!/usr/bin/env bash
# The compiler cache every build of this tree compiles through: Debian's
# ccache, in one folder beside the static libraries (scripts/lib/cache-root.sh),
# shared by every clone on the machine. Paths under the clone are hashed as
# paths relative to it and the working folder is not hashed, so a clone in
# another folder hits the entries another clone made. QH_CCACHE=0 builds
# without it; what is built is the same.
#
#   scripts/ccache.sh COMPILER ARGS...     compile (CMake's compiler launcher)
#   scripts/ccache.sh --mark FILE          note the counters, at the start of a run
#   scripts/ccache.sh --report FILE        the hit rate since that note
#
# QH_CCACHE_BASEDIR names another base folder, for sources outside the clone
# (the static libraries, unpacked in a scratch folder of their own).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=lib/cache-root.sh
. "$here/lib/cache-root.sh"

export CCACHE_DIR=$qh_cache_root/ccache
export CCACHE_BASEDIR=${QH_CCACHE_BASEDIR:-${here%/*}}
export CCACHE_NOHASHDIR=1
# Every build make test makes, with its debug information: the development,
# sanitizer and thread-sanitizer builds, both players and their libraries.
export CCACHE_MAXSIZE=6G

# The hits and the compilations among the counters ccache prints.
counters() {
  ccache --print-stats | awk -F'\t' '
    $1 == "direct_cache_hit" || $1 == "preprocessed_cache_hit" { hits += $2 }
    $1 == "cache_miss" { misses += $2 }
    END { print hits + 0, misses + 0 }'
}

case "${1:-}" in
  --mark)
    [ $# -eq 2 ] || { echo "usage: ccache.sh --mark FILE" >&2; exit 2; }
    mkdir -p "$(dirname "$2")"
    if command -v ccache >/dev/null; then counters >"$2"; else echo "0 0" >"$2"; fi
    ;;
  --report)
    [ $# -eq 2 ] || { echo "usage: ccache.sh --report FILE" >&2; exit 2; }
    if [ "${QH_CCACHE:-1}" = 0 ] || ! command -v ccache >/dev/null; then
      echo "compiler cache: not used"
      exit 0
    fi
    read -r hits0 misses0 <"$2" 2>/dev/null || { hits0=0; misses0=0; }
    read -r hits misses < <(counters)
    hits=$((hits - hits0)) misses=$((misses - misses0))
    total=$((hits + misses))
    if [ "$total" -eq 0 ]; then
      echo "compiler cache: nothing compiled ($CCACHE_DIR)"
    else
      echo "compiler cache: $hits of $total compilations hit, $((100 * hits / total)) % ($CCACHE_DIR)"
    fi
    ;;
  -*)
    echo "usage: ccache.sh COMPILER ARGS... | --mark FILE | --report FILE" >&2
    exit 2
    ;;
  *)
    exec ccache "$@"
    ;;
esac
