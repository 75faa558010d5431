#!/usr/bin/env bash
# The studio batch on the engines it ships for: GNU parallel on this machine, and a Slurm job array
# on a single-node Slurm (munge, slurmctld, slurmd) started here for the test and stopped after.
# Both must write the very frames the plain batch writes. Exit 77 (skipped) without the packages.
# Usage: batch_engines_test.sh BIN_DIR SCRIPTS_DIR WORK_DIR
set -uo pipefail
bin="$1"
scripts="$2"
work="$3"
rm -rf "$work" && mkdir -p "$work"
work=$(realpath "$work")
source "$(dirname "${BASH_SOURCE[0]}")/../support/shell_check.sh"
export TURNLET_BATCH="$bin/turnlet-batch"

if ! command -v parallel >/dev/null; then
  echo "GNU parallel is not installed (scripts/setup.sh installs it)"
  exit 77
fi

# Four products (and one without photos: it fails in every engine) and the set-up; or, for the
# figures, the products of turnlet-make-sample folders under $TURNLET_ENGINES_SHOOT.
mkdir -p "$work/shoot/empty"
if [ -n "${TURNLET_ENGINES_SHOOT:-}" ]; then
  products=()
  for folder in "$TURNLET_ENGINES_SHOOT"/*/; do products+=("$(basename "$folder")"); done
  shoot=$(realpath "$TURNLET_ENGINES_SHOOT")
  sed -e 's/^EXPORT_FRAMES=.*/EXPORT_FRAMES=36\r/' "$shoot/${products[0]}/sample.trn.prj" >"$work/set-up.trn.prj"
else
  products=(cup mug vase jug)
  shoot="$work/shoot"
  for p in "${products[@]}"; do
    "$bin/turnlet-make-sample" "$shoot/$p" --frames 12 --width 480 --height 360 >/dev/null
    rm "$shoot/$p/sample.trn.prj" "$shoot/$p/jitter.csv"
  done
  "$bin/turnlet-make-sample" "$work/set-up" --frames 12 --width 480 --height 360 >/dev/null
  sed -e 's/^EXPORT_FRAMES=.*/EXPORT_FRAMES=12\r/' "$work/set-up/sample.trn.prj" >"$work/set-up.trn.prj"
fi
{
  printf '%s\n' "${products[@]/#/$shoot/}" | head -2
  echo "$work/shoot/empty"
  printf '%s\n' "${products[@]/#/$shoot/}" | tail -n +3
} >"$work/list.txt"
count=$((${#products[@]} + 1))

"$TURNLET_BATCH" "$work/set-up.trn.prj" --list "$work/list.txt" --output "$work/plain" --align --quiet 2>/dev/null
check "plain batch: a failure, exit 1" test $? -eq 1

same_as_plain() {  # same_as_plain ROOT: every product's frames and page byte for byte
  local p
  for p in "${products[@]}"; do
    diff -r -x '*.record' -x '*.prj' "$work/plain/$p" "$1/$p" >/dev/null || return 1
  done
}

# GNU parallel, two jobs at a time on this machine.
"$scripts/turnlet-batch-parallel" "$work/set-up.trn.prj" "$work/list.txt" "$work/parallel" --jobs 2 -- --align \
  >/dev/null 2>"$work/parallel.err"
check "parallel: exit 1 for the failing product" test $? -eq 1
check "parallel: the same frames" same_as_plain "$work/parallel"
check "parallel: report rows" test "$(wc -l <"$work/parallel/turnlet-batch-report.csv")" -eq $((count + 1))
check "parallel: products done by the jobs" \
  test "$(grep -c ',skipped,' "$work/parallel/turnlet-batch-report.csv")" -eq ${#products[@]}
check "parallel: the failure reported" grep -q '^empty,.*,failed,.*no photos' "$work/parallel/turnlet-batch-report.csv"

# Slurm: a private munge and Slurm (own key, socket, configuration and ports), so a Slurm or munge
# already running here is left alone. Needs root, as the daemons do.
if [ "$(id -u)" -ne 0 ] || ! command -v slurmctld >/dev/null || ! command -v munged >/dev/null; then
  echo "batch engines: $passed passed, $failed failed (Slurm skipped: needs root and slurm-wlm, munge)"
  test "$failed" -eq 0 || exit 1
  exit 77
fi
S="$work/slurm"
mkdir -p "$S"/{state,spool,log,munge}
chmod 700 "$S/munge"
dd if=/dev/urandom bs=1 count=1024 of="$S/munge/munge.key" status=none
chmod 400 "$S/munge/munge.key"
munge_pid=""
stop_slurm() {  # only the daemons this test started, by their pids; waits until they have gone
  local pids=() pid
  for f in "$S/slurmd.pid" "$S/slurmctld.pid"; do
    [ -f "$f" ] && pids+=("$(cat "$f")")
  done
  [ -n "$munge_pid" ] && pids+=("$munge_pid")
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null
  done
  for pid in "${pids[@]}"; do
    for _ in $(seq 1 100); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
  done
}
trap stop_slurm EXIT
/usr/sbin/munged --force --key-file="$S/munge/munge.key" --socket="$S/munge/socket" \
  --pid-file="$S/munge/munged.pid" --log-file="$S/munge/munged.log" --seed-file="$S/munge/seed" 2>"$S/munged.err"
munge_pid=$(cat "$S/munge/munged.pid" 2>/dev/null)
check "munge started" test -n "$munge_pid"

# Ports no other daemon listens on.
port=$((20000 + RANDOM % 20000))
while ss -ltn 2>/dev/null | grep -q ":$port \|:$((port + 1)) "; do port=$((port + 2)); done
host=$(hostname)
export SLURM_CONF="$S/slurm.conf"
cat >"$SLURM_CONF" <<CONF
ClusterName=turnlet-test
SlurmctldHost=$host
SlurmctldPort=$port
SlurmdPort=$((port + 1))
AuthType=auth/munge
AuthInfo=socket=$S/munge/socket
CredType=cred/munge
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
ReturnToService=2
SlurmUser=root
SlurmctldPidFile=$S/slurmctld.pid
SlurmdPidFile=$S/slurmd.pid
SlurmdSpoolDir=$S/spool
StateSaveLocation=$S/state
SlurmctldLogFile=$S/log/slurmctld.log
SlurmdLogFile=$S/log/slurmd.log
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
JobCompType=jobcomp/none
AccountingStorageType=accounting_storage/none
MpiDefault=none
NodeName=$host CPUs=$(nproc) RealMemory=$(free -m | awk '/Mem/{print int($2*0.8)}') State=UNKNOWN
PartitionName=main Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF
/usr/sbin/slurmctld -f "$SLURM_CONF" && /usr/sbin/slurmd -f "$SLURM_CONF"
for _ in $(seq 1 60); do
  sinfo -h -o '%t' 2>/dev/null | grep -q 'idle' && break
  sleep 1
done
check "slurm node idle" bash -c "sinfo -h -o '%t' | grep -q idle"

# One array task per product; the products take one core each so two run at once on this machine.
(cd "$work" && "$scripts/turnlet-batch-slurm" "$work/set-up.trn.prj" "$work/list.txt" "$work/slurm-out" \
  --wait --cpus-per-task=1 -- --align >"$work/slurm.txt" 2>&1)
check "slurm: exit 1 for the failing product" test $? -eq 1
check "slurm: an array task per product" test "$(ls "$work"/turnlet-batch-*_*.out 2>/dev/null | wc -l)" -eq $count
check "slurm: the same frames" same_as_plain "$work/slurm-out"
check "slurm: products done by the array" \
  test "$(grep -c ',skipped,' "$work/slurm-out/turnlet-batch-report.csv" 2>/dev/null)" -eq ${#products[@]}
check "slurm: the failure reported" grep -q '^empty,.*,failed,.*no photos' "$work/slurm-out/turnlet-batch-report.csv"
[ "$failed" -eq 0 ] || { cat "$work/slurm.txt"; tail -20 "$S/log/slurmctld.log"; }

echo "batch engines: $passed passed, $failed failed"
test "$failed" -eq 0
