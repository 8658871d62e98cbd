// The scalar model of the decoder: one frame at a time, plain C++ in the
// order of the SIMD code. For the min-sum family it is the definition of the
// fixed-point arithmetic (the SIMD results equal it bit for bit); sum-product
// runs here in double precision with the std library's tanh and atanh, as
// the reference that the float SIMD path is compared with; fast sum-product
// runs the SIMD code's float operations in its order (the same bits).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "kernel.h"

namespace ldpc::kernel {

namespace {

// int16 or int8 fixed point: channel values and magnitudes clamped to
// their bounds, so that every sum is exact (checked: a sum beyond the
// width's largest value would be a fault of the bounds).
struct fixedmodel {
  using T = int;
  int rule, alpha, beta, bound, channel, scale, largest;
  explicit fixedmodel(const params &p)
      : rule(p.rule),
        alpha(p.alphaq15),
        beta(p.betaq),
        bound(p.bound),
        channel(p.channel),
        scale(scaleof(p.bits)),
        largest(largestof(p.bits, p.wide)) {}
  T load(double llr) const { return quantise(llr, scale, channel); }
  float posterior(T x) const { return static_cast<float>(x) / scale; }
  T exact(T x) const {
    if (x > largest || x < -largest) std::abort();
    return x;
  }
  T add(T a, T b) const { return exact(a + b); }
  T sub(T a, T b) const { return exact(a - b); }

  int correct(int magnitude) const {
    if (rule == rulenms) return (magnitude * alpha + 16384) >> 15;
    if (rule == ruleoms) return std::max(magnitude - beta, 0);
    return magnitude;
  }

  // The check rule: messages r[k] from inputs t[k]. The smallest magnitude
  // of the other edges, at most the bound, corrected; the sign the parity
  // of the other edges' signs.
  void check(const T *t, int degree, T *r) const {
    int min1 = bound, min2 = bound;
    bool negative = false;
    for (int k = 0; k < degree; ++k) {
      int a = std::abs(t[k]);
      min2 = std::min(min2, std::max(min1, a));
      min1 = std::min(min1, a);
      negative ^= t[k] < 0;
    }
    for (int k = 0; k < degree; ++k) {
      int magnitude = correct(std::abs(t[k]) == min1 ? min2 : min1);
      r[k] = negative != (t[k] < 0) ? -magnitude : magnitude;
    }
  }
};

// Sum-product in double precision: 2 atanh of the product of tanh(t/2) over
// the other edges, formed forward and backward.
struct spamodel {
  using T = double;
  explicit spamodel(const params &) {}
  T load(double llr) const { return std::isnan(llr) ? 0.0 : llr; }
  float posterior(T x) const { return static_cast<float>(x); }
  T add(T a, T b) const { return a + b; }
  T sub(T a, T b) const { return a - b; }

  void check(const T *t, int degree, T *r) const {
    double product = 1.0;
    for (int k = 0; k < degree; ++k) {
      r[k] = product;  // the product over the edges before k
      product *= std::tanh(t[k] / 2);
    }
    const double clamp = 1.0 - 0x1p-52;
    double suffix = 1.0;
    for (int k = degree - 1; k >= 0; --k) {
      double others = std::clamp(r[k] * suffix, -clamp, clamp);
      suffix *= std::tanh(t[k] / 2);
      r[k] = 2 * std::atanh(others);
    }
  }
};

// The fast rule's float steps (kernel.h). A multiply-add is fused
// (std::fma, one rounding) or not (the product rounded to float, then the
// sum), as the SIMD target's.
float madd(float a, float b, float c, bool fused) { return fused ? std::fma(a, b, c) : a * b + c; }
float msub(float a, float b, float c, bool fused) { return fused ? std::fma(a, b, -c) : a * b - c; }

template <std::size_t count>
float horner(const float (&c)[count], float x, bool fused) {
  float r = c[count - 1];
  for (std::size_t k = count - 1; k-- > 0;) r = madd(r, x, c[k], fused);
  return r;
}

std::uint32_t bitsof(float x) {
  std::uint32_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}

float floatof(std::uint32_t b) {
  float x;
  std::memcpy(&x, &b, sizeof x);
  return x;
}

float fastexp(float x, bool fused) {
  const float shifted = madd(x, fastlog2e, fastroundshift, fused);
  const float f = msub(x, fastlog2e, shifted - fastroundshift, fused);
  const float power = madd(horner(fastexppoly, f, fused), f, 1.0f, fused);
  return floatof(bitsof(power) + (bitsof(shifted) << 23));
}

float fastreciprocal(float b, bool fused) {
  float r = floatof(fastreciprocalmagic - bitsof(b));
  for (int step = 0; step < 2; ++step) r *= fused ? std::fma(-b, r, 2.0f) : 2.0f - b * r;
  return r;
}

float fastlog(float q, bool fused) {
  const std::uint32_t bits = bitsof(q) + fastlogshift;
  const float e = static_cast<float>(static_cast<int>(bits >> 23) - 127);
  const float u = floatof((bits & 0x7FFFFFu) + fastlogmantissa) - 1.0f;
  return madd(horner(fastlogpoly, u, fused), u, e * fastln2, fused);
}

// Fast sum-product in float, as sumproductrule<true> in simdkernel.cpp: x =
// exp(max(-|t|, -80)), the products N of 1 - x and D of 1 + x before each
// edge (prefix) and after it (suffix), the magnitude log(max((D + N) / B,
// 1)) with B = max(D - N, D (1 - spaclamp)) and the division by the
// reciprocal's product, D + N and D - N multiply-adds of the prefix and
// suffix of D onto N, the sign the parity of the other edges' sign bits.
struct spafastmodel {
  using T = float;
  bool fused;
  mutable std::vector<float> x, prefixn, prefixd;
  explicit spafastmodel(const params &p)
      : fused(simdfused()),
        x(p.layout->cmaxdegree),
        prefixn(p.layout->cmaxdegree),
        prefixd(p.layout->cmaxdegree) {}
  T load(double llr) const { return tofloat(llr); }
  float posterior(T v) const { return v; }
  T add(T a, T b) const { return a + b; }
  T sub(T a, T b) const { return a - b; }

  void check(const T *t, int degree, T *r) const {
    float n = 1.0f, dd = 1.0f;
    bool parity = false;
    for (int k = 0; k < degree; ++k) {
      parity ^= std::signbit(t[k]);
      x[k] = fastexp(std::max(-std::fabs(t[k]), -80.0f), fused);
      prefixn[k] = n;
      prefixd[k] = dd;
      n *= 1.0f - x[k];
      dd *= 1.0f + x[k];
    }
    float suffixn = 1.0f, suffixd = 1.0f;
    for (int k = degree - 1; k >= 0; --k) {
      const float othersn = prefixn[k] * suffixn;
      const float sum = madd(prefixd[k], suffixd, othersn, fused);
      const float difference = msub(prefixd[k], suffixd, othersn, fused);
      const float below = std::max(difference, prefixd[k] * suffixd * (1.0f - spaclamp));
      suffixn *= 1.0f - x[k];
      suffixd *= 1.0f + x[k];
      const float q = std::max(sum * fastreciprocal(below, fused), 1.0f);
      const float magnitude = fastlog(q, fused);
      r[k] = parity != std::signbit(t[k]) ? -magnitude : magnitude;
    }
  }
};

// The schedules' update of one check, as updatecheck in simdkernel.cpp:
// inputs t = L - R_old, the rule's outputs over the old messages, and the
// posteriors updated from the last edge back to the first.
enum { flooding = 0, layered = 1, layeredrepeats = 2 };

template <int mode, class Model>
void updatecheck(const Model &model, const int *vars, int degree, typename Model::T *r,
                 typename Model::T *l, typename Model::T *acc, typename Model::T *tbuf) {
  using T = typename Model::T;
  T *message = tbuf + degree;
  for (int k = 0; k < degree; ++k) tbuf[k] = model.sub(l[vars[k]], r[k]);
  model.check(tbuf, degree, message);
  for (int k = degree - 1; k >= 0; --k) {
    T &posterior = l[vars[k]];
    if (mode == layeredrepeats)
      posterior = model.add(posterior, model.sub(message[k], r[k]));
    else if (mode == layered)
      posterior = model.add(tbuf[k], message[k]);
    else
      acc[vars[k]] = model.add(acc[vars[k]], message[k]);
    r[k] = message[k];
  }
}

template <class Model>
void run(const params &p, const double *llr, int frames, const decodeoutputs &out,
         std::vector<int> *trace, std::atomic<int> *next) {
  using T = typename Model::T;
  const Model model(p);
  const decoderlayout &g = *p.layout;
  const int n = g.vnodenum;
  std::vector<T> ch(n), l(n), acc(n), r(g.edges), tbuf(2 * (g.cmaxdegree + 1));
  for (int f = 0;; ++f) {
    if (next != nullptr) f = next->fetch_add(1);
    if (f >= frames) break;
    for (int v = 0; v < n; ++v) ch[v] = model.load(llr[static_cast<size_t>(f) * n + v]);
    l = ch;
    std::fill(r.begin(), r.end(), T(0));
    if (trace != nullptr) trace->push_back(countunsatisfied(g, l.data(), 1));
    int iteration = 0;
    bool satisfied = countunsatisfied(g, l.data(), 1) == 0;
    while (iteration < p.iterations && !(p.earlystop && satisfied)) {
      ++iteration;
      // Flooding gathers the next posteriors in acc, check by check.
      if (!p.layered) acc = ch;
      for (int c = 0; c < g.cnodenum; ++c) {
        const int start = g.checkstart[c];
        const int degree = g.checkstart[c + 1] - start;
        const int *vars = g.edgevar.data() + start;
        T *rc = r.data() + start;
        if (!p.layered)
          updatecheck<flooding>(model, vars, degree, rc, l.data(), acc.data(), tbuf.data());
        else if (g.repeats[c])
          updatecheck<layeredrepeats>(model, vars, degree, rc, l.data(), l.data(), tbuf.data());
        else
          updatecheck<layered>(model, vars, degree, rc, l.data(), l.data(), tbuf.data());
      }
      if (!p.layered) l.swap(acc);
      int unsatisfied = countunsatisfied(g, l.data(), 1);
      if (trace != nullptr) trace->push_back(unsatisfied);
      satisfied = unsatisfied == 0;
    }
    // The frame's results.
    const size_t at = static_cast<size_t>(f) * n;
    int zeros = 0;
    for (int v = 0; v < n; ++v) {
      out.decisions[at + v] = l[v] < 0;
      zeros += l[v] == 0;
      if (out.posteriors != nullptr) out.posteriors[at + v] = model.posterior(l[v]);
    }
    if (out.satisfied != nullptr) out.satisfied[f] = satisfied;
    if (out.iterations != nullptr) out.iterations[f] = iteration;
    if (out.undecided != nullptr) out.undecided[f] = zeros;
  }
}

}  // namespace

void decodescalar(const params &p, const double *llr, int frames, const decodeoutputs &out,
                  std::vector<int> *trace, std::atomic<int> *next) {
  if (p.rule == rulespa)
    run<spamodel>(p, llr, frames, out, trace, next);
  else if (p.rule == rulespafast)
    run<spafastmodel>(p, llr, frames, out, trace, next);
  else
    run<fixedmodel>(p, llr, frames, out, trace, next);
}

float spafastexpmodel(float x, bool fused) { return fastexp(x, fused); }
float spafastreciprocalmodel(float b, bool fused) { return fastreciprocal(b, fused); }
float spafastlogmodel(float q, bool fused) { return fastlog(q, fused); }

}  // namespace ldpc::kernel
