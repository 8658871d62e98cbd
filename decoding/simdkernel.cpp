// The SIMD decoder: frames side by side in the lanes of a vector (lane j of
// every message belongs to frame j of the batch), compiled once per
// instruction set and chosen at run time. Three parts, each replaceable
// alone: the lanes' arithmetic (int16 or int8 fixed point for the min-sum
// family, float for sum-product), the check rules (inputs to outputs, min-sum's
// corrections as compile-time variants), and the schedule, which forms
// each check's inputs from the posteriors and writes its outputs back.
// decodescalar in scalarmodel.cpp computes the same thing one frame at a
// time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "simdkernel.cpp"
#include "hwy/foreach_target.h"  // IWYU pragma: keep

#include <algorithm>
#include <cstring>

#include "hwy/aligned_allocator.h"
#include "hwy/cache_control.h"
#include "hwy/highway.h"
#include "hwy/contrib/math/math-inl.h"
#include "kernel.h"

HWY_BEFORE_NAMESPACE();
namespace ldpc::kernel {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// The arithmetic of the lanes: int16 or int8 fixed point for the min-sum
// family, float for sum-product. It loads channel values, returns
// posteriors in LLR units, adds and subtracts, and finds the lanes whose
// frame fails a check.
template <class Lane, int scale>
struct fixedpoint {
  using T = Lane;
  using D = hn::ScalableTag<T>;
  using V = hn::Vec<D>;
  using DB = D;  // lanes of unsatisfied()
  static T load(const params &p, double llr) {
    return static_cast<T>(quantise(llr, scale, p.channel));
  }
  static float posterior(T x) { return static_cast<float>(x) / scale; }
  // Exact: the channel clamp and the message bound keep every sum within
  // the lane's width (kernel.h).
  static V add(V a, V b) { return hn::Add(a, b); }
  static V sub(V a, V b) { return hn::Sub(a, b); }
  static hn::Vec<DB> bits(V x) { return x; }
};
using fixed16 = fixedpoint<std::int16_t, fixedscale>;
using fixed8 = fixedpoint<std::int8_t, narrowscale>;

struct float32 {
  using T = float;
  using D = hn::ScalableTag<T>;
  using V = hn::Vec<D>;
  using DB = hn::RebindToSigned<D>;
  static T load(const params &, double llr) { return tofloat(llr); }
  static float posterior(T x) { return x; }
  static V add(V a, V b) { return hn::Add(a, b); }
  static V sub(V a, V b) { return hn::Sub(a, b); }
  static hn::Vec<DB> bits(V x) { return hn::BitCast(DB(), x); }
};

// Lanes whose checks are not all satisfied (sign parity odd, or a zero
// posterior): all ones there.
template <class A>
hn::Vec<typename A::DB> unsatisfied(const decoderlayout &g, const typename A::T *l) {
  const typename A::D d;
  const typename A::DB db;
  const size_t w = hn::Lanes(d);
  auto bad = hn::Zero(db);
  for (int v = 0; v < g.vnodenum; ++v)
    bad = hn::Or(bad, A::bits(hn::VecFromMask(d, hn::Eq(hn::Load(d, l + v * w), hn::Zero(d)))));
  for (int c = 0; c < g.cnodenum; ++c) {
    auto parity = hn::Zero(db);
    for (int e = g.checkstart[c]; e < g.checkstart[c + 1]; ++e)
      parity = hn::Xor(parity, A::bits(hn::Load(d, l + g.edgevar[e] * w)));
    bad = hn::Or(bad, hn::BroadcastSignBit(parity));
  }
  return bad;
}

// Check rules. A rule turns a check's inputs t_k (the variables' values
// without this check's old messages) into its outputs (the new messages);
// it never sees posteriors or stored messages. For one check the schedule
// calls start, then in(k, t_k) for k = 0 .. degree - 1, then ready, then
// out(k, t_k) for k = degree - 1 down to 0. scratch holds rows of lanes
// for a rule that keeps per-edge values (scratchrows of them per edge).

// The corrections of min-sum, applied to the two smallest magnitudes
// (0 .. bound, never negative): none, normalised (Q15 factor, rounding:
// (m a + 2^14) >> 15) and offset (stops at 0). For int8 lanes the
// normalised product is formed in the int16 lanes that hold each pair of
// bytes, even and odd bytes apart.
template <class A>
struct plaincorrection {
  explicit plaincorrection(const params &) {}
  typename A::V operator()(typename A::V m) const { return m; }
};

template <class A>
struct normalisedcorrection {
  std::int16_t a;
  explicit normalisedcorrection(const params &p) : a(p.alphaq15) {}
  typename A::V operator()(typename A::V m) const {
    const typename A::D d;
#if HWY_TARGET == HWY_SCALAR
    const int product = (hn::GetLane(m) * a + 16384) >> 15;
    return hn::Set(d, static_cast<typename A::T>(product));
#else
    const hn::Repartition<std::int16_t, typename A::D> d16;
    const auto alpha = hn::Set(d16, a);
    if constexpr (sizeof(typename A::T) == 2) {
      return hn::MulFixedPoint15(m, alpha);
    } else {
      const auto pairs = hn::BitCast(d16, m);
      const auto even = hn::MulFixedPoint15(hn::And(pairs, hn::Set(d16, 0xff)), alpha);
      const auto odd = hn::MulFixedPoint15(hn::ShiftRight<8>(pairs), alpha);
      return hn::BitCast(d, hn::Or(even, hn::ShiftLeft<8>(odd)));
    }
#endif
  }
};

template <class A>
struct offsetcorrection {
  typename A::V beta;
  explicit offsetcorrection(const params &p)
      : beta(hn::Set(typename A::D(), static_cast<typename A::T>(p.betaq))) {}
  typename A::V operator()(typename A::V m) const {
    return hn::Max(hn::Sub(m, beta), hn::Zero(typename A::D()));
  }
};

// Min-sum: the magnitude to edge k is the smallest |t| of the other edges
// (the edge holding the smallest gets the second), clamped to the bound
// by starting the search there, then corrected; the sign is the parity of
// the other edges' signs.
template <class Arithmetic, template <class> class Correction>
struct minsumrule {
  using A = Arithmetic;
  using T = A::T;
  using V = A::V;
  static constexpr int scratchrows = 0;
  typename A::D d;
  V bound;
  Correction<A> correct;
  struct state {
    V min1, min2, parity, m1, m2;
  };

  explicit minsumrule(const params &p) : bound(hn::Set(d, static_cast<T>(p.bound))), correct(p) {}
  HWY_INLINE state start() const { return {bound, bound, hn::Zero(d), bound, bound}; }
  HWY_INLINE void in(state &s, int, V t, T *) const {
    const V a = hn::Abs(t);
    s.min2 = hn::Min(s.min2, hn::Max(s.min1, a));
    s.min1 = hn::Min(s.min1, a);
    s.parity = hn::Xor(s.parity, t);
  }
  HWY_INLINE void ready(state &s, int, T *) const {
    s.m1 = correct(s.min1);
    s.m2 = correct(s.min2);
  }
  HWY_INLINE V out(const state &s, int, V t, T *) const {
    const V magnitude = hn::IfThenElse(hn::Eq(hn::Abs(t), s.min1), s.m2, s.m1);
    const V sign = hn::BroadcastSignBit(hn::Xor(s.parity, t));
    return hn::Sub(hn::Xor(magnitude, sign), sign);
  }
};

// Sum-product in float. The magnitude of the message to edge k is
// 2 atanh(prod over the other edges of tanh(|t|/2)). With x = exp(-|t|),
// tanh(|t|/2) = (1 - x) / (1 + x), so with N and D the products of (1 - x)
// and (1 + x) over the other edges the magnitude is log((D + N) / (D - N)):
// one exponential per edge in, one division and one logarithm per edge out,
// and no overflow (x <= 1). The sign is the parity of the other edges'
// signs, as in min-sum. scratch holds three rows: x and the products N and
// D over the edges before each one; out walks back with the products over
// the edges after it. fast takes the cheaper exponential, reciprocal and
// logarithm of kernel.h instead of Highway's exponential, the division and
// Highway's logarithm (the quotient at least 1: the reciprocal may fall
// short).
template <bool fast>
struct sumproductrule {
  using A = float32;
  using T = A::T;
  using V = A::V;
  static constexpr int scratchrows = 3;
  A::D d;
  V one = hn::Set(d, 1.0f), lowest = hn::Set(d, -80.0f), two = hn::Set(d, 2.0f);
  V signbit = hn::Set(d, -0.0f), floor = hn::Set(d, 1.0f - spaclamp);
  struct state {
    V n, dd, parity, suffixn, suffixd;
  };

  explicit sumproductrule(const params &) {}
  // exp(x) for x in [-80, -0], bit for bit as hn::Exp: its steps without
  // the ones this range never needs (the sign of the rounding, which is
  // always -0.5 here; the lower bound; the product by a power of two split
  // in two for results near the subnormals: 2^q, q >= -116, and every
  // product by it stay normal, hence exact, in either form).
  HWY_INLINE V expnegative(V x) const {
    const hn::RebindToSigned<A::D> di;
    hn::impl::ExpImpl<float> impl;
    const auto q = hn::ConvertTo(
        di, hn::MulAdd(x, hn::Set(d, 1.442695040888963407359924681f), hn::Set(d, -0.5f)));
    const V y = hn::Add(impl.ExpPoly(d, impl.ExpReduce(d, x, q)), one);
    return hn::Mul(y, impl.Pow2I(d, q));
  }
  // log(x) for x >= 1, bit for bit as hn::Log: without its scaling of
  // subnormal inputs, which x never is.
  HWY_INLINE V logatleastone(V x) const { return hn::impl::Log<A::D, V, false>(d, x); }
  // The fast pair (kernel.h), step for step as the scalar model.
  template <size_t count>
  HWY_INLINE V horner(const float (&c)[count], V x) const {
    V r = hn::Set(d, c[count - 1]);
    for (size_t k = count - 1; k-- > 0;) r = hn::MulAdd(r, x, hn::Set(d, c[k]));
    return r;
  }
  HWY_INLINE V fastexpnegative(V x) const {
    const hn::RebindToSigned<A::D> di;
    const V log2e = hn::Set(d, fastlog2e), shift = hn::Set(d, fastroundshift);
    const V shifted = hn::MulAdd(x, log2e, shift);
    const V f = hn::MulSub(x, log2e, hn::Sub(shifted, shift));
    const V power = hn::MulAdd(horner(fastexppoly, f), f, one);
    return hn::BitCast(
        d, hn::Add(hn::BitCast(di, power), hn::ShiftLeft<23>(hn::BitCast(di, shifted))));
  }
  HWY_INLINE V fastlogatleastone(V q) const {
    const hn::RebindToSigned<A::D> di;
    const auto bits = hn::Add(hn::BitCast(di, q), hn::Set(di, static_cast<int>(fastlogshift)));
    const V e = hn::ConvertTo(d, hn::Sub(hn::ShiftRight<23>(bits), hn::Set(di, 127)));
    const V m = hn::BitCast(d, hn::Add(hn::And(bits, hn::Set(di, 0x7FFFFF)),
                                       hn::Set(di, static_cast<int>(fastlogmantissa))));
    const V u = hn::Sub(m, one);
    return hn::MulAdd(horner(fastlogpoly, u), u, hn::Mul(e, hn::Set(d, fastln2)));
  }
  HWY_INLINE V reciprocal(V b) const {
    const hn::RebindToSigned<A::D> di;
    V r = hn::BitCast(
        d, hn::Sub(hn::Set(di, static_cast<int>(fastreciprocalmagic)), hn::BitCast(di, b)));
    r = hn::Mul(r, hn::NegMulAdd(b, r, two));
    return hn::Mul(r, hn::NegMulAdd(b, r, two));
  }
  HWY_INLINE V exprule(V x) const { return fast ? fastexpnegative(x) : expnegative(x); }
  HWY_INLINE state start() const { return {one, one, hn::Zero(d), one, one}; }
  HWY_INLINE void in(state &s, int k, V t, T *scratch) const {
    const size_t w = hn::Lanes(d);
    s.parity = hn::Xor(s.parity, t);
    const V x = exprule(hn::Max(hn::Neg(hn::Abs(t)), lowest));
    hn::Store(x, d, scratch + 3 * k * w);
    hn::Store(s.n, d, scratch + (3 * k + 1) * w);
    hn::Store(s.dd, d, scratch + (3 * k + 2) * w);
    s.n = hn::Mul(s.n, hn::Sub(one, x));
    s.dd = hn::Mul(s.dd, hn::Add(one, x));
  }
  HWY_INLINE void ready(state &, int, T *) const {}
  HWY_INLINE V out(state &s, int k, V t, T *scratch) const {
    const size_t w = hn::Lanes(d);
    if constexpr (fast) {
      // Every product that meets a sum or a difference is a multiply-add
      // of its own, so that the compiler has no product and sum to
      // contract into one (which the scalar model could not follow).
      const V prefixn = hn::Load(d, scratch + (3 * k + 1) * w);
      const V prefixd = hn::Load(d, scratch + (3 * k + 2) * w);
      const V x = hn::Load(d, scratch + 3 * k * w);
      const V othersn = hn::Mul(prefixn, s.suffixn);
      const V sum = hn::MulAdd(prefixd, s.suffixd, othersn);
      const V difference = hn::MulSub(prefixd, s.suffixd, othersn);
      const V below = hn::Max(difference, hn::Mul(hn::Mul(prefixd, s.suffixd), floor));
      s.suffixn = hn::Mul(s.suffixn, hn::Sub(one, x));
      s.suffixd = hn::Mul(s.suffixd, hn::Add(one, x));
      const V magnitude = fastlogatleastone(hn::Max(hn::Mul(sum, reciprocal(below)), one));
      return hn::Or(magnitude, hn::And(hn::Xor(s.parity, t), signbit));
    }
    const V othersn = hn::Mul(hn::Load(d, scratch + (3 * k + 1) * w), s.suffixn);
    const V othersd = hn::Mul(hn::Load(d, scratch + (3 * k + 2) * w), s.suffixd);
    const V x = hn::Load(d, scratch + 3 * k * w);
    s.suffixn = hn::Mul(s.suffixn, hn::Sub(one, x));
    s.suffixd = hn::Mul(s.suffixd, hn::Add(one, x));
    // |p| = N / D at most 1 - 2^-24: D - N at least D 2^-24.
    const V below = hn::Max(hn::Sub(othersd, othersn), hn::Mul(othersd, floor));
    const V magnitude = logatleastone(hn::Div(hn::Add(othersd, othersn), below));
    return hn::Or(magnitude, hn::And(hn::Xor(s.parity, t), signbit));
  }
};

// The schedules' update of one check. Inputs: t = L - R_old per edge (kept
// in tbuf). Outputs: each new message R over the old one, and the
// posteriors: layered sets L = t + R at once (at a check with parallel
// edges it adds R - R_old to L instead, so that every edge counts);
// flooding adds R to the next posteriors in acc (layered passes l there,
// unused).
enum { flooding = 0, layered = 1, layeredrepeats = 2 };

template <int mode, class Rule>
HWY_INLINE void updatecheck(const Rule &rule, const int *vars, int degree, typename Rule::T *r,
                            typename Rule::T *l, typename Rule::T *acc, typename Rule::T *tbuf,
                            typename Rule::T *scratch) {
  using A = typename Rule::A;
  const typename A::D d;
  const size_t w = hn::Lanes(d);
  auto s = rule.start();
  for (int k = 0; k < degree; ++k) {
    const auto t = A::sub(hn::Load(d, l + vars[k] * w), hn::Load(d, r + k * w));
    hn::Store(t, d, tbuf + k * w);
    rule.in(s, k, t, scratch);
  }
  rule.ready(s, degree, scratch);
  for (int k = degree - 1; k >= 0; --k) {
    const auto t = hn::Load(d, tbuf + k * w);
    const auto message = rule.out(s, k, t, scratch);
    typename Rule::T *rk = r + k * w, *lk = l + vars[k] * w;
    if (mode == layeredrepeats) {
      const auto change = A::sub(message, hn::Load(d, rk));
      hn::Store(message, d, rk);
      hn::Store(A::add(hn::Load(d, lk), change), d, lk);
    } else if (mode == layered) {
      hn::Store(message, d, rk);
      hn::Store(A::add(t, message), d, lk);
    } else {
      typename Rule::T *ak = acc + vars[k] * w;
      hn::Store(message, d, rk);
      hn::Store(A::add(hn::Load(d, ak), message), d, ak);
    }
  }
}

// How a batch keeps its posteriors: in the lanes' own type (same), or, for
// 8-bit messages, in 16 bits beside them (wide: lanes 0 .. h - 1 of a
// variable in its first int16 vector, the others in the second). P is the
// posterior's type; update runs one check; unsatisfied stores a flag per
// lane (non-zero: the frame fails a check); rows is the check buffer's
// size in P units per edge and lane.
template <class Rule>
struct sameposteriors {
  using A = typename Rule::A;
  using P = typename A::T;
  using Flag = hn::TFromD<typename A::DB>;
  static constexpr size_t rows = 1 + Rule::scratchrows;
  static P load(const params &p, double llr) { return A::load(p, llr); }
  static float posterior(P x) { return A::posterior(x); }
  static void unsatisfiedlanes(const decoderlayout &g, const P *l, Flag *bad) {
    hn::Store(unsatisfied<A>(g, l), typename A::DB(), bad);
  }
  template <int mode>
  static void update(const Rule &rule, const int *vars, int degree, P *r, P *l, P *acc, P *tbuf,
                     P *scratch) {
    updatecheck<mode>(rule, vars, degree, r, l, acc, tbuf, scratch);
  }
};

template <class Rule>
struct wideposteriors {
  using P = std::int16_t;
  using Flag = std::int16_t;
  using D8 = hn::ScalableTag<std::int8_t>;
  using D16 = hn::ScalableTag<std::int16_t>;
  using V8 = hn::Vec<D8>;
  using V16 = hn::Vec<D16>;
  static constexpr size_t rows = 2;  // t in 16 bits, and t clamped to 8 bits
  static P load(const params &p, double llr) {
    return static_cast<P>(quantise(llr, narrowscale, p.channel));
  }
  static float posterior(P x) { return static_cast<float>(x) / narrowscale; }
  static constexpr size_t halves() { return hn::Lanes(D8()) / hn::Lanes(D16()); }
  // Half q of an 8-bit vector in 16 bits, and two 16-bit halves in 8 bits
  // (saturated, then clamped to -127 so that |t| is never -128).
#if HWY_TARGET == HWY_SCALAR
  static V16 widen(V8 v, size_t) { return hn::Set(D16(), hn::GetLane(v)); }
  static V8 narrow(V16 lo, V16) {
    const int x = hn::GetLane(lo);
    return hn::Set(D8(), static_cast<std::int8_t>(std::clamp(x, -127, 127)));
  }
#else
  static V16 widen(V8 v, size_t q) {
    const hn::Half<D8> dh;
    return hn::PromoteTo(D16(), q == 0 ? hn::LowerHalf(dh, v) : hn::UpperHalf(dh, v));
  }
  static V8 narrow(V16 lo, V16 hi) {
    const hn::Half<D8> dh;
    const V8 both = hn::Combine(D8(), hn::DemoteTo(dh, hi), hn::DemoteTo(dh, lo));
    return hn::Max(both, hn::Set(D8(), -127));
  }
#endif
  static void unsatisfiedlanes(const decoderlayout &g, const P *l, Flag *bad) {
    const size_t w = hn::Lanes(D8()), h = hn::Lanes(D16());
    for (size_t q = 0; q < halves(); ++q) {
      // The posteriors of half q, w apart.
      const D16 d;
      auto flags = hn::Zero(d);
      for (int v = 0; v < g.vnodenum; ++v)
        flags =
            hn::Or(flags, hn::VecFromMask(d, hn::Eq(hn::Load(d, l + v * w + q * h), hn::Zero(d))));
      for (int c = 0; c < g.cnodenum; ++c) {
        auto parity = hn::Zero(d);
        for (int e = g.checkstart[c]; e < g.checkstart[c + 1]; ++e)
          parity = hn::Xor(parity, hn::Load(d, l + g.edgevar[e] * w + q * h));
        flags = hn::Or(flags, hn::BroadcastSignBit(parity));
      }
      hn::Store(flags, d, bad + q * h);
    }
  }
  // As updatecheck, with t = L - R_old formed in 16 bits, the rule run on t
  // clamped to 8 bits (exact for min-sum: its magnitudes stop at the bound,
  // at most 127), and L = t + R in 16 bits. scratch holds the 8-bit t.
  template <int mode>
  static void update(const Rule &rule, const int *vars, int degree, std::int8_t *r, P *l, P *acc,
                     P *tbuf, std::int8_t *scratch) {
    const D8 d8;
    const D16 d16;
    const size_t w = hn::Lanes(d8), h = hn::Lanes(d16);
    auto s = rule.start();
    for (int k = 0; k < degree; ++k) {
      const V8 old = hn::Load(d8, r + k * w);
      V16 t[2];
      for (size_t q = 0; q < halves(); ++q) {
        t[q] = hn::Sub(hn::Load(d16, l + vars[k] * w + q * h), widen(old, q));
        hn::Store(t[q], d16, tbuf + k * w + q * h);
      }
      const V8 narrowt = narrow(t[0], t[halves() - 1]);
      hn::Store(narrowt, d8, scratch + k * w);
      rule.in(s, k, narrowt, nullptr);
    }
    rule.ready(s, degree, nullptr);
    for (int k = degree - 1; k >= 0; --k) {
      const V8 message = rule.out(s, k, hn::Load(d8, scratch + k * w), nullptr);
      std::int8_t *rk = r + k * w;
      const V8 old = hn::Load(d8, rk);
      hn::Store(message, d8, rk);
      for (size_t q = 0; q < halves(); ++q) {
        P *lk = l + vars[k] * w + q * h;
        const V16 m = widen(message, q);
        if (mode == layeredrepeats)
          hn::Store(hn::Add(hn::Load(d16, lk), hn::Sub(m, widen(old, q))), d16, lk);
        else if (mode == layered)
          hn::Store(hn::Add(hn::Load(d16, tbuf + k * w + q * h), m), d16, lk);
        else
          hn::Store(hn::Add(hn::Load(d16, acc + vars[k] * w + q * h), m), d16,
                    acc + vars[k] * w + q * h);
      }
    }
  }
};

// The schedule over batches of lanes frames: channel values in, iterations,
// stopping rule, results out.
template <class Rule, class Store = sameposteriors<Rule>>
void run(const params &p, const double *llr, int frames, const decodeoutputs &out,
         std::vector<int> *trace, std::atomic<int> *next) {
  using A = typename Rule::A;
  using T = typename A::T;      // messages
  using P = typename Store::P;  // posteriors
  const Rule rule(p);
  const decoderlayout &g = *p.layout;
  const size_t w = hn::Lanes(typename A::D());
  const int n = g.vnodenum;
  auto ch = hwy::AllocateAligned<P>(static_cast<size_t>(n) * w);
  auto l = hwy::AllocateAligned<P>(static_cast<size_t>(n) * w);
  auto acc = hwy::AllocateAligned<P>(static_cast<size_t>(p.layered ? 1 : n) * w);
  auto r = hwy::AllocateAligned<T>(static_cast<size_t>(g.edges) * w + w);
  auto tbuf = hwy::AllocateAligned<P>(Store::rows * static_cast<size_t>(g.cmaxdegree + 1) * w);
  T *scratch = reinterpret_cast<T *>(tbuf.get() + static_cast<size_t>(g.cmaxdegree + 1) * w);
  auto bad = hwy::AllocateAligned<typename Store::Flag>(w);
  std::vector<char> done(w);

  for (int batch = 0;; ++batch) {
    if (next != nullptr) batch = next->fetch_add(1);
    if (batch >= (frames + static_cast<int>(w) - 1) / static_cast<int>(w)) break;
    const int first = batch * static_cast<int>(w);
    const int count = std::min(static_cast<int>(w), frames - first);
    // Channel values, transposed into lanes; idle lanes hold zeros.
    std::fill(ch.get(), ch.get() + static_cast<size_t>(n) * w, P(0));
    for (int j = 0; j < count; ++j) {
      const double *frame = llr + static_cast<size_t>(first + j) * n;
      for (int v = 0; v < n; ++v) ch[v * w + j] = Store::load(p, frame[v]);
    }
    std::memcpy(l.get(), ch.get(), sizeof(P) * n * w);
    std::fill(r.get(), r.get() + static_cast<size_t>(g.edges) * w, T(0));
    for (size_t j = 0; j < w; ++j) done[j] = static_cast<int>(j) >= count;
    int pending = count;

    // A lane's results at the moment it stops.
    auto finish = [&](size_t j, int iteration, bool satisfied) {
      const size_t f = first + j;
      std::uint8_t *decision = out.decisions + f * n;
      int zeros = 0;
      for (int v = 0; v < n; ++v) {
        P x = l[v * w + j];
        decision[v] = x < 0;
        zeros += x == 0;
      }
      if (out.posteriors != nullptr)
        for (int v = 0; v < n; ++v) out.posteriors[f * n + v] = Store::posterior(l[v * w + j]);
      if (out.satisfied != nullptr) out.satisfied[f] = satisfied;
      if (out.iterations != nullptr) out.iterations[f] = iteration;
      if (out.undecided != nullptr) out.undecided[f] = zeros;
      done[j] = 1;
      --pending;
    };
    auto test = [&](int iteration, bool last) {
      Store::unsatisfiedlanes(g, l.get(), bad.get());
      for (size_t j = 0; j < w; ++j)
        if (!done[j] && (last || bad[j] == 0)) finish(j, iteration, bad[j] == 0);
    };

    if (trace != nullptr) trace->push_back(countunsatisfied(g, l.get(), w));
    if (p.earlystop) test(0, p.iterations == 0);
    for (int it = 1; it <= p.iterations && pending > 0; ++it) {
      // One iteration of the schedule. Flooding gathers the next posteriors
      // in acc, from the channel values and every check's new messages.
      if (!p.layered) std::memcpy(acc.get(), ch.get(), sizeof(P) * n * w);
      for (int c = 0; c < g.cnodenum; ++c) {
        const int start = g.checkstart[c];
        const int degree = g.checkstart[c + 1] - start;
        const int *vars = g.edgevar.data() + start;
        T *rc = r.get() + start * w;
        // The posteriors of the check after the next one on their way to
        // the cache: a check's own wait for them would hold up its
        // arithmetic (the float sum-product rules run about 1.2x faster).
        if (c + 2 < g.cnodenum)
          for (int e = g.checkstart[c + 2]; e < g.checkstart[c + 3]; ++e) {
            hwy::Prefetch(l.get() + g.edgevar[e] * w);
            if (!p.layered) hwy::Prefetch(acc.get() + g.edgevar[e] * w);
          }
        if (!p.layered)
          Store::template update<flooding>(rule, vars, degree, rc, l.get(), acc.get(), tbuf.get(),
                                           scratch);
        else if (g.repeats[c])
          Store::template update<layeredrepeats>(rule, vars, degree, rc, l.get(), l.get(),
                                                 tbuf.get(), scratch);
        else
          Store::template update<layered>(rule, vars, degree, rc, l.get(), l.get(), tbuf.get(),
                                          scratch);
      }
      if (!p.layered) std::swap(l, acc);
      if (trace != nullptr) trace->push_back(countunsatisfied(g, l.get(), w));
      if (p.earlystop || it == p.iterations) test(it, it == p.iterations);
    }
    if (pending > 0) test(0, true);  // no iterations and no early stop
  }
}

template <class A, template <class> class Store>
void minsumbatches(const params &p, const double *llr, int frames, const decodeoutputs &out,
                   std::vector<int> *trace, std::atomic<int> *next) {
  using plain = minsumrule<A, plaincorrection>;
  using normalised = minsumrule<A, normalisedcorrection>;
  using offset = minsumrule<A, offsetcorrection>;
  switch (p.rule) {
    case ruleminsum:
      return run<plain, Store<plain>>(p, llr, frames, out, trace, next);
    case rulenms:
      return run<normalised, Store<normalised>>(p, llr, frames, out, trace, next);
    default:
      return run<offset, Store<offset>>(p, llr, frames, out, trace, next);
  }
}

void decodebatches(const params &p, const double *llr, int frames, const decodeoutputs &out,
                   std::vector<int> *trace, std::atomic<int> *next) {
  if (p.rule == rulespa) return run<sumproductrule<false>>(p, llr, frames, out, trace, next);
  if (p.rule == rulespafast) return run<sumproductrule<true>>(p, llr, frames, out, trace, next);
  if (p.bits == 8 && p.wide)
    return minsumbatches<fixed8, wideposteriors>(p, llr, frames, out, trace, next);
  if (p.bits == 8) return minsumbatches<fixed8, sameposteriors>(p, llr, frames, out, trace, next);
  minsumbatches<fixed16, sameposteriors>(p, llr, frames, out, trace, next);
}

int lanecount(int bits) {
  if (bits == 8) return static_cast<int>(hn::Lanes(hn::ScalableTag<std::int8_t>()));
  if (bits == 16) return static_cast<int>(hn::Lanes(hn::ScalableTag<std::int16_t>()));
  return static_cast<int>(hn::Lanes(hn::ScalableTag<float>()));
}

const char *targetname() { return hwy::TargetName(HWY_TARGET); }

// Every stride-th float of [-80, -0] and of [1, 2^25] (by bit pattern, both
// ends included) at which the sum-product rule's exponential and logarithm
// differ in any bit from Highway's Exp and Log: the inputs they meet (the
// quotient (D + N) / max(D - N, D (1 - 2^-24)) lies in [1, 2^25)).
long long spamathmismatches(int stride) {
  const float32::D d;
  const hn::RebindToSigned<float32::D> di;
  const sumproductrule<false> rule{params{}};
  const size_t w = hn::Lanes(d);
  auto in = hwy::AllocateAligned<std::uint32_t>(w);
  long long bad = 0;
  auto sweep = [&](std::uint32_t first, std::uint32_t last, bool exp) {
    for (std::uint64_t at = first; at <= last;) {
      for (size_t j = 0; j < w; ++j, at += static_cast<std::uint64_t>(stride))
        in[j] = static_cast<std::uint32_t>(std::min<std::uint64_t>(at, last));
      const auto x = hn::BitCast(d, hn::Load(hn::RebindToUnsigned<float32::D>(), in.get()));
      const auto mine = exp ? rule.expnegative(x) : rule.logatleastone(x);
      const auto theirs = exp ? hn::Exp(d, x) : hn::Log(d, x);
      bad += static_cast<long long>(
          hn::CountTrue(di, hn::Ne(hn::BitCast(di, mine), hn::BitCast(di, theirs))));
    }
  };
  sweep(0x80000000u, 0xC2A00000u, true);   // -0 .. -80
  sweep(0x3F800000u, 0x4C000000u, false);  // 1 .. 2^25
  return bad;
}

bool fusedmultiplyadd() { return HWY_NATIVE_FMA != 0; }

// The fast rule's exponential, reciprocal and logarithm over count values,
// a vector at a time (the last one padded with the first values).
void fastmath(const float *x, const float *b, const float *q, int count, float *expx,
              float *inverseb, float *logq) {
  const float32::D d;
  const sumproductrule<true> rule{params{}};
  const size_t w = hn::Lanes(d);
  auto in = hwy::AllocateAligned<float>(3 * w), result = hwy::AllocateAligned<float>(3 * w);
  for (int at = 0; at < count; at += static_cast<int>(w)) {
    for (size_t j = 0; j < w; ++j) {
      const int k = at + static_cast<int>(j) < count ? at + static_cast<int>(j) : 0;
      in[j] = x[k];
      in[w + j] = b[k];
      in[2 * w + j] = q[k];
    }
    hn::Store(rule.fastexpnegative(hn::Load(d, in.get())), d, result.get());
    hn::Store(rule.reciprocal(hn::Load(d, in.get() + w)), d, result.get() + w);
    hn::Store(rule.fastlogatleastone(hn::Load(d, in.get() + 2 * w)), d, result.get() + 2 * w);
    for (size_t j = 0; j < w && at + static_cast<int>(j) < count; ++j) {
      expx[at + j] = result[j];
      inverseb[at + j] = result[w + j];
      logq[at + j] = result[2 * w + j];
    }
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace ldpc::kernel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace ldpc::kernel {
HWY_EXPORT(decodebatches);
HWY_EXPORT(lanecount);
HWY_EXPORT(targetname);
HWY_EXPORT(spamathmismatches);
HWY_EXPORT(fusedmultiplyadd);
HWY_EXPORT(fastmath);

void decodesimd(const params &p, const double *llr, int frames, const decodeoutputs &out,
                std::vector<int> *trace, std::atomic<int> *next) {
  HWY_DYNAMIC_DISPATCH(decodebatches)(p, llr, frames, out, trace, next);
}

int simdlanes(int bits) { return HWY_DYNAMIC_DISPATCH(lanecount)(bits); }

const char *simdtarget() { return HWY_DYNAMIC_DISPATCH(targetname)(); }

std::vector<long long> simdtargets() {
  std::vector<long long> targets;
  for (int64_t target : hwy::SupportedAndGeneratedTargets()) targets.push_back(target);
  return targets;
}

void restricttarget(long long target) { hwy::SetSupportedTargetsForTest(target); }

long long spamismatches(int stride) { return HWY_DYNAMIC_DISPATCH(spamathmismatches)(stride); }

bool simdfused() { return HWY_DYNAMIC_DISPATCH(fusedmultiplyadd)(); }

void spafastmath(const float *x, const float *b, const float *q, int count, float *expx,
                 float *inverseb, float *logq) {
  HWY_DYNAMIC_DISPATCH(fastmath)(x, b, q, count, expx, inverseb, logq);
}
}  // namespace ldpc::kernel
#endif
