#!/usr/bin/env bash
# Draws the golden-image scenes again and writes them to tests/golden/, with
# the scene list and settings of the golden test itself (tests/e2e/
# golden_test.cpp): its binary renders each scene with quill and, told by
# QH_REGENERATE_GOLDEN where, writes the frames there instead of comparing.
# Builds nothing.
#
#   scripts/regenerate-golden.sh BUILD_DIR [SCENE...]
#
# Without SCENE it writes every scene (garden, title, textured_box, ...: the
# rows of the test). QUILL=path draws with another quill than
# BUILD_DIR/quill. Runs under xvfb-run where there is no display.
#
# Regenerate only when a change is meant to alter what is drawn, after
# looking at the old and new pictures (README.md, "Golden images").
set -euo pipefail
if [ $# -lt 1 ] || [ "$1" = -h ] || [ "$1" = --help ]; then
  echo "usage: scripts/regenerate-golden.sh BUILD_DIR [SCENE...]" >&2
  exit 2
fi
build=$(realpath -- "$1")
shift
tests="$build/tests/e2e_tests"
[ -x "$tests" ] || { echo "regenerate-golden: no $tests (build the e2e tests first)" >&2; exit 2; }
golden="$(realpath -- "$(dirname "$0")/..")/tests/golden"
mkdir -p "$golden"

filter="Scenes/Golden.*"
if [ $# -gt 0 ]; then
  filter=$(printf 'Scenes/Golden.*/%s:' "$@")
  filter=${filter%:}
fi
xrun=()
[ -n "${DISPLAY:-}" ] || xrun=(xvfb-run -a -s "-screen 0 1280x1024x24")

started=$(mktemp)
trap 'rm -f "$started"' EXIT
QH_REGENERATE_GOLDEN="$golden" QH_GOLDEN_QUILL="${QUILL:-$build/quill}" SDL_AUDIODRIVER=dummy \
  "${xrun[@]}" "$tests" --gtest_filter="$filter" --gtest_brief=1
# A name that is no row of the test selects nothing and writes nothing.
for scene in "$@"; do
  [ "$golden/$scene.png" -nt "$started" ] || { echo "regenerate-golden: no scene named $scene" >&2; exit 1; }
done
ls -l "$golden"
