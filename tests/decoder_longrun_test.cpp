// The decoder far past convergence: fixed iterations without early stop on
// regular codes built by the library, every rule and schedule, against the
// same decoder with early stop and against float sum-product; and the fixed
// point of the min-sum family on clean frames, computed by hand from the
// contract's message bound.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "channel.h"
#include "decoder.h"
#include "decodertesting.h"
#include "kernel.h"
#include "support.h"

namespace {

using ldpc::decoderalgorithm;
using ldpc::decoderschedule;
using testsupport::decode;
using testsupport::decoded;

struct longcode {
  int n, dv, dc;
  double ebn0;  // where most frames decode and a few do not
  int frames;
};

// Lengths from a few hundred to 8000, column weights 3 to 5.
const longcode longcodes[] = {
    {504, 3, 6, 2.5, 64},
    {1200, 4, 8, 2.5, 64},
    {3000, 5, 10, 2.75, 32},
    {8000, 3, 6, 1.75, 32},
};

const decoderalgorithm rules[] = {decoderalgorithm::sumproduct, decoderalgorithm::minsum,
                                  decoderalgorithm::normalizedminsum,
                                  decoderalgorithm::offsetminsum};

bool allzero(const decoded &d, int n, int f) {
  for (int v = 0; v < n; ++v)
    if (d.decisions[static_cast<size_t>(f) * n + v] != 0) return false;
  return true;
}

int frameerrors(const decoded &d, int n, int frames) {
  int errors = 0;
  for (int f = 0; f < frames; ++f) errors += !(d.satisfied[f] && allzero(d, n, f));
  return errors;
}

}  // namespace

// Without early stop a frame runs on after its checks are satisfied; the
// messages then grow to their bound. A frame that early stop decodes must
// still be decoded after 200 iterations (with early stop a frame runs the
// same iterations until it stops, so this is also the whole difference in
// error counts), and the corrected rules must stay near float sum-product's
// error count. One exception is allowed per flooding case: flooding min-sum
// can oscillate through a codeword and leave it (frame 8 of the first code
// with oms does; an unbounded double-precision flooding oms on the same
// quantised channel gives the same unsatisfied counts, iteration for
// iteration); plain min-sum is only held to its early-stop result, being
// far weaker than sum-product on column weights 4 and 5.
TEST(decoder_longrun, frames_decoded_with_early_stop_survive_200_fixed_iterations) {
  int oscillations = 0;
  for (const longcode &code : longcodes) {
    testsupport::ownedrecord g;
    testsupport::regulargraph(&g, code.n, code.dv, code.dc, 0x5eed00 + code.n);
    const int n = g.vnodenum;
    const double sigma = ldpc::sigmafromebn0(code.ebn0, g.rate);
    std::mt19937 rng(code.n);
    const std::vector<double> llr = testsupport::awgnframes(rng, n, code.frames, sigma);
    int spaerrors = -1;
    for (auto schedule : {decoderschedule::flooding, decoderschedule::layered})
      for (auto rule : rules) {
        ldpc::decoderoptions o;
        o.algorithm = rule;
        o.schedule = schedule;
        o.alpha = 0.75;
        o.beta = 0.5;
        o.iterations = 200;
        const decoded early = decode(ldpc::decoder(&g, o), llr);
        o.earlystop = false;
        const decoded fixed = decode(ldpc::decoder(&g, o), llr);
        const std::string what = "n " + std::to_string(n) + " dv " + std::to_string(code.dv) +
                                 " " + ldpc::algorithmname(rule) + " " +
                                 ldpc::schedulename(schedule);
        int decoded = 0, destroyed = 0;
        for (int f = 0; f < code.frames; ++f) {
          if (!(early.satisfied[f] && allzero(early, n, f))) continue;
          ++decoded;
          destroyed += !(fixed.satisfied[f] && allzero(fixed, n, f));
          EXPECT_EQ(fixed.iterations[f], 200) << what;
        }
        EXPECT_LE(destroyed, schedule == decoderschedule::flooding ? 1 : 0)
            << what << ": of " << decoded << " frames decoded with early stop";
        oscillations += destroyed;
        const int errors = frameerrors(fixed, n, code.frames);
        if (rule == decoderalgorithm::sumproduct && schedule == decoderschedule::flooding)
          spaerrors = errors;
        if (rule == decoderalgorithm::minsum) continue;
        EXPECT_GE(decoded, code.frames / 2) << what;
        EXPECT_LE(errors, spaerrors + code.frames / 4) << what << " against flooding spa";
      }
  }
  EXPECT_LE(oscillations, 1);
}

// On clean frames every check message of the min-sum family settles at its
// bound M = (32767 - 1023) / dv after correction (alpha M rounded, or
// M - beta), so that every posterior is exactly the quantised channel value
// plus dv of them, in both schedules and with the scalar model; the graphs
// of the library's construction have parallel edges, which count as dv
// edges too.
TEST(decoder_longrun, clean_frames_settle_at_the_message_bound) {
  struct rulecase {
    decoderalgorithm rule;
    int corrected(int m) const {
      if (rule == decoderalgorithm::normalizedminsum) return (m * 24576 + 16384) >> 15;  // 0.75
      if (rule == decoderalgorithm::offsetminsum) return m - 4;                          // 0.5
      return m;
    }
  };
  const rulecase cases[] = {{decoderalgorithm::minsum},
                            {decoderalgorithm::normalizedminsum},
                            {decoderalgorithm::offsetminsum}};
  int repeated = 0;  // checks with parallel edges, whose layered update adds every change
  for (const longcode &code : longcodes) {
    if (code.n > 3000) continue;
    testsupport::ownedrecord g;
    testsupport::regulargraph(&g, code.n, code.dv, code.dc, 0x5eed00 + code.n);
    const int n = g.vnodenum;
    const ldpc::decoder probe(&g, {});
    for (std::uint8_t r : probe.layout().repeats) repeated += r;
    std::mt19937 rng(code.n + 1);
    const std::vector<double> llr = testsupport::awgnframes(rng, n, 3, 0.5);
    const int bound = (32767 - 1023) / code.dv;
    for (const rulecase &c : cases)
      for (auto schedule : {decoderschedule::flooding, decoderschedule::layered})
        for (bool scalar : {false, true}) {
          ldpc::decoderoptions o;
          o.algorithm = c.rule;
          o.schedule = schedule;
          o.earlystop = false;
          o.iterations = 200;
          o.scalar = scalar;
          const decoded d = decode(ldpc::decoder(&g, o), llr);
          int wrong = 0;
          for (std::size_t i = 0; i < llr.size(); ++i) {
            const int channel = static_cast<int>(std::floor(llr[i] * 8 + 0.5));
            const int expected = std::clamp(channel, -1023, 1023) + code.dv * c.corrected(bound);
            wrong += d.posteriors[i] != expected / 8.0f;
          }
          EXPECT_EQ(wrong, 0) << "n " << n << " " << ldpc::algorithmname(c.rule) << " "
                              << ldpc::schedulename(schedule) << (scalar ? " scalar" : " simd");
          EXPECT_EQ(d.satisfied, std::vector<std::uint8_t>(3, 1));
        }
  }
  EXPECT_GT(repeated, 0);
}

// The bound stays at least 1 up to variable degree 31744; beyond, the fixed
// point decoders refuse the graph and sum-product takes it.
TEST(decoder_longrun, fixed_point_refuses_variable_degrees_beyond_the_bound) {
  for (int degree : {31744, 31745}) {
    std::vector<std::vector<int>> vchecks(2);
    for (int c = 0; c < degree; ++c) vchecks[0].push_back(c);
    vchecks[1].push_back(0);
    testsupport::ownedgraph g = testsupport::makegraph(degree, vchecks);
    ldpc::decoderoptions o;
    o.algorithm = decoderalgorithm::minsum;
    if (degree > 31744)
      EXPECT_THROW(ldpc::decoder(g, o), std::invalid_argument);
    else
      EXPECT_NO_THROW(ldpc::decoder(g, o));
    o.algorithm = decoderalgorithm::sumproduct;
    EXPECT_NO_THROW(ldpc::decoder(g, o));
  }
}
