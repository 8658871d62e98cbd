// Ensembles of the threshold tests and of bench/thresholdbench: the regular
// (dv,dc) ensemble, a published rate-1/2 irregular one, and a protograph
// from its base matrix.
#ifndef LDPC_TESTS_ENSEMBLES_H
#define LDPC_TESTS_ENSEMBLES_H

#include <vector>

#include "threshold.h"

namespace testsupport {

inline ldpc::ensemble regularensemble(int dv, int dc) {
  ldpc::ensemble code;
  code.distribution = ldpc::edgeperspective({dv}, {1.0}, {dc}, {1.0}, false);
  return code;
}

// lambda(x) = 0.38354 x + 0.04237 x^2 + 0.57409 x^3, rho(x) = 0.24123 x^4 +
// 0.75877 x^5 in edge fractions (rate 1/2); its AWGN sum-product threshold
// is published as 0.9114.
inline ldpc::ensemble irregularfour() {
  ldpc::ensemble code;
  code.distribution = ldpc::edgeperspective({2, 3, 4}, {0.38354, 0.04237, 0.57409}, {5, 6},
                                            {0.24123, 0.75877}, true);
  return code;
}

// A protograph from its base matrix: entry [c][v] parallel edges between
// check c and variable v.
inline ldpc::ensemble protographensemble(const std::vector<std::vector<int>> &base,
                                         const std::vector<int> &punctured = {}) {
  ldpc::ensemble code;
  code.isprotograph = true;
  code.protograph.cnodes = static_cast<int>(base.size());
  code.protograph.vnodes = static_cast<int>(base[0].size());
  for (int c = 0; c < code.protograph.cnodes; ++c)
    for (int v = 0; v < code.protograph.vnodes; ++v)
      for (int k = 0; k < base[c][v]; ++k) code.protograph.edges.emplace_back(v, c);
  code.protograph.punctured = punctured;
  return code;
}

// The options of a threshold computation: channel, method and decoder, the
// bracket width, and the LLR grid of quantized density evolution.
inline ldpc::thresholdoptions thresholdsettings(ldpc::channelkind channel, ldpc::methodkind method,
                                                ldpc::decoderkind decoder, double precision,
                                                double step, double range = 30) {
  ldpc::thresholdoptions o;
  o.channel = channel;
  o.method = method;
  o.decoder = decoder;
  o.precision = precision;
  o.llrstep = step;
  o.llrrange = range;
  return o;
}

}  // namespace testsupport

#endif
