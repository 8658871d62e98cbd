#!/usr/bin/env bash
# A rank that dies ends the run with mpirun's message and a non-zero status;
# the ledger that rank 0 wrote holds what was finished, and a run on fewer
# ranks resumes it to the one-process result.
#   cluster_test.sh MPIEXEC CLUSTERCHECK
set -uo pipefail
mpiexec=$1
check=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
ledger="$dir/run.ledger"

"$mpiexec" --oversubscribe -np 3 "$check" --die 1:300 "$ledger" >"$dir/out" 2>"$dir/err"
status=$?
if [ "$status" -eq 0 ]; then
  echo "FAIL: the run whose rank died exited 0"; cat "$dir/err"; exit 1
fi
if ! grep -q "exit code\|exited\|Exit code" "$dir/err"; then
  echo "FAIL: no message names the rank that ended"; cat "$dir/err"; exit 1
fi
lines=$(wc -l <"$ledger")
echo "the run ended with status $status; the ledger holds $lines lines"
"$mpiexec" --oversubscribe -np 2 "$check" --resume "$ledger" || exit 1
