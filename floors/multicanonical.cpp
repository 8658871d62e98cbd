// Flat-histogram chains over failing noise: proposals, the batch judgement,
// Wang-Landau adaptation, production counts and the jackknife.
#include "multicanonical.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <thread>

#include "channel.h"
#include "randomstream.h"

namespace ldpc {

namespace {

constexpr double minusinfinity = -std::numeric_limits<double>::infinity();
constexpr std::int64_t chainstreams = std::int64_t{1} << 62;

// Runs body(c) for c in 0..count-1 over up to threads threads, in
// contiguous ranges.
void parallelfor(int count, int threads, const std::function<void(int)> &body) {
  threads = std::max(1, std::min(threads, count));
  if (threads == 1) {
    for (int c = 0; c < count; ++c) body(c);
    return;
  }
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t)
    pool.emplace_back([&, t] {
      for (int c = count * t / threads; c < count * (t + 1) / threads; ++c) body(c);
    });
  for (int c = 0; c < count / threads; ++c) body(c);
  for (std::thread &thread : pool) thread.join();
}

// Jackknife standard error of a statistic of sums: value(totals minus one
// chain's parts) for every chain.
double jackknife(const std::vector<double> &leftout, bool *finite) {
  const double r = static_cast<double>(leftout.size());
  double mean = 0.0;
  for (double x : leftout) {
    if (!std::isfinite(x)) *finite = false;
    mean += x / r;
  }
  if (!*finite) return std::numeric_limits<double>::infinity();
  double sum = 0.0;
  for (double x : leftout) sum += (x - mean) * (x - mean);
  return std::sqrt((r - 1.0) / r * sum);
}

}  // namespace

chainensemble::chainensemble(const failuremodel &model, const noiseenergy &law,
                             std::vector<double> edges, const chainsettings &settings,
                             std::uint64_t seed, std::int64_t point)
    : model_(&model), law_(&law), edges_(std::move(edges)), settings_(settings) {
  if (settings.chains < 2)
    throw std::invalid_argument("chains: at least 2 chains are needed for an interval, not " +
                                std::to_string(settings.chains));
  if (edges_.empty() || !std::is_sorted(edges_.begin(), edges_.end()))
    throw std::invalid_argument("chains: the bin edges must be at least one, in order");
  if (model.dimension() != law.dimension())
    throw std::invalid_argument("chains: the model has " + std::to_string(model.dimension()) +
                                " noise coordinates, the energy law " +
                                std::to_string(law.dimension()));
  double total = 0.0;
  for (const chainmove &m : settings.moves) {
    if (!(m.probability >= 0) || !(m.rho >= 0 && m.rho < 1) || !(m.share > 0 && m.share <= 1) ||
        !(m.step > 0 || m.kind == chainmove::crank))
      throw std::invalid_argument(
          "chains: a move needs probability >= 0, 0 <= rho < 1, a share "
          "in (0, 1] and (radial) a positive step");
    total += m.probability;
    cumulative_.push_back(total);
  }
  if (!(total > 0)) throw std::invalid_argument("chains: the move menu has no move");
  for (double &c : cumulative_) c /= total;
  streams_.resize(settings.chains);
  for (int c = 0; c < settings.chains; ++c)
    streams_[c] = streamstate(seed, point, chainstreams + c);
  chains_.resize(settings.chains);
  theta_.assign(bins(), 0.0);
  stagehistogram_.assign(bins(), 0);
  // The law's log density on a grid over the edges, interpolated linearly.
  const int points = 4097;
  tablestep_ = std::max(edges_.back() - edges_.front(), 1e-9) / (points - 1);
  table_.resize(points);
  for (int i = 0; i < points; ++i) table_[i] = law.logdensity(edges_.front() + i * tablestep_);
  proposed_.assign(settings.moves.size(), 0);
  accepted_.assign(settings.moves.size(), 0);
}

double chainensemble::logprior(double energy) const {
  // Clamped to the edges, so that the open bins keep the law's own decay.
  const double x = std::min(std::max(energy, edges_.front()), edges_.back());
  const double position = (x - edges_.front()) / tablestep_;
  const std::size_t i = std::min(static_cast<std::size_t>(position), table_.size() - 2);
  const double f = position - static_cast<double>(i);
  return (1.0 - f) * table_[i] + f * table_[i + 1];
}

double chainensemble::logweight(double energy, int b) const { return logprior(energy) + theta_[b]; }

int chainensemble::bin(double energy) const {
  return static_cast<int>(std::upper_bound(edges_.begin(), edges_.end(), energy) - edges_.begin());
}

void chainensemble::start(const std::vector<double> &states,
                          const std::vector<judgement> &judgements) {
  const std::size_t n = model_->dimension();
  if (states.size() != n * chains_.size() || judgements.size() != chains_.size())
    throw std::invalid_argument("chains: " + std::to_string(chains_.size()) +
                                " starting states are needed");
  for (std::size_t c = 0; c < chains_.size(); ++c) {
    if (!judgements[c].failed)
      throw std::invalid_argument("chains: starting state " + std::to_string(c) + " does not fail");
    chain &k = chains_[c];
    k.g.assign(states.begin() + c * n, states.begin() + (c + 1) * n);
    k.proposal.resize(n);
    k.energy = law_->of(k.g.data());
    k.bin = bin(k.energy);
    k.state = judgements[c];
    k.time.assign(bins(), 0);
    k.mass.assign(bins(), 0.0);
    k.biterrors.assign(bins(), 0.0);
    k.visited.assign(bins(), 0);
  }
  resetcounts();
}

namespace {

// A Crank-Nicolson move: on all coordinates, or on count positions drawn
// with replacement. Leaves phi invariant; returns the log prior ratio, 0.
double crankmove(const chainmove &m, const std::vector<double> &g, std::uint64_t *state,
                 std::vector<double> *proposal) {
  const int n = static_cast<int>(g.size());
  const double kick = std::sqrt(1.0 - m.rho * m.rho);
  if (m.share >= 1.0) {
    gaussians(state, n, proposal->data());
    for (int i = 0; i < n; ++i) (*proposal)[i] = m.rho * g[i] + kick * (*proposal)[i];
    return 0.0;
  }
  const int count = std::max(1, static_cast<int>(std::floor(m.share * n + 0.5)));
  for (int j = 0; j < count; j += 2) {
    double xi[2];
    gaussianpair(state, &xi[0], &xi[1]);
    for (int h = 0; h < 2 && j + h < count; ++h) {
      const int i = std::min(n - 1, static_cast<int>(nextdraw(state) * n));
      (*proposal)[i] = m.rho * (*proposal)[i] + kick * xi[h];
    }
  }
  return 0.0;
}

// A radial move: the negative coordinates of a subset (all, or each
// coordinate with probability share) scaled together, their radius r taken
// to r + step xi. Under phi that radius has density r^(K-1) e^(-r^2/2)
// given its direction, which is the log prior ratio returned; -infinity
// refuses the move (no negative coordinate, or a radius that is not
// positive).
double radialmove(const chainmove &m, const std::vector<double> &g, std::uint64_t *state,
                  std::vector<double> *proposal, std::vector<int> *chosen) {
  const int n = static_cast<int>(g.size());
  chosen->clear();
  double energy = 0.0;
  for (int i = 0; i < n; ++i)
    if ((m.share >= 1.0 || nextdraw(state) < m.share) && g[i] < 0) {
      chosen->push_back(i);
      energy += g[i] * g[i];
    }
  double xi, unused;
  gaussianpair(state, &xi, &unused);
  const double r = std::sqrt(energy), next = r + m.step * xi;
  if (chosen->empty() || !(next > 0)) return -std::numeric_limits<double>::infinity();
  const double scale = next / r;
  for (int i : *chosen) (*proposal)[i] = scale * g[i];
  return (static_cast<double>(chosen->size()) - 1.0) * std::log(scale) -
         0.5 * (next * next - energy);
}

}  // namespace

// Chain c's proposal for this step and its weight test, from the chain's
// state for the step alone.
void chainensemble::propose(int c) {
  chain &k = chains_[c];
  std::uint64_t state = streamstate(streams_[c], 0, steps_);
  const double u = nextdraw(&state);
  k.move = static_cast<int>(std::upper_bound(cumulative_.begin(), cumulative_.end() - 1, u) -
                            cumulative_.begin());
  const chainmove &m = settings_.moves[k.move];
  k.proposal = k.g;
  const double logprior = m.kind == chainmove::radial
                              ? radialmove(m, k.g, &state, &k.proposal, &k.chosen)
                              : crankmove(m, k.g, &state, &k.proposal);
  k.proposalenergy = law_->of(k.proposal.data());
  k.proposalbin = bin(k.proposalenergy);
  const double logu = std::log(1.0 - nextdraw(&state));
  k.pending =
      logu <= logprior + logweight(k.energy, k.bin) - logweight(k.proposalenergy, k.proposalbin);
}

// The proposals that passed the weight test, judged as one batch; those on
// which decoding fails are accepted.
void chainensemble::decodepending() {
  const std::size_t n = model_->dimension();
  std::vector<int> which;
  for (std::size_t c = 0; c < chains_.size(); ++c)
    if (chains_[c].pending) which.push_back(static_cast<int>(c));
  for (int c : which) ++proposed_[chains_[c].move];
  if (which.empty()) return;
  batch_.resize(which.size() * n);
  for (std::size_t j = 0; j < which.size(); ++j)
    std::copy(chains_[which[j]].proposal.begin(), chains_[which[j]].proposal.end(),
              batch_.begin() + j * n);
  std::vector<judgement> &verdicts = verdicts_;
  verdicts.resize(which.size());
  model_->judge(batch_.data(), static_cast<int>(which.size()), settings_.wantsets, verdicts.data());
  decodes_ += static_cast<std::int64_t>(which.size());
  for (std::size_t j = 0; j < which.size(); ++j) {
    chain &k = chains_[which[j]];
    if (!verdicts[j].failed) {
      k.pending = false;
      continue;
    }
    ++accepted_[k.move];
    std::swap(k.g, k.proposal);
    k.energy = k.proposalenergy;
    k.bin = k.proposalbin;
    std::swap(k.state, verdicts[j]);
  }
}

// Counts of chain c after the step: the weights while adapting, the
// production time and passages otherwise.
void chainensemble::record(int c, bool adapting,
                           const std::function<void(const chainvisit &)> &observer) {
  chain &k = chains_[c];
  ++stagehistogram_[k.bin];
  if (adapting) {
    theta_[k.bin] += lnf_ / static_cast<double>(chains_.size());
    k.visited[k.bin] = 1;
    return;
  }
  const double weight = std::exp(logweight(k.energy, k.bin) - reference_);
  ++k.time[k.bin];
  k.mass[k.bin] += weight;
  k.biterrors[k.bin] += weight * static_cast<double>(k.state.biterrors);
  const int last = bins() - 1;
  if (k.bin == 0 || k.bin == last) {
    if (k.extreme >= 0 && k.extreme != k.bin) ++k.passages;
    k.extreme = k.bin;
  }
  if (observer) {
    chainvisit visit;
    visit.chain = c;
    visit.bin = k.bin;
    visit.weight = weight;
    visit.moved = k.pending;
    visit.state = &k.state;
    observer(visit);
  }
}

void chainensemble::step(bool adapting, const std::function<void(const chainvisit &)> &observer) {
  parallelfor(static_cast<int>(chains_.size()), settings_.threads, [this](int c) { propose(c); });
  decodepending();
  for (std::size_t c = 0; c < chains_.size(); ++c) record(static_cast<int>(c), adapting, observer);
  ++steps_;
}

bool chainensemble::adapt(std::int64_t maxsteps, const std::function<bool()> &keepgoing) {
  lnf_ = settings_.initialstep;
  stages_ = 0;
  std::fill(stagehistogram_.begin(), stagehistogram_.end(), 0);
  for (std::int64_t s = 0; lnf_ >= settings_.finalstep; ++s) {
    if (s >= maxsteps || (keepgoing && !keepgoing())) {
      resetcounts();
      return false;
    }
    step(true);
    if ((s + 1) % settings_.checkinterval != 0) continue;
    // A flat histogram that enough chains have crossed ends the stage:
    // halve ln f and count afresh.
    const std::int64_t least = *std::min_element(stagehistogram_.begin(), stagehistogram_.end());
    std::int64_t sum = 0;
    for (std::int64_t h : stagehistogram_) sum += h;
    int crossed = 0;
    for (const chain &k : chains_)
      crossed += std::find(k.visited.begin(), k.visited.end(), 0) == k.visited.end();
    if (static_cast<double>(least) * bins() >= settings_.adaptflatness * static_cast<double>(sum) &&
        crossed >= settings_.adapttravellers * static_cast<double>(chains_.size())) {
      lnf_ *= 0.5;
      ++stages_;
      std::fill(stagehistogram_.begin(), stagehistogram_.end(), 0);
      for (chain &k : chains_) std::fill(k.visited.begin(), k.visited.end(), 0);
    }
  }
  resetcounts();
  return true;
}

void chainensemble::resetcounts() {
  // The reference of the importance weights: the largest weight a state can
  // have under the weights as they stand (they stay fixed from now on).
  reference_ = -std::numeric_limits<double>::infinity();
  for (int b = 0; b < bins(); ++b) {
    const double lo = b == 0 ? edges_.front() : edges_[b - 1];
    const double hi = b == bins() - 1 ? edges_.back() : edges_[b];
    reference_ = std::max({reference_, logweight(lo, b), logweight(hi, b)});
  }
  for (chain &k : chains_) {
    std::fill(k.time.begin(), k.time.end(), 0);
    std::fill(k.mass.begin(), k.mass.end(), 0.0);
    std::fill(k.biterrors.begin(), k.biterrors.end(), 0.0);
    k.passages = 0;
    k.extreme = k.bin == 0 || k.bin == bins() - 1 ? k.bin : -1;
  }
}

chainestimate chainensemble::estimate() const {
  // Per chain: the importance weights of its states in the last bin, of all
  // its states, and of their bit errors; the estimate is a ratio of sums
  // over chains.
  const int last = bins() - 1;
  const std::size_t r = chains_.size();
  std::vector<double> num(r, 0.0), den(r, 0.0), bit(r, 0.0);
  double sumnum = 0.0, sumden = 0.0, sumbit = 0.0;
  for (std::size_t c = 0; c < r; ++c) {
    for (int b = 0; b < bins(); ++b) {
      den[c] += chains_[c].mass[b];
      bit[c] += chains_[c].biterrors[b];
    }
    num[c] = chains_[c].mass[last];
    sumnum += num[c];
    sumden += den[c];
    sumbit += bit[c];
  }
  chainestimate e;
  e.logtop = std::log(sumnum) - std::log(sumden);
  e.logbits = std::log(sumbit) - std::log(sumden);
  e.logbitsminustop = std::log(sumbit) - std::log(sumnum);
  // Leave one chain out.
  std::vector<double> lt(r), lb(r);
  for (std::size_t c = 0; c < r; ++c) {
    lt[c] = std::log(sumnum - num[c]) - std::log(sumden - den[c]);
    lb[c] = std::log(sumbit - bit[c]) - std::log(sumnum - num[c]);
  }
  e.finite = std::isfinite(e.logtop) && std::isfinite(e.logbitsminustop);
  e.logtopse = jackknife(lt, &e.finite);
  e.logbitsminustopse = jackknife(lb, &e.finite);
  return e;
}

std::vector<std::int64_t> chainensemble::histogram() const {
  std::vector<std::int64_t> h(bins(), 0);
  for (const chain &k : chains_)
    for (int b = 0; b < bins(); ++b) h[b] += k.time[b];
  return h;
}

double chainensemble::flatness() const {
  const std::vector<std::int64_t> h = histogram();
  std::int64_t sum = 0;
  for (std::int64_t x : h) sum += x;
  if (sum == 0) return 0.0;
  return static_cast<double>(*std::min_element(h.begin(), h.end())) * bins() /
         static_cast<double>(sum);
}

std::int64_t chainensemble::passages() const {
  std::int64_t total = 0;
  for (const chain &k : chains_) total += k.passages;
  return total;
}

int chainensemble::travellers() const {
  int count = 0;
  for (const chain &k : chains_) count += k.passages >= 2;
  return count;
}

double normalquantile(double p) {
  // Bisection on the distribution function 0.5 erfc(-x / sqrt 2).
  double lo = -40.0, hi = 40.0;
  for (int i = 0; i < 200; ++i) {
    const double mid = 0.5 * (lo + hi);
    if (0.5 * std::erfc(-mid / std::sqrt(2.0)) < p)
      lo = mid;
    else
      hi = mid;
  }
  return 0.5 * (lo + hi);
}

double studentquantile(double p, double df) {
  const double z = normalquantile(p);
  if (!std::isfinite(df)) return z;
  const double z2 = z * z;
  const double g1 = (z2 + 1.0) * z / 4.0;
  const double g2 = ((5.0 * z2 + 16.0) * z2 + 3.0) * z / 96.0;
  const double g3 = (((3.0 * z2 + 19.0) * z2 + 17.0) * z2 - 15.0) * z / 384.0;
  const double g4 =
      ((((79.0 * z2 + 776.0) * z2 + 1482.0) * z2 - 1920.0) * z2 - 945.0) * z / 92160.0;
  return z + g1 / df + g2 / (df * df) + g3 / (df * df * df) + g4 / (df * df * df * df);
}

}  // namespace ldpc
