#!/usr/bin/env bash
# Builds the library, the converter and the benchmark programs in release
# mode into build-bench/ and runs every benchmark: the converter, the round
# trip of a code description file and the graph constructions, each against
# its straightforward counterpart. Inputs are generated into bench/out/ on
# the first run; the tables are also kept in bench/out/results.txt. Takes a
# few minutes. Arguments go to benchrun: --repeats N, --quick,
# --only converter|roundtrip|construct; --only girth runs only the table of
# cycle removal and PEG (girthbench, about 5 minutes: PEG at 100,000 takes
# most of it), which otherwise comes last.
#
# scripts/bench.sh --threshold [--repeats N] [--quick] runs only the
# threshold benchmark (bench/thresholdbench.cpp).
#
# The decoder tables (bench/decodebench.cpp: the (3,6) code of 10,000 bits,
# the irregular code of 50,000, the 5G NR code K = 8448 rate 1/3 and the
# DVB-S2 normal frame of rate 1/2; about 3 minutes on a quiet machine) and
# the one-frame latency table (bench/intrabench.cpp) come after the tanner
# stats; --only decode runs only those two, DECODE_REPEATS (default 3) sets
# their repeats, and --quick runs them at one thread, 50 iterations only
# (intrabench: 64 frames, one repeat).
set -euo pipefail
cd "$(dirname "$0")/.."
builddir=${BENCH_BUILD_DIR:-build-bench}
cmake -S . -B "$builddir" -DCMAKE_BUILD_TYPE=Release -DLDPC_BUILD_TESTS=OFF \
  -DLDPC_BUILD_BENCH=ON >/dev/null
thresholdbench() {
  cmake --build "$builddir" --target thresholdbench -j "$(nproc)" >/dev/null
  mkdir -p bench/out
  {
    echo
    echo "== ensemble thresholds ($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg))"
    "$builddir"/bench/thresholdbench "$@"
  } | tee "${THRESHOLD_OUT:-bench/out/thresholds.txt}"
}
if [ "${1:-}" = "--threshold" ]; then
  shift
  thresholdbench "$@"
  exit 0
fi
mkdir -p bench/out
repeats=3
args=("$@")
for ((i = 0; i + 1 < ${#args[@]}; i++)); do
  [ "${args[i]}" = --repeats ] && repeats=${args[i + 1]}
done
decodeargs=(--repeats "${DECODE_REPEATS:-3}")
if [[ " $* " == *" --quick "* ]]; then decodeargs+=(--quick); fi
# Decoders: every algorithm and schedule against the straightforward
# double-precision sum-product decoder (bench/naivedecoder.h), on the four
# codes; then the one-frame decoder's latency beside the batched decoder's.
decodetables() {
  cmake --build "$builddir" --target decodebench intrabench -j "$(nproc)" >/dev/null
  {
    echo
    echo "== decoders (bench/decodebench.cpp)"
    "$builddir"/bench/decodebench "${decodeargs[@]}"
    echo
    echo "== one-frame latency (bench/intrabench.cpp)"
    "$builddir"/bench/intrabench "${decodeargs[@]}"
  } | tee -a bench/out/results.txt
}
if [[ " $* " == *" --only decode "* ]]; then
  : > bench/out/results.txt
  decodetables
  exit 0
fi
cmake --build "$builddir" --target benchmarks -j "$(nproc)" >/dev/null
girthtable() {
  echo
  "$builddir"/bench/girthbench --repeats "$repeats" | tee -a bench/out/results.txt
}
if [[ " $* " == *" --only girth "* ]]; then
  : > bench/out/results.txt
  girthtable
  exit 0
fi
"$builddir"/bench/benchrun "$builddir" bench/out "$@" | tee bench/out/results.txt

# tanner stats (4-cycles, girth, fingerprint) on graphs of about 100,000
# variable nodes and 300,000 edges: the random regular graph of genalist, and
# an array code of girth 6 (three block rows of circulant permutations,
# p = 16673), where the girth search cannot stop at a 4-cycle; then the
# shapes below, up to 10^6 edges.
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
# Shapes that made the counting quadratic: one check node of degree 100,000
# (and 333,334, 10^6 edges) over variable nodes of degree 3 whose other two
# checks are random; a theta graph (two nodes joined by three chains, the
# core all chains) of girth 40,000 (and of 10^6 edges); the complete
# bipartite graph of 1000 x 1000 nodes, the densest of 10^6 edges.
heavycheck() {  # N SEED: column v on row 1 and two random rows of 2..N/2+1
  awk -v n="$1" -v seed="$2" 'BEGIN {
    srand(seed); m = int(n / 2) + 1
    print n, m; print 3, n
    for (v = 0; v < n; v++) { a[v] = 2 + int(rand() * (m - 1)); do b[v] = 2 + int(rand() * (m - 1)); while (b[v] == a[v]) }
    for (v = 0; v < n; v++) printf "3%s", (v + 1 < n ? " " : "\n")
    for (v = 0; v < n; v++) { w[a[v]]++; w[b[v]]++ }
    printf "%d", n; for (r = 2; r <= m; r++) printf " %d", w[r] + 0; printf "\n"
    for (v = 0; v < n; v++) print 1, a[v], b[v]
  }'
}
theta() {  # L1 L2 L3 (odd): variable node 1 to row 1 by three chains
  awk -v l1="$1" -v l2="$2" -v l3="$3" 'BEGIN {
    len[1] = l1; len[2] = l2; len[3] = l3; n = 1; m = 1
    for (k = 1; k <= 3; k++) { at = 1
      for (s = 1; s < len[k]; s += 2) { m++; list[at] = list[at] " " m; n++; list[n] = m; at = n }
      list[at] = list[at] " " 1 }
    print n, m; print 3, 3
    for (v = 1; v <= n; v++) { c = split(list[v], x, " "); printf "%d%s", c, (v < n ? " " : "\n"); deg[v] = c }
    for (v = 1; v <= n; v++) { c = split(list[v], x, " "); for (i = 1; i <= c; i++) rw[x[i]]++ }
    for (r = 1; r <= m; r++) printf "%d%s", rw[r], (r < m ? " " : "\n")
    for (v = 1; v <= n; v++) { c = split(list[v], x, " "); line = ""
      for (i = 1; i <= 3; i++) line = line (i > 1 ? " " : "") (i <= c ? x[i] : 0); print line }
  }'
}
complete() {  # N: every column on every row
  awk -v n="$1" 'BEGIN {
    print n, n; print n, n
    for (i = 0; i < 2; i++) for (v = 1; v <= n; v++) printf "%d%s", n, (v < n ? " " : "\n")
    for (v = 1; v <= n; v++) for (r = 1; r <= n; r++) printf "%d%s", r, (r < n ? " " : "\n")
  }'
}
makeshape() {  # NAME GENERATOR ARGS...
  local name=$1; shift
  if [ ! -f "bench/out/$name.code" ]; then
    "$@" > "bench/out/$name.alist"
    "$builddir"/alistconv "bench/out/$name.alist" "bench/out/$name.code" >/dev/null
  fi
}
makeshape heavy-check-100000 heavycheck 100000 7
makeshape heavy-check-333334 heavycheck 333334 7
makeshape theta-girth40000 theta 19999 20001 59999
makeshape theta-1000000 theta 333333 333333 333335
makeshape complete-1000 complete 1000
[ -f bench/out/regular-100000.desc ] || { echo "missing bench/out/regular-100000.desc"; exit 1; }
{
  echo
  echo "== tanner stats: girth and 4-cycles (best of 3, wall clock)"
  for file in bench/out/regular-100000.desc bench/out/array-girth6.code \
      bench/out/heavy-check-100000.code bench/out/heavy-check-333334.code \
      bench/out/theta-girth40000.code bench/out/theta-1000000.code bench/out/complete-1000.code; do
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

decodetables

if [[ " $* " != *" --only "* ]]; then
  thresholdbench --repeats 3
  girthtable
fi
