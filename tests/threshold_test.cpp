// Ensemble thresholds: published values, consistency between the methods
// and ensemble descriptions, and the quantized updates against brute force.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "densityevolution.h"
#include "ensembles.h"
#include "support.h"
#include "threshold.h"

using testsupport::run;
using testsupport::tempdir;
using testsupport::writefile;

namespace {

ldpc::ensemble regular(int dv, int dc) { return testsupport::regularensemble(dv, dc); }
using testsupport::irregularfour;
ldpc::ensemble protograph(const std::vector<std::vector<int>> &base,
                          const std::vector<int> &punctured = {}) {
  return testsupport::protographensemble(base, punctured);
}

ldpc::thresholdresult threshold(const ldpc::ensemble &code, ldpc::channelkind channel,
                                ldpc::methodkind method = ldpc::methodkind::automatic,
                                ldpc::decoderkind decoder = ldpc::decoderkind::spa,
                                double step = 0.05, double precision = 0) {
  const ldpc::thresholdoptions options =
      testsupport::thresholdsettings(channel, method, decoder, precision, step);
  ldpc::thresholdresult result = ldpc::computethreshold(code, options);
  EXPECT_TRUE(result.ok) << result.error;
  return result;
}

// Erasure density evolution of an irregular ensemble run plainly: the
// fraction x of erased messages, iterated from eps.
bool becdecodes(const ldpc::degreedistribution &d, double eps) {
  double x = eps;
  for (int iteration = 0; iteration < 200000; ++iteration) {
    double y = 0, next = 0;
    for (std::size_t k = 0; k < d.cdegrees.size(); ++k)
      y += d.rho[k] * std::pow(1 - x, d.cdegrees[k] - 1);
    for (std::size_t k = 0; k < d.vdegrees.size(); ++k)
      next += d.lambda[k] * std::pow(1 - y, d.vdegrees[k] - 1);
    next *= eps;
    if (next < 1e-12) return true;
    if (x - next < 1e-15) return false;
    x = next;
  }
  return false;
}

}  // namespace

TEST(threshold, erasure_channel_matches_published_regular_thresholds) {
  // Regular ensembles (dv, dc) and their belief-propagation thresholds.
  struct row {
    int dv, dc;
    double threshold, within;
  } table[] = {{3, 6, 0.4294398, 1e-7}, {4, 8, 0.3834, 1e-4}, {3, 5, 0.5176, 1e-4},
               {3, 4, 0.6474, 1e-4},    {4, 6, 0.5061, 1e-4}, {5, 10, 0.3416, 1e-4}};
  for (const row &r : table) {
    ldpc::thresholdresult result = threshold(regular(r.dv, r.dc), ldpc::channelkind::bec);
    EXPECT_NEAR(result.erasure, r.threshold, r.within) << r.dv << "," << r.dc;
    EXPECT_DOUBLE_EQ(result.limit, 1 - result.rate);
    EXPECT_NEAR(result.gap, result.limit - result.erasure, 1e-15);
  }
}

TEST(threshold, erasure_channel_agrees_with_plain_density_evolution) {
  // The fixed-point characterisation against iterating the recursion, for
  // an ensemble limited by an interior minimum and one by stability.
  for (const ldpc::ensemble &code : {irregularfour(), regular(3, 6)}) {
    double eps = threshold(code, ldpc::channelkind::bec).erasure;
    EXPECT_TRUE(becdecodes(code.distribution, eps - 1e-5));
    EXPECT_FALSE(becdecodes(code.distribution, eps + 1e-5));
  }
  ldpc::ensemble stable;  // lambda_2 rho'(1) large: the threshold is 1 / (lambda_2 rho'(1))
  stable.distribution = ldpc::edgeperspective({2, 8}, {0.6, 0.4}, {6}, {1.0}, true);
  EXPECT_NEAR(threshold(stable, ldpc::channelkind::bec).erasure, 1 / (0.6 * 5), 1e-9);
}

TEST(threshold, node_fractions_give_the_threshold_of_their_edge_fractions) {
  // Node fractions f_i of degrees 2, 3, 8 and 6, 7; edge fractions
  // i f_i / sum_k k f_k worked out by hand.
  ldpc::ensemble nodes, edges;
  nodes.distribution = ldpc::edgeperspective({2, 3, 8}, {0.5, 0.3, 0.2}, {6, 7}, {0.5, 0.5}, false);
  edges.distribution = ldpc::edgeperspective({2, 3, 8}, {1.0 / 3.5, 0.9 / 3.5, 1.6 / 3.5}, {6, 7},
                                             {3.0 / 6.5, 3.5 / 6.5}, true);
  for (std::size_t k = 0; k < 3; ++k)
    EXPECT_NEAR(nodes.distribution.lambda[k], edges.distribution.lambda[k], 1e-15);
  EXPECT_NEAR(ldpc::designrate(nodes.distribution), 1 - 3.5 / 6.5, 1e-12);
  for (ldpc::methodkind method : {ldpc::methodkind::automatic, ldpc::methodkind::exit}) {
    ldpc::channelkind channel =
        method == ldpc::methodkind::exit ? ldpc::channelkind::awgn : ldpc::channelkind::bec;
    EXPECT_NEAR(threshold(nodes, channel, method).threshold,
                threshold(edges, channel, method).threshold, 1e-9);
  }
}

TEST(threshold, protograph_of_one_node_type_per_side_gives_the_regular_threshold) {
  // Two variable nodes with three parallel edges each to one check node:
  // the (3,6) ensemble, on every channel and method.
  ldpc::ensemble proto = protograph({{3, 3}}), plain = regular(3, 6);
  EXPECT_DOUBLE_EQ(threshold(proto, ldpc::channelkind::bec).rate, 0.5);
  EXPECT_NEAR(threshold(proto, ldpc::channelkind::bec).erasure,
              threshold(plain, ldpc::channelkind::bec).erasure, 2e-7);
  EXPECT_NEAR(threshold(proto, ldpc::channelkind::awgn, ldpc::methodkind::exit).ebn0db,
              threshold(plain, ldpc::channelkind::awgn, ldpc::methodkind::exit).ebn0db, 2e-3);
  for (ldpc::decoderkind decoder : {ldpc::decoderkind::spa, ldpc::decoderkind::minsum})
    EXPECT_NEAR(
        threshold(proto, ldpc::channelkind::awgn, ldpc::methodkind::density, decoder, 0.1, 2e-3)
            .sigma,
        threshold(plain, ldpc::channelkind::awgn, ldpc::methodkind::density, decoder, 0.1, 2e-3)
            .sigma,
        2e-3);
}

TEST(threshold, protograph_exit_lands_near_protograph_density_evolution) {
  // The bundled half-rate protograph (degrees 3, 3, 2, 2 and 5, 5): the
  // Gaussian approximation within a few hundredths of a dB of quantized
  // evolution per edge.
  ldpc::ensemble code = protograph({{2, 1, 1, 1}, {1, 2, 1, 1}});
  double exit = threshold(code, ldpc::channelkind::awgn, ldpc::methodkind::exit).ebn0db;
  double density = threshold(code, ldpc::channelkind::awgn, ldpc::methodkind::density,
                             ldpc::decoderkind::spa, 0.1, 4e-3)
                       .ebn0db;
  EXPECT_NEAR(exit, density, 0.06);
}

TEST(threshold, protograph_with_edges_of_one_type_matches_its_ensemble) {
  // Variable nodes all of degree 3 and check nodes all of degree 6, joined
  // unevenly: every edge carries the same message, as in the (3,6)
  // ensemble. With two kinds of variable nodes the edge types differ, and
  // per-edge evolution parts from the irregular ensemble of the same
  // degrees (lambda_2 = 1/3, lambda_4 = 2/3, rho_6 = 1) even when every
  // check node sees the same mix.
  ldpc::ensemble uneven = protograph({{1, 2, 1, 2}, {2, 1, 2, 1}});
  EXPECT_NEAR(threshold(uneven, ldpc::channelkind::bec).erasure, 0.4294398, 2e-7);
  EXPECT_NEAR(threshold(uneven, ldpc::channelkind::awgn, ldpc::methodkind::exit).ebn0db,
              threshold(regular(3, 6), ldpc::channelkind::awgn, ldpc::methodkind::exit).ebn0db,
              2e-3);
  ldpc::ensemble mixed = protograph({{1, 1, 2, 2}, {1, 1, 2, 2}});
  ldpc::ensemble expanded;
  expanded.distribution = ldpc::edgeperspective({2, 4}, {1.0 / 3, 2.0 / 3}, {6}, {1.0}, true);
  EXPECT_GT(std::fabs(threshold(mixed, ldpc::channelkind::bec).erasure -
                      threshold(expanded, ldpc::channelkind::bec).erasure),
            1e-3);
}

TEST(threshold, awgn_matches_published_values) {
  // (3,6) sum-product: sigma* = 0.8809 (1.10 dB); min-sum about 1.70 dB;
  // the irregular ensemble above 0.9114; the binary-input capacity limit of
  // rate 1/2 at 0.187 dB. Coarse grids keep this fast; the benchmark shows
  // the finer ones.
  ldpc::thresholdresult spa =
      threshold(regular(3, 6), ldpc::channelkind::awgn, ldpc::methodkind::density,
                ldpc::decoderkind::spa, 0.05, 1e-3);
  EXPECT_NEAR(spa.sigma, 0.8809, 1.5e-3);
  EXPECT_NEAR(spa.ebn0db, 1.10, 0.02);
  EXPECT_NEAR(spa.limit, 0.1871, 5e-4);
  EXPECT_NEAR(spa.gap, spa.ebn0db - spa.limit, 1e-12);
  EXPECT_NEAR(threshold(regular(3, 6), ldpc::channelkind::awgn, ldpc::methodkind::density,
                        ldpc::decoderkind::minsum, 0.05, 1e-3)
                  .ebn0db,
              1.70, 0.03);
  EXPECT_NEAR(threshold(irregularfour(), ldpc::channelkind::awgn, ldpc::methodkind::density,
                        ldpc::decoderkind::spa, 0.05, 1e-3)
                  .sigma,
              0.9114, 2e-3);
  // The Gaussian approximation lands within a few hundredths of a dB here.
  EXPECT_NEAR(threshold(regular(3, 6), ldpc::channelkind::awgn, ldpc::methodkind::exit).sigma,
              0.8809, 2e-3);
}

TEST(threshold, protograph_exit_of_a_punctured_design) {
  // Rate 1/2 from 5 variable and 3 check nodes with node 4 punctured; the
  // literature puts its threshold at about 0.63 dB. Node 2 has degree 1, so
  // success must be judged on the nodes, not on the edge messages.
  ldpc::ensemble code = protograph({{0, 0, 1, 0, 2}, {1, 1, 0, 1, 3}, {1, 2, 0, 2, 1}}, {4});
  ldpc::thresholdresult exit = threshold(code, ldpc::channelkind::awgn);
  EXPECT_DOUBLE_EQ(exit.rate, 0.5);
  EXPECT_NEAR(exit.ebn0db, 0.63, 0.02);
  EXPECT_GT(threshold(code, ldpc::channelkind::bec).erasure, 0.4);
}

TEST(threshold, minsum_variants_order_as_expected) {
  // Normalization and offset recover part of what min-sum loses; alpha 1 and
  // beta 0 are min-sum itself.
  auto db = [](ldpc::decoderkind decoder, double alpha, double beta) {
    ldpc::thresholdoptions options;
    options.channel = ldpc::channelkind::awgn;
    options.decoder = decoder;
    options.alpha = alpha;
    options.beta = beta;
    options.llrstep = 0.05;
    options.precision = 1e-3;
    return ldpc::computethreshold(regular(3, 6), options).ebn0db;
  };
  double minsum = db(ldpc::decoderkind::minsum, 0, 0);
  EXPECT_DOUBLE_EQ(db(ldpc::decoderkind::nms, 1.0, 0), minsum);
  EXPECT_DOUBLE_EQ(db(ldpc::decoderkind::oms, 0, 0.0), minsum);
  double normalized = db(ldpc::decoderkind::nms, 0.8, 0),
         offset = db(ldpc::decoderkind::oms, 0, 0.15);
  EXPECT_LT(normalized, minsum - 0.3);
  EXPECT_LT(offset, minsum - 0.2);
  EXPECT_GT(normalized, 1.09);
  EXPECT_GT(offset, 1.09);
}

TEST(threshold, refuses_what_it_cannot_analyse) {
  ldpc::thresholdoptions options;
  struct row {
    ldpc::ensemble code;
    ldpc::channelkind channel;
    ldpc::decoderkind decoder;
    ldpc::methodkind method;
    const char *says;
  };
  ldpc::ensemble badsum, degreezero, rateless;
  badsum.distribution = ldpc::edgeperspective({3}, {0.9}, {6}, {1.0}, true);
  degreezero.distribution = ldpc::edgeperspective({0, 3}, {0.5, 0.5}, {6}, {1.0}, true);
  rateless.distribution = ldpc::edgeperspective({3}, {1.0}, {3}, {1.0}, true);
  std::vector<row> rows = {
      {badsum, ldpc::channelkind::bec, ldpc::decoderkind::spa, ldpc::methodkind::automatic,
       "sum to 0.9"},
      {degreezero, ldpc::channelkind::bec, ldpc::decoderkind::spa, ldpc::methodkind::automatic,
       "degree 0"},
      {rateless, ldpc::channelkind::bec, ldpc::decoderkind::spa, ldpc::methodkind::automatic,
       "rate"},
      {protograph({{3, 3}}, {2}), ldpc::channelkind::bec, ldpc::decoderkind::spa,
       ldpc::methodkind::automatic, "punctured node 2"},
      {protograph({{3, 3}}, {0, 0}), ldpc::channelkind::bec, ldpc::decoderkind::spa,
       ldpc::methodkind::automatic, "named twice"},
      {protograph({{3, 0, 3}}), ldpc::channelkind::bec, ldpc::decoderkind::spa,
       ldpc::methodkind::automatic, "variable node 1 has no edges"},
      {regular(3, 6), ldpc::channelkind::awgn, ldpc::decoderkind::minsum, ldpc::methodkind::exit,
       "sum-product only"},
      {regular(1, 6), ldpc::channelkind::awgn, ldpc::decoderkind::spa, ldpc::methodkind::automatic,
       "degree 1"},
  };
  for (const row &r : rows) {
    options.channel = r.channel;
    options.decoder = r.decoder;
    options.method = r.method;
    ldpc::thresholdresult result = ldpc::computethreshold(r.code, options);
    EXPECT_FALSE(result.ok) << r.says;
    EXPECT_NE(result.error.find(r.says), std::string::npos) << result.error;
  }
}

TEST(threshold_updates, boxplus_table_matches_every_pair_rounded) {
  // Brute force over every pair of grid points of random densities, with
  // each output rounded to the nearest grid point.
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> uniform(0, 1);
  for (double step : {0.1, 0.37}) {
    ldpc::llrgrid grid = ldpc::makegrid(step, 6);
    ldpc::boxplustable table(grid);
    ldpc::density a(grid.size()), b(grid.size()), fast;
    double ta = 0, tb = 0;
    for (int n = 0; n < grid.size(); ++n) {
      ta += a[n] = uniform(rng);
      tb += b[n] = uniform(rng);
    }
    for (int n = 0; n < grid.size(); ++n) a[n] /= ta, b[n] /= tb;
    table.combine(a, b, &fast);
    ldpc::density slow(grid.size(), 0.0);
    for (int i = -grid.half; i <= grid.half; ++i)
      for (int j = -grid.half; j <= grid.half; ++j) {
        double magnitude = ldpc::boxplus(std::abs(i) * step, std::abs(j) * step);
        int k = static_cast<int>(std::floor(magnitude / step + 0.5));
        int sign = (i < 0) != (j < 0) && k != 0 ? -1 : 1;
        slow[sign * k + grid.half] += a[i + grid.half] * b[j + grid.half];
      }
    for (int n = 0; n < grid.size(); ++n) EXPECT_NEAR(fast[n], slow[n], 1e-14) << step << " " << n;
  }
}

TEST(threshold_updates, minsum_output_matches_enumeration_of_three_inputs) {
  // Min-sum of three independent inputs with alpha 0.6 rounding, against
  // enumerating every triple.
  ldpc::llrgrid grid = ldpc::makegrid(1, 4);
  ldpc::density f = {0.05, 0.1, 0.05, 0.1, 0.1, 0.2, 0.15, 0.15, 0.1};
  ldpc::evolutionsettings settings;
  settings.grid = grid;
  settings.decoder = ldpc::decoderkind::nms;
  settings.alpha = 0.6;
  std::vector<int> magnitude = ldpc::checkmagnitudes(settings);
  std::vector<double> s, d;
  ldpc::minsumtails(grid, f, &s, &d);
  for (int m = 0; m <= grid.half + 1; ++m) s[m] = s[m] * s[m] * s[m], d[m] = d[m] * d[m] * d[m];
  ldpc::density fast = ldpc::minsumoutput(grid, s, d, magnitude), slow(grid.size(), 0.0);
  for (int x = -4; x <= 4; ++x)
    for (int y = -4; y <= 4; ++y)
      for (int z = -4; z <= 4; ++z) {
        int least = std::min({std::abs(x), std::abs(y), std::abs(z)});
        int sign = ((x < 0) + (y < 0) + (z < 0)) % 2 ? -1 : 1;
        int out = static_cast<int>(std::floor(0.6 * least + 0.5));
        slow[sign * out + 4] += f[x + 4] * f[y + 4] * f[z + 4];
      }
  for (int n = 0; n < grid.size(); ++n) EXPECT_NEAR(fast[n], slow[n], 1e-15) << n;
}

TEST(threshold_updates, transform_convolution_matches_direct_sum_and_saturates) {
  ldpc::llrgrid grid = ldpc::makegrid(0.5, 3);
  ldpc::density a = ldpc::channeldensity(grid, 0.7), b = ldpc::channeldensity(grid, 1.3);
  ldpc::fftplan plan(ldpc::convolutionsize(grid, 2));
  std::vector<std::complex<double>> x(plan.size()), y(plan.size());
  ldpc::densitytransform(plan, grid, a, x.data());
  ldpc::densitytransform(plan, grid, b, y.data());
  for (int t = 0; t < plan.size(); ++t) x[t] *= y[t];
  ldpc::density fast = ldpc::densityfromtransform(plan, grid, x.data()), slow(grid.size(), 0.0);
  for (int i = -grid.half; i <= grid.half; ++i)
    for (int j = -grid.half; j <= grid.half; ++j)
      slow[std::clamp(i + j, -grid.half, grid.half) + grid.half] +=
          a[i + grid.half] * b[j + grid.half];
  for (int n = 0; n < grid.size(); ++n) EXPECT_NEAR(fast[n], slow[n], 1e-13) << n;
  double total = 0;
  for (double mass : a) total += mass;
  EXPECT_NEAR(total, 1, 1e-15);
  EXPECT_NEAR(ldpc::errorprobability(grid, a), 0.5 * std::erfc(1 / 0.7 / std::sqrt(2.0)), 0.02);
}

TEST(threshold_updates, j_function_table_inverts_and_capacity_limits_hold) {
  for (double s : {0.0, 0.3, 1.0, 2.5, 5.0, 9.0}) {
    EXPECT_NEAR(ldpc::jfunction(s), ldpc::jfunctionexact(s), 1e-7) << s;
    EXPECT_NEAR(ldpc::jinverse(ldpc::jfunction(s)), s, 1e-6) << s;
  }
  // J(s) for small s is about s^2 / (8 ln 2); J(2 / sigma) is the capacity.
  EXPECT_NEAR(ldpc::jfunctionexact(0.01), 1e-4 / (8 * std::log(2.0)), 1e-8);
  EXPECT_NEAR(ldpc::biawgncapacity(ldpc::biawgnsigmaforrate(0.5)), 0.5, 1e-12);
  EXPECT_NEAR(ldpc::biawgnsigmaforrate(0.5), 0.9787, 1e-4);
}

TEST(threshold_command, prints_json_and_refuses_bad_input) {
  const std::string tanner = TANNER_PATH;
  testsupport::runresult json =
      run(tanner, {"threshold", "--channel", "bec", "--vdeg", "3", "--vfrac", "1", "--cdeg", "6",
                   "--cfrac", "1", "--json"});
  EXPECT_EQ(json.status, 0) << json.err;
  for (const char *key : {"\"rate\": 0.5,", "\"threshold\": 0.42943", "\"erasure\": 0.42943",
                          "\"limit\": 0.5,", "\"gap\": 0.07056"})
    EXPECT_NE(json.out.find(key), std::string::npos) << key << " in " << json.out;
  testsupport::runresult proto = run(
      tanner,
      {"threshold", "--channel=awgn", std::string(EXAMPLES_DIR) + "/half-rate.proto", "--json"});
  EXPECT_EQ(proto.status, 0) << proto.err;
  for (const char *key : {"\"sigma\":", "\"ebn0db\":", "\"limit\": 0.187"})
    EXPECT_NE(proto.out.find(key), std::string::npos) << key << " in " << proto.out;

  tempdir dir;
  writefile(dir.file("bad.proto"), "/* */\n/* */\n2 1\n/* */\n3 0 0 0 1 0 2\n0\n");
  struct row {
    std::vector<std::string> args;
    int status;
    const char *says;
  } rows[] = {
      {{"threshold", "--vdeg", "3", "--vfrac", "1", "--cdeg", "6", "--cfrac", "1"}, 2, "--channel"},
      {{"threshold", "--channel", "bsc"}, 2, "bec or awgn"},
      {{"threshold", "--channel", "bec", "--vdeg", "3", "--vfrac", "0.5", "--cdeg", "6", "--cfrac",
        "1"},
       2,
       "must sum to 1, not 0.5"},
      {{"threshold", "--channel", "awgn", "--decoder", "bp", dir.file("bad.proto")},
       2,
       "--decoder"},
      {{"threshold", "--channel", "awgn", "--decoder", "nms", "--alpha", "1.5",
        std::string(EXAMPLES_DIR) + "/half-rate.proto"},
       2,
       "alpha must lie in (0, 1]"},
      {{"threshold", "--channel", "bec", dir.file("bad.proto")}, 1, "variable node 1 has no edges"},
      {{"threshold", "--channel", "bec", dir.file("missing.proto")}, 1, "missing.proto"},
      {{"threshold", "--channel", "bec", std::string(EXAMPLES_DIR) + "/half-rate.proto",
        "--punctured", "7"},
       1,
       "punctured node 7"},
  };
  for (const row &r : rows) {
    testsupport::runresult result = run(tanner, r.args);
    EXPECT_EQ(result.status, r.status) << result.err;
    EXPECT_NE(result.err.find(r.says), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
  }
}

// Every name of --channel, --decoder and --method reaches the analysis as
// the choice it names: the program's threshold equals the one computed here
// with that choice, for a (3,6) ensemble on a coarse grid. A --help ends the
// parse only where it comes before a faulty option.
TEST(threshold_command, option_names_choose_what_the_analysis_computes) {
  using ldpc::channelkind;
  using ldpc::decoderkind;
  using ldpc::methodkind;
  // The grid options go to density evolution only and the precision to
  // bisections only: elsewhere they have no effect, a usage error.
  const std::vector<std::string> ensemble = {"--vdeg", "3",       "--vfrac", "1",     "--cdeg",
                                             "6",      "--cfrac", "1",       "--json"};
  const std::vector<std::string> grid = {"--step", "0.1", "--range", "20"};
  const std::vector<std::string> precision = {"--precision", "0.01"};
  struct row {
    const char *channel, *decoder, *method;
    channelkind channelchoice;
    decoderkind decoderchoice;
    methodkind methodchoice;
  } rows[] = {
      {"bec", "spa", "auto", channelkind::bec, decoderkind::spa, methodkind::automatic},
      {"awgn", "spa", "de", channelkind::awgn, decoderkind::spa, methodkind::density},
      {"awgn", "spa", "ga", channelkind::awgn, decoderkind::spa, methodkind::exit},
      {"awgn", "minsum", "auto", channelkind::awgn, decoderkind::minsum, methodkind::automatic},
      {"awgn", "nms", "de", channelkind::awgn, decoderkind::nms, methodkind::density},
      {"awgn", "oms", "de", channelkind::awgn, decoderkind::oms, methodkind::density},
  };
  for (const row &r : rows) {
    std::vector<std::string> args = {"threshold", "--channel", r.channel, "--decoder",
                                     r.decoder,   "--method",  r.method};
    args.insert(args.end(), ensemble.begin(), ensemble.end());
    if (r.channelchoice == channelkind::awgn)
      args.insert(args.end(), precision.begin(), precision.end());
    if (r.channelchoice == channelkind::awgn && r.methodchoice != methodkind::exit)
      args.insert(args.end(), grid.begin(), grid.end());
    testsupport::runresult result = run(testsupport::tanner, args);
    ASSERT_EQ(result.status, 0) << r.decoder << " " << result.err;
    ldpc::thresholdoptions options;
    options.channel = r.channelchoice;
    options.decoder = r.decoderchoice;
    options.method = r.methodchoice;
    options.llrstep = 0.1;
    options.llrrange = 20;
    options.precision = 0.01;
    ldpc::thresholdresult expected = ldpc::computethreshold(regular(3, 6), options);
    ASSERT_TRUE(expected.ok) << expected.error;
    char key[64];
    std::snprintf(key, sizeof key, "\"threshold\": %.10g,", expected.threshold);
    EXPECT_NE(result.out.find(key), std::string::npos)
        << r.channel << " " << r.decoder << " " << r.method << ": " << result.out;
  }

  struct helprow {
    std::vector<std::string> args;
    int status;
  } helprows[] = {
      {{"threshold", "--channel", "bec", "--help"}, 0},
      {{"threshold", "--help", "--bogus", "1"}, 0},
      {{"threshold", "--bogus", "1", "--help"}, 2},
      {{"threshold", "--method", "x", "--help"}, 2},
      {{"threshold", "--channel", "bec", "--precision", "--help"}, 2},
  };
  for (const helprow &h : helprows)
    EXPECT_EQ(run(testsupport::tanner, h.args).status, h.status) << h.args[1] << " " << h.args[2];
}
