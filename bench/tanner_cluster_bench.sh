#!/usr/bin/env bash
# Frames per second of tanner simulate in one process (--threads 2) against
# mpirun -np 2 (--threads 1 each), and the ledger's overhead, on a (3,6)
# code of 576 bits at one Eb/N0 with a fixed number of frames; the runs
# alternate, ROUNDS times (default 3). Prints each run's frames per second
# and FER, and the load average.
#   bench/tanner_cluster_bench.sh TANNER [ROUNDS]
set -euo pipefail
tanner=$1
rounds=${2:-3}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$tanner" construct peg --vdeg 3 --vfrac 1 --length 576 --checks 288 "$dir/c576.code" >/dev/null
frames=${FRAMES:-30000}
run=("$dir/c576.code" --ebn0 2.5 --decoder nms --max-errors 1000000000 --max-frames "$frames" --max-seconds 0)
measure() {  # measure NAME COMMAND...: frames per second and the FER
  local name=$1 start end
  shift
  start=$(date +%s%N)
  "$@" --json "$dir/out.json" >/dev/null
  end=$(date +%s%N)
  fer=$(grep -o '"fer": [^,]*' "$dir/out.json" | head -1 | cut -d' ' -f2)
  echo "$name $(awk -v f="$frames" -v ns=$((end - start)) 'BEGIN { printf "%.0f", f / (ns / 1e9) }') frames/s FER $fer"
}
for r in $(seq "$rounds"); do
  measure one-process "$tanner" simulate "${run[@]}" --threads 2
  measure mpirun-np2 mpirun --oversubscribe -np 2 "$tanner" simulate "${run[@]}" --threads 1
  rm -f "$dir/run.ledger"
  measure with-ledger "$tanner" simulate "${run[@]}" --threads 2 --ledger "$dir/run.ledger"
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
