// tanner simulate --simd intra: the one-frame decoder of quasi-cyclic codes
// gives the counts of the batched layered decoder for the same seed (the
// table rows apart from the Mb/s column, the JSON points apart from mbps),
// and what it cannot decode is a usage error that says why.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support.h"

using namespace testsupport;

namespace {

using arguments = std::vector<std::string>;

// The rows of the table, cell by cell, without the Mb/s cell (a matter of
// time); the header's words name the cells (the interval is two words).
std::vector<std::vector<std::string>> rows(const std::string &out) {
  std::vector<std::vector<std::string>> found;
  std::istringstream in(out);
  std::size_t mbps = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream cells(line);
    std::vector<std::string> row;
    for (std::string cell; cells >> cell;) row.push_back(cell);
    if (line.find("Eb/N0") != std::string::npos) {
      for (std::size_t k = 0; k < row.size(); ++k)
        if (row[k] == "Mb/s") mbps = k - 3;  // "FER 95% interval" is one cell of the rows
      continue;
    }
    if (mbps < row.size()) row.erase(row.begin() + static_cast<std::ptrdiff_t>(mbps));
    found.push_back(row);
  }
  return found;
}

TEST(tanner_intra, simulate_counts_equal_the_batched_layered_decoder) {
  const std::vector<arguments> runs = {
      {"simulate", "standard", "nr-bg1", "--lift", "20", "--ebn0", "1.5:2.5:0.5", "--decoder",
       "nms", "--schedule", "layered", "--max-frames", "600", "--iterations", "15"},
      {"simulate",     "standard",     "wifi",  "--rate",          "1/2",          "--length",
       "648",          "--ebn0",       "2,2.5", "--decoder",       "oms",          "--schedule",
       "layered",      "--max-frames", "500",   "--no-early-stop", "--iterations", "6",
       "--all-points", "--threads",    "2"},
      {"simulate", "standard", "nr-bg2", "--lift", "52", "--sigma", "1.1", "--decoder", "minsum",
       "--schedule", "layered", "--max-frames", "400", "--modulation", "16qam"},
  };
  for (const arguments &base : runs) {
    arguments batch = base, intra = base;
    batch.insert(batch.end(), {"--simd", "batch"});
    intra.insert(intra.end(), {"--simd", "intra"});
    const runresult a = run(tanner, batch), b = run(tanner, intra);
    ASSERT_EQ(a.status, 0) << a.err;
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_FALSE(rows(a.out).empty()) << a.out;
    EXPECT_EQ(rows(a.out), rows(b.out)) << a.out << b.out;
    EXPECT_NE(b.out.find("one frame at a time"), std::string::npos) << b.out;
    // The default is the batched decoder, as before --simd.
    arguments plain = base;
    EXPECT_EQ(rows(run(tanner, plain).out), rows(a.out));
  }
}

TEST(tanner_intra, refusals_are_usage_errors_that_say_why) {
  const arguments layered = {"--ebn0",       "2",  "--decoder", "nms",  "--schedule", "layered",
                             "--max-frames", "64", "--simd",    "intra"};
  struct refusal {
    arguments args;
    const char *why;
  };
  auto code = [&](arguments head, arguments tail = {}) {
    head.insert(head.end(), layered.begin(), layered.end());
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
  };
  const std::vector<refusal> refusals = {
      {code({"simulate", examples + "/hamming7.alist"}), "not a lifting of circulants"},
      {code({"simulate", "standard", "nr-bg2", "--lift", "15"}, {"--quantization", "8"}), "16-bit"},
      {code({"simulate", "standard", "nr-bg2", "--lift", "15"}, {"--replay", "0:3"}), "--replay"},
      {{"simulate", "standard", "nr-bg2", "--lift", "15", "--ebn0", "2", "--simd", "intra"},
       "sum-product"},
      {{"simulate", "standard", "nr-bg2", "--lift", "15", "--ebn0", "2", "--decoder", "oms",
        "--simd", "intra"},
       "layered"},
      {{"simulate", "proto", examples + "/half-rate.proto", "--lift", "16", "--ebn0", "2",
        "--decoder", "nms", "--schedule", "layered", "--simd", "intra"},
       "not an ensemble"},
      {{"simulate", "standard", "nr-bg2", "--lift", "15", "--ebn0", "2", "--simd", "fast"},
       "batch or intra"},
  };
  for (const refusal &r : refusals) {
    const runresult result = run(tanner, r.args);
    EXPECT_EQ(result.status, 2) << r.why << ": " << result.err;
    EXPECT_NE(result.err.find(r.why), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "") << r.why;
  }
}

}  // namespace
