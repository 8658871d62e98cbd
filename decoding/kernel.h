// Internal to the decoder: the parameters of one decode call as the kernels
// see them, the fixed-point arithmetic that the SIMD code and the scalar
// model share, and the two kernels' entry points.
#ifndef LDPC_DECODING_KERNEL_H
#define LDPC_DECODING_KERNEL_H

#include <atomic>
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
  int bits;               // min-sum family: 16 or 8 bits per message
  bool wide;              // 8 bits: posteriors in 16 bits, widenarrow()
  std::int16_t alphaq15;  // normalised min-sum factor, Q15
  std::int16_t betaq;     // offset min-sum offset, fixed-point units
  std::int16_t bound;     // largest check message magnitude, messagebound()
  std::int16_t channel;   // largest channel value magnitude, channelbound()
};

// Fixed point: one unit is 1/scale(bits) of an LLR; channel values are
// clamped to +-channelbound, check messages to +-messagebound, so that no
// sum exceeds the largest value of the width (messagemax).
// 16 bits: scale 8, channel values within 1023, messages within
// (32767 - 1023) / vmaxdegree.
// 8 bits: scale 2; up to vmaxdegree 3 the posteriors are 8-bit too and
// channel values and messages lie within 127 / (vmaxdegree + 1); above, the
// posteriors are 16-bit (wide) and channel values and messages lie within
// 127, so that a posterior stays within 127 (vmaxdegree + 1) <= 32767.
constexpr int fixedscale = 8;
constexpr int channelmax = 1023;
constexpr int messagemax = 32767;
constexpr int fixedmaxdegree = messagemax - channelmax;  // bound >= 1 up to here
constexpr int narrowscale = 2;
constexpr int narrowmax = 127;
constexpr int narrowwidedegree = 4;                          // 8 bits: wide posteriors from here
constexpr int narrowmaxdegree = messagemax / narrowmax - 1;  // 257: sums within 32767

inline bool widenarrow(int vmaxdegree, int bits) {
  return bits == 8 && vmaxdegree >= narrowwidedegree;
}
inline int scaleof(int bits) { return bits == 8 ? narrowscale : fixedscale; }
// The largest posterior magnitude.
inline int largestof(int bits, bool wide) { return bits == 8 && !wide ? narrowmax : messagemax; }

inline int messagebound(int vmaxdegree, int bits = 16) {
  if (bits == 8) return widenarrow(vmaxdegree, bits) ? narrowmax : narrowmax / (vmaxdegree + 1);
  return vmaxdegree <= 1 ? messagemax : (messagemax - channelmax) / vmaxdegree;
}

inline int channelbound(int vmaxdegree, int bits = 16) {
  return bits == 8 ? messagebound(vmaxdegree, bits) : channelmax;
}

// A channel LLR in fixed point: clamp(floor(scale x + 0.5), -clamp, clamp),
// NaN as 0.
inline int quantise(double llr, int scale, int clamp) {
  if (std::isnan(llr)) return 0;
  double q = std::floor(llr * scale + 0.5);
  if (q > clamp) q = clamp;
  if (q < -clamp) q = -clamp;
  return static_cast<int>(q);
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

// Frames in one SIMD batch: float lanes (bits 0, sum-product), int16
// lanes (16) or int8 lanes (8).
int simdlanes(int bits);
const char *simdtarget();

// For tests: the instruction sets compiled in that this processor runs, and
// a restriction of run-time dispatch to one of them (0 lifts it).
std::vector<long long> simdtargets();
void restricttarget(long long target);
// For tests: how many of every stride-th float (by bit pattern) of [-80, -0]
// and [1, 2^25] give an exponential or logarithm of the float sum-product
// rule that differs in any bit from Highway's Exp and Log (0: the rule's
// results are those of Highway's functions on the selected target).
long long spamismatches(int stride);

// Decodes frames frames (any number) of llr, n values each, with the SIMD
// kernel; out points at the first frame's results. Batch b holds frames
// b * lanes .. (b + 1) * lanes - 1; with next non-null the kernel takes
// batch numbers from it (fetch_add) until they run past the frames, so that
// threads sharing it share the work as they go; otherwise it decodes every
// batch. With trace non-null (frames must be 1) the unsatisfied checks are
// recorded per iteration.
void decodesimd(const params &p, const double *llr, int frames, const decodeoutputs &out,
                std::vector<int> *trace, std::atomic<int> *next);

// The scalar model: the same arithmetic one frame at a time (sum-product in
// double precision); a batch is one frame.
void decodescalar(const params &p, const double *llr, int frames, const decodeoutputs &out,
                  std::vector<int> *trace, std::atomic<int> *next);

}  // namespace ldpc::kernel

#endif
