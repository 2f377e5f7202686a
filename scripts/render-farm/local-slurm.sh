#!/usr/bin/env bash
# A private one-node Slurm cluster on this machine, made from Debian's
# packages, to try the farm scripts on and to test them with. Everything it
# uses lives in DIR: its own munge key, its own slurm.conf with ports that
# were free when it started, the controller's state, the node's spool, the
# logs and the daemons' process ids (only munged's socket lives apart, in a
# folder of its own in /tmp, as munged wants every folder above its socket
# open to all). Nothing in /etc, /run or /var is read or written, and a
# system Slurm on the machine is left alone.
#
#   scripts/render-farm/local-slurm.sh start DIR
#   export SLURM_CONF=DIR/slurm.conf   # then sbatch, squeue, sacct -c, ...
#   scripts/render-farm/local-slurm.sh stop DIR
#
# or, from a bash script that should own the daemons (and reap them):
#
#   source scripts/render-farm/local-slurm.sh
#   trap 'local_slurm_stop DIR' EXIT
#   local_slurm_start DIR   # exports SLURM_CONF
#
# Starting runs munged, slurmctld and slurmd in the background and returns
# once the node is idle; stopping cancels what is still queued and ends the
# three daemons by process id. Jobs run as root (the daemons' user), with the
# environment of the shell that submits them. There is no accounting
# database: `sacct -c` reads the job completion log.
#
# Exit status: 0 done, 1 failed, 2 usage, 77 the cluster cannot run here
# (one line says why and nothing is left running). Sourced, a cluster that
# cannot run ends the calling script the same way.

local_slurm_up_timeout=60    # seconds from starting the daemons to an idle node
local_slurm_stop_timeout=30  # seconds for the queue to empty and each daemon to exit

# Whether process $1 still runs program $2 (a process id that has gone to
# another program since, or a zombie, counts as ended).
_ls_runs() {
  local comm state
  comm=$(cat "/proc/$1/comm" 2>/dev/null) || return 1
  [ "$comm" = "$2" ] || return 1
  state=$(awk '/^State:/ {print $2}' "/proc/$1/status" 2>/dev/null) || return 1
  [ "$state" != Z ]
}
_ls_ended() { ! _ls_runs "$1" "$2"; }
_ls_queue_empty() { [ -z "$(squeue -h -o %A 2>/dev/null)" ]; }
# Whether no job step runs on the node: each one's slurmstepd has a socket in
# the spool folder $1 until it exits.
_ls_no_steps() { [ -z "$(find "$1" -maxdepth 1 -type s 2>/dev/null)" ]; }

# Runs check "${@:2}" every tenth of a second until it passes or $1 seconds
# have gone by.
_ls_poll() {
  local deadline=$(($(date +%s) + $1))
  shift
  until "$@"; do
    [ "$(date +%s)" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

local_slurm_stop() {
  local dir=$1 name pid jobs
  export SLURM_CONF=$dir/slurm.conf
  if [ -f "$dir/pids/slurmctld" ] && _ls_runs "$(cat "$dir/pids/slurmctld")" slurmctld; then
    jobs=$(squeue -h -o %A 2>/dev/null || true)
    if [ -n "$jobs" ]; then
      # shellcheck disable=SC2086  # a job id a word
      scancel $jobs 2>/dev/null || true
      _ls_poll "$local_slurm_stop_timeout" _ls_queue_empty || echo "local-slurm: jobs still queued: $jobs" >&2
    fi
  fi
  _ls_poll "$local_slurm_stop_timeout" _ls_no_steps "$dir/spool" || echo "local-slurm: job steps still running" >&2
  for name in slurmd slurmctld munged; do
    [ -f "$dir/pids/$name" ] || continue
    pid=$(cat "$dir/pids/$name")
    if _ls_runs "$pid" "$name"; then
      kill -TERM "$pid" 2>/dev/null || true
      if ! _ls_poll "$local_slurm_stop_timeout" _ls_ended "$pid" "$name"; then
        echo "local-slurm: $name ($pid) ignored SIGTERM; killing it" >&2
        kill -KILL "$pid" 2>/dev/null || true
      fi
    fi
    wait "$pid" 2>/dev/null || true  # reaps it when it was started from this shell
    rm -f "$dir/pids/$name"
  done
  if [ -f "$dir/munge/socket-dir" ]; then
    rm -rf -- "$(cat "$dir/munge/socket-dir")"
    rm -f "$dir/munge/socket-dir"
  fi
}

# Says why the cluster cannot run, stops what did start and exits with 77.
_ls_cannot() {
  echo "local-slurm: cannot run a Slurm cluster here: $2"
  local_slurm_stop "$1" 2>/dev/null
  exit 77
}

# A TCP port nobody has bound, below the kernel's ephemeral range, other
# than $1.
_ls_free_port() {
  local port
  for _ in $(seq 50); do
    port=$((20000 + RANDOM % 12000))
    [ "$port" != "${1:-}" ] || continue
    [ -n "$(ss -Htan "sport = :$port")" ] || { echo "$port"; return 0; }
  done
  return 1
}

# Runs daemon $2 (program and options "${@:3}") in the background, its output
# in $1/log/$2.out and its process id in $1/pids/$2.
_ls_launch() {
  local dir=$1 name=$2
  shift 2
  "$@" </dev/null >"$dir/log/$name.out" 2>&1 &
  echo $! >"$dir/pids/$name"
}

# Waits for check "${@:3}" while daemon $2 runs; when the daemon exits or the
# time runs out, the cluster cannot run here, for the daemon's last complaint.
_ls_await() {
  local dir=$1 name=$2 deadline=$(($(date +%s) + local_slurm_up_timeout)) pid last
  shift 2
  pid=$(cat "$dir/pids/$name")
  until "$@"; do
    if ! _ls_runs "$pid" "$name"; then
      last=$({ grep -iE 'error|fatal' "$dir/log/$name.out" || cat "$dir/log/$name.out"; } | tail -n 1)
      _ls_cannot "$dir" "$name exited: $last"
    fi
    [ "$(date +%s)" -lt "$deadline" ] || _ls_cannot "$dir" "$name not ready within ${local_slurm_up_timeout}s"
    sleep 0.1
  done
}

local_slurm_start() {
  local dir=$1 tool sockets ctld_port node_port host
  [ "$(id -u)" -eq 0 ] || _ls_cannot "$dir" "needs root (slurmd starts jobs as their user)"
  for tool in munged mungekey munge unmunge slurmctld slurmd scontrol sinfo squeue scancel ss; do
    command -v "$tool" >/dev/null || _ls_cannot "$dir" "no $tool (scripts/install-deps.sh installs it)"
  done
  mkdir -p "$dir"
  dir=$(realpath -- "$dir")
  [ ! -e "$dir/slurm.conf" ] || { echo "local-slurm: $dir already holds a cluster" >&2; return 1; }
  mkdir -p "$dir"/{munge,state,spool,log,pids}
  sockets=$(mktemp -d /tmp/local-slurm-munge.XXXXXX)
  chmod 711 "$sockets"
  echo "$sockets" >"$dir/munge/socket-dir"
  ctld_port=$(_ls_free_port) || _ls_cannot "$dir" "found no free port"
  node_port=$(_ls_free_port "$ctld_port") || _ls_cannot "$dir" "found no free port"
  host=$(hostname -s)

  cat >"$dir/slurm.conf" <<EOF
ClusterName=localfarm
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$node_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$sockets/munge.socket
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/state/slurmctld.pid
SlurmdPidFile=$dir/spool/slurmd.pid
SlurmctldLogFile=$dir/log/slurmctld.log
SlurmdLogFile=$dir/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/filetxt
JobCompLoc=$dir/log/jobcomp.txt
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SlurmdParameters=config_overrides
MpiDefault=none
ReturnToService=2
NodeName=$host NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=farm Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF
  export SLURM_CONF=$dir/slurm.conf

  mungekey --create --keyfile="$dir/munge/munge.key" --bits=1024
  _ls_launch "$dir" munged munged --foreground --socket="$sockets/munge.socket" \
    --key-file="$dir/munge/munge.key" --pid-file="$dir/munge/munged.pid" \
    --log-file="$dir/log/munged.log" --seed-file="$dir/munge/munged.seed"
  _ls_munge_works() { munge -n -S "$sockets/munge.socket" 2>/dev/null | unmunge -S "$sockets/munge.socket" >/dev/null 2>&1; }
  _ls_await "$dir" munged _ls_munge_works

  _ls_launch "$dir" slurmctld slurmctld -D -f "$SLURM_CONF"
  _ls_ctld_up() { scontrol ping >/dev/null 2>&1; }
  _ls_await "$dir" slurmctld _ls_ctld_up

  _ls_launch "$dir" slurmd slurmd -D -f "$SLURM_CONF" -N "$host"
  _ls_node_idle() { [ "$(sinfo -h -N -n "$host" -o %T 2>/dev/null)" = idle ]; }
  _ls_await "$dir" slurmd _ls_node_idle

  echo "local-slurm: node $host idle (controller port $ctld_port, node port $node_port); export SLURM_CONF=$SLURM_CONF" >&2
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  if [ $# -ne 2 ] || { [ "$1" != start ] && [ "$1" != stop ]; }; then
    echo "usage: scripts/render-farm/local-slurm.sh start|stop DIR" >&2
    exit 2
  fi
  if [ "$1" = stop ]; then
    local_slurm_stop "$2"
  else
    [ ! -e "$2/slurm.conf" ] || { echo "local-slurm: $2 already holds a cluster" >&2; exit 1; }
    trap 'local_slurm_stop "$2"' EXIT  # a start that fails half-way leaves nothing running
    local_slurm_start "$2"
    trap - EXIT
  fi
fi
