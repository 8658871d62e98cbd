// Internal to qcdecoder: what the SIMD code of one frame needs, and its
// entry points (intrakernel.cpp, compiled per instruction set).
#ifndef LDPC_QCDECODING_INTRAKERNEL_H
#define LDPC_QCDECODING_INTRAKERNEL_H

#include <cstddef>
#include <cstdint>

#include "decoder.h"

namespace ldpc::intra {

struct params {
  int lift, columns, rows;
  const int *rowstart;  // rows + 1: circulants of block row r from rowstart[r]
  const int *column;    // per circulant: its block column
  const int *shift;     // per circulant: its shift
  int maxrowdegree;
  int rule;  // kernel::checkrule: minsum, nms or oms
  int iterations;
  bool earlystop;
  std::int16_t alphaq15, betaq, bound, channel;
};

// Int16 lanes of the SIMD code on this machine, and its name.
int lanes();
const char *target();

// The int16 values of working memory for p, aligned to 64 bytes.
std::size_t worksize(const params &p);

// Decodes one frame of llr (columns x lift values) into the first entries
// of out; work holds worksize(p) values, 64-byte aligned.
void decodeframe(const params &p, const double *llr, const decodeoutputs &out, std::int16_t *work);

}  // namespace ldpc::intra

#endif
