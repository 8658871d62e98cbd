#!/usr/bin/env bash
# Builds and runs the whole test suite: the release build, then the same
# suite under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
ctest --test-dir build --output-on-failure -j "$(nproc)"

echo "== sanitizer build (address, undefined) =="
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DLDPC_SANITIZE=ON \
  -DLDPC_BUILD_BENCH=OFF >/dev/null
cmake --build build-sanitize -j "$(nproc)"
ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$(nproc)"
