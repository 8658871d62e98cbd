// Systematic encoders of LDPC codes, built from the parity-check matrix of
// a Tanner graph (a graphs record).
//
// A code of length n with m checks of rank r has dimension k = n - r
// (checks that are sums of others are allowed and simply add nothing). An
// encoder picks k information positions: bit i of an information word goes
// unchanged to codeword bit positions[i] (0-based, increasing for every
// kind below), and the n - k parity bits are computed so that every check
// is satisfied. Bits are bytes, 0 or 1 (any non-zero byte is read as 1).
//
// Four kinds, one record:
// - dense: Gauss-Jordan elimination of the whole matrix on bit-packed words
//   (makedenseencoder). Any matrix; the parity positions are the pivot
//   columns, tried from the last column towards the first, so a code whose
//   last r columns are independent keeps its information in front. Setup
//   about r x m x n / 64 word operations and m x n / 8 bytes, encoding
//   r x k / 64 per word: the reference, for codes of up to some 10^4 bits.
// - triangular: the approximate lower-triangular form of Richardson and
//   Urbanke (triangular.h), linear in the edges plus g^2 for a gap g.
// - staircase and dualdiagonal: parity parts with an accumulator or a
//   quasi-cyclic dual-diagonal structure, found from the matrix itself
//   (structured.h).
// makeencoder chooses among them.
//
// Error policy: the makers never print or exit; a graph they cannot use
// (no graph, an entry out of range, a dense matrix beyond the memory
// allowed, encoder information that does not fit the graph) comes back as
// false with *error saying what and where. encode never fails.
#ifndef LDPC_ENCODER_H
#define LDPC_ENCODER_H

#include <cstdint>
#include <string>
#include <vector>

#include "bitmatrix.h"
#include "graphstruct.h"
#include "simulation.h"

namespace ldpc {

enum class encoderkind { dense, triangular, staircase, dualdiagonal };

// "dense", "triangular", "staircase", "dualdiagonal".
const char *encodername(encoderkind kind);

struct encoderoptions {
  // Bytes of dense bit matrices that a maker may hold at once (the whole
  // matrix for the dense encoder; the gap rows and phi for the triangular
  // one). Beyond it the maker refuses with the size it would need.
  std::int64_t memorylimit = std::int64_t{256} << 20;
  // Dense encoder: columns in the order in which they are tried as parity
  // (pivot) columns; empty means n - 1 down to 0. Listing every column is
  // not required: unlisted columns are always information positions.
  std::vector<int> parityorder;
};

// Forward substitution: for i = 0, 1, ... in turn,
//   x[pivot[i]] = sum of x[v] over v in vars[start[i] .. start[i + 1] - 1].
struct substitution {
  std::vector<int> pivot;
  std::vector<int> start{0};
  std::vector<int> vars;
  int rows() const { return static_cast<int>(pivot.size()); }
};

struct encoder {
  encoderkind kind = encoderkind::dense;
  int n = 0;                   // code length
  int m = 0;                   // checks
  int rank = 0;                // rank of the parity-check matrix
  int k = 0;                   // dimension, n - rank
  std::vector<int> positions;  // k information positions, increasing

  // dense: parity bit i (codeword bit paritypositions[i]) is the sum of the
  // information bits j where row i of parity (rank x k) has a 1.
  std::vector<int> paritypositions;
  bitmatrix parity;

  // triangular: the triangle's rows in order (each lists every other
  // variable of its check); then, with a gap, the sums of the gap rows
  // (gaprows.pivot[b] is the parity position of column b of phi), their
  // product with iphi, and the triangle once more.
  // dualdiagonal: firstblock gives the first parity block from the sums of
  // the core rows, then triangle solves every other parity bit.
  // staircase: accumulator row j lists the information bits of its check;
  // a running sum gives parity bit pivot[j].
  substitution triangle;
  substitution gaprows;
  bitmatrix iphi;
  substitution firstblock;
  substitution accumulator;
  int lift = 0;  // dualdiagonal: the circulant size Z

  int gap() const { return iphi.rows; }
};

// The dense encoder of graph (see above).
bool makedenseencoder(const graphs *graph, encoder *out, std::string *error,
                      const encoderoptions &options = {});

// The encoder to use for graph: from the encoder information when info is
// not null and info->gap >= 0 (makeencoderfromrecord, no elimination);
// else the staircase or dual-diagonal encoder when the matrix has that
// structure; else the triangular encoder.
bool makeencoder(const graphs *graph, const encoders *info, encoder *out, std::string *error,
                 const encoderoptions &options = {});

// Encodes frames information words (words, frames x k bytes, frame after
// frame) into frames x n codeword bytes, 0 or 1. The sparse kinds encode 64
// frames at a time, one bit of a 64-bit word per frame.
void encode(const encoder &enc, const std::uint8_t *words, int frames, std::uint8_t *codewords);

// The same on 64 frames at once, bit f of every word belonging to frame f:
// x holds n words, the information bits at x[positions[i]] and 0 in every
// other entry, which receive the parity bits.
void encodelanes(const encoder &enc, std::uint64_t *x);

}  // namespace ldpc

#endif
