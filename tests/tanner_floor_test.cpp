// tanner floor, trapping and absorbing through the process: rows, JSON,
// the direct check, usage errors with status 2, unconverged estimates with
// status 1 and a warning, and exact absorbing-set counts of an array code.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support.h"

using namespace testsupport;

namespace {

// The (3, p) array code as an alist file: p^2 bits, 3 p checks.
std::string arrayalist(int p = 13) {
  const int g = 3, n = p * p, m = g * p;
  std::vector<std::vector<int>> cols(n), rows(m);
  for (int r = 0; r < g; ++r)
    for (int c = 0; c < p; ++c)
      for (int i = 0; i < p; ++i) cols[c * p + (i + r * c) % p].push_back(r * p + i);
  for (int v = 0; v < n; ++v)
    for (int c : cols[v]) rows[c].push_back(v);
  const std::string row = std::to_string(p);
  std::string text = std::to_string(n) + " " + std::to_string(m) + "\n3 " + row + "\n";
  for (int v = 0; v < n; ++v) text.append(v ? " 3" : "3");
  text += "\n";
  for (int c = 0; c < m; ++c) text.append(c ? " " : "").append(row);
  text += "\n";
  for (const auto *lists : {&cols, &rows})
    for (const std::vector<int> &list : *lists) {
      for (std::size_t k = 0; k < list.size(); ++k)
        text.append(k ? " " : "").append(std::to_string(list[k] + 1));
      text += "\n";
    }
  return text;
}

}  // namespace

TEST(tanner_floor, estimate_json_and_check) {
  tempdir dir;
  writefile(dir.file("a.alist"), arrayalist());
  const runresult r = run(tanner, {"floor",
                                   dir.file("a.alist"),
                                   "--ebn0",
                                   "5",
                                   "--decoder",
                                   "nms",
                                   "--alpha",
                                   "0.5",
                                   "--iterations",
                                   "30",
                                   "--chains",
                                   "32",
                                   "--precision",
                                   "3",
                                   "--max-decodes",
                                   "400000",
                                   "--check",
                                   "--json",
                                   dir.file("f.json"),
                                   "--threads",
                                   "1"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("converged"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("# direct at 5.000 dB"), std::string::npos) << r.out;
  const std::string json = readfile(dir.file("f.json"));
  for (const char *key :
       {"\"method\": \"multicanonical\"", "\"fer\":", "\"ferlow\":", "\"ferhigh\":", "\"decodes\":",
        "\"seconds\":", "\"check\":", "\"method\": \"direct\""})
    EXPECT_NE(json.find(key), std::string::npos) << key << "\n" << json;
  // The same seed gives the same row, whatever the thread count.
  const runresult two =
      run(tanner, {"floor", dir.file("a.alist"), "--ebn0", "5", "--decoder", "nms", "--alpha",
                   "0.5", "--iterations", "30", "--chains", "32", "--precision", "3",
                   "--max-decodes", "400000", "--threads", "2"});
  ASSERT_EQ(two.status, 0) << two.err;
  EXPECT_EQ(two.out.substr(0, two.out.find(" converged") - 20),
            r.out.substr(0, r.out.find(" converged") - 20));
}

TEST(tanner_floor, unconverged_is_status_1_with_a_warning) {
  tempdir dir;
  writefile(dir.file("a.alist"), arrayalist());
  const runresult r = run(tanner, {"floor", dir.file("a.alist"), "--ebn0", "6", "--max-decodes",
                                   "1000", "--decoder", "nms", "--threads", "1"});
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("NOT CONVERGED"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("warning"), std::string::npos) << r.err;
}

TEST(tanner_floor, usage_errors) {
  tempdir dir;
  writefile(dir.file("a.alist"), arrayalist());
  const std::string a = dir.file("a.alist");
  const std::vector<std::vector<std::string>> bad = {
      {"floor", a},
      {"floor", "--ebn0", "4"},
      {"floor", a, "--ebn0", "4", "--alpha", "0.5"},  // alpha without nms
      {"floor", a, "--ebn0", "4", "--decoder", "nms", "--alpha", "1.5"},
      {"floor", a, "--ebn0", "4", "--ebn0", "5"},
      {"floor", a, "--ebn0", "4", "--sigma", "0.5"},
      {"floor", a, "--sigma", "-1"},
      {"floor", a, "--ebn0", "4", "--precision", "1"},
      {"floor", a, "--ebn0", "4", "--chains", "1"},
      {"floor", a, "--ebn0", "4", "--bogus"},
      {"floor", a, "--ebn0", "4", "--json", a},  // output is the input
      {"trapping", a, "--check"},
      {"absorbing", a, "--max-size", "0"},
      {"absorbing"},
  };
  for (const auto &args : bad) {
    const runresult r = run(tanner, args);
    std::string line;
    for (const std::string &s : args) line += s + " ";
    EXPECT_EQ(r.status, 2) << line << "\n" << r.err;
    EXPECT_NE(r.err.find("tanner " + args[0]), std::string::npos) << r.err;
  }
  for (const char *command : {"floor", "trapping", "absorbing"})
    EXPECT_EQ(run(tanner, {command, "--help"}).status, 0) << command;
}

TEST(tanner_floor, absorbing_counts_and_trapping_sets) {
  tempdir dir;
  writefile(dir.file("a.alist"), arrayalist(7));
  const runresult r = run(tanner, {"absorbing", dir.file("a.alist"), "--max-size", "3", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  // p^2 (p - 1) = 294 (3, 3) absorbing sets in the (3, 7) array code.
  EXPECT_NE(r.out.find("{\"a\": 3, \"b\": 3, \"count\": 294"), std::string::npos) << r.out;
  const runresult t = run(tanner, {"trapping", dir.file("a.alist"), "--ebn0", "4.5", "--decoder",
                                   "nms", "--alpha", "0.5", "--iterations", "20", "--chains", "16",
                                   "--max-decodes", "200000", "--json", "--threads", "1"});
  EXPECT_LE(t.status, 1) << t.err;
  EXPECT_NE(t.out.find("\"sets\": [{\"a\": "), std::string::npos) << t.out;
  EXPECT_NE(t.out.find("\"absorbing\": "), std::string::npos) << t.out;
}
