// The steps that the SIMD demapper and its scalar model share: what one
// call is given, and the constants of the metric. Internal to the
// modulation library.
#ifndef LDPC_DEMAPPERKERNEL_H
#define LDPC_DEMAPPERKERNEL_H

#include <complex>

namespace ldpc::demapkernel {

// A subset sum below this (against the largest metric of the dimension) is
// summed again against its own largest metric.
constexpr double smallsum = 1e-280;
// Exponents are taken no lower than this; smaller terms count as e^-700.
constexpr double lowestexponent = -700.0;

struct params {
  const double *levels;  // 2^p amplitude levels of one dimension
  int p;                 // bits per dimension; 0 for BPSK
  int q;                 // bits per symbol
  bool exact;
  const std::complex<double> *y;
  const std::complex<double> *gains;  // may be null
  int nsymbols;
  double invn0;  // 1 / n0
  double *llr;
};

void demapsimd(const params &p);
const char *simdtarget();

}  // namespace ldpc::demapkernel

#endif
