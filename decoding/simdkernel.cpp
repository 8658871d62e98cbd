// The SIMD decoder: frames side by side in the lanes of a vector (lane j of
// every message belongs to frame j of the batch), compiled once per
// instruction set and chosen at run time. One generic loop runs a schedule
// over the layout and calls a small check-node rule; the arithmetic (int16
// fixed point for the min-sum family, float for sum-product) is the rule's.
// decodescalar in scalarmodel.cpp computes the same thing one frame at a
// time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "simdkernel.cpp"
#include "hwy/foreach_target.h"  // IWYU pragma: keep

#include <algorithm>
#include <cstring>

#include "hwy/aligned_allocator.h"
#include "hwy/highway.h"
#include "hwy/contrib/math/math-inl.h"
#include "kernel.h"

HWY_BEFORE_NAMESPACE();
namespace ldpc::kernel {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// How a check's new message to one edge is written: modes of the schedule.
enum { flooding = 0, layered = 1, layeredrepeats = 2 };

// Stores the message over the old one at r and updates the posterior l
// (layered: the edge's input t plus the message; at a check with parallel
// edges: l plus the message's change) or the next posterior at acc
// (flooding: plus the message). Layered calls pass l for acc, unused.
template <int mode, class Rule, class D, class V>
HWY_INLINE void writeback(const Rule &rule, D d, V t, V message, typename Rule::T *r,
                          typename Rule::T *l, typename Rule::T *acc) {
  if (mode == layeredrepeats) {
    const V change = rule.sub(message, hn::Load(d, r));
    hn::Store(message, d, r);
    hn::Store(rule.add(hn::Load(d, l), change), d, l);
    return;
  }
  hn::Store(message, d, r);
  if (mode == layered)
    hn::Store(rule.add(t, message), d, l);
  else
    hn::Store(rule.add(hn::Load(d, acc), message), d, acc);
}

// Fixed point. Message magnitudes start the minimum search at the bound,
// so that they never exceed it; sums are then exact (see kernel.h) and need
// neither saturation nor a floor at -32767.
struct fixedrule {
  using T = std::int16_t;
  using D = hn::ScalableTag<T>;
  using V = hn::Vec<D>;
  using DB = D;  // lanes of unsatisfied()
  D d;
  V bound;
  V alpha, beta;
  int rule;

  explicit fixedrule(const params &p)
      : bound(hn::Set(d, p.bound)), alpha(hn::Set(d, p.alphaq15)), beta(hn::Set(d, p.betaq)),
        rule(p.rule) {}
  static T load(double llr) { return quantise(llr); }
  static float posterior(T x) { return static_cast<float>(x) / fixedscale; }
  V add(V a, V b) const { return hn::Add(a, b); }
  V sub(V a, V b) const { return hn::Sub(a, b); }

  // One check: t = L - R for each edge, then R from the other edges' t by
  // the min-sum rule and its correction; layered sets L = t + R at once
  // (or, with parallel edges, adds R - R_old to L), flooding adds R to the
  // next posteriors in acc.
  template <int mode>
  void check(const int *vars, int degree, T *r, T *l, T *acc, T *tbuf) const {
    const size_t w = hn::Lanes(d);
    V min1 = bound, min2 = bound, parity = hn::Zero(d);
    for (int k = 0; k < degree; ++k) {
      V t = sub(hn::Load(d, l + vars[k] * w), hn::Load(d, r + k * w));
      hn::Store(t, d, tbuf + k * w);
      V a = hn::Abs(t);
      min2 = hn::Min(min2, hn::Max(min1, a));
      min1 = hn::Min(min1, a);
      parity = hn::Xor(parity, t);
    }
    V m1 = min1, m2 = min2;
    if (rule == rulenms) {
      m1 = hn::MulFixedPoint15(m1, alpha);
      m2 = hn::MulFixedPoint15(m2, alpha);
    } else if (rule == ruleoms) {
      m1 = hn::Max(hn::Sub(m1, beta), hn::Zero(d));
      m2 = hn::Max(hn::Sub(m2, beta), hn::Zero(d));
    }
    for (int k = 0; k < degree; ++k) {
      V t = hn::Load(d, tbuf + k * w);
      V magnitude = hn::IfThenElse(hn::Eq(hn::Abs(t), min1), m2, m1);
      V sign = hn::BroadcastSignBit(hn::Xor(parity, t));
      V message = hn::Sub(hn::Xor(magnitude, sign), sign);
      writeback<mode>(*this, d, t, message, r + k * w, l + vars[k] * w, acc + vars[k] * w);
    }
  }

  // Lanes whose checks are not all satisfied (sign parity odd, or a zero
  // posterior): all ones there.
  V unsatisfied(const decoderlayout &g, const T *l) const {
    const size_t w = hn::Lanes(d);
    V bad = hn::Zero(d);
    for (int v = 0; v < g.vnodenum; ++v)
      bad = hn::Or(bad, hn::VecFromMask(d, hn::Eq(hn::Load(d, l + v * w), hn::Zero(d))));
    for (int c = 0; c < g.cnodenum; ++c) {
      V parity = hn::Zero(d);
      for (int e = g.checkstart[c]; e < g.checkstart[c + 1]; ++e)
        parity = hn::Xor(parity, hn::Load(d, l + g.edgevar[e] * w));
      bad = hn::Or(bad, hn::BroadcastSignBit(parity));
    }
    return bad;
  }
};

// Sum-product in float.
struct sparule {
  using T = float;
  using D = hn::ScalableTag<T>;
  using V = hn::Vec<D>;
  using DI = hn::RebindToSigned<D>;
  using DB = DI;
  D d;
  DI di;

  explicit sparule(const params &) {}
  static T load(double llr) { return tofloat(llr); }
  static float posterior(T x) { return x; }
  V add(V a, V b) const { return hn::Add(a, b); }
  V sub(V a, V b) const { return hn::Sub(a, b); }

  // The magnitude of the message to edge k is 2 atanh(prod over the other
  // edges of tanh(|t|/2)). With x = exp(-|t|), tanh(|t|/2) = (1 - x) / (1 + x),
  // so with N and D the products of (1 - x) and (1 + x) over the other edges
  // the magnitude is log((D + N) / (D - N)): one exponential per edge in, one
  // division and one logarithm per edge out, and no overflow (x <= 1). The
  // sign is the parity of the other edges' signs, as in min-sum. tbuf holds
  // four rows of degree vectors: t, x, and the products N and D over the
  // edges before each one.
  template <int mode>
  void check(const int *vars, int degree, T *r, T *l, T *acc, T *tbuf) const {
    const size_t w = hn::Lanes(d);
    T *xbuf = tbuf + degree * w;
    T *prefixn = xbuf + degree * w;
    T *prefixd = prefixn + degree * w;
    const V one = hn::Set(d, 1.0f), lowest = hn::Set(d, -80.0f);
    const V signbit = hn::Set(d, -0.0f), floor = hn::Set(d, 1.0f - spaclamp);
    V n = one, dd = one, parity = hn::Zero(d);
    for (int k = 0; k < degree; ++k) {
      V t = hn::Sub(hn::Load(d, l + vars[k] * w), hn::Load(d, r + k * w));
      hn::Store(t, d, tbuf + k * w);
      parity = hn::Xor(parity, t);
      V x = hn::Exp(d, hn::Max(hn::Neg(hn::Abs(t)), lowest));
      hn::Store(x, d, xbuf + k * w);
      hn::Store(n, d, prefixn + k * w);
      hn::Store(dd, d, prefixd + k * w);
      n = hn::Mul(n, hn::Sub(one, x));
      dd = hn::Mul(dd, hn::Add(one, x));
    }
    V suffixn = one, suffixd = one;
    for (int k = degree - 1; k >= 0; --k) {
      V others_n = hn::Mul(hn::Load(d, prefixn + k * w), suffixn);
      V others_d = hn::Mul(hn::Load(d, prefixd + k * w), suffixd);
      V x = hn::Load(d, xbuf + k * w);
      suffixn = hn::Mul(suffixn, hn::Sub(one, x));
      suffixd = hn::Mul(suffixd, hn::Add(one, x));
      // |p| = N / D at most 1 - 2^-24: D - N at least D 2^-24.
      V below = hn::Max(hn::Sub(others_d, others_n), hn::Mul(others_d, floor));
      V magnitude = hn::Log(d, hn::Div(hn::Add(others_d, others_n), below));
      V t = hn::Load(d, tbuf + k * w);
      V message = hn::Or(magnitude, hn::And(hn::Xor(parity, t), signbit));
      writeback<mode>(*this, d, t, message, r + k * w, l + vars[k] * w, acc + vars[k] * w);
    }
  }

  hn::Vec<DI> unsatisfied(const decoderlayout &g, const T *l) const {
    const size_t w = hn::Lanes(d);
    hn::Vec<DI> bad = hn::Zero(di);
    for (int v = 0; v < g.vnodenum; ++v)
      bad = hn::Or(bad, hn::BitCast(di, hn::VecFromMask(d, hn::Eq(hn::Load(d, l + v * w),
                                                                   hn::Zero(d)))));
    for (int c = 0; c < g.cnodenum; ++c) {
      hn::Vec<DI> parity = hn::Zero(di);
      for (int e = g.checkstart[c]; e < g.checkstart[c + 1]; ++e)
        parity = hn::Xor(parity, hn::BitCast(di, hn::Load(d, l + g.edgevar[e] * w)));
      bad = hn::Or(bad, hn::BroadcastSignBit(parity));
    }
    return bad;
  }
};

// The schedule over batches of lanes frames: channel values in, iterations,
// stopping rule, results out.
template <class Rule>
void run(const params &p, const double *llr, int frames, const decodeoutputs &out,
         std::vector<int> *trace) {
  using T = typename Rule::T;
  const Rule rule(p);
  const decoderlayout &g = *p.layout;
  const size_t w = hn::Lanes(rule.d);
  const int n = g.vnodenum;
  auto ch = hwy::AllocateAligned<T>(static_cast<size_t>(n) * w);
  auto l = hwy::AllocateAligned<T>(static_cast<size_t>(n) * w);
  auto acc = hwy::AllocateAligned<T>(static_cast<size_t>(p.layered ? 1 : n) * w);
  auto r = hwy::AllocateAligned<T>(static_cast<size_t>(g.edges) * w + w);
  auto tbuf = hwy::AllocateAligned<T>(4 * static_cast<size_t>(g.cmaxdegree + 1) * w);
  const typename Rule::DB db;
  auto bad = hwy::AllocateAligned<hn::TFromD<typename Rule::DB>>(w);
  std::vector<char> done(w);

  for (int first = 0; first < frames; first += static_cast<int>(w)) {
    const int count = std::min(static_cast<int>(w), frames - first);
    // Channel values, transposed into lanes; idle lanes hold zeros.
    std::fill(ch.get(), ch.get() + static_cast<size_t>(n) * w, T(0));
    for (int j = 0; j < count; ++j) {
      const double *frame = llr + static_cast<size_t>(first + j) * n;
      for (int v = 0; v < n; ++v) ch[v * w + j] = Rule::load(frame[v]);
    }
    std::memcpy(l.get(), ch.get(), sizeof(T) * n * w);
    std::fill(r.get(), r.get() + static_cast<size_t>(g.edges) * w, T(0));
    for (size_t j = 0; j < w; ++j) done[j] = static_cast<int>(j) >= count;
    int pending = count;

    // A lane's results at the moment it stops.
    auto finish = [&](size_t j, int iteration, bool satisfied) {
      const size_t f = first + j;
      std::uint8_t *decision = out.decisions + f * n;
      int zeros = 0;
      for (int v = 0; v < n; ++v) {
        T x = l[v * w + j];
        decision[v] = x < 0;
        zeros += x == 0;
      }
      if (out.posteriors != nullptr)
        for (int v = 0; v < n; ++v) out.posteriors[f * n + v] = Rule::posterior(l[v * w + j]);
      if (out.satisfied != nullptr) out.satisfied[f] = satisfied;
      if (out.iterations != nullptr) out.iterations[f] = iteration;
      if (out.undecided != nullptr) out.undecided[f] = zeros;
      done[j] = 1;
      --pending;
    };
    auto test = [&](int iteration, bool last) {
      hn::Store(rule.unsatisfied(g, l.get()), db, bad.get());
      for (size_t j = 0; j < w; ++j)
        if (!done[j] && (last || bad[j] == 0)) finish(j, iteration, bad[j] == 0);
    };

    if (trace != nullptr) trace->push_back(countunsatisfied(g, l.get(), w));
    if (p.earlystop) test(0, p.iterations == 0);
    for (int it = 1; it <= p.iterations && pending > 0; ++it) {
      // One iteration of the schedule. Flooding gathers the next posteriors
      // in acc, from the channel values and every check's new messages.
      if (!p.layered) std::memcpy(acc.get(), ch.get(), sizeof(T) * n * w);
      for (int c = 0; c < g.cnodenum; ++c) {
        const int start = g.checkstart[c];
        const int degree = g.checkstart[c + 1] - start;
        const int *vars = g.edgevar.data() + start;
        T *rc = r.get() + start * w;
        if (!p.layered)
          rule.template check<flooding>(vars, degree, rc, l.get(), acc.get(), tbuf.get());
        else if (g.repeats[c])
          rule.template check<layeredrepeats>(vars, degree, rc, l.get(), l.get(), tbuf.get());
        else
          rule.template check<layered>(vars, degree, rc, l.get(), l.get(), tbuf.get());
      }
      if (!p.layered) std::swap(l, acc);
      if (trace != nullptr) trace->push_back(countunsatisfied(g, l.get(), w));
      if (p.earlystop || it == p.iterations) test(it, it == p.iterations);
    }
    if (pending > 0) test(0, true);  // no iterations and no early stop
  }
}

void decodebatches(const params &p, const double *llr, int frames, const decodeoutputs &out,
                   std::vector<int> *trace) {
  if (p.rule == rulespa)
    run<sparule>(p, llr, frames, out, trace);
  else
    run<fixedrule>(p, llr, frames, out, trace);
}

int lanecount(bool fixed) {
  return fixed ? static_cast<int>(hn::Lanes(hn::ScalableTag<std::int16_t>()))
               : static_cast<int>(hn::Lanes(hn::ScalableTag<float>()));
}

const char *targetname() { return hwy::TargetName(HWY_TARGET); }

}  // namespace HWY_NAMESPACE
}  // namespace ldpc::kernel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace ldpc::kernel {
HWY_EXPORT(decodebatches);
HWY_EXPORT(lanecount);
HWY_EXPORT(targetname);

void decodesimd(const params &p, const double *llr, int frames, const decodeoutputs &out,
                std::vector<int> *trace) {
  HWY_DYNAMIC_DISPATCH(decodebatches)(p, llr, frames, out, trace);
}

int simdlanes(bool fixed) { return HWY_DYNAMIC_DISPATCH(lanecount)(fixed); }

const char *simdtarget() { return HWY_DYNAMIC_DISPATCH(targetname)(); }

std::vector<long long> simdtargets() {
  std::vector<long long> targets;
  for (int64_t target : hwy::SupportedAndGeneratedTargets()) targets.push_back(target);
  return targets;
}

void restricttarget(long long target) { hwy::SetSupportedTargetsForTest(target); }
}  // namespace ldpc::kernel
#endif
