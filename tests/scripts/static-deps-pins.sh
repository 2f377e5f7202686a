#!/usr/bin/env bash
# scripts/static-deps.sh follows Debian's archive within an upstream version:
# a pinned revision the archive lacks builds the archive's revision of the
# same upstream version, says so, and is cached as what is built; another
# upstream version is refused, naming both. Looks up the libraries' prefix
# only, so nothing is built. Exit 77 where the apt sources have no source
# packages (static-deps.sh enables them the first time it builds).
set -uo pipefail
deps=$(cd "$(dirname "$0")/../../scripts" && pwd)/static-deps.sh
name=kissfft
revision=$(apt-cache showsrc --only-source "$name" 2>/dev/null | sed -n 's/^Version: //p' | sort -V | tail -n1)
[ -n "$revision" ] || { echo "skipped: the apt sources have no source package $name"; exit 77; }
upstream=${revision%-*}
# What the archive's own revision is cached as.
expected_prefix=$(bash "$deps" --pin "$name=$revision" --prefix 2>/dev/null)

failed=0
err=$(mktemp)
trap 'rm -f "$err"' EXIT
# pin | exit status | prefix: same (as the archive's revision) or none | what stderr says ("" = nothing)
rows=(
  "$revision|0|same|"
  "$upstream-0quill1|0|same|the archive has no $name $upstream-0quill1 (any more); building $revision, its revision of the same upstream version $upstream"
  "0.1-1|1|none|$name is pinned to 0.1-1 (upstream 0.1), but the archive offers $revision (upstream $upstream)"
)
for row in "${rows[@]}"; do
  IFS='|' read -r pin want_status want_prefix want_says <<<"$row"
  out=$(bash "$deps" --pin "$name=$pin" --prefix 2>"$err")
  status=$? says=$(cat "$err")
  problem=""
  [ "$status" = "$want_status" ] || problem="exit status $status, not $want_status"
  case "$want_prefix" in
    same) [ "$out" = "$expected_prefix" ] || problem+=" prefix '$out', not '$expected_prefix'" ;;
    none) [ -z "$out" ] || problem+=" printed a prefix '$out'" ;;
  esac
  if [ -z "$want_says" ]; then
    [ -z "$says" ] || problem+=" said '$says'"
  elif [ "$(grep -c . <<<"$says")" != 1 ] || [[ $says != *"$want_says"* ]]; then
    problem+=" said '$says', not one line with '$want_says'"
  fi
  if [ -n "$problem" ]; then
    echo "FAIL pin $name=$pin: ${problem# }"
    failed=1
  else
    echo "ok   pin $name=$pin"
  fi
done
exit "$failed"
