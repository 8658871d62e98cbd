// Random and 5G NR bit interleavers.
#include "interleaver.h"

#include "randomstream.h"

namespace ldpc {

void randominterleaver(std::uint64_t *state, int n, int *perm) {
  unsigned short words[3];
  storestate(words, *state);
  drawbackfilled(words, perm, n);
  *state = loadstate(words);
}

bool nrinterleaver(int e, int qm, int *perm, std::string *error) {
  if (qm < 1 || e < 0 || e % qm != 0) {
    *error = "the bit interleaver needs a length that is a multiple of the modulation order: " +
             std::to_string(e) + " bits, order " + std::to_string(qm);
    return false;
  }
  // Transmitted bit k = i + j Qm is row i = k mod Qm, column j = k / Qm of
  // the Qm rows of E/Qm bits written in turn.
  const int columns = e / qm;
  for (int k = 0; k < e; ++k) perm[k] = (k % qm) * columns + k / qm;
  return true;
}

void interleavebits(const int *perm, int n, const std::uint8_t *in, std::uint8_t *out) {
  for (int i = 0; i < n; ++i) out[i] = in[perm[i]];
}

void deinterleavellrs(const int *perm, int n, const double *in, double *out) {
  for (int i = 0; i < n; ++i) out[perm[i]] = in[i];
}

}  // namespace ldpc
