#include "densityevolution.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ldpc {

llrgrid makegrid(double step, double range) {
  llrgrid grid;
  grid.step = step;
  grid.half = static_cast<int>(std::ceil(range / step - 1e-9));
  return grid;
}

namespace {

// P(X < x) and P(X >= x) of a standard normal X, each accurate in its tail.
double normalcdf(double x) { return 0.5 * std::erfc(-x / std::numbers::sqrt2); }
double normaltail(double x) { return 0.5 * std::erfc(x / std::numbers::sqrt2); }

}  // namespace

density channeldensity(const llrgrid &grid, double sigma) {
  double mean = 2 / (sigma * sigma);
  double deviation = 2 / sigma;
  density f(grid.size(), 0.0);
  // Bin n holds [(n - 1/2) step, (n + 1/2) step); the end bins hold the tails.
  // Below the mean the masses are differences of the lower tail, above it of
  // the upper tail, so that neither loses its small values.
  for (int n = -grid.half; n <= grid.half; ++n) {
    double lower = ((n - 0.5) * grid.step - mean) / deviation;
    double upper = ((n + 0.5) * grid.step - mean) / deviation;
    double mass;
    if (n == -grid.half)
      mass = normalcdf(upper);
    else if (n == grid.half)
      mass = normaltail(lower);
    else if (upper <= 0)
      mass = normalcdf(upper) - normalcdf(lower);
    else
      mass = normaltail(lower) - normaltail(upper);
    f[n + grid.half] = std::max(mass, 0.0);
  }
  return f;
}

density erasuredensity(const llrgrid &grid) {
  density f(grid.size(), 0.0);
  f[grid.half] = 1;
  return f;
}

density certaindensity(const llrgrid &grid) {
  density f(grid.size(), 0.0);
  f[2 * grid.half] = 1;
  return f;
}

double errorprobability(const llrgrid &grid, const density &f) {
  double error = 0.5 * f[grid.half];
  for (int n = 0; n < grid.half; ++n) error += f[n];
  return error;
}

double boxplus(double a, double b) {
  return std::min(a, b) + std::log1p(std::exp(-(a + b))) - std::log1p(std::exp(-std::fabs(a - b)));
}

namespace {

// The b >= 0 with a [+] b = y, for 0 < y < a.
double boxminus(double a, double y) {
  return y + std::log1p(-std::exp(-(a + y))) - std::log1p(-std::exp(-(a - y)));
}

}  // namespace

boxplustable::boxplustable(const llrgrid &grid) : half(grid.half) {
  double step = grid.step;
  rowstart.assign(half + 2, 0);
  auto emit = [&](int value, int begin, int end) {
    if (begin >= end) return;
    runvalue.push_back(value);
    runbegin.push_back(begin);
    runend.push_back(end);
  };
  for (int i = 0; i <= half; ++i) {
    rowstart[i] = static_cast<int>(runvalue.size());
    if (i == 0) {
      emit(0, 0, half + 1);
      continue;
    }
    // Q(i [+] j) = k exactly for j from the first j with j step >= the b
    // where i [+] b = (k - 1/2) step, up to the first j of k + 1.
    double a = i * step;
    int diagonal = static_cast<int>(std::floor(boxplus(a, a) / step + 0.5));
    int value = std::max(0, diagonal - 1);
    int begin = i;
    for (int k = value + 1; k <= i; ++k) {
      double b = boxminus(a, (k - 0.5) * step);
      double first = std::ceil(b / step - 1e-9);
      if (first <= i) {
        value = k;
        continue;
      }
      int next = first > half + 1 ? half + 1 : static_cast<int>(first);
      emit(value, begin, next);
      value = k;
      begin = next;
      if (begin > half) break;
    }
    emit(value, begin, half + 1);
  }
  rowstart[half + 1] = static_cast<int>(runvalue.size());
  for (auto *v : {&asum, &adif, &bsum, &bdif, &apos, &aneg, &bpos, &bneg, &outpos, &outneg})
    v->assign(half + 2, 0.0);
}

void boxplustable::combine(const density &a, const density &b, density *out) const {
  // In sum and difference form: S = P(+m) + P(-m), D = P(+m) - P(-m). The
  // magnitude of a [+] b then has mass S_a S_b and its sign weight D_a D_b,
  // so one pass over the runs gives both.
  for (int m = 0; m <= half; ++m) {
    double ap = a[half + m], an = m == 0 ? 0.0 : a[half - m];
    double bp = b[half + m], bn = m == 0 ? 0.0 : b[half - m];
    asum[m] = ap + an;
    adif[m] = ap - an;
    bsum[m] = bp + bn;
    bdif[m] = bp - bn;
  }
  // Suffix sums over magnitudes j >= m, in apos.. (reused as scratch).
  std::vector<double> &as = apos, &ad = aneg, &bs = bpos, &bd = bneg;
  as[half + 1] = ad[half + 1] = bs[half + 1] = bd[half + 1] = 0;
  for (int m = half; m >= 0; --m) {
    as[m] = as[m + 1] + asum[m];
    ad[m] = ad[m + 1] + adif[m];
    bs[m] = bs[m + 1] + bsum[m];
    bd[m] = bd[m + 1] + bdif[m];
  }
  std::fill(outpos.begin(), outpos.end(), 0.0);
  std::fill(outneg.begin(), outneg.end(), 0.0);
  // Every pair once: a at the smaller magnitude i with b at j >= i, and b at
  // i with a at j > i.
  for (int i = 0; i <= half; ++i) {
    if (asum[i] == 0 && bsum[i] == 0) continue;
    for (int r = rowstart[i]; r < rowstart[i + 1]; ++r) {
      int begin = runbegin[r], end = runend[r];
      int later = std::max(begin, i + 1);
      double s = asum[i] * (bs[begin] - bs[end]);
      double d = adif[i] * (bd[begin] - bd[end]);
      if (later < end) {
        s += bsum[i] * (as[later] - as[end]);
        d += bdif[i] * (ad[later] - ad[end]);
      }
      outpos[runvalue[r]] += s;
      outneg[runvalue[r]] += d;
    }
  }
  out->assign(2 * half + 1, 0.0);
  (*out)[half] = std::max(outpos[0], 0.0);
  for (int m = 1; m <= half; ++m) {
    (*out)[half + m] = std::max(0.5 * (outpos[m] + outneg[m]), 0.0);
    (*out)[half - m] = std::max(0.5 * (outpos[m] - outneg[m]), 0.0);
  }
}

void minsumtails(const llrgrid &grid, const density &f, std::vector<double> *s,
                 std::vector<double> *d) {
  int half = grid.half;
  s->assign(half + 2, 0.0);
  d->assign(half + 2, 0.0);
  double positive = 0, negative = 0;
  for (int m = half; m >= 1; --m) {
    positive += f[half + m];
    negative += f[half - m];
    (*s)[m] = positive + negative;
    (*d)[m] = positive - negative;
  }
  (*s)[0] = (*d)[0] = 1;
}

density minsumoutput(const llrgrid &grid, const std::vector<double> &s,
                     const std::vector<double> &d, const std::vector<int> &magnitude) {
  int half = grid.half;
  density out(grid.size(), 0.0);
  out[half] = std::max(1 - s[1], 0.0);
  for (int m = 1; m <= half; ++m) {
    double nexts = m < half ? s[m + 1] : 0.0, nextd = m < half ? d[m + 1] : 0.0;
    double positive = 0.5 * ((s[m] + d[m]) - (nexts + nextd));
    double negative = 0.5 * ((s[m] - d[m]) - (nexts - nextd));
    int g = magnitude[m];
    out[half + g] += std::max(positive, 0.0);
    out[half - g] += std::max(negative, 0.0);
  }
  return out;
}

fftplan::fftplan(int size) : n(size), reversed(size), twiddle(size / 2) {
  int bits = 0;
  while ((1 << bits) < n) ++bits;
  for (int i = 0; i < n; ++i) {
    int r = 0;
    for (int b = 0; b < bits; ++b)
      if (i & (1 << b)) r |= 1 << (bits - 1 - b);
    reversed[i] = r;
  }
  for (int k = 0; k < n / 2; ++k) twiddle[k] = std::polar(1.0, -2 * std::numbers::pi * k / n);
}

void fftplan::transform(std::complex<double> *data, bool inverse) const {
  for (int i = 0; i < n; ++i)
    if (i < reversed[i]) std::swap(data[i], data[reversed[i]]);
  // Butterflies on the real and imaginary parts directly: the complex
  // product of the standard library checks for infinities on every call.
  double *z = reinterpret_cast<double *>(data);
  const double *w = reinterpret_cast<const double *>(twiddle.data());
  double sign = inverse ? -1 : 1;
  for (int length = 2; length <= n; length <<= 1) {
    int half = length / 2, stride = n / length;
    for (int start = 0; start < n; start += length)
      for (int k = 0; k < half; ++k) {
        double wr = w[2 * k * stride], wi = sign * w[2 * k * stride + 1];
        double *u = z + 2 * (start + k), *v = z + 2 * (start + k + half);
        double vr = v[0] * wr - v[1] * wi, vi = v[0] * wi + v[1] * wr;
        v[0] = u[0] - vr;
        v[1] = u[1] - vi;
        u[0] += vr;
        u[1] += vi;
      }
  }
}

void fftplan::forward(std::complex<double> *data) const { transform(data, false); }

void fftplan::inverse(std::complex<double> *data) const {
  transform(data, true);
  double scale = 1.0 / n;
  double *z = reinterpret_cast<double *>(data);
  for (int i = 0; i < 2 * n; ++i) z[i] *= scale;
}

void multiplyinto(std::complex<double> *target, const std::complex<double> *factor, int count) {
  double *a = reinterpret_cast<double *>(target);
  const double *b = reinterpret_cast<const double *>(factor);
  for (int t = 0; t < count; ++t) {
    double re = a[2 * t] * b[2 * t] - a[2 * t + 1] * b[2 * t + 1];
    double im = a[2 * t] * b[2 * t + 1] + a[2 * t + 1] * b[2 * t];
    a[2 * t] = re;
    a[2 * t + 1] = im;
  }
}

void densitypairtransform(const fftplan &plan, const llrgrid &grid, const density &f,
                          const density &g, std::complex<double> *first,
                          std::complex<double> *second) {
  // f + i g in one transform; f's spectrum is the Hermitian part,
  // F[k] = (Z[k] + conj Z[-k]) / 2, and g's G[k] = (Z[k] - conj Z[-k]) / 2i.
  int size = plan.size();
  std::fill(first, first + size, std::complex<double>(0.0, 0.0));
  for (int n = -grid.half; n <= grid.half; ++n)
    first[n < 0 ? size + n : n] = {f[n + grid.half], g[n + grid.half]};
  plan.forward(first);
  for (int k = 0; k <= size / 2; ++k) {
    int m = (size - k) % size;
    std::complex<double> z = first[k], zm = std::conj(first[m]);
    std::complex<double> fk = 0.5 * (z + zm), gk = std::complex<double>(0, -0.5) * (z - zm);
    first[k] = fk;
    second[k] = gk;
    first[m] = std::conj(fk);
    second[m] = std::conj(gk);
  }
}

int convolutionsize(const llrgrid &grid, int count) {
  long long span = static_cast<long long>(count) * 2 * grid.half + 1;
  int size = 1;
  while (size < span) size <<= 1;
  return size;
}

void densitytransform(const fftplan &plan, const llrgrid &grid, const density &f,
                      std::complex<double> *data) {
  int size = plan.size();
  std::fill(data, data + size, std::complex<double>(0.0, 0.0));
  for (int n = -grid.half; n <= grid.half; ++n) data[n < 0 ? size + n : n] = f[n + grid.half];
  plan.forward(data);
}

namespace {

// Folds the real (imaginary) parts of an inverse transform into a density.
density folddensity(const fftplan &plan, const llrgrid &grid, const std::complex<double> *data,
                    int part) {
  int size = plan.size();
  const double *z = reinterpret_cast<const double *>(data);
  density f(grid.size(), 0.0);
  double total = 0;
  for (int t = 0; t < size; ++t) {
    double mass = z[2 * t + part];
    if (mass <= 0) continue;
    int n = t <= size / 2 ? t : t - size;
    n = std::clamp(n, -grid.half, grid.half);
    f[n + grid.half] += mass;
    total += mass;
  }
  for (double &mass : f) mass /= total;
  return f;
}

}  // namespace

density densityfromtransform(const fftplan &plan, const llrgrid &grid, std::complex<double> *data) {
  plan.inverse(data);
  return folddensity(plan, grid, data, 0);
}

void densitypairfromtransforms(const fftplan &plan, const llrgrid &grid,
                               std::complex<double> *first, const std::complex<double> *second,
                               density *f, density *g) {
  // Both results are real, so F + i G transforms back to f + i g.
  int size = plan.size();
  for (int k = 0; k < size; ++k) first[k] += std::complex<double>(0, 1) * second[k];
  plan.inverse(first);
  *f = folddensity(plan, grid, first, 0);
  *g = folddensity(plan, grid, first, 1);
}

}  // namespace ldpc
