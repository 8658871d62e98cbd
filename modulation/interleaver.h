// Bit interleavers between a code and its modulation.
//
// An interleaver is a permutation perm of 0..n-1 read as "transmitted bit i
// is code bit perm[i]": interleavebits sends out[i] = in[perm[i]] and
// deinterleavellrs puts the LLR of transmitted bit i back at code bit
// perm[i].
// - randominterleaver: a uniform permutation drawn from a 48-bit state of
//   the library's generator (the erand48 step, randomstream.h), n draws,
//   the same permutation that graphrandompermutation yields from a stream
//   in that state. Give each frame its own state (decoding's streamstate)
//   and its interleaver does not depend on the frames beside it.
// - nrinterleaver: the bit interleaver of 5G NR, TS 38.212 clause 5.4.2.2,
//   for E bits and modulation order Qm (E a multiple of Qm):
//     for j = 0 .. E/Qm - 1, for i = 0 .. Qm - 1:  f(i + j Qm) = e(i E/Qm + j)
//   (the bits written row by row into Qm rows and read column by column).
// Error policy: never prints or exits; nrinterleaver refuses an E that is
// not a multiple of Qm (false, with a message).
#ifndef LDPC_INTERLEAVER_H
#define LDPC_INTERLEAVER_H

#include <cstdint>
#include <string>

namespace ldpc {

// Fills perm[0..n-1]; *state advances by n draws.
void randominterleaver(std::uint64_t *state, int n, int *perm);

bool nrinterleaver(int e, int qm, int *perm, std::string *error);

void interleavebits(const int *perm, int n, const std::uint8_t *in, std::uint8_t *out);
void deinterleavellrs(const int *perm, int n, const double *in, double *out);

}  // namespace ldpc

#endif
