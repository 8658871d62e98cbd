// The law of the error-pointing noise energy and draws conditioned on it.
#include "noiseenergy.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "randomstream.h"

namespace ldpc {

namespace {

constexpr double minusinfinity = -std::numeric_limits<double>::infinity();
constexpr int maxterms = 1000000;

// log P(a, x) by the series e^-x x^a / Gamma(a + 1) sum x^n / ((a+1)..(a+n)).
double logseries(double a, double x) {
  double term = 1.0 / a, sum = term;
  for (int n = 1; n < maxterms; ++n) {
    term *= x / (a + n);
    sum += term;
    if (term < sum * 1e-16) break;
  }
  return -x + a * std::log(x) - std::lgamma(a) + std::log(sum);
}

// log Q(a, x) by Lentz's evaluation of the continued fraction.
double logfraction(double a, double x) {
  const double tiny = 1e-300;
  double b = x + 1.0 - a, c = 1.0 / tiny, d = 1.0 / b, h = d;
  for (int i = 1; i < maxterms; ++i) {
    const double an = -i * (i - a);
    b += 2.0;
    d = an * d + b;
    if (std::fabs(d) < tiny) d = tiny;
    c = b + an / c;
    if (std::fabs(c) < tiny) c = tiny;
    d = 1.0 / d;
    const double delta = d * c;
    h *= delta;
    if (std::fabs(delta - 1.0) < 1e-16) break;
  }
  return -x + a * std::log(x) - std::lgamma(a) + std::log(h);
}

// log(1 - exp(l)) for l <= 0.
double logcomplement(double l) {
  if (l == minusinfinity) return 0.0;
  return l > -0.693 ? std::log(-std::expm1(l)) : std::log1p(-std::exp(l));
}

}  // namespace

void logincompletegamma(double a, double x, double *logp, double *logq) {
  if (a <= 0.0) {
    *logp = 0.0;
    *logq = minusinfinity;
  } else if (x <= 0.0) {
    *logp = minusinfinity;
    *logq = 0.0;
  } else if (x == std::numeric_limits<double>::infinity()) {
    *logp = 0.0;
    *logq = minusinfinity;
  } else if (x < a + 1.0) {
    *logp = logseries(a, x);
    *logq = logcomplement(*logp);
  } else {
    *logq = logfraction(a, x);
    *logp = logcomplement(*logq);
  }
}

double logsum(double a, double b) {
  if (a < b) std::swap(a, b);
  if (b == minusinfinity) return a;
  return a + std::log1p(std::exp(b - a));
}

namespace {

// The log of the sum of term(k) over lowest .. logweight.size() - 1, taken
// outward from centre: first upward, then downward, each direction ending
// where its weight logweight[k] (an upper bound on its term) falls e^40
// below the sum.
template <class termof>
double outwardsum(const std::vector<double> &logweight, int centre, int lowest, termof term) {
  const int highest = static_cast<int>(logweight.size()) - 1;
  double total = term(centre);
  for (int k = centre + 1; k <= highest && logweight[k] >= total - 40.0; ++k)
    total = logsum(total, term(k));
  for (int k = centre - 1; k >= lowest && logweight[k] >= total - 40.0; --k)
    total = logsum(total, term(k));
  return total;
}

}  // namespace

double logdifference(double a, double b) {
  if (b == minusinfinity) return a;
  if (b >= a) return minusinfinity;
  return a + logcomplement(b - a);
}

void gaussianpair(std::uint64_t *state, double *first, double *second) {
  double u, v, w;
  do {
    u = 2.0 * nextdraw(state) - 1.0;
    v = 2.0 * nextdraw(state) - 1.0;
    w = u * u + v * v;
  } while (w >= 1.0 || w == 0.0);
  const double f = std::sqrt(-2.0 * std::log(w) / w);
  *first = u * f;
  *second = v * f;
}

void gaussians(std::uint64_t *state, int n, double *out) {
  for (int i = 0; i < n; i += 2) {
    double a, b;
    gaussianpair(state, &a, &b);
    out[i] = a;
    if (i + 1 < n) out[i + 1] = b;
  }
}

noiseenergy::noiseenergy(int dimension) : n_(dimension) {
  if (dimension < 1)
    throw std::invalid_argument("noise energy: the dimension must be at least 1, not " +
                                std::to_string(dimension));
  logbinomial_.resize(n_ + 1);
  const double base = std::lgamma(n_ + 1.0) - n_ * std::log(2.0);
  for (int k = 0; k <= n_; ++k)
    logbinomial_[k] = base - std::lgamma(k + 1.0) - std::lgamma(n_ - k + 1.0);
}

double noiseenergy::deviation() const { return std::sqrt(1.25 * n_); }

double noiseenergy::of(const double *g) const {
  double v = 0.0;
  for (int i = 0; i < n_; ++i)
    if (g[i] < 0) v += g[i] * g[i];
  return v;
}

double noiseenergy::logrange(double lo, double hi) const {
  if (!(hi > lo)) return minusinfinity;
  // The mixture over k, outward from the binomial's centre in both
  // directions; a direction ends when its weight alone (an upper bound on
  // every later term, since Q <= 1) falls e^40 below the sum.
  auto term = [&](int k) {
    if (k == 0) return lo <= 0.0 && hi > 0.0 ? logbinomial_[0] : minusinfinity;
    double plo, qlo, phi, qhi;
    logincompletegamma(0.5 * k, 0.5 * lo, &plo, &qlo);
    logincompletegamma(0.5 * k, 0.5 * hi, &phi, &qhi);
    // The smaller of the two differences, for accuracy in either tail.
    const double mass = qlo < -0.7 ? logdifference(qlo, qhi) : logdifference(phi, plo);
    return logbinomial_[k] + mass;
  };
  return outwardsum(logbinomial_, n_ / 2, 0, term);
}

double noiseenergy::logdensity(double v) const {
  if (!(v > 0)) return minusinfinity;
  // The chi-square densities of the mixture, outward from the centre until
  // the weights alone fall e^40 below the sum.
  auto term = [&](int k) {
    const double a = 0.5 * k;
    return logbinomial_[k] - a * std::log(2.0) - std::lgamma(a) + (a - 1.0) * std::log(v) - 0.5 * v;
  };
  return outwardsum(logbinomial_, std::max(1, n_ / 2), 1, term);
}

double noiseenergy::logtail(double t) const {
  return logrange(t, std::numeric_limits<double>::infinity());
}

double noiseenergy::loghead(double t) const { return logrange(-1.0, t); }

energysampler::energysampler(const noiseenergy &law, double lo, double hi)
    : law_(&law), lo_(lo), hi_(hi) {
  logmass_ = law.logrange(lo, hi);
  if (logmass_ == minusinfinity)
    throw std::invalid_argument("noise energy: the range [" + std::to_string(lo) + ", " +
                                std::to_string(hi) + ") has probability 0");
  // P(K = k | range), accumulated.
  const int n = law.dimension();
  cumulative_.assign(n + 1, 0.0);
  double sum = 0.0;
  for (int k = 0; k <= n; ++k) {
    double part = minusinfinity;
    if (k == 0) {
      if (lo <= 0.0 && hi > 0.0) part = law.logcount(0);
    } else if (law.logcount(k) >= logmass_ - 45.0) {
      double plo, qlo, phi, qhi;
      logincompletegamma(0.5 * k, 0.5 * lo, &plo, &qlo);
      logincompletegamma(0.5 * k, 0.5 * hi, &phi, &qhi);
      part = law.logcount(k) + (qlo < -0.7 ? logdifference(qlo, qhi) : logdifference(phi, plo));
    }
    sum += std::exp(part - logmass_);
    cumulative_[k] = sum;
  }
  for (double &c : cumulative_) c /= sum;
}

// A chi-square value with k degrees of freedom conditioned on [lo, hi), by
// bisection on the distribution function: in the upper tail through Q, else
// through P, so that neither loses its digits.
double energysampler::truncatedchisquare(std::uint64_t *state, int k) const {
  const double a = 0.5 * k;
  const double logu = std::log(1.0 - nextdraw(state));  // in (-inf, 0]
  double plo, qlo, phi, qhi;
  logincompletegamma(a, 0.5 * lo_, &plo, &qlo);
  logincompletegamma(a, 0.5 * hi_, &phi, &qhi);
  const bool upper = lo_ >= k;
  // Target: Q(x) = Q(hi) + u (Q(lo) - Q(hi)), or P(x) = P(lo) + u (P(hi) - P(lo)).
  const double target = upper ? logsum(qhi, logu + logdifference(qlo, qhi))
                              : logsum(plo, logu + logdifference(phi, plo));
  auto below = [&](double x) {  // true when the root lies above x
    double p, q;
    logincompletegamma(a, 0.5 * x, &p, &q);
    return upper ? q > target : p < target;
  };
  double left = std::max(lo_, 0.0), right = hi_;
  if (right == std::numeric_limits<double>::infinity()) {
    double step = std::max(1.0, std::sqrt(2.0 * k));
    right = left + step;
    while (below(right)) {
      left = right;
      step *= 2.0;
      right = left + step;
    }
  }
  for (int i = 0; i < 200 && right - left > 1e-13 * std::max(1.0, right); ++i) {
    const double middle = 0.5 * (left + right);
    if (below(middle))
      left = middle;
    else
      right = middle;
  }
  return std::min(std::max(0.5 * (left + right), lo_), std::nextafter(hi_, 0.0));
}

void energysampler::draw(std::uint64_t *state, double *g) const {
  const int n = law_->dimension();
  // The number of negative coordinates, then their energy.
  const double u = nextdraw(state);
  const int k = static_cast<int>(std::upper_bound(cumulative_.begin(), cumulative_.end() - 1, u) -
                                 cumulative_.begin());
  const double energy = k > 0 ? truncatedchisquare(state, k) : 0.0;
  // Which coordinates are negative: the first k of a partial shuffle.
  std::vector<int> position(n);
  for (int i = 0; i < n; ++i) position[i] = i;
  for (int j = 0; j < k; ++j) {
    const int pick = j + static_cast<int>(nextdraw(state) * (n - j));
    std::swap(position[j], position[std::min(pick, n - 1)]);
  }
  // Their direction uniform on the sphere, scaled to the energy; the rest
  // half-normal.
  std::vector<double> values(n);
  gaussians(state, n, values.data());
  double norm = 0.0;
  for (int j = 0; j < k; ++j) norm += values[j] * values[j];
  const double scale = k > 0 ? std::sqrt(energy / norm) : 0.0;
  for (int j = 0; j < n; ++j) {
    const double x = std::fabs(values[j]);
    g[position[j]] = j < k ? -x * scale : x;
  }
}

}  // namespace ldpc
