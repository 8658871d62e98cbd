#!/usr/bin/env bash
# Builds the library, the converter and the benchmark programs in release
# mode into build-bench/ and runs every benchmark: the converter, the round
# trip of a code description file and the graph constructions, each against
# its straightforward counterpart. Inputs are generated into bench/out/ on
# the first run; the tables are also kept in bench/out/results.txt. Takes a
# few minutes. Arguments go to benchrun: --repeats N, --quick,
# --only converter|roundtrip|construct.
set -euo pipefail
cd "$(dirname "$0")/.."
builddir=${BENCH_BUILD_DIR:-build-bench}
cmake -S . -B "$builddir" -DCMAKE_BUILD_TYPE=Release -DLDPC_BUILD_TESTS=OFF \
  -DLDPC_BUILD_BENCH=ON >/dev/null
cmake --build "$builddir" --target benchmarks -j "$(nproc)" >/dev/null
mkdir -p bench/out
"$builddir"/bench/benchrun "$builddir" bench/out "$@" | tee bench/out/results.txt
