#!/usr/bin/env bash
# mpirun -np P tanner simulate against the one-process run of the same
# command: the table, JSON and CSV alike (Mb/s aside: wall clock), printed
# and written once (rank 0). Then a run under mpirun stopped by SIGTERM at a
# random moment and resumed on P ranks, and its ledger merged in one
# process, give the same outputs again; so does a run of the transmit chain
# (random codewords over 16-QAM, information-bit errors counted), with its
# ledger merged; an ensemble is refused by name.
#   tanner_mpi_test.sh MPIEXEC TANNER P
set -uo pipefail
mpiexec=$1
tanner=$2
np=$3
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The wall-clock figures blanked: the table's Mb/s column (after the stop
# reason), the CSV's last column, "mbps".
steady() {
  sed -E -e 's/"mbps": [^,}]+/"mbps": _/g' -e 's/(errors|frames|time) +[-0-9.e+]+/\1 _/' \
    -e 's/[ ,]+[-0-9.e+]+$/ _/' "$1"
}
same() {  # same WHAT STEM-A STEM-B
  for ext in txt json csv; do
    if ! diff <(steady "$2.$ext") <(steady "$3.$ext") >"$dir/diff"; then
      fail "$1: the $ext differs"; cat "$dir/diff"
    fi
  done
}

"$tanner" construct peg --vdeg 3 --vfrac 1 --length 96 --checks 48 "$dir/c96.code" >/dev/null || exit 1
sweep=(simulate "$dir/c96.code" --ebn0 1:4:1 --decoder nms --max-errors 300 --max-frames 40000
       --max-seconds 0 --min-fer 5e-2 --threads 1)
out() { echo --json "$dir/$1.json" --csv "$dir/$1.csv"; }

"$tanner" "${sweep[@]}" $(out one) >"$dir/one.txt" 2>"$dir/one.err" || { cat "$dir/one.err"; exit 1; }
grep -q "FER below --min-fer" "$dir/one.txt" || fail "the reference run does not end by --min-fer"

# The same run on np ranks.
start=$(date +%s%N)
"$mpiexec" --oversubscribe -np "$np" "$tanner" "${sweep[@]}" $(out many) >"$dir/many.txt" 2>"$dir/many.err"
status=$?
took=$((($(date +%s%N) - start) / 1000000))
[ "$status" -eq 0 ] || { fail "mpirun -np $np exited $status"; cat "$dir/many.err"; }
[ -s "$dir/many.err" ] && { fail "mpirun -np $np wrote on standard error"; cat "$dir/many.err"; }
same "mpirun -np $np" "$dir/one" "$dir/many"

# Interrupted at a random moment once decoding has begun (up to half the
# run above later), then resumed on np ranks.
ledger="$dir/run.ledger"
"$mpiexec" --oversubscribe -np "$np" "$tanner" "${sweep[@]}" --ledger "$ledger" $(out cut) \
  >"$dir/cut.txt" 2>"$dir/cut.err" &
pid=$!
for _ in $(seq 200); do
  [ "$(cat "$ledger" 2>/dev/null | wc -l)" -ge 2 ] && break
  sleep 0.05
done
moment=$((took * (RANDOM % 5) / 10))
sleep "$((moment / 1000)).$(printf %03d $((moment % 1000)))"
kill -TERM "$pid" 2>/dev/null
wait "$pid"
status=$?
echo "a run of $took ms stopped $moment ms after its first block: status $status," \
     "ledger of $(wc -l <"$ledger") lines"
if grep -q "interrupted by" "$dir/cut.err" && ! grep -q "resume with" "$dir/cut.err"; then
  fail "the interrupted run does not say how to resume"; cat "$dir/cut.txt" "$dir/cut.err"
fi
"$mpiexec" --oversubscribe -np "$np" "$tanner" "${sweep[@]}" --ledger "$ledger" --resume $(out resumed) \
  >"$dir/resumed.txt" 2>"$dir/resumed.err" || { fail "the resumed run failed"; cat "$dir/resumed.err"; }
same "resumed on $np ranks" "$dir/one" "$dir/resumed"

# Its ledger merged in one process.
"$tanner" merge "$ledger" $(out merged) >"$dir/merged.txt" 2>"$dir/merged.err" ||
  { fail "the merge failed"; cat "$dir/merged.err"; }
same "merged" "$dir/one" "$dir/merged"

# The transmit chain on np ranks, recorded in a ledger, and its merge.
chain=(simulate "$dir/c96.code" --ebn0 2:8:2 --decoder nms --max-errors 300 --max-frames 40000
       --max-seconds 0 --all-points --threads 1 --codeword random --modulation 16qam)
"$tanner" "${chain[@]}" $(out qone) >"$dir/qone.txt" 2>"$dir/qone.err" || { cat "$dir/qone.err"; exit 1; }
grep -q '"infobiterrors": ' "$dir/qone.json" || fail "the chain's run counts no information-bit errors"
"$mpiexec" --oversubscribe -np "$np" "$tanner" "${chain[@]}" --ledger "$dir/q.ledger" $(out qmany) \
  >"$dir/qmany.txt" 2>"$dir/qmany.err" || { fail "mpirun -np $np of the chain failed"; cat "$dir/qmany.err"; }
[ -s "$dir/qmany.err" ] && { fail "mpirun -np $np of the chain wrote on standard error"; cat "$dir/qmany.err"; }
same "the chain on $np ranks" "$dir/qone" "$dir/qmany"
"$tanner" merge "$dir/q.ledger" $(out qmerged) >"$dir/qmerged.txt" 2>"$dir/qmerged.err" ||
  { fail "the merge of the chain's ledger failed"; cat "$dir/qmerged.err"; }
same "the chain's ledger merged" "$dir/qone" "$dir/qmerged"

# An ensemble runs in one process only.
"$mpiexec" --oversubscribe -np "$np" "$tanner" simulate irregular --vdeg 3 --vfrac 1 --cdeg 6 --cfrac 1 \
  --length 96 --ebn0 2 >"$dir/ens.txt" 2>"$dir/ens.err"
[ $? -ne 0 ] && grep -q "one process only" "$dir/ens.err" || { fail "an ensemble under mpirun"; cat "$dir/ens.err"; }

[ "$failures" -eq 0 ] && echo "ok: mpirun -np $np tanner simulate equals one process"
exit $((failures > 0))
