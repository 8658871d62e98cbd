// The decoder against independent oracles: bitwise MAP and max-log values by
// brute force over all codewords of small tree codes, and the scalar model
// of the fixed-point arithmetic for every SIMD instruction set of this
// processor.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "decoder.h"
#include "kernel.h"
#include "decodertesting.h"
#include "support.h"

namespace {

using ldpc::decoderalgorithm;
using ldpc::decoderschedule;
using testsupport::awgnframes;
using testsupport::decode;
using testsupport::decoded;
using testsupport::expectnearlyallagree;
using testsupport::expectsame;
using testsupport::randomgraph;

// A random cycle-free Tanner graph: every new check joins one variable that
// is already in the tree and one to three new ones.
std::vector<std::vector<int>> randomtree(std::mt19937 &rng, int n, int *checks) {
  std::vector<std::vector<int>> vchecks(1);
  int m = 0;
  while (static_cast<int>(vchecks.size()) < n) {
    int anchor = static_cast<int>(rng() % vchecks.size());
    vchecks[anchor].push_back(m);
    int fresh = 1 + static_cast<int>(rng() % 3);
    for (int k = 0; k < fresh && static_cast<int>(vchecks.size()) < n; ++k) vchecks.push_back({m});
    ++m;
  }
  *checks = m;
  return vchecks;
}

// All codewords of the code, as bit masks.
std::vector<unsigned> codewords(int m, const std::vector<std::vector<int>> &vchecks) {
  const int n = static_cast<int>(vchecks.size());
  std::vector<unsigned> words;
  for (unsigned x = 0; x < (1u << n); ++x) {
    std::vector<int> parity(m, 0);
    for (int v = 0; v < n; ++v)
      if (x >> v & 1)
        for (int c : vchecks[v]) parity[c] ^= 1;
    bool ok = true;
    for (int p : parity) ok &= p == 0;
    if (ok) words.push_back(x);
  }
  return words;
}

// Bitwise MAP LLRs (sum over codewords) or max-log values (best codeword),
// with codeword x weighted by exp(-sum of llr over its ones).
std::vector<double> bruteforce(const std::vector<unsigned> &words, const std::vector<double> &llr,
                               bool maxlog) {
  const int n = static_cast<int>(llr.size());
  std::vector<double> out(n);
  for (int v = 0; v < n; ++v) {
    double best[2] = {-INFINITY, -INFINITY};
    std::vector<double> metrics[2];
    for (unsigned x : words) {
      double metric = 0;
      for (int i = 0; i < n; ++i)
        if (x >> i & 1) metric -= llr[i];
      metrics[x >> v & 1].push_back(metric);
      best[x >> v & 1] = std::max(best[x >> v & 1], metric);
    }
    double total[2];
    for (int b = 0; b < 2; ++b) {
      double sum = 0;
      for (double metric : metrics[b]) sum += std::exp(metric - best[b]);
      total[b] = maxlog ? best[b] : best[b] + std::log(sum);
    }
    out[v] = total[0] - total[1];
  }
  return out;
}

}  // namespace

TEST(decoder, sum_product_and_min_sum_are_exact_on_trees) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 12; ++trial) {
    int m;
    const int n = 4 + trial % 9;
    auto vchecks = randomtree(rng, n, &m);
    testsupport::ownedgraph g = testsupport::makegraph(m, vchecks);
    auto words = codewords(m, vchecks);
    // Multiples of 1/8 in [-4, 4], so that the fixed-point channel is exact.
    std::vector<double> llr(n);
    for (double &x : llr) x = (static_cast<int>(rng() % 65) - 32) / 8.0;
    auto map = bruteforce(words, llr, false);
    auto maxlog = bruteforce(words, llr, true);
    for (auto schedule : {decoderschedule::flooding, decoderschedule::layered})
      for (bool scalar : {false, true}) {
        // iterations beyond the diameter of the tree
        ldpc::decoderoptions o{
            .schedule = schedule, .iterations = 2 * n, .earlystop = false, .scalar = scalar};
        std::string what = "trial " + std::to_string(trial) + ", " + ldpc::schedulename(schedule) +
                           (scalar ? ", scalar" : ", simd");
        o.algorithm = decoderalgorithm::sumproduct;
        auto spa = decode(ldpc::decoder(g, o), llr);
        o.algorithm = decoderalgorithm::minsum;
        auto ms = decode(ldpc::decoder(g, o), llr);
        for (int v = 0; v < n; ++v) {
          EXPECT_NEAR(spa.posteriors[v], map[v], scalar ? 1e-5 : 2e-4) << what << ", bit " << v;
          EXPECT_EQ(ms.posteriors[v], maxlog[v]) << what << ", bit " << v;
        }
      }
  }
}

// 8-bit min-sum on trees, with channel values on its grid (halves) and
// small enough that no partial sum meets the clamp (B = 127 / (dvmax + 1)
// up to dvmax 3, 127 above, where posteriors are 16-bit): exactly the
// max-log values, as in 16 bits.
TEST(decoder, eight_bit_min_sum_is_exact_on_trees_within_its_range) {
  std::mt19937 rng(12);
  int trees = 0;
  for (int trial = 0; trial < 40 && trees < 12; ++trial) {
    int m;
    const int n = 4 + trial % 9;
    auto vchecks = randomtree(rng, n, &m);
    std::size_t dvmax = 0;
    for (const auto &list : vchecks) dvmax = std::max(dvmax, list.size());
    std::vector<double> llr(n);
    double total = 0;
    for (double &x : llr) {
      x = (static_cast<int>(rng() % 5) - 2) / 2.0;
      total += std::fabs(x);
    }
    if (2 * total > (dvmax <= 3 ? 127 / (static_cast<int>(dvmax) + 1) : 127)) continue;
    ++trees;
    testsupport::ownedgraph g = testsupport::makegraph(m, vchecks);
    auto maxlog = bruteforce(codewords(m, vchecks), llr, true);
    for (auto schedule : {decoderschedule::flooding, decoderschedule::layered})
      for (bool scalar : {false, true}) {
        ldpc::decoderoptions o;
        o.algorithm = decoderalgorithm::minsum;
        o.quantization = 8;
        o.schedule = schedule;
        o.scalar = scalar;
        o.earlystop = false;
        o.iterations = 2 * n;
        auto ms = decode(ldpc::decoder(g, o), llr);
        for (int v = 0; v < n; ++v)
          EXPECT_EQ(ms.posteriors[v], maxlog[v]) << "trial " << trial << " bit " << v;
      }
  }
  EXPECT_EQ(trees, 12);
}

// Two graphs: a random one with heavy bits, whose messages meet a small
// bound, and a (3,6) graph of the library's construction, which has checks
// with parallel edges (the layered update that adds each message's change);
// 16-bit and 8-bit messages.
TEST(decoder, simd_fixed_point_is_bit_exact_with_the_scalar_model_on_every_target) {
  std::mt19937 rng(5);
  testsupport::ownedgraph heavy = randomgraph(rng, 96, 4);
  testsupport::ownedrecord parallel;
  testsupport::regulargraph(&parallel, 96, 3, 6, 0x5eed60);
  const ldpc::decoder probe(&parallel, {});
  int repeated = 0;
  for (std::uint8_t r : probe.layout().repeats) repeated += r;
  ASSERT_GT(repeated, 0);
  // Noise from hopeless to clean; the last frames up to the channel clamp,
  // so that messages reach their bound.
  const std::vector<double> llr = testsupport::mixedframes(rng, 96);
  const auto targets = ldpc::kernel::simdtargets();
  ASSERT_FALSE(targets.empty());
  for (int bits : {16, 8})
    for (ldpc::graphs *g :
         {static_cast<ldpc::graphs *>(heavy), static_cast<ldpc::graphs *>(&parallel)})
      for (auto algorithm : {decoderalgorithm::minsum, decoderalgorithm::normalizedminsum,
                             decoderalgorithm::offsetminsum})
        for (auto schedule : {decoderschedule::flooding, decoderschedule::layered})
          for (bool earlystop : {true, false}) {
            ldpc::decoderoptions o{.algorithm = algorithm,
                                   .schedule = schedule,
                                   .alpha = 0.7,
                                   .beta = 0.375,
                                   .iterations = 12,
                                   .earlystop = earlystop,
                                   .quantization = bits,
                                   .scalar = true};
            auto model = decode(ldpc::decoder(g, o), llr);
            o.scalar = false;
            for (long long target : targets) {
              ldpc::kernel::restricttarget(target);
              ldpc::decoder dec(g, o);
              std::string what = std::to_string(bits) + "-bit " +
                                 std::string(g == heavy ? "heavy " : "parallel ") +
                                 ldpc::algorithmname(algorithm) + " " +
                                 ldpc::schedulename(schedule) + (earlystop ? " early stop " : " ") +
                                 dec.target();
              expectsame(decode(dec, llr), model, what);
            }
            ldpc::kernel::restricttarget(0);
          }
}

// The float rule's exponential (of -|t| clamped to -80) and logarithm (of
// a quotient in [1, 2^25)) are Highway's Exp and Log without the steps
// those ranges never need; they must give the same bits on every input
// there, on every instruction set the processor runs (every 29th float by
// bit pattern: about 45 million of them).
TEST(decoder, float_sum_product_exp_and_log_are_highways_bit_for_bit) {
  // Every 29th float of both ranges; an unoptimised (sanitizer) build, a
  // hundred times slower there, takes every 1009th.
#ifdef __OPTIMIZE__
  const int stride = 29;
#else
  const int stride = 1009;
#endif
  for (long long target : ldpc::kernel::simdtargets()) {
    ldpc::kernel::restricttarget(target);
    EXPECT_EQ(ldpc::kernel::spamismatches(stride), 0) << ldpc::kernel::simdtarget();
  }
  ldpc::kernel::restricttarget(0);
}

TEST(decoder, float_sum_product_agrees_with_the_double_model) {
  std::mt19937 rng(8);
  testsupport::ownedgraph g = randomgraph(rng, 200);
  auto llr = awgnframes(rng, 200, 64, 0.85);
  for (auto schedule : {decoderschedule::flooding, decoderschedule::layered}) {
    ldpc::decoderoptions o;
    o.schedule = schedule;
    o.iterations = 30;
    o.scalar = true;
    auto model = decode(ldpc::decoder(g, o), llr);
    o.scalar = false;
    auto fast = decode(ldpc::decoder(g, o), llr);
    expectnearlyallagree(fast, model, 200, ldpc::schedulename(schedule));
  }
}

TEST(decoder, results_do_not_depend_on_threads_or_batch_neighbours) {
  std::mt19937 rng(3);
  testsupport::ownedgraph g = randomgraph(rng, 120);
  auto llr = awgnframes(rng, 120, 77, 0.9);
  // Many batches for two threads to share, and the 77 frames again.
  auto many = awgnframes(rng, 120, 600, 0.85);
  std::copy(llr.begin(), llr.end(), many.begin() + 300 * 120);
  for (int variant = 0; variant < 3; ++variant) {
    ldpc::decoderoptions o;
    o.algorithm = variant == 0 ? decoderalgorithm::sumproduct : decoderalgorithm::normalizedminsum;
    o.quantization = variant == 2 ? 8 : 16;
    o.schedule = decoderschedule::layered;
    ldpc::decoder dec(g, o);
    auto one = decode(dec, llr, 1);
    expectsame(decode(dec, llr, 3), one, "three threads");
    auto manyone = decode(dec, many, 1);
    expectsame(decode(dec, many, 2), manyone, "two threads, many batches");
    EXPECT_TRUE(std::equal(one.decisions.begin(), one.decisions.end(),
                           manyone.decisions.begin() + 300 * 120));
    // Frame 41 alone, and its trace, give what it gave among the others.
    std::vector<double> frame(llr.begin() + 41 * 120, llr.begin() + 42 * 120);
    auto alone = decode(dec, frame);
    EXPECT_EQ(alone.decisions, std::vector<std::uint8_t>(one.decisions.begin() + 41 * 120,
                                                         one.decisions.begin() + 42 * 120));
    EXPECT_EQ(alone.iterations[0], one.iterations[41]);
    std::vector<std::uint8_t> decisions(120);
    ldpc::decodeoutputs out;
    out.decisions = decisions.data();
    auto counts = dec.trace(frame.data(), out);
    EXPECT_EQ(decisions, alone.decisions);
    EXPECT_EQ(static_cast<int>(counts.size()), one.iterations[41] + 1);
    EXPECT_EQ(counts.back() == 0, one.satisfied[41] == 1);
  }
}

TEST(decoder, erasures_stay_undecided_and_never_pass_for_the_zero_codeword) {
  // A single parity check on three bits: two erasures cannot be resolved.
  testsupport::ownedgraph g = testsupport::makegraph(1, {{0}, {0}, {0}});
  for (auto algorithm : {decoderalgorithm::sumproduct, decoderalgorithm::minsum}) {
    ldpc::decoderoptions o;
    o.algorithm = algorithm;
    ldpc::decoder dec(g, o);
    auto d = decode(dec, {0.0, 0.0, 50.0, 0.0, 50.0, 50.0});
    EXPECT_EQ(d.satisfied, (std::vector<std::uint8_t>{0, 1}));
    EXPECT_EQ(d.undecided, (std::vector<std::int32_t>{2, 0}));
    EXPECT_EQ(d.iterations[0], 50);
    EXPECT_EQ(d.iterations[1], 1);  // the erased bit is filled in by one iteration
    EXPECT_GT(d.posteriors[3], 0.0f);
  }
}

TEST(decoder, rejects_bad_graphs_and_options) {
  testsupport::ownedgraph g = testsupport::makegraph(1, {{0}, {0}});
  ldpc::decoderoptions o;
  o.algorithm = decoderalgorithm::normalizedminsum;
  o.alpha = 1.0;
  EXPECT_THROW(ldpc::decoder(g, o), std::invalid_argument);
  o.alpha = 0.5;
  o.iterations = -1;
  EXPECT_THROW(ldpc::decoder(g, o), std::invalid_argument);
  o.iterations = 5;
  g->vnodelist[1].edgelist[0].socket = 0;  // mirror entry lost
  try {
    ldpc::decoder dec(g, o);
    ADD_FAILURE() << "a broken mirror entry was accepted";
  } catch (const std::invalid_argument &e) {
    EXPECT_NE(std::string(e.what()).find("variable node 1, socket 0"), std::string::npos)
        << e.what();
  }
  g->vnodelist[1].edgelist[0].socket = 1;
  for (int bits : {0, 7, 12, 32}) {
    o.quantization = bits;
    EXPECT_THROW(ldpc::decoder(g, o), std::invalid_argument) << bits;
  }
  o.quantization = 8;
  EXPECT_NO_THROW(ldpc::decoder(g, o));
  o.algorithm = decoderalgorithm::sumproduct;
  EXPECT_THROW(ldpc::decoder(g, o), std::invalid_argument);
  o.algorithm = decoderalgorithm::normalizedminsum;
  ldpc::graphs empty{};
  empty.vnodenum = -1;
  EXPECT_THROW(ldpc::decoder(&empty, o), std::invalid_argument);
}
