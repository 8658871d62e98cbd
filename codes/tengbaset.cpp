// The (2048, 1723) code of IEEE 802.3an (10GBASE-T): the parity-check
// matrix of the low-density parity-check codes built from Reed-Solomon codes
// with two information symbols, for GF(64) and codewords of 32 symbols.
//
// Construction: GF(64) from the primitive polynomial x^6 + x + 1 with alpha
// a root; g(X) = (X - alpha)(X - alpha^2)...(X - alpha^30) generates the
// (32, 2, 31) shortened Reed-Solomon code, spanned by r1 = (g0 .. g30, 0)
// and r2 = (0, g0 .. g30). The codewords beta w (beta in GF(64)) of the
// full-weight codeword w = r1 + alpha r2 differ in every symbol, so each
// coset {beta w + gamma r1} replaces its 64 codewords by location vectors
// (symbol s of position j becomes a one in column 64 j + l(s), l(0) = 0,
// l(alpha^k) = k + 1) that form a row of 32 permutation matrices of size 64.
// The six cosets gamma = 0, 1, alpha, .., alpha^4 stack into the 384 x 2048
// matrix: check 64 i + l(beta) is the codeword beta w + gamma_i r1. Its rank
// is 325, so the code has dimension 1723.
#include <vector>

#include "columns.h"
#include "standard.h"

namespace ldpc {

namespace {

struct galois64 {
  int exp[126];
  int log[64];
  galois64() {
    int x = 1;
    for (int i = 0; i < 63; ++i) {
      exp[i] = exp[i + 63] = x;
      log[x] = i;
      x <<= 1;
      if (x & 64) x ^= 0x43;  // x^6 + x + 1
    }
    log[0] = -1;
  }
  int mul(int a, int b) const { return a == 0 || b == 0 ? 0 : exp[log[a] + log[b]]; }
  int location(int s) const { return s == 0 ? 0 : log[s] + 1; }
};

}  // namespace

bool buildtengbaset(const standardrequest &r, standardcode *code, std::string *error) {
  if (!r.rate.empty() || r.lift != 0 || r.info != 0 || r.rv != 0 || r.tbslbrm != 0 ||
      (r.length != 0 && r.length != 2048)) {
    *error = "10gbase-t is one code, (2048, 1723); it takes no options but --length 2048";
    return false;
  }
  const galois64 field;
  std::vector<int> g = {1};
  for (int i = 1; i <= 30; ++i) {
    std::vector<int> next(g.size() + 1, 0);
    for (std::size_t k = 0; k < g.size(); ++k) {
      next[k + 1] ^= g[k];
      next[k] ^= field.mul(g[k], field.exp[i]);
    }
    g = next;
  }
  std::vector<int> r1(32, 0), r2(32, 0), w(32);
  for (int j = 0; j < 31; ++j) {
    r1[static_cast<std::size_t>(j)] = g[static_cast<std::size_t>(j)];
    r2[static_cast<std::size_t>(j) + 1] = g[static_cast<std::size_t>(j)];
  }
  for (int j = 0; j < 32; ++j)
    w[static_cast<std::size_t>(j)] =
        r1[static_cast<std::size_t>(j)] ^ field.mul(2, r2[static_cast<std::size_t>(j)]);

  // rows by coset and beta; scattered into columns
  const int gammas[6] = {0, 1, 2, 4, 8, 16};  // 0, 1, alpha .. alpha^4
  std::vector<std::vector<int>> cols(2048);
  for (int i = 0; i < 6; ++i)
    for (int beta = 0; beta < 64; ++beta)
      for (int j = 0; j < 32; ++j) {
        const int s = field.mul(beta, w[static_cast<std::size_t>(j)]) ^
                      field.mul(gammas[i], r1[static_cast<std::size_t>(j)]);
        cols[static_cast<std::size_t>(64 * j + field.location(s))].push_back(64 * i +
                                                                             field.location(beta));
      }
  columns matrix = emptycolumns(2048, 384);
  for (auto &c : cols) appendcolumn(&matrix, std::move(c), false);
  code->length = 2048;
  code->info = 1723;
  code->source = "IEEE Std 802.3 clause 55.3.2.2";
  code->pattern = sendall(2048);
  code->graph = graphofcolumns(matrix, error);
  return code->graph != nullptr;
}

}  // namespace ldpc
