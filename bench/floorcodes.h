// Array codes for the error-floor benchmark, short codes with clear floors
// (p prime, gamma block rows, k block columns): block (r, c) is the p x p
// identity shifted by r c mod p, so row r p + i of the block row joins
// column c p + (i + r c) mod p. The rank over GF(2) gives the true
// dimension beside the design rate.
#ifndef LDPC_BENCH_FLOORCODES_H
#define LDPC_BENCH_FLOORCODES_H

#include <cstdint>
#include <vector>

#include "trappingsets.h"

namespace floorcodes {

inline ldpc::tannerlists arraycode(int p, int gamma, int k) {
  std::vector<std::vector<int>> vchecks(static_cast<std::size_t>(p) * k);
  for (int r = 0; r < gamma; ++r)
    for (int c = 0; c < k; ++c)
      for (int i = 0; i < p; ++i) vchecks[c * p + (i + r * c) % p].push_back(r * p + i);
  return ldpc::listsfromchecks(gamma * p, vchecks);
}

// The rank over GF(2) of the parity-check matrix.
inline int gf2rank(const ldpc::tannerlists &t) {
  const int words = (t.vnodenum + 63) / 64;
  std::vector<std::vector<std::uint64_t>> rows(t.cnodenum, std::vector<std::uint64_t>(words, 0));
  for (int c = 0; c < t.cnodenum; ++c)
    for (int v : t.cvariables[c]) rows[c][v / 64] ^= std::uint64_t{1} << (v % 64);
  int rank = 0;
  for (int col = 0; col < t.vnodenum && rank < t.cnodenum; ++col) {
    const int w = col / 64;
    const std::uint64_t bit = std::uint64_t{1} << (col % 64);
    int pivot = -1;
    for (int r = rank; r < t.cnodenum && pivot < 0; ++r)
      if (rows[r][w] & bit) pivot = r;
    if (pivot < 0) continue;
    std::swap(rows[rank], rows[pivot]);
    for (int r = 0; r < t.cnodenum; ++r)
      if (r != rank && (rows[r][w] & bit))
        for (int x = 0; x < words; ++x) rows[r][x] ^= rows[rank][x];
    ++rank;
  }
  return rank;
}

// Pairs of variable nodes sharing two or more checks (4-cycles).
inline std::int64_t fourcycles(const ldpc::tannerlists &t) {
  std::int64_t count = 0;
  std::vector<int> seen(t.vnodenum, 0);
  for (int v = 0; v < t.vnodenum; ++v) {
    for (int c : t.vchecks[v])
      for (int u : t.cvariables[c])
        if (u > v && ++seen[u] == 2) ++count;
    for (int c : t.vchecks[v])
      for (int u : t.cvariables[c]) seen[u] = 0;
  }
  return count;
}

}  // namespace floorcodes

#endif
