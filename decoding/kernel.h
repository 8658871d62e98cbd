// Internal to the decoder: the parameters of one decode call as the kernels
// see them, the fixed-point arithmetic that the SIMD code and the scalar
// model share, and the two kernels' entry points.
#ifndef LDPC_DECODING_KERNEL_H
#define LDPC_DECODING_KERNEL_H

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "decoder.h"

namespace ldpc::kernel {

enum checkrule { rulespa = 0, ruleminsum = 1, rulenms = 2, ruleoms = 3 };

struct params {
  const decoderlayout *layout;
  int rule;
  bool layered;
  int iterations;
  bool earlystop;
  std::int16_t alphaq15;  // normalised min-sum factor, Q15
  std::int16_t betaq;     // offset min-sum offset, fixed-point units
  std::int16_t bound;     // largest check message magnitude, messagebound()
};

// Fixed point: one unit is 1/fixedscale of an LLR; channel values are
// clamped to +-channelmax, check messages to +-messagebound(vmaxdegree), so
// that no sum exceeds messagemax.
constexpr int fixedscale = 8;
constexpr int channelmax = 1023;
constexpr int messagemax = 32767;
constexpr int fixedmaxdegree = messagemax - channelmax;  // bound >= 1 up to here

inline int messagebound(int vmaxdegree) {
  return vmaxdegree <= 1 ? messagemax : (messagemax - channelmax) / vmaxdegree;
}

inline std::int16_t quantise(double llr) {
  if (std::isnan(llr)) return 0;
  double q = std::floor(llr * fixedscale + 0.5);
  if (q > channelmax) q = channelmax;
  if (q < -channelmax) q = -channelmax;
  return static_cast<std::int16_t>(q);
}

inline float tofloat(double llr) { return std::isnan(llr) ? 0.0f : static_cast<float>(llr); }

// The largest float below 1: the clamp of the sum-product check product.
constexpr float spaclamp = 0.99999994f;

// Unsatisfied checks of the frame whose posterior of bit v is l[v * stride]
// (a zero posterior fails its checks).
template <class T>
int countunsatisfied(const decoderlayout &g, const T *l, std::size_t stride) {
  int count = 0;
  for (int c = 0; c < g.cnodenum; ++c) {
    bool bad = false, parity = false;
    for (int e = g.checkstart[c]; e < g.checkstart[c + 1]; ++e) {
      T x = l[g.edgevar[e] * stride];
      bad |= x == 0;
      parity ^= x < 0;
    }
    count += bad || parity;
  }
  return count;
}

// Frames in one SIMD batch for the algorithm (int16 or float lanes).
int simdlanes(bool fixed);
const char *simdtarget();

// For tests: the instruction sets compiled in that this processor runs, and
// a restriction of run-time dispatch to one of them (0 lifts it).
std::vector<long long> simdtargets();
void restricttarget(long long target);

// Decodes frames frames (any number) of llr, n values each, with the SIMD
// kernel; out points at the first frame's results. With trace non-null
// (frames must be 1) the unsatisfied checks are recorded per iteration.
void decodesimd(const params &p, const double *llr, int frames, const decodeoutputs &out,
                std::vector<int> *trace);

// The scalar model: the same arithmetic one frame at a time (sum-product in
// double precision).
void decodescalar(const params &p, const double *llr, int frames, const decodeoutputs &out,
                  std::vector<int> *trace);

}  // namespace ldpc::kernel

#endif
