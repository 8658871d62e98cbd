#!/usr/bin/env bash
# Builds and runs the whole test suite: the release build, then the same
# suite under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh tests
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DLDPC_BUILD_TESTS=ON \
  -DLDPC_BUILD_BENCH=ON -DLDPC_WERROR=ON >/dev/null
cmake --build build -j "$(nproc)"
ctest --test-dir build --output-on-failure -j "$(nproc)"

echo "== sanitizer build (address, undefined) =="
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DLDPC_SANITIZE=ON \
  -DLDPC_BUILD_BENCH=OFF -DLDPC_WERROR=ON >/dev/null
cmake --build build-sanitize -j "$(nproc)"
ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$(nproc)"

echo "== converter under valgrind (20,000 columns) =="
valgrinddir=$(mktemp -d)
trap 'rm -rf "$valgrinddir"' EXIT
# A padded alist of mixed column weights 2, 3 and 8 over 10,000 rows.
awk -v n=20000 'BEGIN {
  srand(1); m = n / 2; vmax = 8
  for (v = 1; v <= n; v++) {
    w[v] = (v % 10 < 5) ? 2 : (v % 10 < 8) ? 3 : 8
    for (s = 1; s <= w[v]; s++) { r = int(rand() * m) + 1; row[v, s] = r; rw[r]++ }
  }
  for (r = 1; r <= m; r++) if (rw[r] > cmax) cmax = rw[r]
  print n, m; print vmax, cmax
  for (v = 1; v <= n; v++) printf "%d ", w[v]; print ""
  for (r = 1; r <= m; r++) printf "%d ", rw[r]; print ""
  for (v = 1; v <= n; v++) {
    for (s = 1; s <= vmax; s++) printf "%d ", (s <= w[v]) ? row[v, s] : 0
    print ""
  }
}' >"$valgrinddir/mid.alist"
valgrind -q --error-exitcode=1 --track-origins=yes \
  build/alistconv "$valgrinddir/mid.alist" "$valgrinddir/mid.code" >/dev/null
build/alistconv "$valgrinddir/mid.alist" "$valgrinddir/native.code" >/dev/null
cmp "$valgrinddir/mid.code" "$valgrinddir/native.code"

echo "== fuzzing (30 s per harness) =="
scripts/fuzz.sh 30
