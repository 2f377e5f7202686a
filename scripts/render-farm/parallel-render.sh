#!/usr/bin/env bash
# Renders a demo on a few machines reached over ssh, or in a few processes on
# this one, with GNU parallel: the N parts at once as slots allow, then their
# join into one video here. Returns when the video is written.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=farm-lib.sh
source "$(dirname -- "${BASH_SOURCE[0]}")/farm-lib.sh"

usage() {
  cat <<EOF
usage: scripts/render-farm/parallel-render.sh [options] FILE N OUT.mp4 [-- quill render options...]

Renders the N parts of FILE (a packed demo or a project.json) into the parts
folder, PARTS/part-K, on the machines -S names (each over ssh; ':' is this
machine), then joins them into OUT.mp4 on this machine. When a part fails it
stops the others and exits with status 1.

  -S HOSTS            machines to render on, as GNU parallel takes them:
                      host1,user@host2,4/host3 (4 slots on host3), ':' this one
                      (default: this machine only)
  -j SLOTS            parts at once on each machine (default: one per CPU core)
  --parallel OPTION   an option for GNU parallel, such as --parallel --sshdelay=0.2
                      (repeat it)
$farm_common_usage
Every machine needs quill, ffmpeg and an OpenGL context (a display, else
Xvfb, else SDL's offscreen driver); the ssh logins must need no password.
EOF
  exit "${1:-2}"
}

parallel_options=()
while [ $# -gt 0 ]; do
  case $1 in
    -h | --help) usage 0 ;;
    -S | -j | --parallel)
      [ $# -ge 2 ] || usage
      if [ "$1" = --parallel ]; then parallel_options+=("$2"); else parallel_options+=("$1" "$2"); fi
      shift 2
      ;;
    --parts | --quill) farm_option "$@"; shift 2 ;;
    -*) usage ;;
    *) break ;;
  esac
done
farm_positional "$@"
command -v parallel >/dev/null || farm_fail "no GNU parallel here (Debian: apt-get install parallel)"

# -q passes each argument through the shell (and ssh) as it is; --tag puts
# the part's number before each line it prints.
if ! parallel --will-cite --halt now,fail=1 --tag -q "${parallel_options[@]}" \
  "$farm_node_job" part "$farm_quill" "$farm_file" "{}/$farm_count" "$farm_parts" "${farm_extra[@]}" \
  ::: $(seq "$farm_count"); then
  farm_fail "a part failed: the lines above, tagged with its number, say why"
fi
"$farm_node_job" join "$farm_quill" "$farm_count" "$farm_parts" "$farm_out"
echo "parallel-render: $farm_out (parts in $farm_parts)"
