// Channels, the Monte-Carlo loop and tanner simulate: noise drawn as the
// library's generator draws it, counts that depend on the seed alone,
// replays that add up to the run, error rates on either side of a
// threshold, and the program's statuses and files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "blockoracle.h"
#include "channel.h"
#include "montecarlo.h"
#include "support.h"

using namespace testsupport;

namespace {

bool samecounts(const ldpc::pointresult &a, const ldpc::pointresult &b) {
  return a.frames == b.frames && a.frameerrors == b.frameerrors && a.biterrors == b.biterrors &&
         a.undetected == b.undetected && a.iterations == b.iterations;
}

// The table rows of tanner simulate without the Mb/s column.
std::string rowswithoutspeed(const std::string &out) {
  std::string rows;
  std::size_t at = 0;
  while (at < out.size()) {
    std::size_t end = out.find('\n', at);
    std::string line = out.substr(at, end - at);
    at = end == std::string::npos ? out.size() : end + 1;
    if (line.empty() || line[0] == '#' || line.find("frames") != std::string::npos) continue;
    line.erase(line.find_last_not_of(' ', line.find_last_of(' ')) + 1);
    rows += line + "\n";
  }
  return rows;
}

}  // namespace

TEST(channel, draws_the_library_stream_and_has_the_right_statistics) {
  // AWGN: the polar pairs of nextgausspair on the frame's state.
  const std::uint64_t state = ldpc::streamstate(7, 2, 11);
  EXPECT_EQ(state, ldpc::streamstate(7, 2, 11));
  EXPECT_NE(state, ldpc::streamstate(7, 2, 12));
  EXPECT_NE(state, ldpc::streamstate(7, 3, 11));
  EXPECT_NE(state, ldpc::streamstate(8, 2, 11));
  EXPECT_LT(state, 1ULL << 48);
  const double sigma = 0.8;
  std::vector<double> llr(5);
  ldpc::channelframe(ldpc::channeltype::awgn, sigma, state, 5, llr.data());
  for (int k = 0; k < 3; ++k)
    ldpc::channelsimrand[k] = static_cast<unsigned short>(state >> (16 * k));
  for (int i = 0; i < 5; i += 2) {
    double pair[2];
    ldpc::nextgausspair(pair);
    EXPECT_DOUBLE_EQ(llr[i], 2 * (1 + sigma * pair[0]) / (sigma * sigma));
    if (i + 1 < 5) {
      EXPECT_DOUBLE_EQ(llr[i + 1], 2 * (1 + sigma * pair[1]) / (sigma * sigma));
    }
  }
  // Moments and rates over many bits: LLR mean 2/s^2 and variance 4/s^2;
  // erasures and crossovers at their probabilities.
  const int n = 200000;
  std::vector<double> big(n);
  ldpc::channelframe(ldpc::channeltype::awgn, sigma, 1, n, big.data());
  double mean = 0, square = 0;
  for (double x : big) mean += x / n;
  for (double x : big) square += (x - mean) * (x - mean) / n;
  EXPECT_NEAR(mean, 2 / (sigma * sigma), 0.02);
  EXPECT_NEAR(square, 4 / (sigma * sigma), 0.06);
  ldpc::channelframe(ldpc::channeltype::bec, 0.3, 2, n, big.data());
  int erased = 0;
  for (double x : big) erased += x == 0.0;
  EXPECT_NEAR(erased / static_cast<double>(n), 0.3, 0.005);
  ldpc::channelframe(ldpc::channeltype::bsc, 0.1, 3, n, big.data());
  int crossed = 0;
  for (double x : big) crossed += x < 0;
  EXPECT_NEAR(crossed / static_cast<double>(n), 0.1, 0.003);
  EXPECT_DOUBLE_EQ(big[0] * big[0], std::log(9.0) * std::log(9.0));
  // Eb/N0 and sigma.
  EXPECT_NEAR(ldpc::sigmafromebn0(0.0, 0.5), 1.0, 1e-12);
  EXPECT_NEAR(ldpc::ebn0fromsigma(ldpc::sigmafromebn0(1.7, 0.8), 0.8), 1.7, 1e-12);
}

TEST(montecarlo, wilson_interval_matches_tabulated_values) {
  double low, high;
  ldpc::wilsoninterval(5, 10, &low, &high);
  EXPECT_NEAR(low, 0.2366, 1e-4);
  EXPECT_NEAR(high, 0.7634, 1e-4);
  ldpc::wilsoninterval(0, 10, &low, &high);
  EXPECT_EQ(low, 0.0);
  EXPECT_NEAR(high, 0.2775, 1e-4);
  // no rounding residue at the ends, whatever n
  for (std::int64_t n : {100, 7, 1000003}) {
    ldpc::wilsoninterval(0, n, &low, &high);
    EXPECT_EQ(low, 0.0) << n;
    ldpc::wilsoninterval(n, n, &low, &high);
    EXPECT_EQ(high, 1.0) << n;
  }
  ldpc::wilsoninterval(100, 100000, &low, &high);
  EXPECT_NEAR(low, 8.22e-4, 1e-6);
  EXPECT_NEAR(high, 1.216e-3, 1e-6);
}

TEST(montecarlo, counts_depend_on_the_seed_alone_and_replays_add_up) {
  for (bool ensemble : {false, true}) {
    regular36 code(240);
    testsupport::ownedrecord graph;
    ldpc::codesupply supply;
    if (ensemble) {
      supply.ensemble = &code.sim;
    } else {
      ldpc::constructirregulargraph(&graph, &code.sim);
      supply.graph = &graph;
    }
    ldpc::simulationsettings s;
    s.parameters = {0.95, 0.8};
    s.maxerrors = 30;
    s.maxframes = 300;
    s.framespergraph = 50;
    s.seed = 99;
    s.decoder.algorithm = ldpc::decoderalgorithm::normalizedminsum;
    s.decoder.schedule = ldpc::decoderschedule::layered;
    s.decoder.iterations = 20;
    std::vector<ldpc::graphrecord> drawn;
    ldpc::simulationcallbacks callbacks;
    callbacks.graphdrawn = [&](const ldpc::graphrecord &r) { drawn.push_back(r); };
    s.threads = 1;
    auto one = ldpc::runsimulation(s, supply, callbacks);
    s.threads = 3;
    auto three = ldpc::runsimulation(s, supply);
    ASSERT_EQ(one.size(), 2u);
    ASSERT_EQ(three.size(), 2u);
    for (int p = 0; p < 2; ++p) EXPECT_TRUE(samecounts(one[p], three[p])) << "point " << p;
    EXPECT_GE(one[0].frameerrors, 30);
    if (ensemble) {
      // Blocks end at graph boundaries; a graph every 50 frames of a point.
      EXPECT_EQ(drawn.size(),
                static_cast<size_t>((one[0].frames + 49) / 50 + (one[1].frames + 49) / 50));
      for (const ldpc::graphrecord &r : drawn) EXPECT_EQ(r.firstframe % 50, 0);
    } else {
      EXPECT_EQ(one[0].frames % ldpc::blockframes, 0);
    }
    s.seed = 100;
    auto other = ldpc::runsimulation(s, supply);
    EXPECT_FALSE(samecounts(one[0], other[0]));

    // Replaying every counted frame of point 0 gives the point's counts.
    s.seed = 99;
    std::int64_t biterrors = 0, frameerrors = 0, iterations = 0;
    for (std::int64_t f = 0; f < one[0].frames; ++f) {
      ldpc::replayresult r = ldpc::replayframe(s, supply, 0, f);
      biterrors += r.biterrors;
      frameerrors += r.biterrors > 0;
      iterations += r.iterations;
      ASSERT_EQ(static_cast<int>(r.unsatisfied.size()), r.iterations + 1);
      if (ensemble) {
        EXPECT_EQ(r.graph.firstframe, f / 50 * 50);
      }
    }
    EXPECT_EQ(biterrors, one[0].biterrors);
    EXPECT_EQ(frameerrors, one[0].frameerrors);
    EXPECT_EQ(iterations,
              static_cast<std::int64_t>(std::llround(one[0].iterations * one[0].frames)));
  }
}

TEST(montecarlo, far_below_threshold_nearly_all_fail_far_above_nearly_none) {
  // The (3,6) ensemble: belief propagation thresholds near erasure 0.429 and
  // Eb/N0 1.1 dB.
  regular36 code(1000);
  ldpc::codesupply supply;
  supply.ensemble = &code.sim;
  struct row {
    ldpc::channeltype channel;
    ldpc::decoderalgorithm algorithm;
    double worse, better;
  };
  const row rows[] = {
      {ldpc::channeltype::bec, ldpc::decoderalgorithm::sumproduct, 0.55, 0.30},
      {ldpc::channeltype::awgn, ldpc::decoderalgorithm::sumproduct, ldpc::sigmafromebn0(0.0, 0.5),
       ldpc::sigmafromebn0(3.0, 0.5)},
      {ldpc::channeltype::awgn, ldpc::decoderalgorithm::offsetminsum, ldpc::sigmafromebn0(0.0, 0.5),
       ldpc::sigmafromebn0(3.5, 0.5)},
      {ldpc::channeltype::bsc, ldpc::decoderalgorithm::normalizedminsum, 0.12, 0.03},
  };
  for (const row &r : rows) {
    ldpc::simulationsettings s;
    s.channel = r.channel;
    s.parameters = {r.worse, r.better};
    s.maxerrors = 1000;
    s.maxframes = 128;
    s.framespergraph = 64;
    s.threads = 2;
    s.decoder.algorithm = r.algorithm;
    auto results = ldpc::runsimulation(s, supply);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_GE(results[0].fer, 0.95) << ldpc::channelname(r.channel);
    EXPECT_LE(results[1].fer, 0.03) << ldpc::channelname(r.channel);
  }
}

TEST(tanner_simulate, table_json_csv_and_thread_independence) {
  tempdir dir;
  const std::string code = examples + "/hamming7.alist";
  auto a = run(tanner, {"simulate", code, "--ebn0", "1:3:1", "--max-frames", "2000", "--threads",
                        "1", "--json", dir.file("a.json"), "--csv", dir.file("a.csv")});
  ASSERT_EQ(a.status, 0) << a.err;
  auto b =
      run(tanner, {"simulate", code, "--ebn0", "1,2,3", "--max-frames", "2000", "--threads", "2"});
  ASSERT_EQ(b.status, 0) << b.err;
  EXPECT_EQ(rowswithoutspeed(a.out), rowswithoutspeed(b.out));
  EXPECT_NE(a.out.find("95% Wilson"), std::string::npos);
  std::string json = readfile(dir.file("a.json"));
  EXPECT_EQ(json.rfind("{\"config\": {", 0), 0u) << json;
  EXPECT_NE(json.find("}, \"points\": [{\"ebn0\": 1, \"sigma\": "), std::string::npos) << json;
  for (const char *key :
       {"\"frames\": ", "\"frameerrors\": ", "\"fer\": ", "\"ferlow\": ", "\"ferhigh\": ",
        "\"biterrors\": ", "\"ber\": ", "\"undetected\": ", "\"iterations\": ", "\"mbps\": "})
    EXPECT_NE(json.find(key), std::string::npos) << key;
  std::string csv = readfile(dir.file("a.csv"));
  EXPECT_EQ(csv.rfind("ebn0,sigma,frames,frameerrors,fer,ferlow,ferhigh,biterrors,ber,undetected,"
                      "iterations,stopped,mbps\n1,",
                      0),
            0u)
      << csv;
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4);

  // Other channels name their parameter.
  auto e = run(tanner, {"simulate", code, "--erasure", "0.2", "--max-frames", "500", "--csv",
                        dir.file("e.csv"), "--decoder", "minsum", "--schedule", "layered"});
  ASSERT_EQ(e.status, 0) << e.err;
  EXPECT_EQ(readfile(dir.file("e.csv")).rfind("erasure,frames,", 0), 0u);

  // 8-bit messages: named in the header and the JSON configuration, and
  // only there.
  std::vector<std::string> narrow = {"simulate", code,        "--ebn0", "6",         "--max-frames",
                                     "500",      "--decoder", "nms",    "--threads", "1"};
  auto wide = run(tanner, narrow);
  narrow.insert(narrow.end(), {"--quantization", "8", "--json", dir.file("q.json")});
  auto q = run(tanner, narrow);
  ASSERT_EQ(q.status, 0) << q.err;
  EXPECT_NE(q.out.find("# decoder nms alpha 0.8 8-bit, flooding"), std::string::npos) << q.out;
  EXPECT_EQ(wide.out.find("-bit"), std::string::npos) << wide.out;
  EXPECT_NE(readfile(dir.file("q.json")).find("\"earlystop\": true, \"quantization\": 8,"),
            std::string::npos);
}

TEST(tanner_simulate, ensembles_replays_and_failures) {
  tempdir dir;
  const std::vector<std::string> ensemble = {"simulate",
                                             "irregular",
                                             "--vdeg",
                                             "3",
                                             "--vfrac",
                                             "1",
                                             "--cdeg",
                                             "6",
                                             "--cfrac",
                                             "1",
                                             "--length",
                                             "200",
                                             "--sigma",
                                             "0.9",
                                             "--max-frames",
                                             "256",
                                             "--max-errors",
                                             "1000",
                                             "--frames-per-graph",
                                             "100",
                                             "--graphs",
                                             "--decoder",
                                             "nms",
                                             "--seed",
                                             "5"};
  auto r = run(tanner, ensemble);
  ASSERT_EQ(r.status, 0) << r.err;
  // Three graphs, each with a seed row that builds it again.
  EXPECT_NE(r.out.find("# graph of point 0 from frame 200: --seed "), std::string::npos) << r.out;
  std::vector<std::string> replay = ensemble;
  replay.push_back("--replay");
  replay.push_back("0:150");
  auto p = run(tanner, replay);
  ASSERT_EQ(p.status, 0) << p.err;
  EXPECT_NE(p.out.find("channel LLRs (200 bits):"), std::string::npos) << p.out;
  EXPECT_NE(p.out.find("iteration  unsatisfied checks\n        0  "), std::string::npos) << p.out;
  EXPECT_NE(p.out.find("(frames from 100)"), std::string::npos) << p.out;
  EXPECT_EQ(run(tanner, replay).out, p.out);

  auto proto = run(tanner, {"simulate", "proto", examples + "/half-rate.proto", "--lift", "50",
                            "--ebn0", "2", "--max-frames", "64"});
  EXPECT_EQ(proto.status, 0) << proto.err;

  // Usage errors (2), failures (1), and no file left behind by a failure.
  const std::string code = examples + "/hamming7.alist";
  for (const std::vector<std::string> &args : std::vector<std::vector<std::string>>{
           {"simulate", code},
           {"simulate", code, "--ebn0", "1", "--decoder", "bp"},
           {"simulate", code, "--ebn0", "3:1:0.5"},
           {"simulate", code, "--erasure", "1.5"},
           {"simulate", code, "--ebn0", "1", "--sigma", "1"},
           {"simulate", code, "--ebn0", "1", "--alpha", "1.2", "--decoder", "nms"},
           {"simulate", code, "--ebn0", "1", "--replay", "1:0"},
           {"simulate", code, "--ebn0", "1", "--quantization", "8"},
           {"simulate", code, "--ebn0", "1", "--decoder", "nms", "--quantization", "4"},
           {"simulate", "irregular", "--ebn0", "1"}}) {
    auto u = run(tanner, args);
    EXPECT_EQ(u.status, 2) << args.back() << "\n" << u.err;
    EXPECT_NE(u.err.find("tanner simulate: "), std::string::npos) << u.err;
  }
  auto missing = run(tanner, {"simulate", dir.file("none.code"), "--ebn0", "1"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("none.code"), std::string::npos);
  auto unwritable =
      run(tanner, {"simulate", code, "--ebn0", "1", "--json", dir.file("no/such/dir/x.json")});
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_TRUE(unwritable.out.empty()) << unwritable.out;
  EXPECT_EQ(run(tanner, {"simulate", "--help"}).status, 0);
}

// The JSON points and the CSV rows of one run are one record printed twice:
// the same keys in the same order and the same values, point for point, for
// a channel with Eb/N0 beside its parameter and one without.
TEST(tanner_simulate, json_points_and_csv_rows_agree) {
  tempdir dir;
  const std::string code = examples + "/hamming7.alist";
  for (const std::vector<std::string> &points :
       {std::vector<std::string>{"--sigma", "0.6,0.8,1"}, {"--crossover", "0.02,0.1"}}) {
    std::vector<std::string> args = {
        "simulate", code,     "--max-frames",     "300",   "--threads",
        "1",        "--json", dir.file("p.json"), "--csv", dir.file("p.csv")};
    args.insert(args.end(), points.begin(), points.end());
    auto r = run(tanner, args);
    ASSERT_EQ(r.status, 0) << r.err;
    // "points": [{"k": v, ...}, ...] as rows of (key, value).
    std::string json = readfile(dir.file("p.json"));
    std::string::size_type at = json.find("\"points\": [");
    ASSERT_NE(at, std::string::npos) << json;
    std::vector<std::vector<std::pair<std::string, std::string>>> jsonrows;
    while ((at = json.find('{', at)) != std::string::npos) {
      std::string::size_type end = json.find('}', at);
      std::string object = json.substr(at + 1, end - at - 1) + ", ";
      jsonrows.emplace_back();
      for (std::string::size_type k = 0; k < object.size();) {
        std::string::size_type colon = object.find("\": ", k), comma = object.find(", ", colon);
        jsonrows.back().emplace_back(object.substr(k + 1, colon - k - 1),
                                     object.substr(colon + 3, comma - colon - 3));
        k = comma + 2;
      }
      at = end;
    }
    std::vector<std::vector<std::string>> csvrows;
    std::string csv = readfile(dir.file("p.csv"));
    for (std::string::size_type k = 0; k < csv.size();) {
      std::string::size_type newline = csv.find('\n', k);
      std::string line = csv.substr(k, newline - k) + ",";
      csvrows.emplace_back();
      for (std::string::size_type c = 0; c < line.size(); c = line.find(',', c) + 1)
        csvrows.back().push_back(line.substr(c, line.find(',', c) - c));
      k = newline + 1;
    }
    const std::size_t count = points[1] == "0.6,0.8,1" ? 3 : 2;
    ASSERT_EQ(jsonrows.size(), count) << json;
    ASSERT_EQ(csvrows.size(), count + 1) << csv;
    for (std::size_t p = 0; p < count; ++p) {
      ASSERT_EQ(jsonrows[p].size(), csvrows[0].size()) << csv;
      for (std::size_t k = 0; k < csvrows[0].size(); ++k) {
        EXPECT_EQ(jsonrows[p][k].first, csvrows[0][k]);
        EXPECT_EQ(jsonrows[p][k].second, csvrows[p + 1][k]) << csvrows[0][k] << " of point " << p;
      }
    }
  }
}

namespace {

// A fixed (3,6) graph of 240 bits and the settings of a short sweep on it.
struct fixedcode {
  regular36 code{240};
  testsupport::ownedrecord graph;
  ldpc::codesupply supply;
  fixedcode() {
    testsupport::setstream(5);
    ldpc::constructirregulargraph(&graph, &code.sim);
    supply.graph = &graph;
  }
};

ldpc::simulationsettings sweepsettings(std::vector<double> sigmas) {
  ldpc::simulationsettings s;
  s.parameters = std::move(sigmas);
  s.maxerrors = 1000000;
  s.maxframes = 640;
  s.maxseconds = 0;
  s.stopwithouterrors = false;
  s.seed = 7;
  s.decoder.iterations = 10;
  return s;
}

}  // namespace

// Cancelled after any number of blocks, on any thread count, a run returns
// exactly the points an uncancelled run finished before, count for count.
TEST(montecarlo, cancelled_runs_return_the_points_finished_before) {
  fixedcode fixed;
  ldpc::simulationsettings s = sweepsettings({0.9, 0.8, 0.7, 0.6});
  s.threads = 1;
  const std::vector<ldpc::pointresult> whole = ldpc::runsimulation(s, fixed.supply);
  ASSERT_EQ(whole.size(), 4u);
  for (int threads : {1, 3})
    for (int after : {0, 3, 10, 17, 1000}) {
      s.threads = threads;
      int asked = 0, done = 0;
      ldpc::simulationcallbacks callbacks;
      callbacks.cancelled = [&] { return ++asked > after; };
      callbacks.pointdone = [&](const ldpc::pointresult &) { ++done; };
      ldpc::sweepend end;
      const auto part = ldpc::runsimulation(s, fixed.supply, callbacks, &end);
      EXPECT_EQ(end, part.size() == 4 ? ldpc::sweepend::lastpoint : ldpc::sweepend::cancelled)
          << threads << " threads, " << after;
      EXPECT_EQ(done, static_cast<int>(part.size()));
      for (std::size_t p = 0; p < part.size(); ++p)
        EXPECT_TRUE(samecounts(part[p], whole[p])) << threads << " threads, point " << p;
      if (after == 0) {
        EXPECT_TRUE(part.empty());
      }
      if (after == 1000) {
        EXPECT_EQ(part.size(), 4u);
      }
    }
}

// A point stopped by its time counts a prefix of its frames: the same
// frames counted again without the limit give the same counts.
TEST(montecarlo, time_limited_points_count_a_prefix_of_their_frames) {
  fixedcode fixed;
  ldpc::simulationsettings s = sweepsettings({0.8});
  s.maxframes = 1LL << 40;
  s.maxseconds = 0.2;
  s.threads = 2;
  const auto timed = ldpc::runsimulation(s, fixed.supply);
  ASSERT_EQ(timed.size(), 1u);
  EXPECT_EQ(timed[0].stopped, ldpc::pointstop::seconds);
  EXPECT_GT(timed[0].frames, 0);
  EXPECT_EQ(timed[0].frames % ldpc::blockframes, 0);
  EXPECT_GE(timed[0].seconds, 0.2);
  s.maxframes = timed[0].frames;
  s.maxseconds = 0;
  s.threads = 1;
  const auto counted = ldpc::runsimulation(s, fixed.supply);
  ASSERT_EQ(counted.size(), 1u);
  EXPECT_TRUE(samecounts(timed[0], counted[0]));
  EXPECT_EQ(counted[0].stopped, ldpc::pointstop::frames);
}

// Why each point stopped and why the sweep ended, for each rule.
TEST(montecarlo, stop_reasons_and_sweep_ends) {
  fixedcode fixed;
  struct row {
    const char *what;
    ldpc::channeltype channel;
    std::vector<double> points;
    std::int64_t maxerrors;
    double minfer;
    bool stopwithouterrors;
    std::vector<ldpc::pointstop> reasons;
    ldpc::sweepend end;
  };
  const auto awgn = ldpc::channeltype::awgn, bsc = ldpc::channeltype::bsc;
  const auto errors = ldpc::pointstop::errors, frames = ldpc::pointstop::frames;
  const auto last = ldpc::sweepend::lastpoint, none = ldpc::sweepend::noerrors,
             belowminfer = ldpc::sweepend::minfer;
  const row rows[] = {
      {"errors then frames", awgn, {1.2, 0.5}, 20, 0, false, {errors, frames}, last},
      // Crossover 0: every frame decodes, so the sweep stops there.
      {"no errors", bsc, {0.1, 0.0, 0.05}, 1000, 0, true, {errors, frames}, none},
      {"every point", bsc, {0.1, 0.0, 0.05}, 1000, 0, false, {errors, frames, frames}, last},
      {"min fer", bsc, {0.1, 0.0, 0.05}, 1000, 0.5, false, {errors, frames}, belowminfer},
      {"last point without errors", bsc, {0.1, 0.0}, 1000, 0, true, {errors, frames}, last},
  };
  for (const row &r : rows) {
    ldpc::simulationsettings s = sweepsettings(r.points);
    s.channel = r.channel;
    s.maxerrors = r.maxerrors;
    s.minfer = r.minfer;
    s.stopwithouterrors = r.stopwithouterrors;
    s.threads = 2;
    if (r.channel == ldpc::channeltype::bsc) s.maxerrors = std::min<std::int64_t>(r.maxerrors, 300);
    ldpc::sweepend end;
    const auto results = ldpc::runsimulation(s, fixed.supply, {}, &end);
    ASSERT_EQ(results.size(), r.reasons.size()) << r.what;
    for (std::size_t p = 0; p < results.size(); ++p)
      EXPECT_EQ(results[p].stopped, r.reasons[p]) << r.what << ", point " << p;
    EXPECT_EQ(end, r.end) << r.what;
  }
  EXPECT_STREQ(ldpc::pointstopname(ldpc::pointstop::errors), "errors");
  EXPECT_STREQ(ldpc::pointstopname(ldpc::pointstop::frames), "frames");
  EXPECT_STREQ(ldpc::pointstopname(ldpc::pointstop::seconds), "time");
}

// What a callback throws reaches the caller once the workers have stopped.
TEST(montecarlo, faults_of_callbacks_reach_the_caller) {
  fixedcode fixed;
  ldpc::simulationsettings s = sweepsettings({0.8, 0.7});
  s.threads = 3;
  for (int kind = 0; kind < 2; ++kind) {
    ldpc::simulationcallbacks callbacks;
    if (kind == 0)
      callbacks.progress = [](const ldpc::pointresult &) { throw std::runtime_error("progress"); };
    else
      callbacks.cancelled = []() -> bool { throw std::runtime_error("cancelled"); };
    EXPECT_THROW(ldpc::runsimulation(s, fixed.supply, callbacks), std::runtime_error) << kind;
  }
}

// A graph without variable nodes is refused before anything is compiled;
// the target and lanes are known without a graph.
TEST(decoder, refuses_graphs_without_variable_nodes) {
  struct row {
    int vnodenum, cnodenum;
    const char *refusal;
  } rows[] = {
      {0, 0, "the graph has no variable nodes (0 check nodes): there is nothing to decode"},
      {0, 3, "the graph has no variable nodes (3 check nodes): there is nothing to decode"},
      {-1, 0, "the graph record holds no graph"},
  };
  for (const row &r : rows) {
    ldpc::graphs empty{};
    empty.vnodenum = r.vnodenum;
    empty.cnodenum = r.cnodenum;
    EXPECT_EQ(ldpc::undecodable(&empty), r.refusal);
    try {
      ldpc::decoder dec(&empty, {});
      ADD_FAILURE() << "accepted " << r.vnodenum << " x " << r.cnodenum;
    } catch (const std::invalid_argument &e) {
      EXPECT_EQ(std::string(e.what()), std::string("decoder: ") + r.refusal);
    }
  }
  EXPECT_EQ(ldpc::undecodable(nullptr), "the graph record holds no graph");
  testsupport::ownedgraph code = testsupport::makegraph(1, {{0}, {0}});
  EXPECT_EQ(ldpc::undecodable(code), "");
  for (auto algorithm : {ldpc::decoderalgorithm::sumproduct, ldpc::decoderalgorithm::offsetminsum})
    for (bool scalar : {false, true}) {
      ldpc::decoderoptions options;
      options.algorithm = algorithm;
      options.scalar = scalar;
      ldpc::decoder dec(code, options);
      EXPECT_EQ(ldpc::decoder::lanesfor(options), dec.lanes());
      EXPECT_EQ(ldpc::decoder::targetfor(options), dec.target());
    }
}

// simulate irregular|proto --girth G conditions every graph it draws as
// tanner construct --girth G builds it from the graph's seed row: the code
// built from that row, simulated with the same run seed, gives the same
// rows. (One graph per point, so that every frame is decoded on it.)
TEST(tanner_simulate, ensembles_with_girth_are_the_graphs_construct_builds) {
  tempdir dir;
  struct row {
    std::vector<std::string> ensemble, construct;  // simulate's, construct's words
    const char *girth;
  } rows[] = {
      {{"proto", examples + "/half-rate.proto", "--lift", "40"},
       {"proto", examples + "/half-rate.proto", "--lift", "40"},
       "6"},
      {{"irregular", "--vdeg", "2,3", "--vfrac", "0.5,0.5", "--cdeg", "5", "--cfrac", "1",
        "--length", "200"},
       {"irregular", "--vdeg", "2,3", "--vfrac", "0.5,0.5", "--cdeg", "5", "--cfrac", "1",
        "--length", "200"},
       "4"},
  };
  for (const row &r : rows) {
    const std::vector<std::string> run_options = {"--sigma", "0.8", "--max-frames", "256",
                                                  "--seed",  "3",   "--threads",    "1"};
    std::vector<std::string> simulated = {"simulate"};
    simulated.insert(simulated.end(), r.ensemble.begin(), r.ensemble.end());
    simulated.insert(simulated.end(), run_options.begin(), run_options.end());
    for (const char *extra : {"--frames-per-graph", "256", "--graphs", "--json"})
      simulated.push_back(extra);
    simulated.push_back(dir.file("e.json"));
    simulated.push_back("--girth");
    simulated.push_back(r.girth);
    auto drawn = run(tanner, simulated);
    ASSERT_EQ(drawn.status, 0) << drawn.err;
    EXPECT_NE(drawn.out.find(std::string("# every graph rid of cycles shorter than ") + r.girth),
              std::string::npos);
    EXPECT_NE(readfile(dir.file("e.json")).find(std::string("\"girth\": ") + r.girth),
              std::string::npos);
    const std::string marker = "# graph of point 0 from frame 0: --seed ";
    const std::size_t at = drawn.out.find(marker);
    ASSERT_NE(at, std::string::npos) << drawn.out;
    const std::string seed =
        drawn.out.substr(at + marker.size(), drawn.out.find('\n', at) - at - marker.size());
    std::vector<std::string> built = {"construct"};
    built.insert(built.end(), r.construct.begin(), r.construct.end());
    for (const std::string &extra : {std::string("--girth"), std::string(r.girth),
                                     std::string("--seed"), seed, dir.file("g.code")})
      built.push_back(extra);
    ASSERT_EQ(run(tanner, built).status, 0);
    std::vector<std::string> fixed = {"simulate", dir.file("g.code")};
    fixed.insert(fixed.end(), run_options.begin(), run_options.end());
    auto decoded = run(tanner, fixed);
    ASSERT_EQ(decoded.status, 0) << decoded.err;
    EXPECT_EQ(rowswithoutspeed(decoded.out), rowswithoutspeed(drawn.out)) << r.ensemble[0];
    // The graph has the girth asked for.
    auto stats = run(tanner, {"stats", "--json", dir.file("g.code")});
    EXPECT_EQ(stats.out.find("\"paralleledges\": 0"), stats.out.find("\"paralleledges\""))
        << stats.out;
  }
}
