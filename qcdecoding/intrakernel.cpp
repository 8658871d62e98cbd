// The SIMD code of the one-frame decoder of quasi-cyclic codes: lane i of a
// vector is row i of a block row (check r Z + i), compiled once per
// instruction set and chosen at run time. The arithmetic and the check
// rule are those of decoding/simdkernel.cpp's 16-bit min-sum on the same
// values; only what the lanes hold differs.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "intrakernel.cpp"
#include "hwy/foreach_target.h"  // IWYU pragma: keep

#include <algorithm>
#include <cstring>

#include "hwy/highway.h"
#include "intrakernel.h"
#include "kernel.h"

HWY_BEFORE_NAMESPACE();
namespace ldpc::intra {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using D = hn::ScalableTag<std::int16_t>;
using V = hn::Vec<D>;

// The corrections of min-sum on magnitudes 0 .. bound: none, normalised
// ((m a + 2^14) >> 15) and offset (stops at 0).
struct plain {
  explicit plain(const params &) {}
  V operator()(V m) const { return m; }
};

struct normalised {
  std::int16_t a;
  explicit normalised(const params &p) : a(p.alphaq15) {}
  V operator()(V m) const {
#if HWY_TARGET == HWY_SCALAR
    return hn::Set(D(), static_cast<std::int16_t>((hn::GetLane(m) * a + 16384) >> 15));
#else
    return hn::MulFixedPoint15(m, hn::Set(D(), a));
#endif
  }
};

struct offset {
  V beta;
  explicit offset(const params &p) : beta(hn::Set(D(), p.betaq)) {}
  V operator()(V m) const { return hn::Max(hn::Sub(m, beta), hn::Zero(D())); }
};

// Row i of the rotation of a block column's z values by shift s: the value
// of bit (i + s) mod z, the bit that row i of the circulant joins; and back.
inline void rotatein(std::int16_t *to, const std::int16_t *from, int s, int z) {
  std::memcpy(to, from + s, sizeof(std::int16_t) * static_cast<std::size_t>(z - s));
  std::memcpy(to + (z - s), from, sizeof(std::int16_t) * static_cast<std::size_t>(s));
}
inline void rotateout(std::int16_t *to, const std::int16_t *from, int s, int z) {
  std::memcpy(to + s, from, sizeof(std::int16_t) * static_cast<std::size_t>(z - s));
  std::memcpy(to, from + (z - s), sizeof(std::int16_t) * static_cast<std::size_t>(s));
}

inline std::size_t padded(int z) {
  const std::size_t w = hn::Lanes(D());
  return (static_cast<std::size_t>(z) + w - 1) / w * w;
}

// A row of z channel LLRs in fixed point, as kernel::quantise: clamp(floor(8 x
// + 0.5), -clamp, clamp), NaN as 0 (8 x is exact, so the sum rounds once as
// there).
inline void quantiserow(const double *x, int z, std::int16_t clamp, std::int16_t *l) {
  int i = 0;
#if HWY_TARGET != HWY_SCALAR
  const hn::ScalableTag<double> dd;
  const hn::Rebind<std::int32_t, decltype(dd)> d32;
  const hn::Rebind<std::int16_t, decltype(dd)> d16;
  const int step = static_cast<int>(hn::Lanes(dd));
  const auto scale = hn::Set(dd, kernel::fixedscale), half = hn::Set(dd, 0.5);
  const auto high = hn::Set(dd, clamp), low = hn::Set(dd, -clamp);
  for (; i + step <= z; i += step) {
    const auto v = hn::LoadU(dd, x + i);
    auto q = hn::Floor(hn::Add(hn::Mul(v, scale), half));
    q = hn::IfThenZeroElse(hn::IsNaN(v), hn::Min(hn::Max(q, low), high));
    hn::StoreU(hn::DemoteTo(d16, hn::DemoteTo(d32, q)), d16, l + i);
  }
#endif
  for (; i < z; ++i)
    l[i] = static_cast<std::int16_t>(kernel::quantise(x[i], kernel::fixedscale, clamp));
}

// A row's decisions (1 for a negative posterior), its posteriors in LLR
// units (x / 8, exact; when posteriors is not null) and its zero count.
inline int resultrow(const std::int16_t *l, int z, std::uint8_t *decisions, float *posteriors) {
  int zeros = 0, i = 0;
#if HWY_TARGET != HWY_SCALAR
  const hn::ScalableTag<std::int32_t> d32;
  const hn::Rebind<std::int16_t, decltype(d32)> d16;
  const hn::Rebind<std::uint8_t, decltype(d32)> d8;
  const hn::Rebind<float, decltype(d32)> df;
  const int step = static_cast<int>(hn::Lanes(d32));
  const auto eighth = hn::Set(df, 1.0f / kernel::fixedscale);
  for (; i + step <= z; i += step) {
    const auto x = hn::PromoteTo(d32, hn::LoadU(d16, l + i));
    zeros += static_cast<int>(hn::CountTrue(d32, hn::Eq(x, hn::Zero(d32))));
    const auto negative = hn::And(hn::VecFromMask(d32, hn::Lt(x, hn::Zero(d32))), hn::Set(d32, 1));
    hn::StoreU(hn::DemoteTo(d8, negative), d8, decisions + i);
    if (posteriors != nullptr)
      hn::StoreU(hn::Mul(hn::ConvertTo(df, x), eighth), df, posteriors + i);
  }
#endif
  for (; i < z; ++i) {
    decisions[i] = l[i] < 0;
    zeros += l[i] == 0;
    if (posteriors != nullptr) posteriors[i] = static_cast<float>(l[i]) / kernel::fixedscale;
  }
  return zeros;
}

// The frame's memory, zp = Z rounded up to whole vectors per row: the
// posteriors per block column (the rows past Z hold 1, never read as
// bits), the check messages per circulant in check order, the rotated
// inputs of one block row, and two rows for the parity test.
struct frame {
  std::size_t zp;
  std::int16_t *l, *r, *t, *parity, *rotated;
  frame(const params &p, std::int16_t *work) : zp(padded(p.lift)) {
    l = work;
    r = l + static_cast<std::size_t>(p.columns) * zp;
    t = r + static_cast<std::size_t>(p.rowstart[p.rows]) * zp;
    parity = t + static_cast<std::size_t>(std::max(1, p.maxrowdegree)) * zp;
    rotated = parity + zp;
  }
  static std::size_t size(const params &p) {
    const std::size_t zp = padded(p.lift);
    return (static_cast<std::size_t>(p.columns) + p.rowstart[p.rows] + std::max(1, p.maxrowdegree) +
            2) *
           zp;
  }
};

// The stopping rule: no posterior 0 and every check's signs even.
bool satisfied(const params &p, const frame &f) {
  const D d;
  const std::size_t w = hn::Lanes(d), zp = f.zp;
  const std::size_t all = static_cast<std::size_t>(p.columns) * zp;
  for (std::size_t i = 0; i < all; i += w)
    if (!hn::AllFalse(d, hn::Eq(hn::Load(d, f.l + i), hn::Zero(d)))) return false;
  for (int b = 0; b < p.rows; ++b) {
    const int start = p.rowstart[b], degree = p.rowstart[b + 1] - start;
    if (degree == 0) continue;
    // Rows past Z stay 0 in both buffers: rotatein writes rows below Z.
    rotatein(f.parity, f.l + p.column[start] * zp, p.shift[start], p.lift);
    for (int k = 1; k < degree; ++k) {
      rotatein(f.rotated, f.l + p.column[start + k] * zp, p.shift[start + k], p.lift);
      for (std::size_t i = 0; i < zp; i += w)
        hn::Store(hn::Xor(hn::Load(d, f.parity + i), hn::Load(d, f.rotated + i)), d, f.parity + i);
    }
    for (std::size_t i = 0; i < zp; i += w)
      if (!hn::AllFalse(d, hn::Lt(hn::Load(d, f.parity + i), hn::Zero(d)))) return false;
  }
  return true;
}

// One layer: block row b's Z checks at once. Inputs t = L - R_old; the
// smallest and second smallest |t| from the bound down, corrected; each
// message the correction of the other edges' smallest with the parity of
// their signs; L = t + R. As updatecheck of simdkernel.cpp, lane by lane.
template <class Correction>
HWY_INLINE void layer(const params &p, const frame &f, const Correction &correct, int b) {
  const D d;
  const std::size_t w = hn::Lanes(d), zp = f.zp;
  const int start = p.rowstart[b], degree = p.rowstart[b + 1] - start;
  if (degree == 0) return;
  for (int k = 0; k < degree; ++k)
    rotatein(f.t + k * zp, f.l + p.column[start + k] * zp, p.shift[start + k], p.lift);
  const V bound = hn::Set(d, p.bound);
  std::int16_t *r = f.r + static_cast<std::size_t>(start) * zp;
  for (std::size_t i = 0; i < zp; i += w) {
    V min1 = bound, min2 = bound, parity = hn::Zero(d);
    for (int k = 0; k < degree; ++k) {
      std::int16_t *tk = f.t + k * zp + i;
      const V t = hn::Sub(hn::Load(d, tk), hn::Load(d, r + k * zp + i));
      hn::Store(t, d, tk);
      const V a = hn::Abs(t);
      min2 = hn::Min(min2, hn::Max(min1, a));
      min1 = hn::Min(min1, a);
      parity = hn::Xor(parity, t);
    }
    const V m1 = correct(min1), m2 = correct(min2);
    for (int k = 0; k < degree; ++k) {
      std::int16_t *tk = f.t + k * zp + i;
      const V t = hn::Load(d, tk);
      const V magnitude = hn::IfThenElse(hn::Eq(hn::Abs(t), min1), m2, m1);
      const V sign = hn::BroadcastSignBit(hn::Xor(parity, t));
      const V message = hn::Sub(hn::Xor(magnitude, sign), sign);
      hn::Store(message, d, r + k * zp + i);
      hn::Store(hn::Add(t, message), d, tk);
    }
  }
  for (int k = 0; k < degree; ++k)
    rotateout(f.l + p.column[start + k] * zp, f.t + k * zp, p.shift[start + k], p.lift);
}

template <class Correction>
void run(const params &p, const double *llr, const decodeoutputs &out, std::int16_t *work) {
  const Correction correct(p);
  const frame f(p, work);
  const std::size_t zp = f.zp;
  const int z = p.lift;
  // The messages start at 0 and the parity rows past Z stay 0; the
  // posteriors are written whole below, the inputs whole before each use.
  std::memset(f.r, 0, sizeof(std::int16_t) * static_cast<std::size_t>(p.rowstart[p.rows]) * zp);
  std::memset(f.parity, 0, sizeof(std::int16_t) * 2 * zp);
  for (int c = 0; c < p.columns; ++c) {
    std::int16_t *l = f.l + c * zp;
    quantiserow(llr + static_cast<std::size_t>(c) * z, z, p.channel, l);
    for (std::size_t i = z; i < zp; ++i) l[i] = 1;
  }
  // As the batched decoder: the rule tested on the channel values and after
  // each iteration with early stop, else after the last only.
  int iteration = 0;
  bool done = p.earlystop || p.iterations == 0 ? satisfied(p, f) : false;
  while (iteration < p.iterations && !(p.earlystop && done)) {
    ++iteration;
    for (int b = 0; b < p.rows; ++b) layer(p, f, correct, b);
    if (p.earlystop || iteration == p.iterations) done = satisfied(p, f);
  }
  int zeros = 0;
  for (int c = 0; c < p.columns; ++c) {
    const std::size_t at = static_cast<std::size_t>(c) * z;
    zeros += resultrow(f.l + c * zp, z, out.decisions + at,
                       out.posteriors != nullptr ? out.posteriors + at : nullptr);
  }
  if (out.satisfied != nullptr) *out.satisfied = done;
  if (out.iterations != nullptr) *out.iterations = iteration;
  if (out.undecided != nullptr) *out.undecided = zeros;
}

void decodeone(const params &p, const double *llr, const decodeoutputs &out, std::int16_t *work) {
  switch (p.rule) {
    case kernel::ruleminsum:
      return run<plain>(p, llr, out, work);
    case kernel::rulenms:
      return run<normalised>(p, llr, out, work);
    default:
      return run<offset>(p, llr, out, work);
  }
}

std::size_t sizeof_work(const params &p) { return frame::size(p); }
int lanecount() { return static_cast<int>(hn::Lanes(D())); }
const char *targetname() { return hwy::TargetName(HWY_TARGET); }

}  // namespace HWY_NAMESPACE
}  // namespace ldpc::intra
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace ldpc::intra {
HWY_EXPORT(decodeone);
HWY_EXPORT(sizeof_work);
HWY_EXPORT(lanecount);
HWY_EXPORT(targetname);

int lanes() { return HWY_DYNAMIC_DISPATCH(lanecount)(); }
const char *target() { return HWY_DYNAMIC_DISPATCH(targetname)(); }
std::size_t worksize(const params &p) { return HWY_DYNAMIC_DISPATCH(sizeof_work)(p); }
void decodeframe(const params &p, const double *llr, const decodeoutputs &out, std::int16_t *work) {
  HWY_DYNAMIC_DISPATCH(decodeone)(p, llr, out, work);
}
}  // namespace ldpc::intra
#endif
