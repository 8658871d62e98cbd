// The control variable of the error-floor estimator: the energy of the noise
// that points towards errors, and its exact law.
//
// The all-zero word is sent as +1 over AWGN, so bit i arrives as
// y_i = 1 + sigma g_i with g_i standard normal. Only noise with g_i < 0
// pushes a bit towards a wrong decision; the energy of that part,
//
//   V(g) = sum over the N sent bits of min(g_i, 0)^2,
//
// is the control variable. It depends on the noise alone (not on sigma, the
// code or the decoder), and its law is known exactly: the number K of
// negative coordinates is binomial(N, 1/2) and, given K, V is chi-square
// with K degrees of freedom (V = 0 when K = 0). So
//
//   P(V >= t) = sum_k C(N, k) 2^-N Q(k/2, t/2),
//
// Q the regularised upper incomplete gamma function. Mean N/2, variance
// 5N/4. Tails are computed in logarithms, so probabilities far below the
// smallest double (1e-300 and less) stay exact to about 1e-12 relative.
//
// Random draws come from the library's 48-bit generator (randomstream.h),
// one state per caller; Gaussian values from the polar method in pairs, as
// channel.h draws them.
//
// Error policy: the constructors throw std::invalid_argument on a dimension
// below 1 or an empty range; nothing prints or exits.
#ifndef LDPC_NOISEENERGY_H
#define LDPC_NOISEENERGY_H

#include <cstdint>
#include <limits>
#include <vector>

namespace ldpc {

// log P(a, x) and log Q(a, x), the regularised lower and upper incomplete
// gamma functions, for a >= 0, x >= 0 (a = 0: P = 1, Q = 0). Series below
// x = a + 1, Lentz's continued fraction above; relative accuracy about
// 1e-13 for a up to 1e6.
void logincompletegamma(double a, double x, double *logp, double *logq);

// log(exp(a) + exp(b)) and log(exp(a) - exp(b)) (a >= b) without overflow;
// -infinity stands for probability 0.
double logsum(double a, double b);
double logdifference(double a, double b);

// Two independent standard normal values from the polar method.
void gaussianpair(std::uint64_t *state, double *first, double *second);
// n standard normal values, pair by pair (the last pair's second value is
// dropped when n is odd).
void gaussians(std::uint64_t *state, int n, double *out);

class noiseenergy {
 public:
  explicit noiseenergy(int dimension);

  int dimension() const { return n_; }
  double mean() const { return 0.5 * n_; }
  double deviation() const;

  // V of one noise vector of dimension() coordinates.
  double of(const double *g) const;

  // log P(V >= t); log P(V < t); log P(lo <= V < hi) with hi possibly
  // +infinity.
  double logtail(double t) const;
  double loghead(double t) const;
  double logrange(double lo, double hi) const;
  // log of the density of V at v > 0 (the continuous part: the atom
  // P(V = 0) = 2^-N is left out). Cost O(N).
  double logdensity(double v) const;

  // log P(K = k), the law of the number of negative coordinates.
  double logcount(int k) const { return logbinomial_[k]; }

 private:
  int n_;
  std::vector<double> logbinomial_;  // log C(N, k) 2^-N, k = 0..N
};

// Draws noise vectors from the law of g conditioned on lo <= V(g) < hi
// (hi may be +infinity): K from its conditional law, V given K from the
// chi-square law truncated to the range (inverse distribution function,
// bisected), the K negative coordinates at positions drawn uniformly, their
// direction uniform on the sphere, the other coordinates independent
// half-normal. Exact, and every draw independent of the last.
class energysampler {
 public:
  energysampler(const noiseenergy &law, double lo,
                double hi = std::numeric_limits<double>::infinity());

  double low() const { return lo_; }
  double high() const { return hi_; }
  // log P(lo <= V < hi).
  double logprobability() const { return logmass_; }

  // Fills g (dimension() values); the draws come from *state.
  void draw(std::uint64_t *state, double *g) const;

 private:
  double truncatedchisquare(std::uint64_t *state, int k) const;

  const noiseenergy *law_;
  double lo_, hi_, logmass_;
  std::vector<double> cumulative_;  // P(K <= k | range), k = 0..N
};

}  // namespace ldpc

#endif
