// Dense GF(2) matrices: elimination and inversion on 64-bit words.
#include "bitmatrix.h"

#include <utility>

namespace ldpc {

std::int64_t bitmatrixbytes(std::int64_t rows, std::int64_t cols) {
  if (rows <= 0 || cols <= 0) return 0;
  return rows * ((cols + 63) / 64) * 8;
}

std::string bytestext(std::int64_t bytes) {
  if (bytes < (1 << 20)) return std::to_string(bytes) + " bytes";
  return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MiB";
}

bitmatrix zerobitmatrix(int rows, int cols) {
  bitmatrix a;
  a.rows = rows;
  a.cols = cols;
  a.words = (cols + 63) / 64;
  a.bits.assign(static_cast<std::size_t>(bitmatrixbytes(rows, cols) / 8), 0);
  return a;
}

void addwords(std::uint64_t *to, const std::uint64_t *from, int words) {
  for (int w = 0; w < words; ++w) to[w] ^= from[w];
}

void addrow(bitmatrix *a, int to, int from) { addwords(a->row(to), a->row(from), a->words); }

namespace {

void swaprows(bitmatrix *a, int r, int s) {
  if (r == s) return;
  std::uint64_t *x = a->row(r);
  std::uint64_t *y = a->row(s);
  for (int w = 0; w < a->words; ++w) std::swap(x[w], y[w]);
}

}  // namespace

int reducerows(bitmatrix *a, const std::vector<int> &columnorder, std::vector<int> *pivots) {
  pivots->clear();
  int rank = 0;
  for (int c : columnorder) {
    if (rank == a->rows) break;
    const int word = c >> 6;
    const std::uint64_t bit = std::uint64_t{1} << (c & 63);
    int found = -1;
    for (int r = rank; r < a->rows; ++r)
      if (a->row(r)[word] & bit) {
        found = r;
        break;
      }
    if (found < 0) continue;
    swaprows(a, rank, found);
    // Clear the column in every other row, above and below.
    const std::uint64_t *pivot = a->row(rank);
    for (int r = 0; r < a->rows; ++r)
      if (r != rank && (a->row(r)[word] & bit)) addwords(a->row(r), pivot, a->words);
    pivots->push_back(c);
    ++rank;
  }
  return rank;
}

bool invertbitmatrix(const bitmatrix &a, bitmatrix *inverse) {
  const int g = a.rows;
  if (a.cols != g) return false;
  // [a | I] reduced on the first g columns leaves [I | a^-1].
  bitmatrix work = zerobitmatrix(g, 2 * g);
  for (int r = 0; r < g; ++r) {
    for (int c = 0; c < g; ++c)
      if (a.get(r, c)) work.set(r, c);
    work.set(r, g + r);
  }
  std::vector<int> order(g);
  for (int c = 0; c < g; ++c) order[c] = c;
  std::vector<int> pivots;
  if (reducerows(&work, order, &pivots) < g) return false;
  *inverse = zerobitmatrix(g, g);
  // Pivots were taken in column order, so row r carries the 1 of column r.
  for (int r = 0; r < g; ++r)
    for (int c = 0; c < g; ++c)
      if (work.get(r, g + c)) inverse->set(r, c);
  return true;
}

bitmatrix multiplybitmatrix(const bitmatrix &a, const bitmatrix &b) {
  bitmatrix p = zerobitmatrix(a.rows, b.cols);
  for (int r = 0; r < a.rows; ++r)
    for (int k = 0; k < a.cols; ++k)
      if (a.get(r, k)) addwords(p.row(r), b.row(k), p.words);
  return p;
}

}  // namespace ldpc
