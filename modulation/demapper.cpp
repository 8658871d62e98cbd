// The demapper's entry points and its plain scalar model.
#include "demapper.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "demapperkernel.h"
#include "enumnames.h"

namespace ldpc {

namespace {

const char *const names[] = {"exact", "maxlog"};

using demapkernel::lowestexponent;
using demapkernel::smallsum;

// log sum exp(m[l]) over the levels l whose bit `bit` equals value,
// against their own largest metric.
double subsetlse(const double *m, int levels, int bit, int value) {
  double top = -HUGE_VAL;
  for (int l = 0; l < levels; ++l)
    if (((l >> bit) & 1) == value) top = std::max(top, m[l]);
  double sum = 0;
  for (int l = 0; l < levels; ++l)
    if (((l >> bit) & 1) == value) sum += std::exp(std::max(m[l] - top, lowestexponent));
  return top + std::log(sum);
}

// The p LLRs of one dimension (out[t] for its bit t, t = 0 the first).
void dimensionllrs(const double *levels, int p, double w, double g, double invn0, bool exact,
                   double *out) {
  const int count = 1 << p;
  double m[16], e[16];
  for (int l = 0; l < count; ++l)
    m[l] = (2.0 * levels[l] * w - g * (levels[l] * levels[l])) * invn0;
  if (p == 1) {
    out[0] = m[0] - m[1];
    return;
  }
  if (!exact) {
    for (int t = 0; t < p; ++t) {
      const int bit = p - 1 - t;
      double top0 = -HUGE_VAL, top1 = -HUGE_VAL;
      for (int l = 0; l < count; ++l) {
        if ((l >> bit) & 1)
          top1 = std::max(top1, m[l]);
        else
          top0 = std::max(top0, m[l]);
      }
      out[t] = top0 - top1;
    }
    return;
  }
  double top = m[0];
  for (int l = 1; l < count; ++l) top = std::max(top, m[l]);
  for (int l = 0; l < count; ++l) e[l] = std::exp(std::max(m[l] - top, lowestexponent));
  for (int t = 0; t < p; ++t) {
    const int bit = p - 1 - t;
    double s0 = 0, s1 = 0;
    for (int l = 0; l < count; ++l) {
      if ((l >> bit) & 1)
        s1 += e[l];
      else
        s0 += e[l];
    }
    if (s0 >= smallsum && s1 >= smallsum)
      out[t] = std::log(s0 / s1);
    else
      out[t] = subsetlse(m, count, bit, 0) - subsetlse(m, count, bit, 1);
  }
}

demapkernel::params setup(modulationkind kind, demapperkind demapper, const std::complex<double> *y,
                          const std::complex<double> *gains, int nsymbols, double n0, double *llr,
                          const std::vector<double> &levels) {
  demapkernel::params p;
  p.levels = levels.data();
  p.q = bitspersymbol(kind);
  p.p = kind == modulationkind::bpsk ? 0 : p.q / 2;
  p.exact = demapper == demapperkind::exact;
  p.y = y;
  p.gains = gains;
  p.nsymbols = nsymbols;
  p.invn0 = 1.0 / n0;
  p.llr = llr;
  return p;
}

}  // namespace

const char *demappername(demapperkind kind) { return names[static_cast<int>(kind)]; }

bool parsedemapper(const std::string &name, demapperkind *kind) {
  return parseenumname(names, name, kind);
}

void demodulate(modulationkind kind, demapperkind demapper, const std::complex<double> *y,
                const std::complex<double> *gains, int nsymbols, double n0, double *llr) {
  const std::vector<double> levels = dimensionlevels(kind);
  demapkernel::demapsimd(setup(kind, demapper, y, gains, nsymbols, n0, llr, levels));
}

void demodulatescalar(modulationkind kind, demapperkind demapper, const std::complex<double> *y,
                      const std::complex<double> *gains, int nsymbols, double n0, double *llr) {
  const std::vector<double> levels = dimensionlevels(kind);
  const demapkernel::params p = setup(kind, demapper, y, gains, nsymbols, n0, llr, levels);
  for (int i = 0; i < nsymbols; ++i) {
    const double yr = y[i].real(), yi = y[i].imag();
    double wr = yr, wi = yi, g = 1.0;
    if (gains != nullptr) {
      const double hr = gains[i].real(), hi = gains[i].imag();
      wr = hr * yr + hi * yi;
      wi = hr * yi - hi * yr;
      g = hr * hr + hi * hi;
    }
    double *out = llr + static_cast<std::ptrdiff_t>(i) * p.q;
    if (p.p == 0) {
      out[0] = (wr + wi) * (4.0 * levels[0] * p.invn0);
      continue;
    }
    double re[4], im[4];
    dimensionllrs(p.levels, p.p, wr, g, p.invn0, p.exact, re);
    dimensionllrs(p.levels, p.p, wi, g, p.invn0, p.exact, im);
    for (int t = 0; t < p.p; ++t) {
      out[2 * t] = re[t];
      out[2 * t + 1] = im[t];
    }
  }
}

const char *demappertarget() { return demapkernel::simdtarget(); }

}  // namespace ldpc
