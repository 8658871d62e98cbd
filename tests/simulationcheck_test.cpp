// The checks of a simulation's inputs: each rule on either side of its
// boundary, the option names of both callers, the points as channel
// parameters against the textbook formula, and one set of decoder defaults
// for simulations and thresholds.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "decoder.h"
#include "simulationcheck.h"
#include "threshold.h"

namespace {

constexpr double notanumber = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

}  // namespace

TEST(simulationcheck, points_in_and_out_of_their_channel_range) {
  using ldpc::pointkind;
  struct row {
    pointkind kind;
    std::vector<double> points;
    const char *fault;  // "" when usable
  } rows[] = {
      {pointkind::ebn0, {-5, 0, 30}, ""},
      {pointkind::ebn0, {1, notanumber}, "--ebn0 takes finite values, not nan"},
      {pointkind::ebn0, {inf}, "--ebn0 takes finite values, not inf"},
      {pointkind::ebn0, {}, "--ebn0: no points"},
      {pointkind::sigma, {1e-300, 1e300}, ""},
      {pointkind::sigma, {0}, "--sigma takes finite values above 0, not 0"},
      {pointkind::sigma, {-1}, "--sigma takes finite values above 0, not -1"},
      {pointkind::erasure, {0, 1}, ""},
      {pointkind::erasure, {1.5}, "--erasure takes values in [0, 1], not 1.5"},
      {pointkind::erasure, {-1e-9}, "--erasure takes values in [0, 1], not -1e-09"},
      {pointkind::crossover, {0, 0.5}, ""},
      {pointkind::crossover, {1}, "--crossover takes values in [0, 0.5], not 1"},
      {pointkind::crossover, {0.5000001}, "--crossover takes values in [0, 0.5], not 0.5000001"},
      {pointkind::crossover, {notanumber}, "--crossover takes values in [0, 0.5], not nan"},
  };
  for (const row &r : rows)
    EXPECT_EQ(ldpc::pointsfault(r.kind, r.points, "--"), r.fault) << r.fault;
  // The limit on the number of points, at and past it.
  const std::vector<double> most(ldpc::maxpoints, 1.0), more(ldpc::maxpoints + 1, 1.0);
  EXPECT_EQ(ldpc::pointsfault(pointkind::sigma, most, "--"), "");
  EXPECT_EQ(ldpc::pointsfault(pointkind::sigma, more, ""),
            "sigma: 100001 points; a run takes at most 100000");
}

TEST(simulationcheck, decoder_settings_and_what_applies_to_which_decoder) {
  using ldpc::decoderalgorithm;
  struct row {
    decoderalgorithm algorithm;
    double alpha, beta;
    int iterations;
    bool hasalpha, hasbeta;
    const char *fault;
  };
  const auto spa = decoderalgorithm::sumproduct, ms = decoderalgorithm::minsum,
             nms = decoderalgorithm::normalizedminsum, oms = decoderalgorithm::offsetminsum;
  const row rows[] = {
      {spa, 0.8, 0.25, 50, false, false, ""},
      {spa, 0.8, 0.25, 0, false, false, ""},
      {spa, 0.8, 0.25, -1, false, false, "iterations must be at least 0, not -1"},
      {spa, 0.5, 0.25, 50, true, false, "alpha applies to decoder nms only, not spa"},
      {ms, 0.8, 0.25, 50, false, true, "beta applies to decoder oms only, not minsum"},
      {nms, 0.5, 0.25, 50, true, false, ""},
      {nms, 1.0, 0.25, 50, true, false, "alpha lies strictly between 0 and 1, not 1"},
      {nms, 0.0, 0.25, 50, true, false, "alpha lies strictly between 0 and 1, not 0"},
      {nms, 0.8, 0.25, 50, false, true, "beta applies to decoder oms only, not nms"},
      {oms, 0.8, 0.0, 50, false, true, ""},
      {oms, 0.8, 4096, 50, false, true, "beta lies in [0, 4096), not 4096"},
      {oms, 0.8, -0.5, 50, false, true, "beta lies in [0, 4096), not -0.5"},
      {oms, 0.8, notanumber, 50, false, true, "beta lies in [0, 4096), not nan"},
  };
  for (const row &r : rows) {
    ldpc::decoderoptions options;
    options.algorithm = r.algorithm;
    options.alpha = r.alpha;
    options.beta = r.beta;
    options.iterations = r.iterations;
    EXPECT_EQ(ldpc::decoderfault(options, r.hasalpha, r.hasbeta, ""), r.fault) << r.fault;
  }
  const struct {
    decoderalgorithm algorithm;
    int bits;
    const char *fault;
  } widths[] = {
      {ms, 8, ""},
      {oms, 16, ""},
      {spa, 16, ""},
      {spa, 8,
       "--quantization 8 applies to the min-sum family (--decoder minsum, nms or oms); spa runs in "
       "float"},
      {nms, 12, "--quantization takes 8 or 16, not 12"},
  };
  for (const auto &w : widths) {
    ldpc::decoderoptions options;
    options.algorithm = w.algorithm;
    options.quantization = w.bits;
    EXPECT_EQ(ldpc::decoderfault(options, false, false, "--"), w.fault) << w.fault;
  }
  // The fast approximation is sum-product's alone; both callers' spellings.
  const struct {
    decoderalgorithm algorithm;
    const char *prefix, *fault;
  } approximations[] = {
      {spa, "--", ""},
      {nms, "--", "--spa-approximation fast applies to --decoder spa only, not nms"},
      {ms, "", "spa_approximation fast applies to decoder spa only, not minsum"},
  };
  for (const auto &a : approximations) {
    ldpc::decoderoptions options;
    options.algorithm = a.algorithm;
    options.approximation = ldpc::spaapproximation::fast;
    EXPECT_EQ(ldpc::decoderfault(options, false, false, a.prefix), a.fault) << a.fault;
  }
}

TEST(simulationcheck, rate_limits_and_the_names_of_both_callers) {
  struct row {
    void (*change)(ldpc::simulationinputs *, ldpc::simulationsettings *);
    const char *cli, *python;  // "" when usable
  } rows[] = {
      {[](ldpc::simulationinputs *, ldpc::simulationsettings *) {}, "", ""},
      {[](ldpc::simulationinputs *i, ldpc::simulationsettings *) {
         i->hasrate = true, i->rate = 1;
       },
       "", ""},
      {[](ldpc::simulationinputs *i, ldpc::simulationsettings *) {
         i->hasrate = true, i->rate = 2;
       },
       "--rate lies in (0, 1], not 2", "rate lies in (0, 1], not 2"},
      {[](ldpc::simulationinputs *i, ldpc::simulationsettings *) {
         i->hasrate = true, i->rate = 0;
       },
       "--rate lies in (0, 1], not 0", "rate lies in (0, 1], not 0"},
      {[](ldpc::simulationinputs *i, ldpc::simulationsettings *) {
         i->kind = ldpc::pointkind::erasure, i->points = {0.3}, i->hasrate = true, i->rate = 0.5;
       },
       "--rate applies to --ebn0 and --sigma points only",
       "rate applies to ebn0 and sigma points only"},
      {[](ldpc::simulationinputs *, ldpc::simulationsettings *s) { s->maxerrors = 0; },
       "--max-errors must be at least 1, not 0", "max_errors must be at least 1, not 0"},
      {[](ldpc::simulationinputs *, ldpc::simulationsettings *s) { s->maxframes = -3; },
       "--max-frames must be at least 1, not -3", "max_frames must be at least 1, not -3"},
      {[](ldpc::simulationinputs *, ldpc::simulationsettings *s) { s->framespergraph = 0; },
       "--frames-per-graph must be at least 1, not 0",
       "frames_per_graph must be at least 1, not 0"},
      {[](ldpc::simulationinputs *, ldpc::simulationsettings *s) { s->threads = 0; },
       "--threads must be at least 1, not 0", "threads must be at least 1, not 0"},
      {[](ldpc::simulationinputs *, ldpc::simulationsettings *s) { s->maxseconds = 0; }, "", ""},
      {[](ldpc::simulationinputs *, ldpc::simulationsettings *s) { s->maxseconds = -1; },
       "--max-seconds takes a number of seconds of at least 0 (0: no limit), not -1",
       "max_seconds takes a number of seconds of at least 0 (0: no limit), not -1"},
      {[](ldpc::simulationinputs *, ldpc::simulationsettings *s) { s->maxseconds = inf; },
       "--max-seconds takes a number of seconds of at least 0 (0: no limit), not inf",
       "max_seconds takes a number of seconds of at least 0 (0: no limit), not inf"},
      {[](ldpc::simulationinputs *, ldpc::simulationsettings *s) { s->minfer = 1; }, "", ""},
      {[](ldpc::simulationinputs *, ldpc::simulationsettings *s) { s->minfer = 1.5; },
       "--min-fer lies in [0, 1], not 1.5", "min_fer lies in [0, 1], not 1.5"},
      {[](ldpc::simulationinputs *i, ldpc::simulationsettings *) { i->hasalpha = true; },
       "--alpha applies to --decoder nms only, not spa",
       "alpha applies to decoder nms only, not spa"},
  };
  for (const row &r : rows) {
    ldpc::simulationinputs inputs;
    inputs.points = {1.0};
    ldpc::simulationsettings settings;
    r.change(&inputs, &settings);
    EXPECT_EQ(ldpc::simulationfault(inputs, settings, "--"), r.cli);
    EXPECT_EQ(ldpc::simulationfault(inputs, settings, ""), r.python);
  }
}

TEST(simulationcheck, points_become_channel_parameters_by_the_textbook_formula) {
  // sigma^2 = 1 / (2 R 10^(Eb/N0 / 10)) for BPSK at rate R.
  ldpc::simulationinputs inputs;
  inputs.points = {-1.0, 0.0, 2.5};
  ldpc::simulationsettings settings;
  ASSERT_EQ(ldpc::setchannelpoints(inputs, 0.5, "--", &settings), "");
  EXPECT_EQ(settings.channel, ldpc::channeltype::awgn);
  ASSERT_EQ(settings.parameters.size(), 3u);
  for (int k = 0; k < 3; ++k) {
    const double expected = std::sqrt(1 / (2 * 0.5 * std::pow(10.0, inputs.points[k] / 10)));
    EXPECT_NEAR(settings.parameters[k], expected, 1e-12);
    EXPECT_EQ(settings.ebn0[k], inputs.points[k]);
  }
  // A given rate replaces the design rate; sigma points get Eb/N0 beside.
  inputs.hasrate = true;
  inputs.rate = 0.25;
  ASSERT_EQ(ldpc::setchannelpoints(inputs, 0.5, "--", &settings), "");
  EXPECT_NEAR(settings.parameters[1], std::sqrt(2.0), 1e-12);
  inputs = {};
  inputs.kind = ldpc::pointkind::sigma;
  inputs.points = {std::sqrt(2.0)};
  ASSERT_EQ(ldpc::setchannelpoints(inputs, 0.25, "--", &settings), "");
  EXPECT_NEAR(settings.ebn0[0], 0.0, 1e-12);
  EXPECT_EQ(settings.parameters[0], inputs.points[0]);
  ASSERT_EQ(ldpc::setchannelpoints(inputs, -1.0, "--", &settings), "");
  EXPECT_TRUE(settings.ebn0.empty());
  // Eb/N0 needs a rate in (0, 1].
  inputs.kind = ldpc::pointkind::ebn0;
  EXPECT_EQ(ldpc::setchannelpoints(inputs, -0.5, "--", &settings),
            "design rate -0.5 is not in (0, 1]; give --rate");
  EXPECT_EQ(ldpc::setchannelpoints(inputs, std::nan(""), "", &settings),
            "design rate nan is not in (0, 1]; give rate");
  // The other channels keep their parameters as they are.
  for (ldpc::pointkind kind : {ldpc::pointkind::erasure, ldpc::pointkind::crossover}) {
    inputs.kind = kind;
    inputs.points = {0.1, 0.2};
    ASSERT_EQ(ldpc::setchannelpoints(inputs, 0.5, "--", &settings), "");
    EXPECT_EQ(settings.channel, ldpc::pointchannel(kind));
    EXPECT_EQ(settings.parameters, inputs.points);
    EXPECT_TRUE(settings.ebn0.empty());
  }
}

TEST(simulationcheck, names_round_trip_and_option_spellings) {
  for (ldpc::pointkind kind : {ldpc::pointkind::ebn0, ldpc::pointkind::sigma,
                               ldpc::pointkind::erasure, ldpc::pointkind::crossover}) {
    ldpc::pointkind back;
    ASSERT_TRUE(ldpc::parsepointkind(ldpc::pointkindname(kind), &back));
    EXPECT_EQ(back, kind);
  }
  ldpc::pointkind ignored;
  EXPECT_FALSE(ldpc::parsepointkind("snr", &ignored));
  EXPECT_EQ(ldpc::optionname("--", "frames-per-graph"), "--frames-per-graph");
  EXPECT_EQ(ldpc::optionname("", "frames-per-graph"), "frames_per_graph");
}

// tanner simulate and tanner threshold analyse the same normalised and
// offset min-sum unless told otherwise.
TEST(simulationcheck, one_set_of_decoder_defaults) {
  const ldpc::decoderoptions decoder;
  const ldpc::thresholdoptions threshold;
  EXPECT_EQ(decoder.alpha, threshold.alpha);
  EXPECT_EQ(decoder.beta, threshold.beta);
  // The offset is a whole number of fixed-point units (1/8 of an LLR).
  EXPECT_EQ(decoder.beta * 8, std::floor(decoder.beta * 8));
  const ldpc::simulationsettings settings;
  EXPECT_EQ(settings.maxseconds, 60.0);
  EXPECT_TRUE(settings.stopwithouterrors);
  EXPECT_EQ(ldpc::simulationfault({ldpc::pointkind::ebn0, {1.0}}, settings, "--"), "");
}
