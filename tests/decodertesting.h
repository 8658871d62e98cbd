// Helpers of the decoder tests: decoding into owned arrays, comparing whole
// results, AWGN frames and random graphs (hand-made with heavy nodes, or
// regular graphs built by the library's irregular construction).
#ifndef LDPC_TESTS_DECODERTESTING_H
#define LDPC_TESTS_DECODERTESTING_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "decoder.h"
#include "graphfile.h"
#include "support.h"

namespace testsupport {

struct decoded {
  std::vector<std::uint8_t> decisions, satisfied;
  std::vector<std::int32_t> iterations, undecided;
  std::vector<float> posteriors;
};

// Sizes d for frames of the given number of channel values in all and
// returns the outputs that write into it.
inline ldpc::decodeoutputs outputsinto(decoded &d, std::size_t values, int frames) {
  d.decisions.resize(values);
  d.posteriors.resize(values);
  d.satisfied.resize(frames);
  d.iterations.resize(frames);
  d.undecided.resize(frames);
  ldpc::decodeoutputs out;
  out.decisions = d.decisions.data();
  out.satisfied = d.satisfied.data();
  out.iterations = d.iterations.data();
  out.undecided = d.undecided.data();
  out.posteriors = d.posteriors.data();
  return out;
}

inline decoded decode(const ldpc::decoder &dec, const std::vector<double> &llr, int threads = 1) {
  const int frames = static_cast<int>(llr.size()) / dec.length();
  decoded d;
  dec.decode(llr.data(), frames, outputsinto(d, llr.size(), frames), threads);
  return d;
}

inline void expectsame(const decoded &a, const decoded &b, const std::string &what) {
  EXPECT_EQ(a.decisions, b.decisions) << what;
  EXPECT_EQ(a.satisfied, b.satisfied) << what;
  EXPECT_EQ(a.iterations, b.iterations) << what;
  EXPECT_EQ(a.undecided, b.undecided) << what;
  EXPECT_EQ(a.posteriors, b.posteriors) << what;
}

// Two float decoders of the same frames (n bits each) may part where a
// posterior sits near 0: nearly every frame must agree in its decisions and
// its satisfied flag, and a fair share but not all of them decode.
inline void expectnearlyallagree(const decoded &a, const decoded &b, int n,
                                 const std::string &what) {
  const int frames = static_cast<int>(b.satisfied.size());
  int framesapart = 0, satisfied = 0;
  for (int f = 0; f < frames; ++f) {
    bool same = a.satisfied[f] == b.satisfied[f];
    for (int v = 0; v < n; ++v) same &= a.decisions[f * n + v] == b.decisions[f * n + v];
    framesapart += !same;
    satisfied += b.satisfied[f];
  }
  EXPECT_LE(framesapart, 2) << what;
  EXPECT_GT(satisfied, 10) << what;
  EXPECT_LT(satisfied, frames) << what;
}

// Channel LLRs of BPSK over AWGN with the all-zero codeword sent.
inline std::vector<double> awgnframes(std::mt19937 &rng, int n, int frames, double sigma) {
  std::normal_distribution<double> noise(0.0, sigma);
  std::vector<double> llr(static_cast<size_t>(n) * frames);
  for (double &x : llr) x = 2 * (1 + noise(rng)) / (sigma * sigma);
  return llr;
}

// 100 frames of n bits (two batches of the widest SIMD target and a ragged
// end): 20 each at sigma 0.6, 0.8, 1.0, 1.3 and 1.0, so that frames stop at
// every iteration; the last 20 scaled by 60, up to the channel clamp; and a
// 0, a NaN and 1e9 among the first frame's values.
inline std::vector<double> mixedframes(std::mt19937 &rng, int n) {
  std::vector<double> llr;
  for (double sigma : {0.6, 0.8, 1.0, 1.3, 1.0}) {
    auto part = awgnframes(rng, n, 20, sigma);
    llr.insert(llr.end(), part.begin(), part.end());
  }
  for (std::size_t i = static_cast<std::size_t>(80) * n; i < llr.size(); ++i) llr[i] *= 60;
  llr[5] = 0.0;
  llr[7] = std::nan("");
  llr[9] = 1e9;
  return llr;
}

// A random graph of column weight 3 with n bits and n / 2 checks; the first
// heavy bits have weight 40 instead, so that their messages meet a small
// bound (see decoder.h).
inline ldpc::graphs *randomgraph(std::mt19937 &rng, int n, int heavy = 0) {
  const int m = n / 2;
  std::vector<std::vector<int>> vchecks(n);
  for (auto &list : vchecks)
    while (list.size() < (&list - vchecks.data() < heavy ? 40u : 3u)) {
      int c = static_cast<int>(rng() % m);
      if (std::find(list.begin(), list.end(), c) == list.end()) list.push_back(c);
    }
  return testsupport::makegraph(m, vchecks);
}

// A regular graph of n bits, column weight dv and row weight dc, built by
// the library's irregular construction from the graph stream state given
// (the stream is put back afterwards).
inline void regulargraph(ldpc::graphs *graph, int n, int dv, int dc, std::uint64_t state) {
  std::vector<int> vdeg{dv}, cdeg{dc};
  std::vector<double> vfrac{1.0}, cfrac{1.0};
  ldpc::simulations sim = ldpc::irregularsimulation(n, vdeg, vfrac, cdeg, cfrac, false);
  const std::uint64_t saved = streamstate();
  setstream(state);
  ldpc::constructirregulargraph(graph, &sim);
  setstream(saved);
}

}  // namespace testsupport

#endif
