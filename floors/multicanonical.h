// Markov chains over the noise of failing frames, flattened over the bins
// of the noise energy (noiseenergy.h): Wang-Landau adaptation of the bin
// weights, then multicanonical production runs with the weights fixed.
//
// A chain's state is a noise vector g (standard normal coordinates, one per
// sent bit) on which the decoder fails. Its target law is
//
//   pi(g) proportional to phi(g) 1[decoder fails on g] / w(V(g)),
//   log w(V) = log p(clamp(V, edges.front(), edges.back())) + theta[bin(V)],
//
// phi the standard normal density, p the exact density of V (noiseenergy.h,
// tabulated on 4097 points over the edges and interpolated linearly) and
// theta one learned value per bin. Bin b holds edges[b - 1] <= V < edges[b]
// (bin 0 from 0, the last bin open above). Dividing by p takes the law's
// steep fall out of the target, so that within a bin the chains see only
// how P(failure | V) changes, which is slow; a weight constant per bin
// would leave a fall of several nats across each bin in the tail, which the
// chains cross as a sawtooth, very slowly. Outside the edges w is constant
// in V, so the open bins keep the law's own decay and the chains do not
// wander into noise of no weight. Moves are drawn from a fixed menu (chainmove), chosen
// independently of the state: Crank-Nicolson steps g_i <- rho g_i +
// sqrt(1 - rho^2) xi_i on a random subset of the coordinates (rho = 0 draws
// them afresh), which leave phi invariant and are reversible for it, and
// radial steps that scale the negative coordinates together, with the
// Metropolis-Hastings factor q of their radius's law. A proposal is accepted
// when log u <= log q + theta[b] - theta[b'] and the decoder fails on it;
// the weight test comes first, so a proposal it refuses is never decoded.
//
// Chains run side by side, one step each per round, so that the model
// judges (the decoder decodes) all their proposals as one batch. Chain c
// draws step t from the state streamstate(streamstate(seed, point,
// 2^62 + c), 0, t) (channel.h), and every shared quantity (weights,
// histograms) is updated in chain order after the batch, so that the runs
// are a function of the seed alone, whatever the thread count.
//
// Adaptation (Wang and Landau): every visit adds ln f / chains to the
// visited bin's weight (so that a step of all chains adds ln f in all); when the histogram since
// the last change is flat (its smallest bin at least `adaptflatness` times the mean) and at least
// `adapttravellers` of the chains have visited every bin since then, ln f is
// halved and the histogram cleared, until ln f falls below `finalstep`. (A
// pooled histogram alone would also be flat when the chains stand still,
// spread over the bins.) Production keeps
// the weights fixed; then P(bin b | failure) is proportional to the sum of
// w(V) over the states the chains visit in b, which is the estimate, with
// its spread taken by the jackknife over chains (each chain is one
// independent sample of the production phase given the weights).
//
// Error policy: the constructor throws std::invalid_argument on settings it
// cannot use (no chains, no bins, a move menu without moves); start throws
// std::invalid_argument when a starting state does not fail. Nothing prints
// or exits.
#ifndef LDPC_MULTICANONICAL_H
#define LDPC_MULTICANONICAL_H

#include <cstdint>
#include <functional>
#include <vector>

#include "noiseenergy.h"

namespace ldpc {

// What a failure model says of one frame.
struct judgement {
  bool failed = false;
  std::int64_t biterrors = 0;
  std::vector<int> errorset;  // the bits in error, in order (when asked for)
};

// The region of noise on which decoding fails: a decoder at one channel
// point (floorestimate.h), or in tests a region whose probability is known.
class failuremodel {
 public:
  virtual ~failuremodel() = default;
  // Noise coordinates of a frame (the sent bits).
  virtual int dimension() const = 0;
  // Bits over which bit errors are counted.
  virtual int bits() const = 0;
  // Judges frames noise vectors, noise[f * dimension() + i]; with wantsets
  // fills the error set of every failed frame.
  virtual void judge(const double *noise, int frames, bool wantsets, judgement *out) const = 0;
};

// One entry of the move menu, drawn with its probability:
// - crank: the share of the coordinates moved (1: all; otherwise
//   max(1, round(share N)) positions drawn with replacement) by the
//   Crank-Nicolson step with factor rho in [0, 1);
// - radial: the negative coordinates of a subset (1: all; otherwise each
//   coordinate with probability share) scaled together, their radius moved
//   by step times a standard normal value, with the Metropolis-Hastings
//   factor of the radius's law. This is the move along V itself.
struct chainmove {
  enum kinds { crank, radial };
  kinds kind = crank;
  double share = 1.0;
  double rho = 0.99;
  double step = 1.0;
  double probability = 1.0;
};

struct chainsettings {
  int chains = 64;
  std::vector<chainmove> moves = {{chainmove::radial, 1.0, 0.0, 1.0, 0.25},
                                  {chainmove::crank, 1.0, 0.98, 0.0, 0.25},
                                  {chainmove::crank, 1.0 / 64, 0.0, 0.0, 0.25},
                                  {chainmove::crank, 1.0 / 16, 0.0, 0.0, 0.25}};
  double initialstep = 1.0;      // ln f at the start of adaptation
  double finalstep = 1.0 / 64;   // adaptation ends when ln f falls below
  double adaptflatness = 0.5;    // flat: every bin at least this times the mean
  double adapttravellers = 0.5;  // ... and this share of the chains visited every bin
  int checkinterval = 20;        // steps between flatness checks
  int threads = 1;               // for drawing the proposals
  bool wantsets = false;         // keep the error set of every chain state
};

// Estimates from the production phase, as natural logarithms, with their
// jackknife standard errors over the chains.
struct chainestimate {
  double logtop = 0.0;  // log P(last bin | failure)
  double logtopse = 0.0;
  double logbits = 0.0;  // log E[bit errors | failure]
  double logbitsminustop = 0.0, logbitsminustopse = 0.0;
  bool finite = false;  // every leave-one-out estimate finite
};

// What an observer sees of every chain after every production step.
struct chainvisit {
  int chain = 0;
  int bin = 0;
  double weight = 0.0;  // exp(theta[bin] - max theta): the state's importance weight
  bool moved = false;   // the chain accepted a new state in this step
  const judgement *state = nullptr;
};

class chainensemble {
 public:
  chainensemble(const failuremodel &model, const noiseenergy &law, std::vector<double> edges,
                const chainsettings &settings, std::uint64_t seed, std::int64_t point);

  int bins() const { return static_cast<int>(edges_.size()) + 1; }
  int bin(double energy) const;
  int chains() const { return settings_.chains; }

  // Starting states: chains x dimension noise values and their judgements,
  // each failing.
  void start(const std::vector<double> &states, const std::vector<judgement> &judgements);

  // The learned part of the weights, one value per bin.
  const std::vector<double> &logweights() const { return theta_; }
  void setlogweights(const std::vector<double> &theta) { theta_ = theta; }

  // One step of every chain; adapting updates the weights (Wang-Landau).
  void step(bool adapting, const std::function<void(const chainvisit &)> &observer = {});

  // Adaptation until ln f falls below finalstep (true) or maxsteps steps
  // have run or keepgoing returns false (false). Stages reached: stages().
  bool adapt(std::int64_t maxsteps, const std::function<bool()> &keepgoing = {});
  int stages() const { return stages_; }
  double step() const { return lnf_; }

  // Clears the production counts and passages (end of burn-in).
  void resetcounts();

  chainestimate estimate() const;
  // Smallest over bins of the production time spent in the bin, over the
  // mean (1 is perfectly flat).
  double flatness() const;
  // Passages between the first and the last bin (a round trip is two),
  // counted since resetcounts, and the chains with at least one round trip.
  std::int64_t passages() const;
  int travellers() const;
  std::vector<std::int64_t> histogram() const;  // production time per bin

  std::int64_t decodes() const { return decodes_; }
  std::int64_t steps() const { return steps_; }
  // Proposals and acceptances per entry of the move menu since construction.
  const std::vector<std::int64_t> &proposed() const { return proposed_; }
  const std::vector<std::int64_t> &accepted() const { return accepted_; }

 private:
  struct chain {
    std::vector<double> g, proposal;
    double energy = 0.0, proposalenergy = 0.0;
    int bin = 0, proposalbin = 0, move = 0;
    bool pending = false;  // passed the weight test this step
    judgement state;
    int extreme = -1;           // last end bin visited: 0, bins - 1, or -1
    std::vector<char> visited;  // bins visited in this adaptation stage
    std::vector<int> chosen;    // a radial move's coordinates
    std::int64_t passages = 0;
    std::vector<std::int64_t> time;  // production steps per bin
    std::vector<double> mass;        // production importance weight per bin
    std::vector<double> biterrors;   // ... times the bit errors, per bin
  };
  double logprior(double energy) const;
  double logweight(double energy, int b) const;
  void propose(int c);
  void decodepending();
  void record(int c, bool adapting, const std::function<void(const chainvisit &)> &observer);

  const failuremodel *model_;
  const noiseenergy *law_;
  std::vector<double> edges_;
  chainsettings settings_;
  std::vector<double> cumulative_;  // of the move menu's probabilities
  std::vector<std::uint64_t> streams_;
  std::vector<chain> chains_;
  std::vector<double> theta_;
  std::vector<double> table_;  // log density of V from edges.front(), every tablestep_
  double tablestep_ = 1.0;
  double reference_ = 0.0;  // log of the largest production weight
  std::vector<std::int64_t> stagehistogram_;
  double lnf_ = 0.0;
  int stages_ = 0;
  std::int64_t decodes_ = 0, steps_ = 0;
  std::vector<std::int64_t> proposed_, accepted_;
  std::vector<double> batch_;  // the proposals of one step, judged together
  std::vector<judgement> verdicts_;
};

// Quantiles of the standard normal law and of Student's t with df degrees
// of freedom (Cornish-Fisher expansion to the fourth term, within 1e-3 of
// the exact value for df >= 5); p in (0, 1).
double normalquantile(double p);
double studentquantile(double p, double df);

}  // namespace ldpc

#endif
