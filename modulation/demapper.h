// Soft demapping of received symbols to bit log-likelihood ratios.
//
// Symbol i is received as y = h x + n with x a point of the constellation
// (constellation.h), h a known complex gain (1 when no gains are given) and
// n complex Gaussian noise of variance n0 = E|n|^2 (n0 / 2 per part). The
// LLR of a bit, with every point equally likely, is
//   L = log sum_{x: b = 0} exp(-|y - h x|^2 / n0) - log sum_{x: b = 1} (...)
// positive for 0: the decoder's sign convention (decoder.h). The symbol's q
// LLRs are stored in its bit order b0 .. b(q-1), symbol after symbol.
//
// - exact: the sums above, as log-sum-exp. The Gray QAM of 5G NR maps the
//   even bits to the real part and the odd bits to the imaginary part, so
//   with w = conj(h) y and g = |h|^2 each sum factors into one dimension of
//   2^(q/2) levels a, with metrics (2 a w - g a^2) / n0 (w's real or
//   imaginary part). Each dimension takes one exponential per level against
//   the largest metric and one logarithm per bit of the two subsets' sums;
//   when a subset's sum falls below 1e-280 of the largest term it is summed
//   again against its own largest metric, so no LLR overflows or loses
//   precision to underflow.
// - maxlog: the largest metric of the bit-0 subset minus that of the bit-1
//   subset, the usual approximation.
// BPSK and QPSK have two levels per dimension, where both are exact:
// QPSK L = 4 a w / n0 per part (a = 1/sqrt(2)), BPSK L = 4 a (wre + wim) / n0.
//
// demodulate runs on SIMD vectors of doubles (Highway, the widest
// instruction set of the machine, chosen at run time), symbols side by side
// in the lanes, with Highway's exponential and logarithm; demodulatescalar
// is the plain model of the same steps with std::exp and std::log. The two
// agree to rounding (about 1e-14 of the LLR's size). Neither fails;
// n0 must be positive, and a gain of 0 gives LLRs of 0.
#ifndef LDPC_DEMAPPER_H
#define LDPC_DEMAPPER_H

#include <complex>
#include <string>

#include "constellation.h"

namespace ldpc {

enum class demapperkind { exact, maxlog };

// "exact", "maxlog"; the parser returns false on another name.
const char *demappername(demapperkind kind);
bool parsedemapper(const std::string &name, demapperkind *kind);

// LLRs of nsymbols symbols y into llr (nsymbols x q); gains may be null.
void demodulate(modulationkind kind, demapperkind demapper, const std::complex<double> *y,
                const std::complex<double> *gains, int nsymbols, double n0, double *llr);
void demodulatescalar(modulationkind kind, demapperkind demapper, const std::complex<double> *y,
                      const std::complex<double> *gains, int nsymbols, double n0, double *llr);

// Name of the instruction set that demodulate uses.
const char *demappertarget();

}  // namespace ldpc

#endif
