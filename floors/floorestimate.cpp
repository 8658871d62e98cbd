// The error-floor estimator: the decoder as a failure model, the pilot that
// places the threshold, the stratum above it, the chains below, and the
// interval of their product.
#include "floorestimate.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>

#include "noiseenergy.h"

namespace ldpc {

namespace {

constexpr std::int64_t iidstreams = std::int64_t{1} << 62;
enum iidstream { pilotstream = 1, stratumstream = 2, startstream = 3 };
constexpr int maxpilotsteps = 400;

std::string number(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", x);
  return text;
}

void checksettings(const failuremodel &model, const floorsettings &s, int point) {
  auto refuse = [](const std::string &what) { throw std::invalid_argument("floor: " + what); };
  if (s.channel != channeltype::awgn)
    refuse(std::string("only the awgn channel is estimated, not ") + channelname(s.channel));
  if (point < 0 || point >= static_cast<int>(s.parameters.size()))
    refuse("point " + std::to_string(point) + " is not among the " +
           std::to_string(s.parameters.size()) + " points");
  if (model.dimension() < 1) refuse("the code sends no bit");
  if (!(s.binwidth > 0)) refuse("binwidth must be positive, not " + number(s.binwidth));
  if (!(s.targetfraction > 0 && s.targetfraction < 1))
    refuse("targetfraction must lie in (0, 1), not " + number(s.targetfraction));
  if (s.pilotframes < 1 || s.stratumerrors < 1 || s.stratumframes < 1)
    refuse("pilotframes, stratumerrors and stratumframes must be at least 1");
  if (s.burnin < 0 || s.roundsteps < 1 || s.minrounds < 1)
    refuse("burnin must be 0 or more, roundsteps and minrounds at least 1");
  if (!(s.confidence > 0 && s.confidence < 1))
    refuse("confidence must lie in (0, 1), not " + number(s.confidence));
  if (!(s.precision > 1)) refuse("precision must exceed 1, not " + number(s.precision));
  if (!(s.adaptshare > 0 && s.adaptshare <= 1))
    refuse("adaptshare must lie in (0, 1], not " + number(s.adaptshare));
  if (s.maxdecodes < 1) refuse("maxdecodes must be at least 1");
}

// Frames drawn one by one from the noise above threshold, from stream s,
// judged in blocks.
class stratumdraws {
 public:
  stratumdraws(const failuremodel &model, const energysampler &sampler, std::uint64_t seed,
               int point, int stream, int block)
      : model_(&model),
        sampler_(&sampler),
        block_(block),
        base_(streamstate(seed, point, iidstreams - stream)) {}

  // Frames next .. next + count - 1 into noise and verdicts.
  void drawblock(std::int64_t next, int count, bool wantsets, std::vector<double> *noise,
                 std::vector<judgement> *verdicts) const {
    const std::size_t n = model_->dimension();
    noise->resize(n * count);
    verdicts->assign(count, judgement());
    for (int j = 0; j < count; ++j) {
      std::uint64_t state = streamstate(base_, 0, next + j);
      sampler_->draw(&state, noise->data() + j * n);
    }
    model_->judge(noise->data(), count, wantsets, verdicts->data());
  }
  int block() const { return block_; }

 private:
  const failuremodel *model_;
  const energysampler *sampler_;
  int block_;
  std::uint64_t base_;
};

// The pilot: the first k at which frames above mean + k dV fail at least
// the target fraction of the time.
int placethreshold(const failuremodel &model, const noiseenergy &law, const floorsettings &s,
                   int point, std::int64_t *decodes) {
  const double dv = s.binwidth * law.deviation();
  for (int k = 0; k < maxpilotsteps; ++k) {
    const double t = law.mean() + k * dv;
    if (law.logtail(t) < -700.0 * std::log(10.0)) break;
    energysampler sampler(law, t);
    stratumdraws draws(model, sampler, s.seed, point, pilotstream, s.pilotframes);
    std::vector<double> noise;
    std::vector<judgement> verdicts;
    draws.drawblock(static_cast<std::int64_t>(k) * s.pilotframes, s.pilotframes, false, &noise,
                    &verdicts);
    *decodes += s.pilotframes;
    int failures = 0;
    for (const judgement &v : verdicts) failures += v.failed;
    if (failures >= s.targetfraction * s.pilotframes) return k;
  }
  return -1;
}

// The stratum: independent frames above t until enough failures or frames.
void runstratum(const stratumdraws &draws, const floorsettings &s, std::int64_t *frames,
                std::int64_t *failures) {
  std::vector<double> noise;
  std::vector<judgement> verdicts;
  *frames = *failures = 0;
  while (*failures < s.stratumerrors && *frames < s.stratumframes) {
    const int count =
        static_cast<int>(std::min<std::int64_t>(draws.block(), s.stratumframes - *frames));
    draws.drawblock(*frames, count, false, &noise, &verdicts);
    *frames += count;
    for (const judgement &v : verdicts) *failures += v.failed;
  }
}

// The chains' starting states: the first failing frames of their own
// stream above t, in frame order.
bool startingstates(const stratumdraws &draws, int chains, bool wantsets, std::int64_t limit,
                    std::vector<double> *states, std::vector<judgement> *judgements,
                    std::int64_t *decodes) {
  std::vector<double> noise;
  std::vector<judgement> verdicts;
  states->clear();
  judgements->clear();
  for (std::int64_t next = 0; next < limit && static_cast<int>(judgements->size()) < chains;) {
    draws.drawblock(next, draws.block(), wantsets, &noise, &verdicts);
    *decodes += draws.block();
    const std::size_t dim = noise.size() / verdicts.size();
    for (std::size_t j = 0; j < verdicts.size() && static_cast<int>(judgements->size()) < chains;
         ++j)
      if (verdicts[j].failed) {
        states->insert(states->end(), noise.begin() + j * dim, noise.begin() + (j + 1) * dim);
        judgements->push_back(std::move(verdicts[j]));
      }
    next += draws.block();
  }
  return static_cast<int>(judgements->size()) == chains;
}

// FER and BER with their intervals from the parts; the diagnostics decide
// converged.
void combine(const floorsettings &s, const chainensemble &ensemble, double logtail,
             std::int64_t frames, std::int64_t failures, int bits, floorresult *r) {
  const chainestimate e = ensemble.estimate();
  const double p = static_cast<double>(failures) / static_cast<double>(frames);
  const double se1 = std::sqrt((1.0 - p) / (p * static_cast<double>(frames)));
  const double se2 = e.logtopse;
  const double var = se1 * se1 + se2 * se2;
  const double chains = ensemble.chains();
  r->degreesoffreedom = se2 > 0 ? (chains - 1.0) * (var / (se2 * se2)) * (var / (se2 * se2))
                                : std::numeric_limits<double>::infinity();
  const double q = studentquantile(1.0 - 0.5 * (1.0 - s.confidence), r->degreesoffreedom);
  const double logfer = logtail + std::log(p) - e.logtop;
  const double se = std::sqrt(var);
  const double ln10 = std::log(10.0);
  r->fer = std::exp(logfer);
  r->ferlow = std::exp(logfer - q * se);
  r->ferhigh = std::exp(logfer + q * se);
  r->log10fer = logfer / ln10;
  r->log10ferse = se / ln10;
  const double logber = logtail + std::log(p) + e.logbitsminustop - std::log(bits);
  const double seber = std::sqrt(se1 * se1 + e.logbitsminustopse * e.logbitsminustopse);
  r->ber = std::exp(logber);
  r->berlow = std::exp(logber - q * seber);
  r->berhigh = std::exp(logber + q * seber);
  r->log10top = e.logtop / ln10;
  r->log10topse = se2 / ln10;
  r->flatness = ensemble.flatness();
  r->roundtrips = 0.5 * static_cast<double>(ensemble.passages()) / chains;
  r->travellers = ensemble.travellers();
  r->histogram = ensemble.histogram();
  r->logweights = ensemble.logweights();
  r->movesdecoded = ensemble.proposed();
  r->movesaccepted = ensemble.accepted();
  // The diagnostics, each with its figure.
  std::string why;
  if (!e.finite || !std::isfinite(se))
    why += "a chain holds all the time of a bin (the jackknife is infinite); ";
  if (r->flatness < s.minflatness)
    why += "the production histogram is not flat: its smallest bin holds " + number(r->flatness) +
           " of the mean, at least " + number(s.minflatness) + " is needed; ";
  if (r->roundtrips < s.minroundtrips)
    why += "the chains made " + number(r->roundtrips) + " round trips each between the first " +
           "and the last bin, at least " + number(s.minroundtrips) + " are needed; ";
  if (!why.empty()) why.resize(why.size() - 2);
  r->diagnostic = why;
  r->converged = why.empty();
}

}  // namespace

decodingmodel::decodingmodel(const decoder &dec, double sigma, const std::vector<bitfate> &pattern,
                             int threads)
    : dec_(&dec), sigma_(sigma), pattern_(pattern), threads_(std::max(1, threads)) {
  const int n = dec.length();
  if (pattern_.empty()) pattern_.assign(n, bitfate::sent);
  if (static_cast<int>(pattern_.size()) != n)
    throw std::invalid_argument("floor: the transmission pattern has " +
                                std::to_string(pattern_.size()) + " entries for a code of " +
                                std::to_string(n) + " bits");
  if (!(sigma > 0))
    throw std::invalid_argument("floor: sigma must be positive, not " + number(sigma));
  for (int i = 0; i < n; ++i) {
    if (pattern_[i] == bitfate::sent) sent_.push_back(i);
    counted_ += pattern_[i] != bitfate::shortened;
  }
}

void decodingmodel::llrs(const double *noise, double *llr) const {
  const int n = dec_->length();
  const double scale = 2.0 / (sigma_ * sigma_);
  for (int i = 0; i < n; ++i) llr[i] = pattern_[i] == bitfate::shortened ? certainllr : 0.0;
  for (std::size_t j = 0; j < sent_.size(); ++j) llr[sent_[j]] = scale * (1.0 + sigma_ * noise[j]);
}

void decodingmodel::judge(const double *noise, int frames, bool wantsets, judgement *out) const {
  const std::size_t n = dec_->length();
  const std::size_t dim = sent_.size();
  std::vector<double> &llr = llr_;
  std::vector<std::uint8_t> &decisions = decisions_;
  std::vector<float> &posteriors = posteriors_;
  llr.resize(n * frames);
  decisions.resize(n * frames);
  posteriors.resize(n * frames);
  for (int f = 0; f < frames; ++f) llrs(noise + f * dim, llr.data() + f * n);
  decodeoutputs o;
  o.decisions = decisions.data();
  o.posteriors = posteriors.data();
  dec_->decode(llr.data(), frames, o, threads_);
  // A bit is in error when decided 1 or undecided (posterior exactly 0);
  // shortened bits are not counted.
  for (int f = 0; f < frames; ++f) {
    judgement &j = out[f];
    j.biterrors = 0;
    j.errorset.clear();
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t k = f * n + i;
      if (pattern_[i] == bitfate::shortened || (decisions[k] == 0 && posteriors[k] != 0.0f))
        continue;
      ++j.biterrors;
      if (wantsets) j.errorset.push_back(static_cast<int>(i));
    }
    j.failed = j.biterrors > 0;
  }
}

halfspacemodel::halfspacemodel(int blocks, int blocksize, int bulk, double depth, double pull)
    : blocks_(blocks), size_(blocksize), bulk_(bulk), depth_(depth), pull_(pull) {
  if (blocks < 1 || blocksize < 1 || bulk < 1)
    throw std::invalid_argument(
        "floor: a half-space model needs at least one block, one "
        "coordinate per block and one bulk coordinate");
}

void halfspacemodel::judge(const double *noise, int frames, bool wantsets, judgement *out) const {
  const int n = dimension(), first = blocks_ * size_;
  const double mean = 0.5 * bulk_, deviation = std::sqrt(1.25 * bulk_);
  for (int f = 0; f < frames; ++f) {
    const double *g = noise + static_cast<std::size_t>(f) * n;
    judgement &j = out[f];
    j.errorset.clear();
    j.biterrors = 0;
    double energy = 0.0;
    for (int i = first; i < n; ++i)
      if (g[i] < 0) energy += g[i] * g[i];
    const double level = -(depth_ - pull_ * (energy - mean) / deviation) * std::sqrt(size_);
    for (int b = 0; b < blocks_; ++b) {
      double sum = 0.0;
      for (int i = b * size_; i < (b + 1) * size_; ++i) sum += g[i];
      if (sum > level) continue;
      j.biterrors += size_;
      if (wantsets)
        for (int i = b * size_; i < (b + 1) * size_; ++i) j.errorset.push_back(i);
    }
    j.failed = j.biterrors > 0;
  }
}

double halfspacemodel::probability() const {
  // Sum over the number k of negative bulk coordinates of P(K = k) times the
  // integral of the chi-square density of U against P(fail | U), by the
  // midpoint rule on cells of 1/100 of U's deviation from -12 to +60
  // deviations (K = 0: U = 0 exactly).
  const noiseenergy law(bulk_);
  const double mean = law.mean(), deviation = law.deviation();
  auto failing = [&](double u) {
    const double q = 0.5 * std::erfc((depth_ - pull_ * (u - mean) / deviation) / std::sqrt(2.0));
    return -std::expm1(blocks_ * std::log1p(-std::min(q, 1.0 - 1e-16)));
  };
  const double cell = deviation / 100.0;
  const double lo = std::max(0.0, mean - 12.0 * deviation), hi = mean + 60.0 * deviation;
  std::vector<double> centres, fails;
  for (double u = lo + 0.5 * cell; u < hi; u += cell) {
    centres.push_back(u);
    fails.push_back(failing(u));
  }
  double total = std::exp(law.logcount(0)) * failing(0.0);
  for (int k = 1; k <= bulk_; ++k) {
    const double weight = law.logcount(k);
    if (weight < -60.0) continue;
    const double a = 0.5 * k, norm = -a * std::log(2.0) - std::lgamma(a);
    double sum = 0.0;
    for (std::size_t c = 0; c < centres.size(); ++c)
      sum += std::exp(norm + (a - 1.0) * std::log(centres[c]) - 0.5 * centres[c]) * fails[c];
    total += std::exp(weight) * sum * cell;
  }
  return total;
}

floorresult estimatefloor(const failuremodel &model, const floorsettings &s, int point,
                          const floorcallbacks &callbacks) {
  checksettings(model, s, point);
  const auto start = std::chrono::steady_clock::now();
  floorresult r;
  r.point = point;
  r.parameter = s.parameters[point];
  r.ebn0 = point < static_cast<int>(s.ebn0.size()) ? s.ebn0[point] : std::nan("");
  auto keepgoing = [&](const char *phase, std::int64_t decodes, const floorresult *sofar) {
    if (!callbacks.progress) return true;
    floorprogress p{point, phase, decodes, s.maxdecodes, sofar};
    return callbacks.progress(p);
  };
  auto finish = [&]() {
    r.decodes = r.pilotdecodes + r.stratumdecodes + r.chaindecodes;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (callbacks.pointdone) callbacks.pointdone(r);
    return r;
  };

  // The threshold t and the bins below it.
  const noiseenergy law(model.dimension());
  const double dv = s.binwidth * law.deviation();
  const int k = placethreshold(model, law, s, point, &r.pilotdecodes);
  if (k < 0) {
    r.diagnostic = "the decoder does not fail often enough even on noise far above the typical";
    return finish();
  }
  r.threshold = law.mean() + k * dv;
  r.thresholdsigmas = k * s.binwidth;
  r.log10tail = law.logtail(r.threshold) / std::log(10.0);
  std::vector<double> edges;
  for (int j = -1; j <= k; ++j) edges.push_back(law.mean() + j * dv);
  r.bins = static_cast<int>(edges.size()) + 1;
  if (!keepgoing("pilot", r.pilotdecodes, nullptr)) {
    r.cancelled = true;
    return finish();
  }

  // The stratum above t, and the chains' starting states.
  const energysampler sampler(law, r.threshold);
  const int block = std::max(64, s.chains.chains);
  stratumdraws stratum(model, sampler, s.seed, point, stratumstream, block);
  runstratum(stratum, s, &r.stratumframes, &r.stratumfailures);
  r.stratumdecodes = r.stratumframes;
  std::vector<double> states;
  std::vector<judgement> judgements;
  stratumdraws starts(model, sampler, s.seed, point, startstream, block);
  const bool started = startingstates(starts, s.chains.chains, s.chains.wantsets,
                                      std::max<std::int64_t>(s.stratumframes, 64 * block), &states,
                                      &judgements, &r.stratumdecodes);
  if (r.stratumfailures == 0 || !started) {
    r.diagnostic = "too few failures above the threshold: " + std::to_string(r.stratumfailures) +
                   " in " + std::to_string(r.stratumframes) + " frames";
    return finish();
  }

  // Adaptation, then production in rounds until the interval is narrow
  // enough, the budget is spent, or the caller stops.
  chainsettings cs = s.chains;
  cs.threads = std::max(cs.threads, s.threads);
  chainensemble ensemble(model, law, edges, cs, s.seed, point);
  ensemble.start(states, judgements);
  auto used = [&]() { return r.pilotdecodes + r.stratumdecodes + ensemble.decodes(); };
  const std::int64_t adaptlimit = static_cast<std::int64_t>(s.adaptshare * s.maxdecodes);
  std::int64_t checked = 0;
  bool stopped = false;
  r.adapted = ensemble.adapt(std::numeric_limits<std::int64_t>::max(), [&]() {
    if (used() >= adaptlimit) return false;
    if (++checked % cs.checkinterval == 0 && !keepgoing("adapt", used(), nullptr)) stopped = true;
    return !stopped;
  });
  r.stages = ensemble.stages();
  const int bits = model.bits();
  for (int b = 0; b < s.burnin && !stopped; ++b) ensemble.step(false);
  ensemble.resetcounts();
  auto observer = [&](const chainvisit &v) {
    if (callbacks.visit) callbacks.visit(point, v);
  };
  for (int round = 1; !stopped; ++round) {
    for (int j = 0; j < s.roundsteps; ++j) ensemble.step(false, observer);
    r.productionsteps += s.roundsteps;
    r.chaindecodes = ensemble.decodes();
    combine(s, ensemble, law.logtail(r.threshold), r.stratumframes, r.stratumfailures, bits, &r);
    const bool narrow = r.converged && r.ferhigh <= s.precision * r.ferlow;
    if ((round >= s.minrounds && narrow) || used() >= s.maxdecodes) break;
    if (!keepgoing("produce", used(), &r)) stopped = true;
  }
  r.cancelled = stopped;
  r.chaindecodes = ensemble.decodes();
  // An adaptation cut short refuses nothing by itself: production corrects
  // the weights, and its own diagnostics decide.
  if (r.productionsteps == 0) {
    r.converged = false;
    r.diagnostic = "stopped before production";
  }
  return finish();
}

std::vector<floorresult> runfloor(const graphs *graph, const floorsettings &s,
                                  const floorcallbacks &callbacks) {
  const decoder dec(graph, s.decoder);
  std::vector<floorresult> results;
  for (int point = 0; point < static_cast<int>(s.parameters.size()); ++point) {
    floorresult known;
    if (callbacks.recorded && callbacks.recorded(point, &known)) {
      results.push_back(std::move(known));
      continue;
    }
    const decodingmodel model(dec, s.parameters[point], s.pattern, s.threads);
    results.push_back(estimatefloor(model, s, point, callbacks));
    if (results.back().cancelled) break;
  }
  return results;
}

}  // namespace ldpc
