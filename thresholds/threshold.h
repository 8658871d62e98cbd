// Decoding thresholds of LDPC ensembles: the worst channel on which
// iterative decoding of an infinitely long, cycle-free graph of the ensemble
// still drives the error probability to zero.
//
// Ensembles are an irregular degree distribution pair (edge perspective:
// lambda_i is the fraction of edges at variable nodes of degree i, rho_j at
// check nodes of degree j) or a protograph (nodes numbered from 0, parallel
// edges allowed, some variable nodes possibly punctured, that is, not
// transmitted).
//
// Channels and methods:
// - Binary erasure channel, belief propagation: exact. Irregular ensembles by
//   the fixed-point characterisation eps* = inf over x in (0,1] of
//   x / lambda(1 - rho(1 - x)); protographs by density evolution per edge,
//   bisected on the erasure probability.
// - BPSK over AWGN: quantized density evolution of log-likelihood ratio
//   densities on a uniform grid (sum-product, min-sum, normalized and offset
//   min-sum; irregular ensembles and protographs), or the Gaussian
//   approximation by EXIT analysis with the J-function (sum-product only;
//   the method of the literature for protographs, a fast estimate for
//   irregular ensembles). Thresholds are bisected on the noise standard
//   deviation sigma (the EXIT analysis on Eb/N0 in dB).
//
// Error policy: computethreshold never prints or exits; an ensemble or an
// option it cannot use comes back as result.ok false with result.error
// saying what is wrong.
#ifndef LDPC_THRESHOLD_H
#define LDPC_THRESHOLD_H

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "graphstruct.h"

namespace ldpc {

// A degree distribution pair in edge perspective. Degrees are at least 1 and
// distinct; the fractions are not negative and sum to 1 on each side.
struct degreedistribution {
  std::vector<int> vdegrees;
  std::vector<double> lambda;  // fraction of edges per entry of vdegrees
  std::vector<int> cdegrees;
  std::vector<double> rho;  // fraction of edges per entry of cdegrees
};

// The edge perspective of a distribution given as fractions of nodes
// (edgefractions false: lambda_i = i f_i / sum_k k f_k) or of edges
// (edgefractions true: taken as they are). Node fractions that do not sum
// to 1 give edge fractions with the same sum, which computethreshold
// refuses.
degreedistribution edgeperspective(const std::vector<int> &vdegrees,
                                   const std::vector<double> &vfractions,
                                   const std::vector<int> &cdegrees,
                                   const std::vector<double> &cfractions, bool edgefractions);

// A protograph: edges as (variable node, check node) pairs, one entry per
// edge, so that parallel edges appear as often as they occur.
struct protoensemble {
  int vnodes = 0;
  int cnodes = 0;
  std::vector<std::pair<int, int>> edges;
  std::vector<int> punctured;  // variable nodes not transmitted
};

// The protograph of a record read by readprotofile, with the given
// punctured variable nodes.
protoensemble protofromgraph(const graphs *protograph, const std::vector<int> &punctured);

// The protograph ensemble of the proto-file at path; false with *error
// naming the file and the fault.
bool readprotoensemble(const std::string &path, const std::vector<int> &punctured,
                       protoensemble *proto, std::string *error);

struct ensemble {
  bool isprotograph = false;
  degreedistribution distribution;  // when !isprotograph
  protoensemble protograph;         // when isprotograph
};

enum class channelkind { bec, awgn };
enum class decoderkind { spa, minsum, nms, oms };
// automatic: exact on the BEC; on the AWGN channel quantized density
// evolution, except sum-product on a protograph, which takes the EXIT
// analysis.
enum class methodkind { automatic, density, exit };

struct thresholdoptions {
  channelkind channel = channelkind::bec;
  decoderkind decoder = decoderkind::spa;
  methodkind method = methodkind::automatic;
  // The defaults are the decoder's (decoderoptions in decoder.h), so that
  // tanner simulate and tanner threshold analyse the same decoder.
  double alpha = 0.8;  // normalized min-sum: check messages times alpha
  double beta = 0.25;  // offset min-sum: check magnitudes minus beta, not below 0
  // Width of the final bracket of the bisection: erasure probability (BEC),
  // sigma (density evolution) or Eb/N0 in dB (EXIT). 0 takes the default of
  // the method: 1e-7, 1e-4, 1e-3 dB. Widths below minimumprecision are
  // refused: doubles near the threshold could not halve the bracket to them.
  double precision = 0;
  // Quantized density evolution: LLR grid step and range [-range, range];
  // messages beyond the range saturate at its ends.
  double llrstep = 0.02;
  double llrrange = 30;
  // Decoding succeeds when the error probability of the messages (BEC: the
  // largest erasure probability of an edge message; density evolution: the
  // probability that a message is negative, zero counting half; EXIT: one
  // minus the smallest a-posteriori mutual information) falls to tolerance
  // or below, and fails when it stalls or maxiterations is reached.
  // 0 takes the defaults: 1e-10, 1e-6, 1e-7 and 100000, 10000, 10000.
  double tolerance = 0;
  int maxiterations = 0;
  // Called after every bisection step with the steps done and the steps the
  // bisection takes in all. What it throws passes through computethreshold
  // (a host's way of cancelling).
  std::function<void(int done, int total)> progress;
  // Called after every iteration of density evolution, within a step; what
  // it throws passes through computethreshold too.
  std::function<void()> poll;
};

// The finest precision taken: thresholds lie within about 100 of 0 (sigma,
// Eb/N0 in dB, an erasure probability), where doubles are some 1e-14 apart.
constexpr double minimumprecision = 1e-12;

// Which options a caller set, for thresholdunusedoption.
struct thresholdgiven {
  bool alpha = false, beta = false, step = false, range = false;
  bool precision = false, tolerance = false, iterations = false;
};

// The first option given that has no effect on the analysis the options
// select, as the message users see ("" when every one counts): alpha
// without normalized min-sum on the AWGN channel, beta without offset
// min-sum there, the LLR grid (step, range) without density evolution, and
// precision, tolerance and iterations on the erasure channel's exact
// formula for irregular ensembles. Options are named with prefix ("--" in
// tanner, "" for Python keywords).
std::string thresholdunusedoption(bool protograph, const thresholdoptions &options,
                                  const thresholdgiven &given, const std::string &prefix);

struct thresholdresult {
  bool ok = false;
  std::string error;  // what is wrong when !ok
  // What was refused when !ok: the options, the ensemble, or the analysis
  // found no threshold (decoding fails even on a nearly noiseless channel).
  enum class fault { none, options, ensemble, analysis } refused = fault::none;
  std::string method;    // how the threshold was found, in words
  double rate = 0;       // design rate
  double threshold = 0;  // erasure probability (BEC) or sigma (AWGN)
  double erasure = 0;    // BEC
  double sigma = 0;      // AWGN: noise standard deviation, BPSK amplitude 1
  double ebn0db = 0;     // AWGN: 10 log10(1 / (2 rate sigma^2))
  double limit = 0;      // capacity limit for the rate: erasure 1 - rate (BEC),
                         // Eb/N0 in dB of the binary-input AWGN channel
  double gap = 0;        // limit - erasure (BEC), ebn0db - limit (AWGN)
  double precision = 0;  // final bracket width of the bisection
  int steps = 0;         // bisection steps
};

// The method the options select for an ensemble: automatic resolved
// (density evolution on the erasure channel stands for its exact methods).
methodkind selectedmethod(bool protograph, const thresholdoptions &options);

// The threshold of an ensemble for the channel and decoder of the options.
thresholdresult computethreshold(const ensemble &code, const thresholdoptions &options);

// Capacity in bits per channel use of BPSK over AWGN with noise standard
// deviation sigma (numerical integration), and the sigma at which it equals
// rate (0 < rate < 1).
double biawgncapacity(double sigma);
double biawgnsigmaforrate(double rate);

// The J-function: mutual information between a bit and a consistent
// Gaussian LLR of variance s^2 (mean s^2 / 2), by numerical integration; and
// a tabulated J and its inverse, accurate to about 1e-9, for EXIT analysis.
double jfunctionexact(double s);
double jfunction(double s);
double jinverse(double information);

// Design rate 1 - (sum rho_j / j) / (sum lambda_i / i).
double designrate(const degreedistribution &distribution);

}  // namespace ldpc

#endif
