// tanner with transmission patterns and standard codes: simulate with
// --punctured / --shortened, the flag line of a base-matrix file and
// simulate standard; construct standard and its listing. Each case runs
// the real program; counts without a pattern are held to those the program
// printed before patterns existed.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "support.h"

using namespace testsupport;

namespace {

using arguments = std::vector<std::string>;

const std::string hamming = examples + "/hamming7.alist";

arguments with(arguments base, const arguments &more) {
  base.insert(base.end(), more.begin(), more.end());
  return base;
}

// The channel LLRs that --replay prints.
std::vector<double> replayllrs(const std::string &out) {
  std::vector<double> values;
  const auto from = out.find("bits):\n"), to = out.find("iteration");
  std::istringstream in(out.substr(from + 7, to - from - 7));
  for (double x; in >> x;) values.push_back(x);
  return values;
}

// The value of "key": NUMBER (the first) in JSON text.
double jsonvalue(const std::string &text, const std::string &key) {
  const auto at = text.find("\"" + key + "\": ");
  return at == std::string::npos ? std::nan("") : std::stod(text.substr(at + key.size() + 4));
}

std::string jsontextof(const std::string &text, const std::string &key) {
  const auto at = text.find("\"" + key + "\": \"");
  if (at == std::string::npos) return "?";
  const auto start = at + key.size() + 5;
  return text.substr(start, text.find('"', start) - start);
}

// The CSV columns frames, frameerrors and biterrors of each point.
std::vector<std::string> counts(const std::string &csv, int first) {
  std::vector<std::string> rows;
  std::istringstream in(csv);
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    std::vector<std::string> cells;
    std::istringstream cellin(line);
    for (std::string cell; std::getline(cellin, cell, ',');) cells.push_back(cell);
    rows.push_back(cells[first] + " " + cells[first + 1] + " " + cells[first + 5]);
  }
  return rows;
}

}  // namespace

// Without a pattern every curve counts what it counted before: frames,
// frame errors and bit errors as printed by the program before transmission
// patterns existed, for three decoders and two channels.
TEST(tanner_standard, runs_without_pattern_count_as_before) {
  tempdir dir;
  const std::string code = dir.file("h.code");
  ASSERT_EQ(run(tanner, {"construct", "proto", examples + "/half-rate.proto", "--lift", "50",
                         "--seed", "5", code})
                .status,
            0);
  struct row {
    arguments args;
    int first;  // the frames column
    std::vector<std::string> expected;
  } rows[] = {
      {{hamming, "--sigma", "0.6,0.9", "--max-frames", "3000", "--all-points"},
       2,
       {"3000 70 180", "512 103 259"}},
      {{code, "--ebn0", "1,2", "--max-frames", "2000", "--decoder", "nms", "--schedule", "layered"},
       2,
       {"192 135 2016", "384 120 1138"}},
      {{code, "--erasure", "0.4", "--max-frames", "2000", "--decoder", "minsum"},
       1,
       {"192 119 2670"}},
  };
  for (const row &r : rows) {
    auto result = run(
        tanner, with(with({"simulate"}, r.args), {"--threads", "2", "--csv", dir.file("c.csv")}));
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(counts(readfile(dir.file("c.csv")), r.first), r.expected) << r.args[1];
    EXPECT_EQ(result.out.find("# transmission"), std::string::npos);
  }
}

// A punctured node enters with LLR 0 and a shortened one with 127.875; the
// sent nodes take the frame's channel values in order, the same noise as
// the plain run's first bits. Eb/N0 is at information bits per sent bit,
// errors over the sent and punctured bits.
TEST(tanner_standard, punctured_and_shortened_bits_enter_the_decoder_as_stated) {
  tempdir dir;
  auto plain = run(tanner, {"simulate", hamming, "--sigma", "0.8", "--replay", "0:3"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  const std::vector<double> channel = replayllrs(plain.out);
  auto marked = run(tanner, {"simulate", hamming, "--sigma", "0.8", "--replay", "0:3",
                             "--punctured", "0,3", "--shortened", "5"});
  ASSERT_EQ(marked.status, 0) << marked.err;
  const std::vector<double> llr = replayllrs(marked.out);
  ASSERT_EQ(llr.size(), 7u);
  const std::vector<double> expected = {0,          channel[0], channel[1], 0,
                                        channel[2], 127.875,    channel[3]};
  for (int i = 0; i < 7; ++i) EXPECT_NEAR(llr[i], expected[i], 1e-4) << i;
  // Rates: hamming (4 information bits); sigma from Eb/N0 2 dB at K / sent.
  struct rate {
    arguments pattern;
    double info, sent, counted;
  } rates[] = {
      {{"--punctured", "0"}, 4, 6, 7},
      {{"--shortened", "0-1"}, 2, 5, 5},
      {{"--punctured", "6", "--shortened", "2"}, 3, 5, 6},
  };
  for (const rate &r : rates) {
    auto result = run(tanner, with({"simulate", hamming, "--ebn0", "2", "--max-frames", "300",
                                    "--json", dir.file("r.json")},
                                   r.pattern));
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string json = readfile(dir.file("r.json"));
    const double R = r.info / r.sent;
    EXPECT_NEAR(jsonvalue(json, "rate"), R, 1e-9);
    EXPECT_NEAR(jsonvalue(json, "sigma"), 1 / std::sqrt(2 * R * std::pow(10.0, 0.2)), 1e-8);
    EXPECT_EQ(jsonvalue(json, "counted"), r.counted);
    EXPECT_NEAR(jsonvalue(json, "ber"),
                jsonvalue(json, "biterrors") / (jsonvalue(json, "frames") * r.counted), 1e-9);
    EXPECT_NE(result.out.find("# transmission: " + std::to_string(int(r.sent)) + " bits sent"),
              std::string::npos)
        << result.out;
  }
  // Nodes 0..2 shortened in heavy noise: the four others fail often, the
  // shortened ones never, so at most four bit errors per frame error.
  auto shortened =
      run(tanner, {"simulate", hamming, "--crossover", "0.45", "--max-frames", "500",
                   "--max-errors", "500", "--shortened", "0-2", "--json", dir.file("s.json")});
  ASSERT_EQ(shortened.status, 0) << shortened.err;
  const std::string json = readfile(dir.file("s.json"));
  EXPECT_GT(jsonvalue(json, "frameerrors"), 100);
  EXPECT_LE(jsonvalue(json, "biterrors"), 4 * jsonvalue(json, "frameerrors"));
}

// The flag line of a base-matrix file punctures its block columns; the
// lists are checked as node ranges.
TEST(tanner_standard, patterns_from_files_and_lists) {
  tempdir dir;
  writefile(dir.file("p.qc"), "3 2 4\n0 1 -1\n2 -1 3\n\n0 1 1\n");
  auto flagged = run(tanner, {"simulate", dir.file("p.qc"), "--sigma", "0.7", "--max-frames", "100",
                              "--json", dir.file("p.json")});
  ASSERT_EQ(flagged.status, 0) << flagged.err;
  EXPECT_EQ(jsontextof(readfile(dir.file("p.json")), "punctured"), "0-3");
  EXPECT_EQ(jsontextof(readfile(dir.file("p.json")), "order"), "4-11");
  struct refusal {
    arguments args;
    const char *message;
  } refusals[] = {
      {{hamming, "--punctured", "2-1"}, "--punctured 2-1: item 1"},
      {{hamming, "--shortened", "7"}, "--shortened 7: item 1"},
      {{hamming, "--punctured", "1", "--shortened", "0-2"},
       "node 1 is both punctured and shortened"},
      {{hamming, "--punctured", "1", "--punctured", "2"}, "--punctured is given twice"},
      {{"proto", examples + "/half-rate.proto", "--lift", "5", "--punctured", "1"},
       "apply to a code file, not an ensemble"},
      {{"standard", "wifi", "--rate", "1/2", "--length", "648", "--shortened", "1"},
       "a standard code brings its own pattern"},
      {{"standard", "wifi", "--rate", "1/3", "--length", "648"},
       "the standard defines rates 1/2, 2/3"},
      {{"standard", "--rate", "1/2"}, "standard needs a family name"},
      {{"standard", "nosuch"}, "no standard code family"},
  };
  for (const refusal &r : refusals) {
    auto result = run(tanner, with(with({"simulate"}, r.args), {"--sigma", "0.7"}));
    EXPECT_EQ(result.status, 2) << r.message << result.err;
    EXPECT_NE(result.err.find(r.message), std::string::npos) << result.err;
  }
}

// simulate standard sends what construct standard prints, and records the
// family, parameters and pattern; the 5G NR code of K = 500 in E = 1000.
TEST(tanner_standard, simulate_standard_records_code_and_pattern) {
  tempdir dir;
  auto result = run(tanner, {"simulate", "standard", "nr", "--info", "500", "--length", "1000",
                             "--ebn0", "2", "--max-frames", "64", "--decoder", "nms", "--schedule",
                             "layered", "--iterations", "10", "--json", dir.file("nr.json")});
  ASSERT_EQ(result.status, 0) << result.err;
  const std::string json = readfile(dir.file("nr.json"));
  EXPECT_EQ(jsontextof(json, "family"), "nr");
  EXPECT_EQ(jsonvalue(json, "info"), 500);
  EXPECT_EQ(jsonvalue(json, "sent"), 1000);
  EXPECT_EQ(jsonvalue(json, "lift"), 64);      // Kb 8, Zc the least with 8 Zc >= 500
  EXPECT_EQ(jsonvalue(json, "length"), 3328);  // the graph's nodes
  EXPECT_EQ(jsonvalue(json.substr(json.find("\"standard\"")), "length"), 1000);  // the standard's E
  EXPECT_NEAR(jsonvalue(json, "rate"), 0.5, 1e-12);
  // Base graph 2 lifted by 64: 52 x 64 nodes; nodes 0..127 never sent,
  // fillers 500..639 shortened.
  EXPECT_EQ(jsontextof(json, "shortened"), "500-639");
  EXPECT_EQ(jsontextof(json, "punctured").substr(0, 6), "0-127,");
  auto built = run(tanner, {"construct", "standard", "nr", "--info", "500", "--length", "1000",
                            dir.file("nr.code")});
  ASSERT_EQ(built.status, 0) << built.err;
  EXPECT_NE(built.out.find("transmission: 1000 bits sent, 2188 punctured, 140 shortened"),
            std::string::npos)
      << built.out;
  EXPECT_NE(built.out.find("3328 variable nodes, 2688 check nodes"), std::string::npos)
      << built.out;
}

// construct standard: the listing names every family; a lifting written
// with --qc reads back as the same graph; codes that are no lifting are
// refused for --qc; bad combinations are usage errors listing the defined
// values.
TEST(tanner_standard, construct_standard_writes_lists_and_refuses) {
  tempdir dir;
  auto list = run(tanner, {"construct", "standard", "--list"});
  ASSERT_EQ(list.status, 0);
  for (const char *family : {"nr-bg1:", "nr-bg2:", "nr:", "wifi:", "wimax:", "dvbs2:",
                             "dvbs2-short:", "ar4ja:", "ccsds-c2:", "10gbase-t:"})
    EXPECT_TRUE(list.out.rfind(family, 0) == 0 ||
                list.out.find(std::string("\n") + family) != std::string::npos)
        << family;
  struct lifting {
    arguments request;
    const char *dimensions;
  } liftings[] = {
      {{"wifi", "--rate", "5/6", "--length", "1944"}, "24 4 81\n"},
      {{"wimax", "--rate", "2/3A", "--length", "576"}, "24 8 24\n"},
      {{"nr-bg2", "--lift", "15"}, "52 42 15\n"},
  };
  for (const lifting &l : liftings) {
    auto code = run(tanner, with(with({"construct", "standard"}, l.request), {dir.file("s.code")}));
    auto qc =
        run(tanner, with(with({"construct", "standard"}, l.request), {"--qc", dir.file("s.qc")}));
    ASSERT_EQ(qc.status, 0) << qc.err;
    EXPECT_EQ(readfile(dir.file("s.qc")).substr(0, std::string(l.dimensions).size()), l.dimensions);
    EXPECT_EQ(code.out, qc.out.substr(0, qc.out.rfind("written")) + "written to " +
                            dir.file("s.code") + "\n");
    auto a = run(tanner, {"stats", dir.file("s.code")}),
         b = run(tanner, {"stats", dir.file("s.qc")});
    EXPECT_EQ(a.out.substr(a.out.find("variable")), b.out.substr(b.out.find("variable")));
  }
  struct refusal {
    arguments args;
    int status;
    const char *message;
  } refusals[] = {
      {{"dvbs2-short", "--rate", "8/9", "--qc", dir.file("d.qc")}, 1, "no lifting of circulants"},
      {{"wimax", "--rate", "3/4", "--length", "576", dir.file("x")}, 2, "3/4A"},
      {{"wifi", "--rate", "1/2", "--length", "600", dir.file("x")}, 2, "648"},
      {{"ar4ja", "--rate", "1/2", "--info", "1000", dir.file("x")}, 2, "1024"},
      {{"nr-bg1", "--lift", "17", dir.file("x")}, 2, "none of the 51"},
      {{"wifi", "--rate", "1/2", "--length", "648", "--alist", "--qc", dir.file("x")},
       2,
       "not both"},
      {{"wifi", "--rate", "1/2", dir.file("x")}, 2, "length"},
      {{"wifi", dir.file("x"), dir.file("y")}, 2, "expects NAME OUT"},
      {{"--list", "wifi"}, 2, "--list takes no other argument"},
  };
  for (const refusal &r : refusals) {
    auto result = run(tanner, with({"construct", "standard"}, r.args));
    EXPECT_EQ(result.status, r.status) << r.args[0] << result.err;
    EXPECT_NE(result.err.find(r.message), std::string::npos) << result.err;
    EXPECT_FALSE(fileexists(dir.file("x")));
    EXPECT_FALSE(fileexists(dir.file("d.qc")));
  }
}
