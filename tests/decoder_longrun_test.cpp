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

// The decoder of the long runs: 200 iterations, alpha 0.75, beta 0.5.
ldpc::decoderoptions longrunoptions(decoderalgorithm rule, decoderschedule schedule) {
  ldpc::decoderoptions o;
  o.algorithm = rule;
  o.schedule = schedule;
  o.alpha = 0.75;
  o.beta = 0.5;
  o.iterations = 200;
  return o;
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
        ldpc::decoderoptions o = longrunoptions(rule, schedule);
        const decoded early = decode(ldpc::decoder(&g, o), llr);
        o.earlystop = false;
        const decoded fixed = decode(ldpc::decoder(&g, o), llr);
        const std::string what = "n " + std::to_string(n) + " dv " + std::to_string(code.dv) + " " +
                                 ldpc::algorithmname(rule) + " " + ldpc::schedulename(schedule);
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

// 8-bit messages far past convergence: the same survival of frames decoded
// with early stop as in 16 bits (the clamps keep every posterior exact), and
// error counts near those of 16 bits on the same frames.
TEST(decoder_longrun, eight_bit_frames_survive_200_fixed_iterations) {
  for (const longcode &code : longcodes) {
    testsupport::ownedrecord g;
    testsupport::regulargraph(&g, code.n, code.dv, code.dc, 0x5eed00 + code.n);
    const int n = g.vnodenum;
    std::mt19937 rng(code.n);
    const std::vector<double> llr =
        testsupport::awgnframes(rng, n, code.frames, ldpc::sigmafromebn0(code.ebn0, g.rate));
    for (auto schedule : {decoderschedule::flooding, decoderschedule::layered})
      for (auto rule : {decoderalgorithm::normalizedminsum, decoderalgorithm::offsetminsum}) {
        ldpc::decoderoptions o = longrunoptions(rule, schedule);
        const int wide = frameerrors(decode(ldpc::decoder(&g, o), llr), n, code.frames);
        o.quantization = 8;
        const decoded early = decode(ldpc::decoder(&g, o), llr);
        o.earlystop = false;
        const decoded fixed = decode(ldpc::decoder(&g, o), llr);
        const std::string what = "n " + std::to_string(n) + " " + ldpc::algorithmname(rule) + " " +
                                 ldpc::schedulename(schedule);
        int destroyed = 0;
        for (int f = 0; f < code.frames; ++f)
          if (early.satisfied[f] && allzero(early, n, f))
            destroyed += !(fixed.satisfied[f] && allzero(fixed, n, f));
        EXPECT_LE(destroyed, schedule == decoderschedule::flooding ? 1 : 0) << what;
        EXPECT_LE(frameerrors(early, n, code.frames), wide + code.frames / 8) << what;
      }
  }
}

// On clean frames every check message of the min-sum family settles at its
// bound M after correction (alpha M rounded, or M - beta), so that every
// posterior is exactly the quantised channel value plus dv of them, in both
// schedules and with the scalar model; the graphs of the library's
// construction have parallel edges, which count as dv edges too. 16 bits:
// M = (32767 - 1023) / dv, units of 1/8, channel within 1023; 8 bits: units
// of 1/2, channel and M within 127 / (dv + 1) up to dv 3, within 127 above
// (16-bit posteriors).
TEST(decoder_longrun, clean_frames_settle_at_the_message_bound) {
  struct rulecase {
    decoderalgorithm rule;
    int corrected(int m, int scale) const {
      if (rule == decoderalgorithm::normalizedminsum) return (m * 24576 + 16384) >> 15;  // 0.75
      if (rule == decoderalgorithm::offsetminsum) return m - scale / 2;                  // 0.5
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
    for (int bits : {16, 8})
      for (const rulecase &c : cases)
        for (auto schedule : {decoderschedule::flooding, decoderschedule::layered})
          for (bool scalar : {false, true}) {
            ldpc::decoderoptions o;
            o.algorithm = c.rule;
            o.schedule = schedule;
            o.earlystop = false;
            o.iterations = 200;
            o.scalar = scalar;
            o.quantization = bits;
            o.alpha = 0.75;
            o.beta = 0.5;
            const decoded d = decode(ldpc::decoder(&g, o), llr);
            const int scale = bits == 16 ? 8 : 2;
            const int bound = bits == 16     ? (32767 - 1023) / code.dv
                              : code.dv <= 3 ? 127 / (code.dv + 1)
                                             : 127;
            const int clamp = bits == 16 ? 1023 : bound;
            int wrong = 0;
            for (std::size_t i = 0; i < llr.size(); ++i) {
              const int channel = static_cast<int>(std::floor(llr[i] * scale + 0.5));
              const int expected =
                  std::clamp(channel, -clamp, clamp) + code.dv * c.corrected(bound, scale);
              wrong += d.posteriors[i] != static_cast<float>(expected) / scale;
            }
            EXPECT_EQ(wrong, 0) << bits << "-bit n " << n << " " << ldpc::algorithmname(c.rule)
                                << " " << ldpc::schedulename(schedule)
                                << (scalar ? " scalar" : " simd");
            EXPECT_EQ(d.satisfied, std::vector<std::uint8_t>(3, 1));
          }
  }
  EXPECT_GT(repeated, 0);
}

// The bound stays at least 1 up to variable degree 31744 (in 8 bits the
// 16-bit posteriors hold 127 (dv + 1) up to degree 257);
// beyond, the fixed point decoders refuse the graph and sum-product takes
// it.
TEST(decoder_longrun, fixed_point_refuses_variable_degrees_beyond_the_bound) {
  const struct {
    int degree, bits;
    bool refused;
  } rows[] = {{257, 8, false},    {258, 8, true},    {258, 16, false},
              {31744, 16, false}, {31745, 16, true}, {31745, 8, true}};
  for (const auto &row : rows) {
    std::vector<std::vector<int>> vchecks(2);
    for (int c = 0; c < row.degree; ++c) vchecks[0].push_back(c);
    vchecks[1].push_back(0);
    testsupport::ownedgraph g = testsupport::makegraph(row.degree, vchecks);
    ldpc::decoderoptions o;
    o.algorithm = row.bits == 8 ? decoderalgorithm::offsetminsum : decoderalgorithm::minsum;
    o.quantization = row.bits;
    if (row.refused)
      EXPECT_THROW(ldpc::decoder(g, o), std::invalid_argument) << row.degree;
    else
      EXPECT_NO_THROW(ldpc::decoder(g, o)) << row.degree;
    o.algorithm = decoderalgorithm::sumproduct;
    o.quantization = 16;
    EXPECT_NO_THROW(ldpc::decoder(g, o));
  }
}
