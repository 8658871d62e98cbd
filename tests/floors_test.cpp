// The error-floor library: the law of the noise energy against closed forms,
// the estimator against exact probabilities and direct Monte-Carlo, its
// reproducibility, trapping-set classification against hand-built graphs
// and a dense-matrix oracle, and absorbing-set enumeration against brute
// force over every small set.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <cmath>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <tuple>
#include <vector>

#include "absorbingsets.h"
#include "floorestimate.h"
#include "floorledger.h"
#include "montecarlo.h"
#include "noiseenergy.h"
#include "support.h"
#include "trappingsets.h"

namespace {

// --- The noise energy -------------------------------------------------------

// P(chi-square with k degrees of freedom >= t), k = 1..4, in closed form.
double chisquaretail(int k, double t) {
  const double pi = 3.14159265358979323846;
  switch (k) {
    case 1:
      return std::erfc(std::sqrt(t / 2));
    case 2:
      return std::exp(-t / 2);
    case 3:
      return std::erfc(std::sqrt(t / 2)) + std::sqrt(2 * t / pi) * std::exp(-t / 2);
    default:
      return std::exp(-t / 2) * (1 + t / 2);
  }
}

// P(V >= t) for N = 4 noise coordinates: K negative ones, binomial(4, 1/2).
double energytail4(double t) {
  const double weights[5] = {1, 4, 6, 4, 1};
  double p = t <= 0 ? weights[0] / 16 : 0.0;
  for (int k = 1; k <= 4; ++k) p += weights[k] / 16 * chisquaretail(k, t);
  return p;
}

TEST(NoiseEnergy, TailsMatchClosedFormsFarIntoTheTail) {
  const ldpc::noiseenergy law(4);
  EXPECT_DOUBLE_EQ(law.mean(), 2.0);
  EXPECT_NEAR(law.deviation(), std::sqrt(5.0), 1e-12);
  for (double t : {0.5, 1.0, 3.0, 10.0, 40.0, 200.0, 1000.0}) {
    const double exact = std::log(energytail4(t));
    EXPECT_NEAR(law.logtail(t), exact, 1e-9 * std::max(1.0, std::fabs(exact))) << "t " << t;
    // head and tail make the whole law; a range is their difference.
    if (t < 40) {
      EXPECT_NEAR(std::exp(law.loghead(t)) + std::exp(law.logtail(t)), 1.0, 1e-12) << t;
      EXPECT_NEAR(std::exp(law.logrange(t, 2 * t)), energytail4(t) - energytail4(2 * t), 1e-12);
    }
  }
  // The density is minus the derivative of the tail.
  for (double v : {0.7, 2.0, 9.0, 30.0}) {
    const double h = 1e-4 * v;
    const double slope = (energytail4(v - h) - energytail4(v + h)) / (2 * h);
    EXPECT_NEAR(std::exp(law.logdensity(v)), slope, 1e-6 * slope) << "v " << v;
  }
}

TEST(NoiseEnergy, TailsOfLongFramesBelowTheSmallestDouble) {
  // N = 1: V >= t needs the one coordinate below -sqrt(t).
  const ldpc::noiseenergy one(1);
  for (double t : {1.0, 25.0, 100.0})
    EXPECT_NEAR(one.logtail(t), std::log(0.5 * std::erfc(std::sqrt(t / 2))), 1e-9);
  // Far tails of a long frame stay finite and fall steadily.
  const ldpc::noiseenergy law(2048);
  double last = 0.0;
  for (double sigmas : {2.0, 10.0, 40.0, 80.0}) {
    const double t = law.mean() + sigmas * law.deviation();
    const double logp = law.logtail(t);
    EXPECT_TRUE(std::isfinite(logp)) << sigmas;
    EXPECT_LT(logp, last);
    last = logp;
  }
  EXPECT_LT(last, -700.0);  // below 1e-300
}

TEST(NoiseEnergy, SamplerDrawsTheConditionedLaw) {
  const ldpc::noiseenergy law(12);
  const double lo = law.mean() + law.deviation(), hi = law.mean() + 3 * law.deviation();
  const double mid = law.mean() + 2 * law.deviation();
  const ldpc::energysampler sampler(law, lo, hi);
  EXPECT_NEAR(sampler.logprobability(), law.logrange(lo, hi), 1e-12);
  // The share of draws above mid is P(mid <= V < hi) / P(lo <= V < hi).
  const double expected = std::exp(law.logrange(mid, hi) - law.logrange(lo, hi));
  std::uint64_t state = 12345;
  std::vector<double> g(12);
  const int draws = 20000;
  int above = 0;
  for (int i = 0; i < draws; ++i) {
    sampler.draw(&state, g.data());
    const double v = law.of(g.data());
    ASSERT_GE(v, lo);
    ASSERT_LT(v, hi);
    above += v >= mid;
  }
  const double se = std::sqrt(expected * (1 - expected) / draws);
  EXPECT_NEAR(static_cast<double>(above) / draws, expected, 4 * se);
}

// --- The estimator ----------------------------------------------------------

ldpc::floorsettings quicksettings(std::int64_t maxdecodes, int chains = 32) {
  ldpc::floorsettings s;
  s.parameters = {1.0};
  s.maxdecodes = maxdecodes;
  s.precision = 3.0;
  s.chains.chains = chains;
  return s;
}

TEST(FloorEstimate, HalfSpaceRegionsOfKnownProbability) {
  // Regions of probability 1e-2 .. 1e-6, each estimate's interval holding
  // the exact value (the seeds are fixed, so this is deterministic).
  struct region {
    int blocks, size, bulk;
    double depth, pull;
  };
  for (const region &r :
       {region{4, 4, 60, 3.0, 0.3}, region{2, 3, 200, 4.5, 0.3}, region{3, 5, 80, 4.0, 0.0}}) {
    const ldpc::halfspacemodel model(r.blocks, r.size, r.bulk, r.depth, r.pull);
    const double exact = model.probability();
    const ldpc::floorresult e = ldpc::estimatefloor(model, quicksettings(1200000), 0);
    SCOPED_TRACE("depth " + std::to_string(r.depth) + " exact " + std::to_string(exact));
    ASSERT_TRUE(e.converged) << e.diagnostic;
    EXPECT_LE(e.ferlow, exact);
    EXPECT_GE(e.ferhigh, exact);
    EXPECT_LT(e.ferhigh / e.ferlow, 3.0);
    EXPECT_EQ(e.decodes, e.pilotdecodes + e.stratumdecodes + e.chaindecodes);
  }
}

// The (3, 13) array code: 169 bits, no 4-cycles, a floor from (3, 3) sets.
ldpc::tannerlists arraycode(int p, int gamma) {
  std::vector<std::vector<int>> vchecks(static_cast<std::size_t>(p) * p);
  for (int r = 0; r < gamma; ++r)
    for (int c = 0; c < p; ++c)
      for (int i = 0; i < p; ++i) vchecks[c * p + (i + r * c) % p].push_back(r * p + i);
  return ldpc::listsfromchecks(gamma * p, vchecks);
}

TEST(FloorEstimate, AgreesWithDirectMonteCarloForTwoDecoders) {
  const ldpc::tannerlists lists = arraycode(13, 3);
  testsupport::ownedgraph graph(ldpc::graphoflists(lists));
  const double sigma = ldpc::sigmafromebn0(5.0, 1.0 - 37.0 / 169.0);
  ldpc::decoderoptions nms, oms;
  nms.algorithm = ldpc::decoderalgorithm::normalizedminsum;
  nms.alpha = 0.5;
  nms.iterations = 30;
  oms.algorithm = ldpc::decoderalgorithm::offsetminsum;
  oms.schedule = ldpc::decoderschedule::layered;
  oms.iterations = 30;
  for (const ldpc::decoderoptions &options : {nms, oms}) {
    SCOPED_TRACE(ldpc::algorithmname(options.algorithm));
    ldpc::simulationsettings direct;
    direct.parameters = {sigma};
    direct.decoder = options;
    direct.maxerrors = 100;
    direct.maxframes = 2000000;
    direct.seed = 77;
    ldpc::codesupply supply;
    supply.graph = graph;
    const ldpc::pointresult d = ldpc::runsimulation(direct, supply)[0];
    ASSERT_EQ(d.frameerrors, 100);

    ldpc::floorsettings s = quicksettings(400000);
    s.parameters = {sigma};
    s.decoder = options;
    const ldpc::floorresult e = ldpc::runfloor(graph, s)[0];
    ASSERT_TRUE(e.converged) << e.diagnostic;
    EXPECT_GT(d.fer, 1e-4);
    EXPECT_LT(d.fer, 3e-3);
    // The two intervals overlap.
    EXPECT_LE(e.ferlow, d.ferhigh) << e.fer << " against " << d.fer;
    EXPECT_GE(e.ferhigh, d.ferlow) << e.fer << " against " << d.fer;
  }
}

TEST(FloorEstimate, SameEstimateForAnyThreadCount) {
  const ldpc::tannerlists lists = arraycode(11, 3);
  testsupport::ownedgraph graph(ldpc::graphoflists(lists));
  ldpc::floorsettings s = quicksettings(60000, 16);
  s.parameters = {ldpc::sigmafromebn0(5.0, 0.75), ldpc::sigmafromebn0(5.5, 0.75)};
  s.decoder.algorithm = ldpc::decoderalgorithm::normalizedminsum;
  s.decoder.alpha = 0.5;
  s.decoder.iterations = 20;
  s.threads = 1;
  const std::vector<ldpc::floorresult> one = ldpc::runfloor(graph, s);
  s.threads = 2;
  const std::vector<ldpc::floorresult> two = ldpc::runfloor(graph, s);
  ASSERT_EQ(one.size(), 2u);
  ASSERT_EQ(two.size(), 2u);
  for (int p = 0; p < 2; ++p) {
    EXPECT_EQ(one[p].fer, two[p].fer) << p;
    EXPECT_EQ(one[p].ferlow, two[p].ferlow) << p;
    EXPECT_EQ(one[p].decodes, two[p].decodes) << p;
    EXPECT_EQ(one[p].histogram, two[p].histogram) << p;
    EXPECT_EQ(one[p].converged, two[p].converged) << p;
  }
  // Another seed gives another estimate.
  s.seed = 2;
  EXPECT_NE(ldpc::runfloor(graph, s)[0].fer, one[0].fer);
}

TEST(FloorEstimate, TooSmallABudgetIsReportedNotConverged) {
  const ldpc::halfspacemodel model(2, 3, 40, 4.5, 0.3);
  const ldpc::floorresult e = ldpc::estimatefloor(model, quicksettings(4000), 0);
  EXPECT_FALSE(e.converged);
  EXPECT_FALSE(e.diagnostic.empty());
  // Failures need V >= 20 here, so the lowest bin (below mean - dV = 19.2)
  // holds none: the histogram cannot be flat, whatever the budget.
  const ldpc::floorresult low = ldpc::estimatefloor(model, quicksettings(200000), 0);
  EXPECT_FALSE(low.converged);
  EXPECT_NE(low.diagnostic.find("not flat"), std::string::npos) << low.diagnostic;
  // A region the decoder never fails on at all.
  const ldpc::halfspacemodel never(1, 1, 10, 1e6, 0.0);
  const ldpc::floorresult n = ldpc::estimatefloor(never, quicksettings(4000), 0);
  EXPECT_FALSE(n.converged);
  EXPECT_NE(n.diagnostic.find("does not fail"), std::string::npos) << n.diagnostic;
}

TEST(FloorEstimate, RefusesUnusableSettingsByName) {
  const ldpc::halfspacemodel model(2, 3, 40, 4.5, 0.3);
  struct refusal {
    void (*set)(ldpc::floorsettings &);
    const char *word;
  };
  const refusal cases[] = {
      {[](ldpc::floorsettings &s) { s.binwidth = 0; }, "binwidth"},
      {[](ldpc::floorsettings &s) { s.targetfraction = 1.5; }, "targetfraction"},
      {[](ldpc::floorsettings &s) { s.confidence = 1.0; }, "confidence"},
      {[](ldpc::floorsettings &s) { s.precision = 1.0; }, "precision"},
      {[](ldpc::floorsettings &s) { s.maxdecodes = 0; }, "maxdecodes"},
      {[](ldpc::floorsettings &s) { s.channel = ldpc::channeltype::bec; }, "awgn"},
      {[](ldpc::floorsettings &s) { s.parameters.clear(); }, "point"},
      {[](ldpc::floorsettings &s) { s.chains.chains = 1; }, "chains"},
  };
  for (const refusal &r : cases) {
    ldpc::floorsettings s = quicksettings(10000);
    r.set(s);
    try {
      ldpc::estimatefloor(model, s, 0);
      ADD_FAILURE() << "accepted a bad " << r.word;
    } catch (const std::invalid_argument &e) {
      EXPECT_NE(std::string(e.what()).find(r.word), std::string::npos) << e.what();
    }
  }
}

// --- Trapping sets ----------------------------------------------------------

// The class by a dense incidence matrix, from the definitions alone.
ldpc::trappingclass denseclass(const ldpc::tannerlists &t, const std::vector<int> &set) {
  std::vector<std::vector<int>> h(t.cnodenum, std::vector<int>(t.vnodenum, 0));
  for (int v = 0; v < t.vnodenum; ++v)
    for (int c : t.vchecks[v]) ++h[c][v];
  std::vector<int> indeg(t.cnodenum, 0);
  std::vector<char> inset(t.vnodenum, 0);
  for (int v : set) inset[v] = 1;
  for (int c = 0; c < t.cnodenum; ++c)
    for (int v : set) indeg[c] += h[c][v];
  ldpc::trappingclass k;
  k.a = static_cast<int>(set.size());
  k.elementary = true;
  for (int c = 0; c < t.cnodenum; ++c) {
    k.checks += indeg[c] > 0;
    k.b += indeg[c] % 2;
    if (indeg[c] > 2) k.elementary = false;
  }
  k.absorbing = true;
  k.fullyabsorbing = true;
  for (int v = 0; v < t.vnodenum; ++v) {
    int odd = 0, other = 0;
    for (int c = 0; c < t.cnodenum; ++c) (indeg[c] % 2 ? odd : other) += h[c][v];
    if (inset[v] && !(other > odd)) k.absorbing = k.fullyabsorbing = false;
    if (!inset[v] && !(other > odd)) k.fullyabsorbing = false;
  }
  // Components: union over checks of the set variables they join.
  std::vector<int> label(t.vnodenum);
  for (int v = 0; v < t.vnodenum; ++v) label[v] = v;
  for (int c = 0; c < t.cnodenum; ++c) {
    int first = -1;
    for (int v : set)
      if (h[c][v] > 0) {
        if (first < 0) first = v;
        const int from = label[v], to = label[first];
        for (int &l : label) l = l == from ? to : l;
      }
  }
  std::set<int> roots;
  for (int v : set) roots.insert(label[v]);
  k.components = static_cast<int>(roots.size());
  return k;
}

void expectclass(const ldpc::trappingclass &got, const ldpc::trappingclass &want,
                 const std::string &what) {
  EXPECT_EQ(std::tie(got.a, got.b, got.checks, got.components),
            std::tie(want.a, want.b, want.checks, want.components))
      << what;
  EXPECT_EQ(std::tie(got.elementary, got.absorbing, got.fullyabsorbing),
            std::tie(want.elementary, want.absorbing, want.fullyabsorbing))
      << what;
}

TEST(TrappingSets, HandBuiltGraphsWithKnownSets) {
  // A: a 6-cycle v0 c1 v1 c2 v2 c0 v0 of column weight 3, a private check
  // per node (c3, c4, c5), and v3 on c0, c1, c2 (which makes {0..3}
  // non-elementary), v4 on two private checks and one of its own.
  const ldpc::tannerlists a =
      ldpc::listsfromchecks(7, {{0, 1, 3}, {1, 2, 4}, {2, 0, 5}, {0, 1, 2}, {3, 4, 6}});
  // B: an 8-cycle v0 c0 v1 c1 v2 c2 v3 c3 v0, each node with a private
  // check: a (4, 4) elementary absorbing set; v4 joins two of the private
  // checks and a check of its own.
  const ldpc::tannerlists b =
      ldpc::listsfromchecks(9, {{3, 0, 4}, {0, 1, 5}, {1, 2, 6}, {2, 3, 7}, {4, 5, 8}});
  // C: a parallel edge, v0 twice on c0.
  const ldpc::tannerlists c = ldpc::listsfromchecks(3, {{0, 0, 1}, {0, 2}});
  struct known {
    const ldpc::tannerlists *graph;
    std::vector<int> set;
    ldpc::trappingclass want;  // a, b, checks, components, elementary, absorbing, fully
  };
  const known table[] = {
      {&a, {0, 1, 2}, {3, 3, 6, 1, true, true, false}},  // v4 on two odd checks
      {&a, {0, 1}, {2, 4, 5, 1, true, false, false}},
      {&a, {0}, {1, 3, 3, 1, true, false, false}},
      {&a, {0, 1, 2, 3}, {4, 6, 6, 1, false, false, false}},
      {&a, {0, 4}, {2, 4, 5, 1, true, false, false}},
      {&b, {0, 1, 2, 3}, {4, 4, 8, 1, true, true, false}},
      {&b, {3, 1, 0, 2}, {4, 4, 8, 1, true, true, false}},
      {&b, {0, 2}, {2, 6, 6, 2, true, false, false}},
      {&b, {0, 1, 2, 3, 4}, {5, 3, 9, 1, true, true, true}},
      {&c, {0}, {1, 1, 2, 1, true, true, true}},
      {&c, {0, 1}, {2, 3, 3, 1, false, false, false}},
  };
  for (const known &k : table) {
    std::string what = "set";
    for (int v : k.set) what.append(1, ' ').append(std::to_string(v));
    // The dense oracle agrees with the hand count, and the library with both.
    expectclass(denseclass(*k.graph, k.set), k.want, what + " (oracle)");
    expectclass(ldpc::classifyset(*k.graph, k.set), k.want, what);
  }
}

TEST(TrappingSets, RandomSetsAgainstTheDenseOracle) {
  std::mt19937 rng(5);
  for (int trial = 0; trial < 40; ++trial) {
    const int n = 12 + trial % 9, m = n / 2 + 1;
    std::vector<std::vector<int>> vchecks(n);
    for (auto &list : vchecks)
      for (int e = 0; e < 2 + trial % 3; ++e) list.push_back(static_cast<int>(rng() % m));
    const ldpc::tannerlists t = ldpc::listsfromchecks(m, vchecks);
    std::vector<int> nodes(n);
    for (int v = 0; v < n; ++v) nodes[v] = v;
    std::shuffle(nodes.begin(), nodes.end(), rng);
    const std::vector<int> set(nodes.begin(), nodes.begin() + 1 + trial % 7);
    expectclass(ldpc::classifyset(t, set), denseclass(t, set), "trial " + std::to_string(trial));
  }
}

TEST(TrappingSets, RefusesNodesOutsideOrTwice) {
  const ldpc::tannerlists t = ldpc::listsfromchecks(2, {{0, 1}, {1}});
  EXPECT_THROW(ldpc::classifyset(t, {0, 2}), std::invalid_argument);
  EXPECT_THROW(ldpc::classifyset(t, {1, 1}), std::invalid_argument);
  EXPECT_THROW(ldpc::classifyset(t, {-1}), std::invalid_argument);
  EXPECT_THROW(ldpc::listsfromchecks(2, {{0, 2}}), std::invalid_argument);
  EXPECT_THROW(ldpc::listsofgraph(nullptr), std::invalid_argument);
}

TEST(TrappingSets, CollectorSharesAndOrder) {
  const ldpc::tannerlists b =
      ldpc::listsfromchecks(9, {{3, 0, 4}, {0, 1, 5}, {1, 2, 6}, {2, 3, 7}, {4, 5, 8}});
  ldpc::failurecollector collector(b);
  collector.add({3, 2, 1, 0}, 3.0);
  collector.add({0, 1, 2, 3}, 1.0, false);  // the same set, in another order
  collector.add({4}, 2.0);
  collector.add({0, 2}, 2.0);
  EXPECT_DOUBLE_EQ(collector.totalweight(), 8.0);
  EXPECT_EQ(collector.distinct(), 3);
  const std::vector<ldpc::failurerecord> records = collector.records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].variables, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_DOUBLE_EQ(records[0].share, 0.5);
  EXPECT_EQ(records[0].samples, 2);
  EXPECT_EQ(records[0].arrivals, 1);
  EXPECT_TRUE(records[0].kind.absorbing);
  // Equal shares: the smaller a first.
  EXPECT_EQ(records[1].variables, (std::vector<int>{4}));
  EXPECT_EQ(records[2].variables, (std::vector<int>{0, 2}));
  EXPECT_EQ(collector.records(1).size(), 1u);
  EXPECT_EQ(collector.records(0, 2).size(), 2u);  // sets of at most 2 nodes
  const std::vector<ldpc::classshare> classes = collector.classes();
  ASSERT_EQ(classes.size(), 3u);
  EXPECT_EQ(std::tie(classes[0].a, classes[0].b), std::make_tuple(4, 4));
  double total = 0;
  for (const ldpc::classshare &k : classes) total += k.share;
  EXPECT_NEAR(total, 1.0, 1e-12);
}

// --- Absorbing-set enumeration ---------------------------------------------

// Every connected elementary absorbing set of at most maxsize nodes, by
// trying every subset, counted by (a, b) with the fully absorbing ones.
std::map<std::pair<int, int>, std::pair<std::int64_t, std::int64_t>> bruteforce(
    const ldpc::tannerlists &t, int maxsize, std::set<std::vector<int>> *sets) {
  std::map<std::pair<int, int>, std::pair<std::int64_t, std::int64_t>> counts;
  std::vector<int> set;
  std::function<void(int)> grow = [&](int next) {
    if (!set.empty()) {
      const ldpc::trappingclass k = denseclass(t, set);
      if (k.components == 1 && k.elementary && k.absorbing) {
        auto &c = counts[{k.a, k.b}];
        ++c.first;
        c.second += k.fullyabsorbing;
        sets->insert(set);
      }
    }
    if (static_cast<int>(set.size()) == maxsize) return;
    for (int v = next; v < t.vnodenum; ++v) {
      set.push_back(v);
      grow(v + 1);
      set.pop_back();
    }
  };
  grow(0);
  return counts;
}

TEST(AbsorbingSets, EnumerationMatchesBruteForce) {
  std::mt19937 rng(11);
  std::vector<ldpc::tannerlists> graphs = {arraycode(5, 3), arraycode(7, 3)};
  for (int trial = 0; trial < 3; ++trial) {
    // Random graphs of column weight 3 (no repeated check on a node).
    const int n = 16, m = 10;
    std::vector<std::vector<int>> vchecks(n);
    for (auto &list : vchecks)
      while (list.size() < 3) {
        const int c = static_cast<int>(rng() % m);
        if (std::find(list.begin(), list.end(), c) == list.end()) list.push_back(c);
      }
    graphs.push_back(ldpc::listsfromchecks(m, vchecks));
  }
  for (std::size_t g = 0; g < graphs.size(); ++g) {
    const int maxsize = graphs[g].vnodenum > 30 ? 4 : 5;
    std::set<std::vector<int>> want;
    const auto counts = bruteforce(graphs[g], maxsize, &want);
    ldpc::enumerationsettings settings;
    settings.maxsize = maxsize;
    const ldpc::enumerationresult got = ldpc::enumerateabsorbing(graphs[g], settings);
    SCOPED_TRACE("graph " + std::to_string(g));
    EXPECT_TRUE(got.complete);
    std::set<std::vector<int>> found;
    for (std::vector<int> s : got.sets) {
      std::sort(s.begin(), s.end());
      EXPECT_TRUE(found.insert(s).second) << "listed twice";
    }
    EXPECT_EQ(found, want);
    std::map<std::pair<int, int>, std::pair<std::int64_t, std::int64_t>> listed;
    for (const ldpc::absorbingcount &c : got.counts) listed[{c.a, c.b}] = {c.count, c.fully};
    EXPECT_EQ(listed, counts);
  }
  // The (3, p) array codes have p^2 (p - 1) (3, 3) absorbing sets (Dolecek
  // et al., IEEE Trans. Inform. Theory 56, 2010), p = 5 and 7 here.
  for (int g = 0; g < 2; ++g) {
    ldpc::enumerationsettings settings;
    settings.maxsize = 3;
    const int p = g == 0 ? 5 : 7;
    std::int64_t count = 0;
    for (const ldpc::absorbingcount &c : ldpc::enumerateabsorbing(graphs[g], settings).counts)
      if (c.a == 3 && c.b == 3) count = c.count;
    EXPECT_EQ(count, p * p * (p - 1)) << "p " << p;
  }
  // The (3, 5) array code has (3, 3) absorbing sets (6-cycles): some found.
  std::set<std::vector<int>> sets;
  const auto counts = bruteforce(graphs[0], 3, &sets);
  EXPECT_GT((counts.count({3, 3}) ? counts.at({3, 3}).first : 0), 0);
}

TEST(AbsorbingSets, KeepsCountingPastTheListLimitAndStopsWhenAsked) {
  const ldpc::tannerlists t = arraycode(7, 3);
  ldpc::enumerationsettings all;
  all.maxsize = 4;
  const ldpc::enumerationresult full = ldpc::enumerateabsorbing(t, all);
  ASSERT_GT(full.sets.size(), 3u);
  ldpc::enumerationsettings few = all;
  few.keepsets = 3;
  const ldpc::enumerationresult kept = ldpc::enumerateabsorbing(t, few);
  EXPECT_EQ(kept.sets.size(), 3u);
  ASSERT_EQ(kept.counts.size(), full.counts.size());
  for (std::size_t i = 0; i < kept.counts.size(); ++i)
    EXPECT_EQ(kept.counts[i].count, full.counts[i].count);
  EXPECT_THROW(
      [&] {
        ldpc::enumerationsettings bad;
        bad.maxsize = 0;
        ldpc::enumerateabsorbing(t, bad);
      }(),
      std::invalid_argument);
}

}  // namespace

namespace {

bool samebits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

TEST(FloorLedger, PointLinesReadBackBitForBit) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<double> reals = {0.0,   -0.0, 0.1,  1.0 / 3, 1e-300, 5e-324,       -2.5e17,
                                     1e308, inf,  -inf, nan,     -nan,   6.02214076e23};
  for (std::size_t k = 0; k < reals.size(); ++k) {
    ldpc::floorresult r;
    r.point = static_cast<int>(k);
    r.fer = reals[k];
    r.ferhigh = reals[(k + 1) % reals.size()];
    r.ebn0 = reals[(k + 2) % reals.size()];
    r.seconds = reals[(k + 3) % reals.size()];
    r.converged = k % 2 == 0;
    r.diagnostic = k % 3 ? "flatness 0.01, \"quoted\"\n" : "";
    r.decodes = static_cast<std::int64_t>(1) << (20 + k);
    const std::string line = ldpc::floorpointline(r);
    ASSERT_EQ(line.back(), '\n');
    ldpc::floorresult back;
    ASSERT_EQ(ldpc::parsefloorpoint(line.substr(0, line.size() - 1), "L", &back), "") << line;
    EXPECT_TRUE(samebits(back.fer, r.fer)) << line;
    EXPECT_TRUE(samebits(back.ferhigh, r.ferhigh)) << line;
    EXPECT_TRUE(samebits(back.ebn0, r.ebn0)) << line;
    EXPECT_TRUE(samebits(back.seconds, r.seconds)) << line;
    EXPECT_EQ(back.point, r.point);
    EXPECT_EQ(back.converged, r.converged);
    EXPECT_EQ(back.diagnostic, r.diagnostic);
    EXPECT_EQ(back.decodes, r.decodes);
    EXPECT_EQ(ldpc::floorpointline(back), line);
  }
}

TEST(FloorLedger, ReaderRefusesWhatNoWriterWrote) {
  ldpc::floorresult r;
  r.fer = 1e-7;
  const std::string point = ldpc::floorpointline(r);
  const std::string config = "{\"seed\":1,\"chains\":64}";
  const std::string header = "{\"floorledger\":1,\"hash\":\"" + ldpc::floorconfighash(config) +
                             "\",\"config\":" + config + ",\"info\":{}}\n";
  ldpc::floorresult other = r;
  other.fer = 2e-7;
  auto with = [&](const std::string &from, const std::string &to) {
    std::string line = point;
    line.replace(line.find(from), from.size(), to);
    return line;
  };
  const std::vector<std::pair<std::string, std::string>> bad = {
      {"", "empty"},
      {"{\"floorledger\":1", "only a torn header"},
      {"{\"ledger\":1}\n", "not a floor ledger"},
      {"{\"floorledger\":2,\"hash\":\"0\",\"config\":{}}\n", "format"},
      {"{\"floorledger\":1,\"hash\":\"" + ldpc::floorconfighash(config) +
           "\",\"config\":{\"seed\":2,\"chains\":64}}\n",
       "the header was changed"},
      {header + "{\"point\":0}\n", "line 2: no \"sigma\""},
      {header + with("\"fer\":", "\"extra\":1,\"fer\":"), "line 2: a key"},
      {header + with("\"converged\":false", "\"converged\":0"), "\"converged\" is not"},
      {header + with("\"point\":0", "\"point\":-1"), "\"point\" is not"},
      {header + with("\"fer\":1e-07", "\"fer\":\"big\""), "\"fer\" is not"},
      {header + point + ldpc::floorpointline(other), "line 3: point 0 is given twice"},
      {header + "{\"point\":", ""},  // torn: fine
  };
  for (const auto &[text, why] : bad) {
    ldpc::floorledgercontents ledger;
    const std::string fault = ldpc::parsefloorledger(text, "F", &ledger);
    if (why.empty()) {
      EXPECT_EQ(fault, "") << text;
      EXPECT_TRUE(ledger.torn);
      EXPECT_EQ(ledger.usedbytes, header.size());
      continue;
    }
    EXPECT_NE(fault.find(why), std::string::npos) << text << "\n" << fault;
    EXPECT_EQ(fault.rfind("F", 0), 0u) << fault;
  }
  ldpc::floorledgercontents twice;
  ASSERT_EQ(ldpc::parsefloorledger(header + point + point, "F", &twice), "");
  EXPECT_EQ(twice.points.size(), 1u);
  EXPECT_EQ(ldpc::floorconfigdifference(config, "A", "{\"seed\":1,\"chains\":32}", "B"),
            "chains is 64 in A and 32 in B");
  EXPECT_EQ(ldpc::floorconfigdifference(config, "A", "{\"seed\":1}", "B"),
            "chains is set in A and not in B");
  EXPECT_EQ(ldpc::floorconfigdifference(config, "A", config, "B"), "");
}
