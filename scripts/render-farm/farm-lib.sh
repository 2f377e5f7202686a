# shellcheck shell=bash disable=SC2034  # sets what the scripts that source it use
# What the farm's submit scripts (slurm-render.sh, parallel-render.sh) share:
# their common arguments and where the node's side of the work lives.
# Sourced, not run.
#
# Arguments common to both: [--parts DIR] [--quill PATH] FILE N OUT.mp4
# [-- quill render options...]. After farm_positional they are in
#   farm_file   FILE, absolute
#   farm_count  N
#   farm_out    OUT.mp4, absolute; its folder exists
#   farm_parts  the parts folder, absolute, made (default: OUT without its
#               extension, plus .parts)
#   farm_quill  quill on the nodes, absolute when it names a file
#   farm_extra  the quill render options, an array
#   farm_node_job  node-job.sh, absolute (the nodes run it from where it is)

farm_node_job=$(realpath -- "$(dirname -- "${BASH_SOURCE[0]}")/node-job.sh")
farm_parts=""
farm_quill=${QUILL:-}
farm_extra=()

farm_common_usage="  --parts DIR         where the parts go, on a filesystem every node shares
                      (default: OUT.mp4 without its extension, plus .parts)
  --quill PATH        quill on the nodes (default: \$QUILL, else the quill on
                      PATH here)
Options after -- go to every quill render (--no-frames, --verbose, ...).
FILE, OUT.mp4, the parts folder, quill and this folder must have the same
paths on every node: a shared filesystem."

# Says message $1 and exits with status $2 (default 1).
farm_fail() {
  echo "$(basename -- "$0"): $1" >&2
  exit "${2:-1}"
}

# Takes option $1 with value $2 when it is a common one; returns 1 otherwise.
farm_option() {
  [ $# -ge 2 ] || farm_fail "$1 needs a value" 2
  case $1 in
    --parts) farm_parts=$2 ;;
    --quill) farm_quill=$2 ;;
    *) return 1 ;;
  esac
}

# Takes FILE N OUT.mp4 [-- quill render options...].
farm_positional() {
  [ $# -ge 3 ] || farm_fail "needs FILE N OUT.mp4 (--help tells more)" 2
  [ -f "$1" ] || farm_fail "no file $1" 2
  [[ $2 =~ ^[1-9][0-9]*$ ]] || farm_fail "N must be a whole number from 1 (got \"$2\")" 2
  farm_file=$(realpath -- "$1")
  farm_count=$2
  farm_out=$(realpath -m -- "$3")
  shift 3
  if [ $# -gt 0 ]; then
    [ "$1" = -- ] || farm_fail "unexpected \"$1\": quill render options go after --" 2
    shift
    farm_extra=("$@")
  fi
  [ -n "$farm_parts" ] || farm_parts=${farm_out%.*}.parts
  farm_parts=$(realpath -m -- "$farm_parts")
  if [ -z "$farm_quill" ]; then
    farm_quill=$(command -v quill) || farm_fail "no quill on PATH: give --quill PATH" 2
  fi
  case $farm_quill in */*) farm_quill=$(realpath -m -- "$farm_quill") ;; esac
  mkdir -p -- "$(dirname -- "$farm_out")" "$farm_parts"
}
