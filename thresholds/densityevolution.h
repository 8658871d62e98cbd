// Quantized density evolution: the pieces behind the AWGN thresholds of
// threshold.h, kept apart so that tests can hold each against a plain model.
//
// A density is the probability mass function of a log-likelihood ratio
// (positive favours the transmitted bit, the all-zero word being sent)
// on the grid n * step, n = -half..half, stored at index n + half. Values
// beyond the grid saturate at its ends. Every update maps densities on the
// grid to densities on the same grid:
// - channel: BPSK over AWGN, LLR 2y / sigma^2 ~ N(2/sigma^2, 4/sigma^2),
//   each bin taking the mass of the interval of width step around it;
// - variable node: the sum of independent LLRs, by convolution of the
//   densities (FFT of a size that holds the whole sum, so nothing wraps
//   around), then saturated at +-half;
// - check node, sum-product: pairwise a [+] b = 2 atanh(tanh(a/2) tanh(b/2))
//   through the table Q(a [+] b) of every pair of grid points, Q rounding to
//   the nearest grid point (halves up in magnitude);
// - check node, min-sum: sign product and least magnitude, exactly from the
//   tail probabilities of the inputs; normalized min-sum then rounds
//   alpha * m, offset min-sum max(0, m - beta) to the grid.
#ifndef LDPC_DENSITYEVOLUTION_H
#define LDPC_DENSITYEVOLUTION_H

#include <complex>
#include <functional>
#include <vector>

#include "threshold.h"

namespace ldpc {

struct llrgrid {
  double step = 0.02;
  int half = 0;  // bins -half..half
  int size() const { return 2 * half + 1; }
};

using density = std::vector<double>;

// The grid of the given step whose range reaches at least range.
llrgrid makegrid(double step, double range);

density channeldensity(const llrgrid &grid, double sigma);
// All mass at LLR 0: a punctured node's channel.
density erasuredensity(const llrgrid &grid);
// Probability that the LLR is negative, LLR 0 counting half.
double errorprobability(const llrgrid &grid, const density &f);

// a [+] b of exact real LLRs, for magnitudes a, b >= 0.
double boxplus(double a, double b);

// The sum-product check rule on the grid. The table of output magnitudes is
// not stored whole: for a fixed smaller magnitude i, Q(i [+] j) over j >= i
// rises from Q(i [+] i) to i, so each row is kept as runs of equal value
// (about log(2) / step runs a row), and one combination costs
// O(half * runs) instead of O(half^2).
class boxplustable {
 public:
  explicit boxplustable(const llrgrid &grid);
  // out = density of a [+] b for independent a and b.
  void combine(const density &a, const density &b, density *out) const;

 private:
  int half;
  std::vector<int> rowstart;                    // runs of row i: rowstart[i]..rowstart[i+1]-1
  std::vector<int> runvalue, runbegin, runend;  // output magnitude, j in [begin, end)
  mutable std::vector<double> apos, aneg, bpos, bneg, asum, bsum, adif, bdif, outpos, outneg;
};

// The identity of the check rules: all mass at +half, a message that is
// certain.
density certaindensity(const llrgrid &grid);

// Min-sum check rule from tail products: for m = 1..half, s[m] is the
// probability that every input has magnitude >= m and d[m] the same with
// each term weighted by the sign of the product of the inputs (so
// s = prod_k S_k(m), d = prod_k D_k(m) with S_k(m) = P(|L_k| >= m) and
// D_k(m) = P(L_k >= m) - P(L_k <= -m)); mixtures of such products give the
// mixture of the outputs. magnitude[m] is the grid magnitude that output
// magnitude m becomes (identity for min-sum).
void minsumtails(const llrgrid &grid, const density &f, std::vector<double> *s,
                 std::vector<double> *d);
density minsumoutput(const llrgrid &grid, const std::vector<double> &s,
                     const std::vector<double> &d, const std::vector<int> &magnitude);

// Radix-2 complex FFT of one power-of-two size.
class fftplan {
 public:
  explicit fftplan(int size);
  int size() const { return n; }
  void forward(std::complex<double> *data) const;
  void inverse(std::complex<double> *data) const;  // scaled by 1/size

 private:
  void transform(std::complex<double> *data, bool inverse) const;
  int n;
  std::vector<int> reversed;
  std::vector<std::complex<double>> twiddle;
};

// The smallest power of two that holds the sum of count grid densities.
int convolutionsize(const llrgrid &grid, int count);
// Loads f into data (length plan size; negative indices wrap to the end) and
// transforms it.
void densitytransform(const fftplan &plan, const llrgrid &grid, const density &f,
                      std::complex<double> *data);
// Inverse-transforms data in place and folds it back to a density on the
// grid: saturated at +-half, rounding noise below 0 cleared, total 1.
density densityfromtransform(const fftplan &plan, const llrgrid &grid, std::complex<double> *data);

// Quantized density evolution of an ensemble at one noise level.
struct evolutionsettings {
  llrgrid grid;
  decoderkind decoder = decoderkind::spa;
  double alpha = 1, beta = 0;
  // Success: the error probability of every message (irregular ensembles)
  // or of every variable node's a-posteriori LLR (protographs) at most this.
  double tolerance = 1e-6;
  int maxiterations = 10000;
  // Failure: over the last stallwindow iterations the error probability
  // fell by less than stallratio times its value (a fixed point, where the
  // fall shrinks geometrically; on the way to zero it shrinks no faster
  // than the probability itself).
  int stallwindow = 50;
  double stallratio = 1e-6;
  // Called after every iteration when set; what it throws passes through
  // (a host's way of cancelling a long run).
  std::function<void()> poll;
};

// The grid magnitude that min-sum output magnitude m becomes, m = 0..half.
std::vector<int> checkmagnitudes(const evolutionsettings &settings);

// A test "does decoding succeed at noise level sigma" for the ensemble (the
// tables and transforms are built once). The ensemble must be valid.
std::function<bool(double sigma)> awgnevolution(const ensemble &code,
                                                const evolutionsettings &settings);

// The EXIT analysis (Gaussian approximation) of an ensemble on the AWGN
// channel: a test "does decoding succeed at sigma". Mutual information per
// edge (protographs) or per direction (irregular ensembles); success when
// every variable-to-check message carries at least 1 - tolerance, failure
// when no message gains more than 1e-13 in an iteration or at
// maxiterations.
std::function<bool(double sigma)> exitevolution(const ensemble &code, double tolerance,
                                                int maxiterations);

// target[t] *= factor[t] for count entries.
void multiplyinto(std::complex<double> *target, const std::complex<double> *factor, int count);
// Two real densities through one complex transform: the spectra of f and g
// land in first and second (each of the plan's size).
void densitypairtransform(const fftplan &plan, const llrgrid &grid, const density &f,
                          const density &g, std::complex<double> *first,
                          std::complex<double> *second);
// The inverse of two spectra of real densities through one transform (first
// is overwritten).
void densitypairfromtransforms(const fftplan &plan, const llrgrid &grid,
                               std::complex<double> *first, const std::complex<double> *second,
                               density *f, density *g);

}  // namespace ldpc

#endif
