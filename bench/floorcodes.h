// Codes with clear error floors for the error-floor benchmark, built from
// their algebraic definitions:
// - array codes (p prime, gamma block rows, k block columns): block (r, c)
//   is the p x p identity shifted by r c mod p, so row r p + i of the block
//   row joins column c p + (i + r c) mod p;
// - the Reed-Solomon-based code of Djurdjevic, Xu, Abdel-Ghaffar and Lin
//   ("A class of low-density parity-check codes constructed based on
//   Reed-Solomon codes with two information symbols", IEEE Commun. Lett. 7,
//   2003) over GF(64) (primitive polynomial x^6 + x + 1) with rho = 32 and
//   gamma = 6: the (2048, 1723) code with column weight 6 and row weight 32
//   whose parameters are those of the 10GBASE-T code. The RS code of length
//   32 with generator g(X) = prod_{j=1}^{30} (X + alpha^j) has two
//   information symbols; g_b = (1 + alpha^i X) g(X) with the smallest i
//   giving weight 32; block row r holds the 64 words gamma_r g + beta g_b
//   (gamma_r = 0, 1, alpha, ..., alpha^4), each symbol s in position j
//   replaced by the unit vector at 0 (s = 0) or 1 + log s in block column j.
// The rank over GF(2) is computed, so that the true dimension is printed
// beside the design rate.
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

inline ldpc::tannerlists rsbasedcode() {
  const int q = 64, rho = 32, gamma = 6;
  int exp[126], log[64] = {0};
  for (int i = 0, x = 1; i < 63; ++i) {
    exp[i] = exp[i + 63] = x;
    log[x] = i;
    x <<= 1;
    if (x & 64) x ^= 0x43;
  }
  auto mul = [&](int a, int b) { return a == 0 || b == 0 ? 0 : exp[log[a] + log[b]]; };
  auto polymul = [&](const std::vector<int> &a, const std::vector<int> &b) {
    std::vector<int> out(a.size() + b.size() - 1, 0);
    for (std::size_t i = 0; i < a.size(); ++i)
      for (std::size_t j = 0; j < b.size(); ++j) out[i + j] ^= mul(a[i], b[j]);
    return out;
  };
  std::vector<int> g = {1};
  for (int j = 1; j <= rho - 2; ++j) g = polymul(g, {exp[j], 1});
  std::vector<int> gb;
  for (int i = 0; i < 63 && gb.empty(); ++i) {
    std::vector<int> c = polymul({1, exp[i]}, g);
    bool full = true;
    for (int s : c) full &= s != 0;
    if (full) gb = c;
  }
  g.push_back(0);
  auto location = [&](int s) { return s == 0 ? 0 : 1 + log[s]; };
  std::vector<std::vector<int>> vchecks(rho * q);
  const int multipliers[gamma] = {0, 1, exp[1], exp[2], exp[3], exp[4]};
  for (int r = 0; r < gamma; ++r)
    for (int b = 0; b < q; ++b) {
      const int beta = b == 0 ? 0 : exp[b - 1];
      for (int j = 0; j < rho; ++j)
        vchecks[j * q + location(mul(multipliers[r], g[j]) ^ mul(beta, gb[j]))].push_back(
            r * q + location(beta));
    }
  return ldpc::listsfromchecks(gamma * q, vchecks);
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
