// The scalar model of the decoder: one frame at a time, plain C++ in the
// order of the SIMD code. For the min-sum family it is the definition of the
// fixed-point arithmetic (the SIMD results equal it bit for bit); sum-product
// runs here in double precision with the std library's tanh and atanh, as
// the reference that the float SIMD path is compared with.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "kernel.h"

namespace ldpc::kernel {

namespace {

enum { flooding = 0, layered = 1, layeredrepeats = 2 };

// The message's write-back, as writeback in simdkernel.cpp.
template <int mode, class Model, class T>
void writeback(T t, T message, T *r, T *l, T *acc) {
  if (mode == layeredrepeats) {
    const T change = Model::sub(message, *r);
    *r = message;
    *l = Model::add(*l, change);
    return;
  }
  *r = message;
  if (mode == layered)
    *l = Model::add(t, message);
  else
    *acc = Model::add(*acc, message);
}

// int16 fixed point: magnitudes clamped to the bound, so that every sum is
// exact (checked: a sum beyond messagemax would be a fault of the bound).
struct fixedmodel {
  using T = int;
  int rule, alpha, beta, bound;
  explicit fixedmodel(const params &p)
      : rule(p.rule), alpha(p.alphaq15), beta(p.betaq), bound(p.bound) {}
  static T load(double llr) { return quantise(llr); }
  static float posterior(T x) { return static_cast<float>(x) / fixedscale; }
  static T exact(T x) {
    if (x > messagemax || x < -messagemax) std::abort();
    return x;
  }
  static T add(T a, T b) { return exact(a + b); }
  static T sub(T a, T b) { return exact(a - b); }

  int correct(int magnitude) const {
    if (rule == rulenms) return (magnitude * alpha + 16384) >> 15;
    if (rule == ruleoms) return std::max(magnitude - beta, 0);
    return magnitude;
  }

  template <int mode>
  void check(const int *vars, int degree, T *r, T *l, T *acc, T *tbuf) const {
    int min1 = bound, min2 = bound;
    bool negative = false;
    for (int k = 0; k < degree; ++k) {
      T t = sub(l[vars[k]], r[k]);
      tbuf[k] = t;
      int a = std::abs(t);
      min2 = std::min(min2, std::max(min1, a));
      min1 = std::min(min1, a);
      negative ^= t < 0;
    }
    for (int k = 0; k < degree; ++k) {
      T t = tbuf[k];
      int magnitude = correct(std::abs(t) == min1 ? min2 : min1);
      writeback<mode, fixedmodel>(t, negative != (t < 0) ? -magnitude : magnitude, r + k,
                                  l + vars[k], acc + vars[k]);
    }
  }
};

// Sum-product in double precision.
struct spamodel {
  using T = double;
  explicit spamodel(const params &) {}
  static T load(double llr) { return std::isnan(llr) ? 0.0 : llr; }
  static float posterior(T x) { return static_cast<float>(x); }
  static T add(T a, T b) { return a + b; }
  static T sub(T a, T b) { return a - b; }

  template <int mode>
  void check(const int *vars, int degree, T *r, T *l, T *acc, T *tbuf) const {
    T *gbuf = tbuf + degree;
    T *prefix = gbuf + degree;
    double product = 1.0;
    for (int k = 0; k < degree; ++k) {
      tbuf[k] = l[vars[k]] - r[k];
      gbuf[k] = std::tanh(tbuf[k] / 2);
      prefix[k] = product;
      product *= gbuf[k];
    }
    const double clamp = 1.0 - 0x1p-52;
    double suffix = 1.0;
    for (int k = degree - 1; k >= 0; --k) {
      double others = std::clamp(prefix[k] * suffix, -clamp, clamp);
      suffix *= gbuf[k];
      writeback<mode, spamodel>(tbuf[k], 2 * std::atanh(others), r + k, l + vars[k],
                                acc + vars[k]);
    }
  }
};

template <class Model>
void run(const params &p, const double *llr, int frames, const decodeoutputs &out,
         std::vector<int> *trace) {
  using T = typename Model::T;
  const Model model(p);
  const decoderlayout &g = *p.layout;
  const int n = g.vnodenum;
  std::vector<T> ch(n), l(n), acc(n), r(g.edges), tbuf(3 * (g.cmaxdegree + 1));
  for (int f = 0; f < frames; ++f) {
    for (int v = 0; v < n; ++v) ch[v] = Model::load(llr[static_cast<size_t>(f) * n + v]);
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
          model.template check<flooding>(vars, degree, rc, l.data(), acc.data(), tbuf.data());
        else if (g.repeats[c])
          model.template check<layeredrepeats>(vars, degree, rc, l.data(), l.data(), tbuf.data());
        else
          model.template check<layered>(vars, degree, rc, l.data(), l.data(), tbuf.data());
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
      if (out.posteriors != nullptr) out.posteriors[at + v] = Model::posterior(l[v]);
    }
    if (out.satisfied != nullptr) out.satisfied[f] = satisfied;
    if (out.iterations != nullptr) out.iterations[f] = iteration;
    if (out.undecided != nullptr) out.undecided[f] = zeros;
  }
}

}  // namespace

void decodescalar(const params &p, const double *llr, int frames, const decodeoutputs &out,
                  std::vector<int> *trace) {
  if (p.rule == rulespa)
    run<spamodel>(p, llr, frames, out, trace);
  else
    run<fixedmodel>(p, llr, frames, out, trace);
}

}  // namespace ldpc::kernel
