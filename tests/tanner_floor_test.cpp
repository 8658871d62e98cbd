// tanner floor, trapping and absorbing through the process: rows, JSON,
// the direct check, usage errors with status 2, unconverged estimates with
// status 1 and a warning, and exact absorbing-set counts of an array code.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
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

namespace {

// The output without the wall-clock seconds (the column before the status in
// a row, the "seconds" of the JSON), which no two runs share.
std::string withoutseconds(const std::string &text) {
  std::string out =
      std::regex_replace(text, std::regex("  +[0-9.]+  (converged|NOT CONVERGED)"), "  S  $1");
  return std::regex_replace(out, std::regex("\"seconds\": [^,}]*"), "\"seconds\": S");
}

}  // namespace

TEST(tanner_floor, ledger_resumes_with_the_rows_and_json_of_one_run) {
  tempdir dir;
  writefile(dir.file("a.alist"), arrayalist(7));
  const std::string a = dir.file("a.alist"), ledger = dir.file("run.ledger");
  auto floor = [&](const std::string &points, std::vector<std::string> more) {
    std::vector<std::string> args = {
        "floor",        a,    "--ebn0",   points, "--decoder",     "nms",  "--alpha", "0.5",
        "--iterations", "10", "--chains", "8",    "--max-decodes", "20000"};
    args.insert(args.end(), more.begin(), more.end());
    return run(tanner, args);
  };
  const runresult whole = floor("4,4.5", {"--json", dir.file("whole.json"), "--threads", "1"});
  ASSERT_LE(whole.status, 1) << whole.err;
  // The first point alone into the ledger, then both points resumed from it.
  const runresult first = floor("4", {"--ledger", ledger, "--threads", "1"});
  ASSERT_LE(first.status, 1) << first.err;
  const std::string afterfirst = readfile(ledger);
  EXPECT_EQ(std::count(afterfirst.begin(), afterfirst.end(), '\n'), 2) << afterfirst;
  EXPECT_EQ(afterfirst.rfind("{\"floorledger\":1,\"hash\":\"", 0), 0u) << afterfirst;
  const runresult resumed = floor("4,4.5", {"--ledger", ledger, "--resume", "--json",
                                            dir.file("resumed.json"), "--threads", "2"});
  ASSERT_EQ(resumed.status, whole.status) << resumed.err;
  EXPECT_EQ(withoutseconds(resumed.out), withoutseconds(whole.out));
  EXPECT_EQ(withoutseconds(readfile(dir.file("resumed.json"))),
            withoutseconds(readfile(dir.file("whole.json"))));
  // The recorded point is printed as it was, its seconds included.
  const std::string firstrow = first.out.substr(first.out.find('\n') + 1);
  EXPECT_EQ(resumed.out.find(firstrow.substr(0, firstrow.find('\n'))), first.out.find('\n') + 1);

  // A torn last line is ignored and cut off; a run with every point recorded
  // prints byte for byte what the resumed run printed.
  writefile(ledger, readfile(ledger) + "{\"point\":2,\"sig");
  const runresult again = floor("4,4.5", {"--ledger", ledger, "--resume", "--json",
                                          dir.file("again.json"), "--threads", "1"});
  ASSERT_EQ(again.status, resumed.status) << again.err;
  EXPECT_EQ(again.out, resumed.out);
  EXPECT_EQ(readfile(dir.file("again.json")), readfile(dir.file("resumed.json")));
  const std::string full = readfile(ledger);
  EXPECT_EQ(std::count(full.begin(), full.end(), '\n'), 3);
  EXPECT_EQ(full.back(), '\n');

  // Another configuration, other points at recorded indices, or an existing
  // ledger without --resume: refused with status 1, naming the file.
  const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
      {{"--seed", "2", "--ledger", ledger, "--resume"}, "seed"},
      {{"--schedule", "layered", "--ledger", ledger, "--resume"}, "schedule"},
      {{"--precision", "3", "--ledger", ledger, "--resume"}, "precision"},
      {{"--no-early-stop", "--ledger", ledger, "--resume"}, "earlystop"},
      {{"--ledger", ledger}, "--resume"},
  };
  for (const auto &[more, word] : refused) {
    std::vector<std::string> args = more;
    const runresult r = floor("4,4.5", args);
    EXPECT_EQ(r.status, 1) << word << "\n" << r.err;
    EXPECT_NE(r.err.find(ledger), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(word), std::string::npos) << r.err;
  }
  const runresult swapped = floor("4.5,4", {"--ledger", ledger, "--resume"});
  EXPECT_EQ(swapped.status, 1) << swapped.err;
  EXPECT_NE(swapped.err.find("point 1 is at sigma"), std::string::npos) << swapped.err;
  EXPECT_EQ(readfile(ledger), full);  // refusals leave the ledger as it was
  EXPECT_EQ(floor("4", {"--resume"}).status, 2);
  writefile(dir.file("simulate.ledger"), "{\"ledger\":1,\"hash\":\"0\"}\n");
  const runresult other = floor("4", {"--ledger", dir.file("simulate.ledger"), "--resume"});
  EXPECT_EQ(other.status, 1);
  EXPECT_NE(other.err.find("not a floor ledger"), std::string::npos) << other.err;
}
