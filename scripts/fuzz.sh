#!/usr/bin/env bash
# Builds the libFuzzer harnesses of the reading cores (tests/fuzz/, clang with
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs each for SECONDS
# (default 30), one harness at a time in a single process. Prints the
# executions and findings of each harness; exits with status 1 when any
# harness finds a crash, a leak, a timeout, an out-of-memory or a violated
# property (the inputs are kept under build-fuzz/findings/HARNESS/).
#
#   scripts/fuzz.sh [SECONDS]
#
# Each harness starts from its seed corpus (tests/fuzz/corpus/HARNESS and the
# examples of its format, which the build copies to build-fuzz/seeds/HARNESS)
# and replays the inputs of past findings (tests/fuzz/regressions/HARNESS);
# what it learns is kept in build-fuzz/corpus/HARNESS for the next run.
# FUZZ_BUILD_DIR and FUZZ_JOBS (build parallelism, default 2) may be set.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
build=${FUZZ_BUILD_DIR:-build-fuzz}
jobs=${FUZZ_JOBS:-2}

cmake -S tests/fuzz -B "$build" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j "$jobs" >/dev/null

status=0
ran=0
for harness in "$build"/*_fuzz; do
  [ -x "$harness" ] || continue
  name=$(basename "$harness" _fuzz)
  ran=$((ran + 1))
  work="$build/corpus/$name"
  findings="$build/findings/$name"
  log="$build/$name.log"
  rm -rf "$findings"
  mkdir -p "$work" "$findings"

  inputs=("$work" "tests/fuzz/corpus/$name")
  [ -d "$build/seeds/$name" ] && inputs+=("$build/seeds/$name")
  [ -d "tests/fuzz/regressions/$name" ] && inputs+=("tests/fuzz/regressions/$name")
  options=(-max_total_time="$seconds" -print_final_stats=1 -max_len=8192
           -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512
           -artifact_prefix="$findings/")
  [ -f "tests/fuzz/$name.dict" ] && options+=(-dict="tests/fuzz/$name.dict")

  rc=0
  "$harness" "${inputs[@]}" "${options[@]}" >"$log" 2>&1 || rc=$?

  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  count=$(find "$findings" -type f | wc -l)
  echo "$name: ${executions:-?} executions in ${seconds} s, $count finding(s)"
  if [ "$rc" -ne 0 ] || [ "$count" -ne 0 ]; then
    status=1
    grep -E 'property violated|^SUMMARY|ERROR: (libFuzzer|AddressSanitizer|LeakSanitizer)' "$log" \
      | head -n 5 | sed 's/^/  /' || true
    find "$findings" -type f | sed 's/^/  input: /'
    [ "$count" -eq 0 ] && tail -n 20 "$log" | sed 's/^/  /'
    echo "  log: $log"
  fi
done
if [ "$ran" -eq 0 ]; then
  echo "no fuzz harness was built in $build" >&2
  exit 1
fi
exit "$status"
