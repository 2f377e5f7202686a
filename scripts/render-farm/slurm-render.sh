#!/usr/bin/env bash
# Renders a demo on a Slurm cluster: an array job with one task per part
# (task K renders segment K of N with quill render), then a job that joins
# the parts into one video once every task has succeeded. Prints the two job
# ids and returns; squeue and sacct follow the jobs.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=farm-lib.sh
source "$(dirname -- "${BASH_SOURCE[0]}")/farm-lib.sh"

usage() {
  cat <<EOF
usage: scripts/render-farm/slurm-render.sh [options] FILE N OUT.mp4 [-- quill render options...]

Submits N tasks that render the N parts of FILE (a packed demo or a
project.json) into the parts folder, PARTS/part-K, and a job that joins them
into OUT.mp4 when all of them have succeeded (it is cancelled when one fails).
The job scripts (PARTS/render.sbatch, PARTS/join.sbatch) and the jobs' output
(PARTS/slurm-*.out) stay in the parts folder; one failed part can be run
again with: sbatch --array=K PARTS/render.sbatch, then sbatch PARTS/join.sbatch.

  --sbatch OPTION     an option for sbatch, for both jobs, such as
                      --sbatch --partition=render --sbatch --time=01:00:00
                      (repeat it; sbatch's SBATCH_* variables work too)
  --max-running M     at most M parts at once
$farm_common_usage
Every node needs quill, ffmpeg and an OpenGL context: a DISPLAY in the
submitting shell's environment (which the jobs inherit), else Xvfb on the
node, else SDL's offscreen driver.
EOF
  exit "${1:-2}"
}

sbatch_options=()
max_running=""
while [ $# -gt 0 ]; do
  case $1 in
    -h | --help) usage 0 ;;
    --sbatch) [ $# -ge 2 ] || usage; sbatch_options+=("$2"); shift 2 ;;
    --max-running) [[ ${2:-} =~ ^[1-9][0-9]*$ ]] || usage; max_running=%$2; shift 2 ;;
    --parts | --quill) farm_option "$@"; shift 2 ;;
    -*) usage ;;
    *) break ;;
  esac
done
farm_positional "$@"
command -v sbatch >/dev/null || farm_fail "no sbatch here: run it where Slurm's commands are"

# The job scripts, with every argument quoted for bash.
{
  echo '#!/usr/bin/env bash'
  echo "# Task K of the array renders part K of $farm_count."
  printf 'exec'
  printf ' %q' "$farm_node_job" part "$farm_quill" "$farm_file"
  # shellcheck disable=SC2016  # the job's shell expands it
  printf ' "$SLURM_ARRAY_TASK_ID"/%q' "$farm_count"
  printf ' %q' "$farm_parts" "${farm_extra[@]}"
  echo
} >"$farm_parts/render.sbatch"
{
  echo '#!/usr/bin/env bash'
  printf 'exec'
  printf ' %q' "$farm_node_job" join "$farm_quill" "$farm_count" "$farm_parts" "$farm_out"
  echo
} >"$farm_parts/join.sbatch"

render_job=$(sbatch --parsable --job-name=quill-render --array="1-$farm_count$max_running" \
  --output="$farm_parts/slurm-render-%A_%a.out" "${sbatch_options[@]}" "$farm_parts/render.sbatch")
render_job=${render_job%%;*}  # the id alone, without the cluster's name
join_job=$(sbatch --parsable --job-name=quill-join --dependency="afterok:$render_job" \
  --kill-on-invalid-dep=yes --output="$farm_parts/slurm-join-%j.out" "${sbatch_options[@]}" \
  "$farm_parts/join.sbatch")
join_job=${join_job%%;*}

echo "render job $render_job: parts 1-$farm_count of $farm_file in $farm_parts"
echo "join job $join_job: $farm_out, once every part of job $render_job has succeeded"
echo "follow them with: squeue -j $render_job,$join_job; afterwards: sacct -j $render_job,$join_job"
