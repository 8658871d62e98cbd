// The stopping rule as a function of block tallies: the block layout
// against the loop's own way of cutting frames, the rule against a plain
// loop over made-up blocks, gaps and given-up blocks, and the rule over
// blocks decoded here against runsimulation's results.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "blockoracle.h"
#include "stoppingrule.h"
#include "support.h"

using namespace testsupport;

namespace {

// The blocks of a point as the Monte-Carlo loop cuts them: segments of
// graphframes frames (or one of maxframes), blocks of up to blockframes
// inside a segment and below maxframes.
std::vector<ldpc::framespan> cutasloop(const ldpc::stoppingrule &rule) {
  std::vector<ldpc::framespan> spans;
  std::int64_t frame = 0, graphend = 0;
  while (frame < rule.maxframes) {
    if (rule.graphframes > 0 && frame >= graphend) graphend = frame + rule.graphframes;
    const std::int64_t limit =
        rule.graphframes > 0 ? std::min(rule.maxframes, graphend) : rule.maxframes;
    const int count = static_cast<int>(std::min<std::int64_t>(rule.blockframes, limit - frame));
    spans.push_back({frame, count});
    frame += count;
  }
  return spans;
}

std::vector<ldpc::numberedblock> madeuppoint(const ldpc::stoppingrule &rule, std::uint64_t seed,
                                             int point, double fer) {
  std::vector<ldpc::numberedblock> blocks;
  for (std::int64_t b = 0; b < ldpc::blockcount(rule); ++b)
    blocks.push_back({b, madeupblock(rule, seed, point, b, fer)});
  return blocks;
}

}  // namespace

TEST(stoppingrule, block_layout_cuts_frames_as_the_loop_does) {
  const struct {
    std::int64_t maxframes, graphframes;
    int blockframes;
  } layouts[] = {{1, 0, 64},       {63, 0, 64},      {64, 0, 64},     {65, 0, 64},
                 {1000, 0, 64},    {1000000, 0, 64}, {300, 50, 64},   {1000, 1000, 64},
                 {1001, 1000, 64}, {999, 100, 64},   {5000, 130, 64}, {64, 64, 64},
                 {65, 64, 64},     {10, 3, 4},       {17, 1, 64},     {100, 7, 1},
                 {1, 1, 1},        {129, 200, 64}};
  for (const auto &l : layouts) {
    const ldpc::stoppingrule rule = makerule(100, l.maxframes, 0, l.graphframes, l.blockframes);
    const auto spans = cutasloop(rule);
    ASSERT_EQ(ldpc::blockcount(rule), static_cast<std::int64_t>(spans.size()))
        << l.maxframes << " " << l.graphframes;
    for (std::size_t b = 0; b < spans.size(); ++b) {
      const ldpc::framespan span = ldpc::blockspan(rule, static_cast<std::int64_t>(b));
      ASSERT_EQ(span.first, spans[b].first)
          << "block " << b << " of " << l.maxframes << "/" << l.graphframes;
      ASSERT_EQ(span.count, spans[b].count) << "block " << b;
    }
    for (std::int64_t out :
         {-1L, static_cast<long>(spans.size()), static_cast<long>(spans.size()) + 7})
      EXPECT_EQ(ldpc::blockspan(rule, out).count, 0) << out;
  }
  // A long point: counted, not cut out.
  const ldpc::stoppingrule big = makerule(100, 10000000000LL, 0, 1000);
  EXPECT_EQ(ldpc::blockcount(big), 10000000LL * 16);
  EXPECT_EQ(ldpc::blockspan(big, 16 * 5 + 15).first, 5 * 1000 + 960);
  EXPECT_EQ(ldpc::blockspan(big, 16 * 5 + 15).count, 40);
  EXPECT_EQ(ldpc::blockcount(makerule(100, 10000000000LL, 0)), 156250000LL);
}

TEST(stoppingrule, sweep_equals_a_plain_loop_over_all_blocks) {
  // Rules with each of the three ends at work, on fixed codes and ensembles.
  const struct {
    ldpc::stoppingrule rule;
    std::vector<double> fers;
  } cases[] = {
      {makerule(30, 5000, 0), {0.5, 0.1, 0.01, 0.001}},          // errors, then frames
      {makerule(1, 640, 0), {0.9, 0.0, 0.02}},                   // the first error ends a point
      {makerule(100, 10000, 0.05), {0.5, 0.2, 0.03, 0.9, 0.9}},  // minfer ends the sweep
      {makerule(50, 3000, 0.02, 130), {0.3, 0.05, 0.01, 0.5}},   // graphs of 130 frames
      {makerule(1000000, 777, 0.0, 50), {0.5, 0.5}},             // frames only, odd blocks
      {makerule(64, 64, 0.5), {1.0, 1.0, 0.4, 1.0}},             // errors and frames at once
      {makerule(5, 1000, 0.001, 0, 16), {0.0, 0.5}},  // no error at all, then below minfer
  };
  for (const auto &c : cases) {
    for (std::uint64_t seed : {1ULL, 77ULL, 123456789ULL}) {
      const int points = static_cast<int>(c.fers.size());
      std::vector<std::vector<ldpc::numberedblock>> blocks;
      for (int p = 0; p < points; ++p) blocks.push_back(madeuppoint(c.rule, seed, p, c.fers[p]));
      const auto plain = plainsweep(c.rule, points, [&](int p, std::int64_t b) {
        return madeupblock(c.rule, seed, p, b, c.fers[p]);
      });
      const ldpc::sweepverdict verdict = ldpc::decidesweep(
          c.rule, points, [&](int p) { return std::span<const ldpc::numberedblock>(blocks[p]); });
      ASSERT_TRUE(verdict.complete);
      ASSERT_EQ(verdict.points.size(), plain.size()) << "seed " << seed;
      for (std::size_t p = 0; p < plain.size(); ++p) {
        const ldpc::pointstate &s = verdict.points[p].state;
        EXPECT_TRUE(ldpc::samecounts(s.total, plain[p].total)) << "point " << p << " seed " << seed;
        EXPECT_EQ(s.blocks, plain[p].blocks) << "point " << p;
        EXPECT_EQ(s.end, plain[p].byerrors ? ldpc::pointend::maxerrors : ldpc::pointend::maxframes);
      }
      // The same rule counted block by block, as the loop will count.
      ldpc::pointstate one;
      for (const auto &b : blocks[0])
        if (ldpc::countblock(c.rule, &one, b.tally)) break;
      EXPECT_TRUE(ldpc::samecounts(one.total, plain[0].total));
      EXPECT_TRUE(
          ldpc::countblock(c.rule, &one, blocks[0][0].tally));  // ended: counts nothing more
      EXPECT_TRUE(ldpc::samecounts(one.total, plain[0].total));
    }
  }
}

TEST(stoppingrule, gaps_wait_and_given_up_blocks_end_the_point) {
  const ldpc::stoppingrule rule = makerule(3, 640, 0.0);  // 10 blocks
  // Block b has an error exactly when b is in errors.
  auto block = [](bool error) {
    ldpc::blocktally t;
    t.frames = 64;
    t.frameerrors = t.biterrors = error ? 1 : 0;
    return t;
  };
  const struct {
    std::vector<std::int64_t> present, errors;
    std::int64_t givenupfrom;  // -1: none
    ldpc::pointend end;
    std::int64_t blocks, needed;
  } cases[] = {
      {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {}, -1, ldpc::pointend::maxframes, 10, -1},
      {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {1, 4, 6, 9}, -1, ldpc::pointend::maxerrors, 7, -1},
      {{0, 1, 2, 4, 5}, {}, -1, ldpc::pointend::running, 3, 3},
      {{0, 1, 2, 4, 5}, {0, 1, 2}, -1, ldpc::pointend::maxerrors, 3, -1},  // ends before the gap
      {{1, 2, 3}, {}, -1, ldpc::pointend::running, 0, 0},
      {{}, {}, -1, ldpc::pointend::running, 0, 0},
      {{0, 1, 2, 4, 5}, {}, 3, ldpc::pointend::givenup, 3, -1},
      {{0, 1, 2, 3, 4, 5}, {}, 3, ldpc::pointend::givenup, 3, -1},  // block 3 came after the
                                                                    // give-up
      {{0, 1, 2, 3, 4, 5}, {0, 2}, 0, ldpc::pointend::givenup, 0, -1},
      {{0, 1, 2, 3, 4, 5}, {0, 2, 5}, 7, ldpc::pointend::maxerrors, 6, -1},
      {{0, 1, 2, 3, 4, 5}, {}, 7, ldpc::pointend::running, 6, 6},
      {{0, 1, 2, 3, 4, 5, 6}, {}, 7, ldpc::pointend::givenup, 7, -1},
  };
  for (const auto &c : cases) {
    std::vector<ldpc::numberedblock> blocks;
    for (std::int64_t b : c.present)
      blocks.push_back(
          {b, block(std::find(c.errors.begin(), c.errors.end(), b) != c.errors.end())});
    ldpc::givenupblocks givenup;
    if (c.givenupfrom >= 0)
      givenup = [&](int point, std::int64_t b) { return point == 4 && b >= c.givenupfrom; };
    const ldpc::pointverdict v = ldpc::decidepoint(rule, 4, blocks, givenup);
    EXPECT_EQ(v.state.end, c.end) << ldpc::pointendname(v.state.end) << " with " << c.present.size()
                                  << " blocks";
    EXPECT_EQ(v.state.blocks, c.blocks);
    EXPECT_EQ(v.needed, c.needed);
    EXPECT_EQ(v.state.total.frames, 64 * v.state.blocks);
  }
  // A sweep waits at its first running point and goes no further.
  std::vector<std::vector<ldpc::numberedblock>> points(3);
  for (std::int64_t b = 0; b < 10; ++b) points[0].push_back({b, block(false)});
  points[1].push_back({0, block(false)});
  for (std::int64_t b = 0; b < 10; ++b) points[2].push_back({b, block(true)});
  const auto sweep = ldpc::decidesweep(
      rule, 3, [&](int p) { return std::span<const ldpc::numberedblock>(points[p]); });
  EXPECT_FALSE(sweep.complete);
  ASSERT_EQ(sweep.points.size(), 2u);
  EXPECT_EQ(sweep.points[1].needed, 1);
  // FER and the sweep: 0 without frames, below minfer ends it.
  ldpc::pointstate empty;
  EXPECT_EQ(ldpc::pointfer(empty), 0.0);
  EXPECT_TRUE(ldpc::sweepgoeson(makerule(1, 1, 0.0), empty));
  EXPECT_FALSE(ldpc::sweepgoeson(makerule(1, 1, 1e-9), empty));
  ldpc::giveuppoint(&empty);
  EXPECT_EQ(empty.end, ldpc::pointend::givenup);
  EXPECT_STREQ(ldpc::pointendname(ldpc::pointend::maxframes), "maxframes");
}

namespace {

// The graphs of an ensemble point drawn one after the other through the
// construction driver, from the graph stream set at the point's state.
class ensemblegraphs {
 public:
  ensemblegraphs(ldpc::simulations *ensemble, std::uint64_t seed, int point) : ensemble_(ensemble) {
    ldpc::storestate(ldpc::graphsimrand, ldpc::streamstate(seed, point, -1));
    record_.vnodenum = 0;
  }
  ~ensemblegraphs() { ldpc::freegraph(&record_); }
  const ldpc::decoder &graph(int k, const ldpc::decoderoptions &options) {
    while (drawn_ <= k) {
      ldpc::randomizes randomize{};
      ldpc::encoders encoder{};
      encoder.gap = -1;
      ldpc::reruns rerun{};
      ldpc::constructgraph(ensemble_, &record_, &randomize, &encoder, &rerun, drawn_++, 1);
      decoder_ = std::make_unique<ldpc::decoder>(&record_, options);
    }
    return *decoder_;
  }

 private:
  ldpc::simulations *ensemble_;
  ldpc::graphs record_{};
  int drawn_ = 0;
  std::unique_ptr<ldpc::decoder> decoder_;
};

}  // namespace

TEST(stoppingrule, rule_over_blocks_decoded_here_gives_runsimulations_results) {
  const struct {
    bool ensemble;
    ldpc::channeltype channel;
    std::vector<double> parameters;
    std::int64_t maxerrors, maxframes;
    double minfer;
    int framespergraph;
    std::size_t reached;  // points the sweep reaches
  } cases[] = {
      {false, ldpc::channeltype::awgn, {1.0, 0.8, 0.65, 0.55}, 40, 1500, 0.0, 0, 4},  // errors,
                                                                                      // then frames
      {false, ldpc::channeltype::awgn, {1.0, 0.8, 0.6, 0.5}, 200, 1000, 0.05, 0, 3},  // minfer
      {false, ldpc::channeltype::bec, {0.5, 0.35, 0.2}, 25, 700, 0.0, 0, 3},     // both at once
      {false, ldpc::channeltype::bsc, {0.12, 0.06, 0.02}, 1, 10000, 0.0, 0, 3},  // the first error
      {true,
       ldpc::channeltype::awgn,
       {0.95, 0.75, 0.6, 0.5},
       30,
       600,
       0.02,
       90,
       3},  // a graph every 90 frames
  };
  for (const auto &c : cases) {
    regular36 code(96);
    ldpc::codesupply supply;
    if (c.ensemble)
      supply.ensemble = &code.sim;
    else
      supply.graph = code.build(5);
    ldpc::simulationsettings s;
    s.channel = c.channel;
    s.parameters = c.parameters;
    s.maxerrors = c.maxerrors;
    s.maxframes = c.maxframes;
    s.minfer = c.minfer;
    s.framespergraph = c.framespergraph;
    s.seed = 31;
    s.threads = 2;
    s.decoder.algorithm = ldpc::decoderalgorithm::normalizedminsum;
    s.decoder.iterations = 20;
    const auto results = ldpc::runsimulation(s, supply);

    ldpc::stoppingrule rule = ruleof(s);
    if (c.ensemble) rule.graphframes = c.framespergraph;
    std::unique_ptr<ldpc::decoder> fixed;
    if (!c.ensemble) fixed = std::make_unique<ldpc::decoder>(&code.graph, s.decoder);
    const int points = static_cast<int>(c.parameters.size());
    std::vector<std::vector<ldpc::numberedblock>> blocks(points);
    for (int p = 0; p < points; ++p) {
      // Every block the point could use, decoded here.
      std::unique_ptr<ensemblegraphs> graphs;
      if (c.ensemble) graphs = std::make_unique<ensemblegraphs>(&code.sim, s.seed, p);
      ldpc::pointstate state;
      for (std::int64_t b = 0; b < ldpc::blockcount(rule); ++b) {
        const ldpc::framespan span = ldpc::blockspan(rule, b);
        const ldpc::decoder &dec =
            c.ensemble ? graphs->graph(static_cast<int>(span.first / c.framespergraph), s.decoder)
                       : *fixed;
        blocks[p].push_back({b, decodeframes(s, dec, p, span.first, span.count)});
        if (ldpc::countblock(rule, &state, blocks[p].back().tally))
          break;  // the rest would not count
      }
    }
    const ldpc::sweepverdict verdict = ldpc::decidesweep(
        rule, points, [&](int p) { return std::span<const ldpc::numberedblock>(blocks[p]); });
    ASSERT_TRUE(verdict.complete);
    ASSERT_EQ(verdict.points.size(), results.size()) << ldpc::channelname(c.channel);
    EXPECT_EQ(results.size(), c.reached);
    for (std::size_t p = 0; p < results.size(); ++p) {
      const ldpc::blocktally &t = verdict.points[p].state.total;
      EXPECT_EQ(t.frames, results[p].frames) << "point " << p;
      EXPECT_EQ(t.frameerrors, results[p].frameerrors) << "point " << p;
      EXPECT_EQ(t.biterrors, results[p].biterrors) << "point " << p;
      EXPECT_EQ(t.undetected, results[p].undetected) << "point " << p;
      EXPECT_DOUBLE_EQ(static_cast<double>(t.iterations) / static_cast<double>(t.frames),
                       results[p].iterations);
    }
  }
}

TEST(stoppingrule, counting_as_blocks_arrive_in_any_order_gives_the_same_point) {
  // Blocks arrive shuffled; the point is advanced after every arrival from
  // where it stood, as a coordinator does, and ends as the plain loop ends.
  for (const ldpc::stoppingrule &rule :
       {makerule(20, 3000, 0), makerule(500, 1000, 0, 70), makerule(3, 64 * 40, 0)})
    for (std::uint64_t seed = 1; seed <= 20; ++seed) {
      const double fer = 0.002 * static_cast<double>(seed);
      std::vector<std::int64_t> order(ldpc::blockcount(rule));
      for (std::size_t b = 0; b < order.size(); ++b) order[b] = static_cast<std::int64_t>(b);
      std::shuffle(order.begin(), order.end(), std::mt19937(static_cast<unsigned>(seed)));
      std::map<std::int64_t, ldpc::blocktally> arrived;
      ldpc::pointstate state;
      std::int64_t needed = 0;
      for (std::int64_t b : order) {
        arrived[b] = madeupblock(rule, seed, 0, b, fer);
        needed =
            ldpc::advancepoint(rule, 0, &state, [&](std::int64_t k) -> const ldpc::blocktally * {
              auto it = arrived.find(k);
              return it == arrived.end() ? nullptr : &it->second;
            });
        if (needed < 0) break;
        ASSERT_EQ(needed, state.blocks);
      }
      EXPECT_EQ(needed, -1);
      const auto plain = plainsweep(
          rule, 1, [&](int, std::int64_t b) { return madeupblock(rule, seed, 0, b, fer); });
      EXPECT_TRUE(ldpc::samecounts(state.total, plain[0].total)) << seed;
      EXPECT_EQ(state.blocks, plain[0].blocks);
    }
}
