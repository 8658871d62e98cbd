// The SIMD demapper: symbols side by side in the lanes of vectors of
// doubles, compiled once per instruction set and chosen at run time. It
// takes the steps of the scalar model in demapper.cpp in the same order,
// with Highway's exponential and logarithm in place of std::exp and
// std::log.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "demapperkernel.cpp"
#include "hwy/foreach_target.h"  // IWYU pragma: keep

#include <algorithm>
#include <cstring>

#include "demapperkernel.h"
#include "hwy/aligned_allocator.h"
#include "hwy/contrib/math/math-inl.h"
#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace ldpc::demapkernel {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using D = hn::ScalableTag<double>;
using V = hn::Vec<D>;

// Working memory of one call: the metrics and exponentials of a dimension's
// levels and the LLRs of a vector of symbols, each a vector per entry.
struct workspace {
  std::size_t lanes;
  hwy::AlignedFreeUniquePtr<double[]> m, e, out, yin, hin;
  explicit workspace(std::size_t n)
      : lanes(n),
        m(hwy::AllocateAligned<double>(16 * n)),
        e(hwy::AllocateAligned<double>(16 * n)),
        out(hwy::AllocateAligned<double>(8 * n)),
        yin(hwy::AllocateAligned<double>(2 * n)),
        hin(hwy::AllocateAligned<double>(2 * n)) {}
};

// log sum exp over the levels whose bit `bit` equals value, against their
// own largest metric.
V subsetlse(D d, const workspace &ws, int count, int bit, int value) {
  const std::size_t n = ws.lanes;
  const V lowest = hn::Set(d, lowestexponent);
  V top = hn::Set(d, -HUGE_VAL);
  for (int l = 0; l < count; ++l)
    if (((l >> bit) & 1) == value) top = hn::Max(top, hn::Load(d, ws.m.get() + l * n));
  V sum = hn::Zero(d);
  for (int l = 0; l < count; ++l)
    if (((l >> bit) & 1) == value)
      sum =
          hn::Add(sum, hn::Exp(d, hn::Max(hn::Sub(hn::Load(d, ws.m.get() + l * n), top), lowest)));
  return hn::Add(top, hn::Log(d, sum));
}

// The p LLRs of one dimension into ws.out at rows first, first + 2, ...
void dimension(D d, const params &p, V w, V g, workspace *ws, int first) {
  const std::size_t n = ws->lanes;
  const int count = 1 << p.p;
  const V invn0 = hn::Set(d, p.invn0);
  for (int l = 0; l < count; ++l) {
    const V twoa = hn::Set(d, 2.0 * p.levels[l]);
    const V asq = hn::Set(d, p.levels[l] * p.levels[l]);
    hn::Store(hn::Mul(hn::Sub(hn::Mul(twoa, w), hn::Mul(g, asq)), invn0), d, ws->m.get() + l * n);
  }
  const double *m = ws->m.get();
  if (p.p == 1) {
    hn::Store(hn::Sub(hn::Load(d, m), hn::Load(d, m + n)), d, ws->out.get() + first * n);
    return;
  }
  if (!p.exact) {
    for (int t = 0; t < p.p; ++t) {
      const int bit = p.p - 1 - t;
      V top0 = hn::Set(d, -HUGE_VAL), top1 = top0;
      for (int l = 0; l < count; ++l) {
        const V x = hn::Load(d, m + l * n);
        if ((l >> bit) & 1)
          top1 = hn::Max(top1, x);
        else
          top0 = hn::Max(top0, x);
      }
      hn::Store(hn::Sub(top0, top1), d, ws->out.get() + (first + 2 * t) * n);
    }
    return;
  }
  V top = hn::Load(d, m);
  for (int l = 1; l < count; ++l) top = hn::Max(top, hn::Load(d, m + l * n));
  const V lowest = hn::Set(d, lowestexponent);
  for (int l = 0; l < count; ++l)
    hn::Store(hn::Exp(d, hn::Max(hn::Sub(hn::Load(d, m + l * n), top), lowest)), d,
              ws->e.get() + l * n);
  const V small = hn::Set(d, smallsum);
  for (int t = 0; t < p.p; ++t) {
    const int bit = p.p - 1 - t;
    V s0 = hn::Zero(d), s1 = hn::Zero(d);
    for (int l = 0; l < count; ++l) {
      const V x = hn::Load(d, ws->e.get() + l * n);
      if ((l >> bit) & 1)
        s1 = hn::Add(s1, x);
      else
        s0 = hn::Add(s0, x);
    }
    const auto fine = hn::And(hn::Ge(s0, small), hn::Ge(s1, small));
    V llr = hn::Log(d, hn::Div(s0, s1));
    if (!hn::AllTrue(d, fine))
      llr = hn::IfThenElse(
          fine, llr, hn::Sub(subsetlse(d, *ws, count, bit, 0), subsetlse(d, *ws, count, bit, 1)));
    hn::Store(llr, d, ws->out.get() + (first + 2 * t) * n);
  }
}

// One vector of symbols from y (and gains) at ws->yin (ws->hin), LLRs of
// its first `valid` symbols to llr.
void block(D d, const params &p, workspace *ws, bool gains, int valid, double *llr) {
  const std::size_t n = ws->lanes;
  V yr, yi;
  hn::LoadInterleaved2(d, ws->yin.get(), yr, yi);
  V wr = yr, wi = yi, g = hn::Set(d, 1.0);
  if (gains) {
    V hr, hi;
    hn::LoadInterleaved2(d, ws->hin.get(), hr, hi);
    wr = hn::Add(hn::Mul(hr, yr), hn::Mul(hi, yi));
    wi = hn::Sub(hn::Mul(hr, yi), hn::Mul(hi, yr));
    g = hn::Add(hn::Mul(hr, hr), hn::Mul(hi, hi));
  }
  if (p.p == 0) {
    hn::Store(hn::Mul(hn::Add(wr, wi), hn::Set(d, 4.0 * p.levels[0] * p.invn0)), d, ws->out.get());
  } else {
    dimension(d, p, wr, g, ws, 0);
    dimension(d, p, wi, g, ws, 1);
  }
  for (int j = 0; j < valid; ++j)
    for (int b = 0; b < p.q; ++b) llr[j * p.q + b] = ws->out[b * n + j];
}

void demap(const params &p) {
  const D d;
  const std::size_t n = hn::Lanes(d);
  workspace ws(n);
  const bool gains = p.gains != nullptr;
  for (int first = 0; first < p.nsymbols; first += static_cast<int>(n)) {
    const int valid = std::min(static_cast<int>(n), p.nsymbols - first);
    // The last, partial vector is padded with symbols of gain 0.
    std::memset(ws.yin.get(), 0, 2 * n * sizeof(double));
    std::memset(ws.hin.get(), 0, 2 * n * sizeof(double));
    std::memcpy(ws.yin.get(), p.y + first, valid * 2 * sizeof(double));
    if (gains) std::memcpy(ws.hin.get(), p.gains + first, valid * 2 * sizeof(double));
    block(d, p, &ws, gains, valid, p.llr + static_cast<std::ptrdiff_t>(first) * p.q);
  }
}

const char *targetname() { return hwy::TargetName(HWY_TARGET); }

}  // namespace HWY_NAMESPACE
}  // namespace ldpc::demapkernel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace ldpc::demapkernel {
HWY_EXPORT(demap);
HWY_EXPORT(targetname);

void demapsimd(const params &p) { HWY_DYNAMIC_DISPATCH(demap)(p); }
const char *simdtarget() { return HWY_DYNAMIC_DISPATCH(targetname)(); }
}  // namespace ldpc::demapkernel
#endif
