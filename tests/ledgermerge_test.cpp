// Shards and the merge: shards that stop by their own share merge into the
// plain loop's result for every shard count, a short or missing shard is
// named, ledgers that do not belong together are refused, and what a shard
// still has to run given what it sees.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "blockoracle.h"
#include "ledgermerge.h"

using namespace testsupport;

namespace {

ldpc::runconfig configof(const ldpc::stoppingrule &rule, int points, std::uint64_t seed) {
  ldpc::runconfig c;
  c.seed = seed;
  for (int p = 0; p < points; ++p) c.points.push_back(0.5 + 0.1 * p);
  c.length = 100;
  c.iterations = 20;
  c.rule = rule;
  c.settings = {{"decoder", std::string("spa")}};
  return c;
}

// The ledger text of shard K/N run by its own share on made-up blocks, up
// to stopafter of its blocks per point (all it wants when negative), lines
// in a shuffled order when shuffle is set.
std::string runshard(const ldpc::runconfig &c, const std::vector<double> &fers,
                     ldpc::ledgershard shard, int stopafter = -1, bool shuffle = false) {
  std::vector<std::string> lines;
  for (int p = 0; p < static_cast<int>(c.points.size()); ++p) {
    ldpc::sharestate share;
    int run = 0;
    for (std::int64_t b = ldpc::firstshareblock(c.rule, shard);
         b >= 0 && !share.done && run != stopafter; ++run) {
      const ldpc::blocktally t = madeupblock(c.rule, c.seed, p, b, fers[p]);
      lines.push_back(ldpc::blockline(p, b, t));
      ldpc::countshareblock(c.rule, shard, &share, t);
      b = share.next;
    }
  }
  if (shuffle) std::shuffle(lines.begin(), lines.end(), std::mt19937(shard.index));
  std::string text = ldpc::headerline(c, shard, {});
  for (const std::string &line : lines) text += line;
  return text;
}

struct readledgers {
  std::vector<ldpc::ledgercontents> held;
  std::string fault;
  std::vector<const ldpc::ledgercontents *> pointers() const {
    std::vector<const ldpc::ledgercontents *> p;
    for (const auto &l : held) p.push_back(&l);
    return p;
  }
};

readledgers readall(const std::vector<std::string> &texts) {
  readledgers r;
  r.held.resize(texts.size());
  for (std::size_t k = 0; k < texts.size() && r.fault.empty(); ++k)
    r.fault = ldpc::parseledger(texts[k], "shard" + std::to_string(k + 1) + ".ledger", &r.held[k]);
  return r;
}

void expectplain(const ldpc::mergeresult &m, const ldpc::runconfig &c,
                 const std::vector<double> &fers, const std::string &what) {
  const auto plain =
      plainsweep(c.rule, static_cast<int>(c.points.size()),
                 [&](int p, std::int64_t b) { return madeupblock(c.rule, c.seed, p, b, fers[p]); });
  ASSERT_TRUE(m.verdict.complete) << what << ": " << m.shortfall;
  ASSERT_EQ(m.verdict.points.size(), plain.size()) << what;
  for (std::size_t p = 0; p < plain.size(); ++p) {
    EXPECT_TRUE(ldpc::samecounts(m.verdict.points[p].state.total, plain[p].total))
        << what << " point " << p;
    EXPECT_EQ(m.verdict.points[p].state.blocks, plain[p].blocks) << what << " point " << p;
  }
}

const struct mergecase {
  ldpc::stoppingrule rule;
  std::vector<double> fers;
} mergecases[] = {
    {makerule(40, 20000, 0.0), {0.5, 0.08, 0.01, 0.002}},    // errors, then frames
    {makerule(25, 8000, 0.02), {0.3, 0.1, 0.01, 0.5, 0.5}},  // minfer ends the sweep
    {makerule(1, 1000, 0.0), {0.02, 0.0, 0.9}},              // the first error
    {makerule(30, 3000, 0.005, 90), {0.2, 0.05, 0.001}},     // graphs of 90 frames
    {makerule(100000, 700, 0.0), {0.5, 0.5}},                // frames only
};

}  // namespace

TEST(ledgermerge, shards_that_stop_by_their_own_share_merge_into_the_one_process_result) {
  for (const mergecase &c : mergecases)
    for (int n : {1, 2, 3, 5, 8})
      for (bool shuffle : {false, true}) {
        const ldpc::runconfig config = configof(c.rule, static_cast<int>(c.fers.size()), 11);
        std::vector<std::string> texts;
        for (int k = 1; k <= n; ++k) texts.push_back(runshard(config, c.fers, {k, n}, -1, shuffle));
        readledgers r = readall(texts);
        ASSERT_EQ(r.fault, "");
        ldpc::mergeresult m;
        ASSERT_EQ(ldpc::mergeledgers(r.pointers(), &m), "");
        expectplain(m, config, c.fers, std::to_string(n) + " shards");
        // In any order of ledgers; and with an unsharded ledger of the first
        // blocks of every point beside them.
        std::vector<const ldpc::ledgercontents *> reversed = r.pointers();
        std::reverse(reversed.begin(), reversed.end());
        ldpc::mergeresult again;
        ASSERT_EQ(ldpc::mergeledgers(reversed, &again), "");
        expectplain(again, config, c.fers, "reversed");
        texts.push_back(runshard(config, c.fers, {1, 1}, 5));
        readledgers withwhole = readall(texts);
        ASSERT_EQ(withwhole.fault, "");
        ASSERT_EQ(ldpc::mergeledgers(withwhole.pointers(), &again), "");
        expectplain(again, config, c.fers, "with a 1/1 ledger");
      }
}

TEST(ledgermerge, a_short_or_missing_shard_is_named) {
  const mergecase &c = mergecases[0];
  const ldpc::runconfig config = configof(c.rule, 4, 11);
  // Shard 2/3 ran only 4 of its blocks per point.
  readledgers r = readall({runshard(config, c.fers, {1, 3}), runshard(config, c.fers, {2, 3}, 4),
                           runshard(config, c.fers, {3, 3})});
  ASSERT_EQ(r.fault, "");
  ldpc::mergeresult m;
  ASSERT_EQ(ldpc::mergeledgers(r.pointers(), &m), "");
  EXPECT_FALSE(m.verdict.complete);
  EXPECT_EQ(m.block, 13);  // shard 2's blocks 1, 4, 7, 10 ran; 13 is its fifth
  EXPECT_EQ(
      m.shortfall,
      "point " + std::to_string(m.point) +
          " needs block 13 (frames 832..895), which shard2.ledger (shard 2/3) has not run yet: "
          "resume that shard");
  // Without shard 3's ledger.
  readledgers two = readall({runshard(config, c.fers, {1, 3}), runshard(config, c.fers, {2, 3})});
  ASSERT_EQ(ldpc::mergeledgers(two.pointers(), &m), "");
  EXPECT_FALSE(m.verdict.complete);
  EXPECT_EQ(m.point, 1);  // point 0 ends within blocks 0 and 1
  EXPECT_EQ(m.block, 2);
  EXPECT_NE(m.shortfall.find("which no ledger given owns: the ledger of shard 3/3 is missing"),
            std::string::npos)
      << m.shortfall;
  // Ledgers of two shard counts, neither owning the block.
  readledgers mixed = readall({runshard(config, c.fers, {1, 2}), runshard(config, c.fers, {1, 3})});
  ASSERT_EQ(ldpc::mergeledgers(mixed.pointers(), &m), "");
  EXPECT_EQ(m.block, 1);
  EXPECT_NE(m.shortfall.find("shard 2/2 or 2/3 is missing"), std::string::npos) << m.shortfall;
}

TEST(ledgermerge, ledgers_that_do_not_belong_together_are_refused) {
  const mergecase &c = mergecases[1];
  const ldpc::runconfig config = configof(c.rule, 5, 11);
  ldpc::runconfig other = config;
  other.seed = 12;
  readledgers r = readall({runshard(config, c.fers, {1, 2}), runshard(other, c.fers, {2, 2})});
  ASSERT_EQ(r.fault, "");
  ldpc::mergeresult m;
  EXPECT_EQ(ldpc::mergeledgers(r.pointers(), &m),
            "the ledgers are of different configurations: seed is 11 in shard1.ledger and 12 in "
            "shard2.ledger");
  // One block with two different counts in two ledgers.
  std::string forged = ldpc::headerline(config, {1, 1}, {});
  ldpc::blocktally t = madeupblock(config.rule, config.seed, 0, 2, c.fers[0]);
  t.iterations += 1;
  forged += ldpc::blockline(0, 2, t);
  r = readall({runshard(config, c.fers, {1, 2}), forged});
  ASSERT_EQ(r.fault, "");
  EXPECT_EQ(ldpc::mergeledgers(r.pointers(), &m),
            "shard1.ledger and shard2.ledger hold block 2 of point 0 with different counts");
  EXPECT_EQ(ldpc::mergeledgers({}, &m), "no ledger to merge");
  // The same ledger twice: its blocks alike, taken once.
  r = readall({runshard(config, c.fers, {1, 1}), runshard(config, c.fers, {1, 1})});
  ASSERT_EQ(ldpc::mergeledgers(r.pointers(), &m), "");
  expectplain(m, config, c.fers, "twice");
  EXPECT_EQ(m.blocks, static_cast<std::int64_t>(r.held[0].lines - 1));
}

TEST(ledgermerge, a_shard_that_gives_a_point_up_ends_it_for_the_merge) {
  const ldpc::runconfig config =
      configof(makerule(1000, 6400, 0.0), 2, 3);  // 100 blocks, no error limit
  const std::vector<double> fers = {0.01, 0.01};
  // Shard 2/3 gives point 0 up at block 30: its first block from there is 31.
  std::string second = runshard(config, fers, {2, 3}) + ldpc::giveupline(0, 30, "max seconds");
  readledgers r = readall({runshard(config, fers, {1, 3}), second, runshard(config, fers, {3, 3})});
  ASSERT_EQ(r.fault, "");
  ldpc::mergeresult m;
  ASSERT_EQ(ldpc::mergeledgers(r.pointers(), &m), "");
  ASSERT_TRUE(m.verdict.complete);
  EXPECT_EQ(m.verdict.points[0].state.end, ldpc::pointend::givenup);
  EXPECT_EQ(m.verdict.points[0].state.blocks, 31);
  ldpc::blocktally expected;
  for (std::int64_t b = 0; b < 31; ++b)
    ldpc::addtally(&expected, madeupblock(config.rule, 3, 0, b, 0.01));
  EXPECT_TRUE(ldpc::samecounts(m.verdict.points[0].state.total, expected));
  EXPECT_EQ(m.verdict.points[1].state.end, ldpc::pointend::maxframes);
}

TEST(ledgermerge, a_shard_plans_from_what_it_sees) {
  const mergecase &c = mergecases[1];  // 5 points, minfer ends the sweep after point 2
  const ldpc::runconfig config = configof(c.rule, 5, 11);
  const int n = 3;
  std::vector<std::string> full;
  for (int k = 1; k <= n; ++k) full.push_back(runshard(config, c.fers, {k, n}));
  // Alone and fresh: every point from the shard's first block.
  readledgers fresh = readall({ldpc::headerline(config, {2, n}, {})});
  ldpc::shardplan plan;
  ASSERT_EQ(ldpc::planshard({2, n}, fresh.pointers(), &plan), "");
  EXPECT_EQ(plan.next, std::vector<std::int64_t>(5, 1));
  EXPECT_FALSE(plan.finished);
  // Alone after running its own share in full: done with every point,
  // though the merge would not count points 3 and 4.
  readledgers own = readall({full[1]});
  ASSERT_EQ(ldpc::planshard({2, n}, own.pointers(), &plan), "");
  EXPECT_TRUE(plan.finished);
  // Alone after 3 of its blocks of each point (1, 4, 7): goes on at its
  // fourth, unless those 3 hold maxerrors errors.
  std::vector<std::int64_t> afterthree;
  for (int p = 0; p < 5; ++p) {
    std::int64_t errors = 0;
    for (std::int64_t b : {1, 4, 7})
      errors += madeupblock(config.rule, 11, p, b, c.fers[p]).frameerrors;
    afterthree.push_back(errors >= config.rule.maxerrors ? -1 : 10);
  }
  EXPECT_EQ(std::count(afterthree.begin(), afterthree.end(), -1), 3);  // points 0, 3 and 4
  readledgers part = readall({runshard(config, c.fers, {2, n}, 3)});
  ASSERT_EQ(ldpc::planshard({2, n}, part.pointers(), &plan), "");
  EXPECT_EQ(plan.next, afterthree);
  // Seeing the others' full ledgers beside its partial one: the merge
  // decides the points that its own blocks cover, and the sweep's end.
  readledgers seen = readall({runshard(config, c.fers, {2, n}, 3), full[0], full[2]});
  ASSERT_EQ(seen.fault, "");
  ldpc::mergeresult m;
  ASSERT_EQ(ldpc::mergeledgers(seen.pointers(), &m), "");
  ASSERT_EQ(ldpc::planshard({2, n}, seen.pointers(), &plan), "");
  for (int p = 0; p < 5; ++p) {
    const bool decided = p < static_cast<int>(m.verdict.points.size()) &&
                         m.verdict.points[p].state.end != ldpc::pointend::running;
    const bool pastend = m.verdict.complete && p >= static_cast<int>(m.verdict.points.size());
    if (decided || pastend)
      EXPECT_EQ(plan.next[p], -1) << "point " << p;
    else
      EXPECT_EQ(plan.next[p], afterthree[p]) << "point " << p;
  }
  // With every shard's full ledger: nothing left, and the merge complete.
  readledgers all = readall(full);
  ASSERT_EQ(ldpc::planshard({1, n}, all.pointers(), &plan), "");
  EXPECT_TRUE(plan.finished);
  // A shard owning no block of a point (more shards than blocks) is done.
  const ldpc::runconfig tiny = configof(makerule(10, 128, 0.0), 1, 1);  // 2 blocks
  readledgers none = readall({ldpc::headerline(tiny, {3, 4}, {})});
  ASSERT_EQ(ldpc::planshard({3, 4}, none.pointers(), &plan), "");
  EXPECT_TRUE(plan.finished);
  EXPECT_EQ(ldpc::firstshareblock(tiny.rule, {3, 4}), -1);
  EXPECT_EQ(ldpc::firstshareblock(tiny.rule, {2, 4}), 1);
}
