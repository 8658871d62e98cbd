// Dense matrices over GF(2), bit-packed 64 columns to a 64-bit word.
//
// Rows and columns count from 0. Column c of a row lives in word c / 64 at
// bit c % 64 (least significant first); the bits of the last word beyond
// the column count are always zero, so whole-word operations (exclusive or,
// population count) never see stray columns. Addition is exclusive or.
//
// Error policy: nothing here prints or exits; sizes are checked by the
// callers against their memory limit before a matrix is made (bitmatrixbytes),
// and a matrix that cannot be allocated throws std::bad_alloc like any
// std::vector.
#ifndef LDPC_BITMATRIX_H
#define LDPC_BITMATRIX_H

#include <cstdint>
#include <string>
#include <vector>

namespace ldpc {

struct bitmatrix {
  int rows = 0;
  int cols = 0;
  int words = 0;                    // words per row: ceil(cols / 64)
  std::vector<std::uint64_t> bits;  // row r is bits[r * words .. (r + 1) * words - 1]

  std::uint64_t *row(int r) { return bits.data() + static_cast<std::int64_t>(r) * words; }
  const std::uint64_t *row(int r) const {
    return bits.data() + static_cast<std::int64_t>(r) * words;
  }
  bool get(int r, int c) const { return (row(r)[c >> 6] >> (c & 63)) & 1; }
  void flip(int r, int c) { row(r)[c >> 6] ^= std::uint64_t{1} << (c & 63); }
  void set(int r, int c) { row(r)[c >> 6] |= std::uint64_t{1} << (c & 63); }
};

// Bytes that a rows x cols matrix holds (64-bit, for any int sizes).
std::int64_t bitmatrixbytes(std::int64_t rows, std::int64_t cols);

// A size for messages: "N bytes" below 1 MiB, else "N MiB" rounded up.
std::string bytestext(std::int64_t bytes);

// A zero rows x cols matrix.
bitmatrix zerobitmatrix(int rows, int cols);

// Adds row from of a to row to of a (to != from), word by word.
void addrow(bitmatrix *a, int to, int from);
// Adds words words of from to to.
void addwords(std::uint64_t *to, const std::uint64_t *from, int words);

// Brings a to reduced row echelon form by Gauss-Jordan elimination and
// returns its rank r. Columns are tried as pivots in the order columnorder
// (a permutation of some or all columns; columns not listed never become
// pivots): a column becomes the next pivot when some row not yet used has
// a 1 there. Afterwards rows 0..r-1 hold the pivot rows, row i with its 1
// in column (*pivots)[i] and 0 in every other pivot column, and rows r..
// are zero in every listed column. Rows are exchanged, never scaled.
// Cost: about r x rows x words word operations.
int reducerows(bitmatrix *a, const std::vector<int> &columnorder, std::vector<int> *pivots);

// The inverse of the square matrix a, by Gauss-Jordan elimination on a copy
// (g^3 / 64 word operations); false when a is singular.
bool invertbitmatrix(const bitmatrix &a, bitmatrix *inverse);

// a times b (a.cols == b.rows), for checks and tests.
bitmatrix multiplybitmatrix(const bitmatrix &a, const bitmatrix &b);

}  // namespace ldpc

#endif
