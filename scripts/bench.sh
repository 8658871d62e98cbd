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

# tanner stats (4-cycles, girth, fingerprint) on graphs of about 100,000
# variable nodes and 300,000 edges: the random regular graph of genalist, and
# an array code of girth 6 (three block rows of circulant permutations,
# p = 16673), where the girth search cannot stop at a 4-cycle.
tanner="$builddir/tanner"
cmake --build "$builddir" --target tanner alistconv -j "$(nproc)" >/dev/null
if [ ! -f bench/out/array-girth6.code ]; then
  awk 'function isprime(n,  d) { for (d = 2; d * d <= n; d++) if (n % d == 0) return 0; return 1 }
       BEGIN {
         p = 16667; while (!isprime(p)) p++
         n = 6 * p; m = 3 * p
         print n, m; print 3, 6
         for (v = 0; v < n; v++) printf "3%s", (v + 1 < n ? " " : "\n")
         for (r = 0; r < m; r++) printf "6%s", (r + 1 < m ? " " : "\n")
         for (j = 0; j < 6; j++)
           for (c = 0; c < p; c++)
             print (c % p) + 1, p + (c + j) % p + 1, 2 * p + (c + 2 * j) % p + 1
       }' > bench/out/array-girth6.alist
  "$builddir"/alistconv bench/out/array-girth6.alist bench/out/array-girth6.code >/dev/null
fi
[ -f bench/out/regular-100000.desc ] || { echo "missing bench/out/regular-100000.desc"; exit 1; }
{
  echo
  echo "== tanner stats: girth and 4-cycles (best of 3, wall clock)"
  for file in bench/out/regular-100000.desc bench/out/array-girth6.code; do
    best=""
    for run in 1 2 3; do
      start=$(date +%s%N)
      "$tanner" stats "$file" > bench/out/stats.txt
      took=$(( ($(date +%s%N) - start) / 1000000 ))
      if [ -z "$best" ] || [ "$took" -lt "$best" ]; then best=$took; fi
    done
    printf '  %-34s %s variable nodes, %s edges, girth %s, %s 4-cycles: %d.%03d s\n' \
      "$(basename "$file")" \
      "$(awk '/^variable nodes/ {print $3}' bench/out/stats.txt)" \
      "$(awk '/^edges/ {print $2}' bench/out/stats.txt)" \
      "$(awk '/^girth/ {print $2}' bench/out/stats.txt)" \
      "$(awk '/^4-cycles/ {print $2}' bench/out/stats.txt)" \
      $((best / 1000)) $((best % 1000))
  done
} | tee -a bench/out/results.txt
