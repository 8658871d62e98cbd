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

enum checkrule { rulespa = 0, ruleminsum = 1, rulenms = 2, ruleoms = 3, rulespafast = 4 };

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

// The fast sum-product rule's exponential, reciprocal and logarithm (the
// SIMD code and the scalar model share these constants; each writes its
// own steps).
// exp(x), x in [-80, -0]: s = x log2(e) + 1.5 2^23 (a multiply-add) holds
// i, x log2(e) rounded to the nearest integer, in its low mantissa bits,
// so that f = x log2(e) - (s - 1.5 2^23) (a multiply-add) lies in
// [-1/2, 1/2] and bits(s) << 23 = i << 23; 2^f = r(f) f + 1
// with r by Horner in multiply-adds from the highest coefficient, and
// i << 23 added to the bits of 2^f (the result, at least 2^-116, stays
// normal). Relative error below 2e-5 (1e-5 where multiply-adds fuse).
// 1 / b, b > 0 normal and below 2^126: r0 with the bits 0x7EF311C3 - bits(b)
// (within 1/8), then two Newton steps r = r (2 - b r), the inner one a
// multiply-add: relative error below 3e-4, b r at most 1 + 2^-22 (short of
// 1 but for the roundings).
// log(q), q >= 1: the bits of q plus 0x3F800000 - 0x3F3504F3 give the
// exponent e (bits >> 23, less 127) and a mantissa m = (bits & 0x7FFFFF) +
// 0x3F3504F3 in [sqrt(1/2), sqrt(2)); with u = m - 1 (exact),
// log(q) = r(u) u + e log(2), r by Horner as above, the last step a
// multiply-add onto the product e log(2); at least 0. Relative error below
// 1e-4.
// Both r are near-minimax fits (Chebyshev nodes) of (2^f - 1) / f and
// log(1 + u) / u; the tests check the errors against the std library's.
constexpr float fastlog2e = 1.44269504f;
constexpr float fastroundshift = 12582912.0f;  // 1.5 2^23
constexpr float fastln2 = 0.693147182f;
constexpr float fastexppoly[] = {0.693136752f, 0.24022527f, 0.0558383539f, 0.00965698622f};
constexpr float fastlogpoly[] = {0.999962151f, -0.499502212f, 0.336690962f, -0.270099461f,
                                 0.173455745f};
constexpr std::uint32_t fastlogshift = 0x3F800000u - 0x3F3504F3u;
constexpr std::uint32_t fastlogmantissa = 0x3F3504F3u;
constexpr std::uint32_t fastreciprocalmagic = 0x7EF311C3u;

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
// Whether the selected target's multiply-adds are fused (one rounding):
// the fast sum-product rule's scalar model follows it.
bool simdfused();
// For tests: the fast rule's exponential (at x), reciprocal (at b) and
// logarithm (at q) on the selected target, lane by lane over count values.
void spafastmath(const float *x, const float *b, const float *q, int count, float *expx,
                 float *inverseb, float *logq);
// The scalar model's steps of the same (fused: as a target with fused
// multiply-adds).
float spafastexpmodel(float x, bool fused);
float spafastreciprocalmodel(float b, bool fused);
float spafastlogmodel(float q, bool fused);

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
