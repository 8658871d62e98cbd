// Frame and bit error rates far below the reach of direct Monte-Carlo: an
// adaptive importance-sampling estimator for BPSK over AWGN with the
// all-zero word sent, for any decoder of decoder.h.
//
// The method is the dual adaptive importance sampling of multicanonical
// Monte-Carlo: a control variable V of the noise (the error-pointing noise
// energy of noiseenergy.h), one run that measures the failure probability
// where V is large and failures are common, and a multicanonical run
// constrained to the failure region that measures how the failures spread
// over V, down to typical noise. With t the threshold between the two,
//
//   FER = P(V >= t) P(fail | V >= t) / P(V >= t | fail).
//
// P(V >= t) is exact (the law of V is known), P(fail | V >= t) is the
// failure fraction of independent frames drawn from the noise conditioned
// on V >= t, and P(V >= t | fail) comes from flat-histogram chains on the
// failing noise (multicanonical.h): Wang-Landau adaptation of the bin
// weights, then production with the weights fixed. The threshold t is the
// first of mean(V) + k dV (k = 0, 1, 2, ..., dV = binwidth times the
// deviation of V) at which a pilot of frames above it fails at least
// `targetfraction` of the time; the bins run from mean(V) - dV to t in
// steps of dV, the first and the last open.
//
// The interval: log FER is a sum of the log of a binomial fraction (its
// standard error by the delta method) and of a chain estimate (its standard
// error by the jackknife over the chains, which are independent given the
// weights); the interval is log FER -+ t_q se with Student's quantile at the
// Welch-Satterthwaite degrees of freedom. The estimate is refused
// (converged false) unless the production histogram is flat to
// `minflatness`, the chains made at least `minroundtrips` round trips
// between the first and the last bin per chain on average, and every
// leave-one-out estimate is finite.
//
// Random states: frame j of the pilot, of the stratum above t and of the
// chains' starting states draws from streamstate(streamstate(seed, point,
// 2^62 - s), 0, j) with s = 1, 2, 3; chain c's steps as multicanonical.h
// says. So a point's estimate is a function of the seed, the point's index
// and the settings alone: the thread count changes only the wall time.
//
// A transmission pattern marks bits punctured (not sent: LLR 0, no noise
// coordinate) or shortened (known: LLR +certainllr); errors are counted
// over the sent and punctured bits. Only AWGN is estimated for now.
//
// Error policy: estimatefloor and runfloor throw std::invalid_argument on
// settings they cannot use (messages name the setting and its value); the
// decoder's exceptions pass through. Nothing prints or exits. A run that
// does not converge is a result with converged false and the reason in
// diagnostic, never an exception.
#ifndef LDPC_FLOORESTIMATE_H
#define LDPC_FLOORESTIMATE_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "channel.h"
#include "decoder.h"
#include "graphstruct.h"
#include "multicanonical.h"

namespace ldpc {

// How a code bit is transmitted.
enum class bitfate : std::uint8_t { sent = 0, punctured = 1, shortened = 2 };

struct floorsettings {
  channeltype channel = channeltype::awgn;
  std::vector<double> parameters;  // per point: sigma
  std::vector<double> ebn0;        // per point, for the report (may be empty)
  decoderoptions decoder;
  std::vector<bitfate> pattern;  // per code bit; empty: every bit sent
  std::uint64_t seed = 1;
  int threads = 1;

  // The threshold and the stratum above it.
  double binwidth = 0.5;                // bin width in deviations of V
  double targetfraction = 0.2;          // pilot failure fraction that places t
  int pilotframes = 64;                 // frames per pilot threshold
  std::int64_t stratumerrors = 400;     // the stratum stops at this many failures
  std::int64_t stratumframes = 200000;  // or this many frames

  // The chains.
  chainsettings chains;
  std::int64_t maxdecodes = 20000000;  // decoder calls per point, all phases
  double adaptshare = 0.5;             // most of the budget adaptation may take
  int burnin = 200;                    // production steps not counted
  int roundsteps = 100;                // production steps between checks
  int minrounds = 10;                  // production rounds before stopping early
  double precision = 2.0;              // stop when ferhigh / ferlow falls below
  double confidence = 0.95;
  double minflatness = 0.2;
  double minroundtrips = 1.0;
};

// One point's estimate, with what it rests on.
struct floorresult {
  int point = 0;
  double ebn0 = 0.0;       // NaN when not given
  double parameter = 0.0;  // sigma
  double fer = 0.0, ferlow = 0.0, ferhigh = 0.0;
  double ber = 0.0, berlow = 0.0, berhigh = 0.0;
  double log10fer = 0.0, log10ferse = 0.0;  // log10 FER and its standard error
  double degreesoffreedom = 0.0;
  bool converged = false;
  bool cancelled = false;
  std::string diagnostic;  // why not converged ("" when converged)

  // The parts: threshold, exact tail, stratum fraction, chain estimate.
  double threshold = 0.0;        // t, in units of V
  double thresholdsigmas = 0.0;  // (t - mean V) / deviation of V
  int bins = 0;
  double log10tail = 0.0;  // log10 P(V >= t)
  std::int64_t stratumframes = 0, stratumfailures = 0;
  double log10top = 0.0;  // log10 P(V >= t | fail)
  double log10topse = 0.0;

  // The method's own diagnostics.
  bool adapted = false;  // Wang-Landau reached its final step
  int stages = 0;
  double flatness = 0.0;
  double roundtrips = 0.0;  // per chain
  int travellers = 0;       // chains with a round trip
  std::int64_t productionsteps = 0;
  std::vector<std::int64_t> histogram;  // production time per bin
  std::vector<double> logweights;       // the fixed weights, natural log
  // Per entry of the move menu: proposals decoded (they passed the weight
  // test) and accepted (decoding failed on them).
  std::vector<std::int64_t> movesdecoded, movesaccepted;

  // Work.
  std::int64_t decodes = 0;  // decoder calls (frames decoded), all phases
  std::int64_t pilotdecodes = 0, stratumdecodes = 0, chaindecodes = 0;
  double seconds = 0.0;
};

// Progress between steps: the phase ("pilot", "stratum", "adapt",
// "produce"), decoder calls so far and, in production, the estimate so far.
struct floorprogress {
  int point = 0;
  const char *phase = "";
  std::int64_t decodes = 0;
  std::int64_t maxdecodes = 0;
  const floorresult *sofar = nullptr;  // production only
};

struct floorcallbacks {
  // Called between steps; returning false stops the run (the point comes
  // back with cancelled true and the estimate so far).
  std::function<bool(const floorprogress &)> progress;
  // Every chain's state after every counted production step (with its
  // importance weight): what the trapping-set collector takes.
  std::function<void(int point, const chainvisit &)> visit;
  std::function<void(const floorresult &)> pointdone;
  // Asked by runfloor before each point: true, with *result filled, takes
  // that as the point's estimate (a ledger's record) without running it;
  // pointdone is not called for such a point.
  std::function<bool(int point, floorresult *result)> recorded;
};

// The decoder at one AWGN point as a failure model: noise coordinate j is
// the j-th sent bit; LLR 2 (1 + sigma g) / sigma^2. One object judges one
// batch at a time (its working memory is its own).
class decodingmodel : public failuremodel {
 public:
  decodingmodel(const decoder &dec, double sigma, const std::vector<bitfate> &pattern, int threads);
  int dimension() const override { return static_cast<int>(sent_.size()); }
  int bits() const override { return counted_; }
  void judge(const double *noise, int frames, bool wantsets, judgement *out) const override;
  // The channel LLRs of one frame of noise (length(): one per code bit).
  void llrs(const double *noise, double *llr) const;

 private:
  const decoder *dec_;
  double sigma_;
  std::vector<bitfate> pattern_;
  std::vector<int> sent_;  // code bit of each noise coordinate
  int counted_ = 0;
  int threads_;
  // Working memory of judge, kept between calls (judge is not reentrant).
  mutable std::vector<double> llr_;
  mutable std::vector<std::uint8_t> decisions_;
  mutable std::vector<float> posteriors_;
};

// A failure region whose probability is known, for checking the estimator
// on problems of a decoder's size. The first blocks x blocksize coordinates
// form blocks (the picture of trapping sets), the other bulk coordinates
// the rest of the frame; with z = (U - bulk/2) / sqrt(5 bulk / 4) the
// standardised energy U of the bulk's negative coordinates (noiseenergy.h),
// a frame fails when some block's noise sums to at most
// -(depth - pull z) sqrt(blocksize), every bit of such a block in error. So
// more bulk noise makes a block fail more easily, as it does in a decoder,
// and since the blocks and the bulk are independent,
//   P(fail) = E_U[1 - (1 - Q(depth - pull z))^blocks],
// a one-dimensional integral over the exact law of U (probability()).
class halfspacemodel : public failuremodel {
 public:
  halfspacemodel(int blocks, int blocksize, int bulk, double depth, double pull);
  int dimension() const override { return blocks_ * size_ + bulk_; }
  int bits() const override { return dimension(); }
  void judge(const double *noise, int frames, bool wantsets, judgement *out) const override;
  // P(fail), integrated over the law of U (relative error below 1e-4), and
  // the probability of one given block set: P(fail, only block 0 fails).
  double probability() const;

 private:
  int blocks_, size_, bulk_;
  double depth_, pull_;
};

// The estimate of one point for any failure model (point names the random
// streams and the report; sigma and ebn0 only the report).
floorresult estimatefloor(const failuremodel &model, const floorsettings &settings, int point,
                          const floorcallbacks &callbacks = {});

// Every point of settings for the code in graph, in order.
std::vector<floorresult> runfloor(const graphs *graph, const floorsettings &settings,
                                  const floorcallbacks &callbacks = {});

}  // namespace ldpc

#endif
