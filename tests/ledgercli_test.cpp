// tanner simulate --ledger, --resume, --shard and tanner merge through the
// real program: a run interrupted by each signal and resumed, a run of
// time-limited points resumed from its complete ledger, a torn last line,
// shards merged, short and missing shards, bad ledgers refused with file and
// line, two writers of one ledger, and the options' usage errors. The
// oracle is always the uninterrupted one-process run of the same command:
// its table, JSON and CSV byte for byte, Mb/s aside (wall clock).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support.h"

using namespace testsupport;

namespace {

using arguments = std::vector<std::string>;

arguments with(arguments base, const arguments &more) {
  base.insert(base.end(), more.begin(), more.end());
  return base;
}

bool has(const std::string &text, const std::string &what) { return text.find(what) != std::string::npos; }

// Output with the wall-clock figures blanked: the table's last column, the
// JSON's "mbps" and the CSV's last column.
std::string steady(const std::string &text) {
  static const std::regex mbps("\"mbps\": [^,}]+"), column("[ ,]+[-0-9.e+]+\n");
  return std::regex_replace(std::regex_replace(text, mbps, "\"mbps\": _"), column, " _\n");
}

// A sweep's limits, and whether it runs every point.
struct sweeplimits {
  std::string maxerrors = "400", maxframes = "60000", maxseconds = "0";
  bool allpoints = true;
};

// A (3,6) code of 96 bits, built once, and a sweep over it that runs for a
// second or two: long enough to be interrupted, short enough for CI.
struct workbench {
  tempdir dir;
  std::string code = dir.file("c96.code");
  workbench() {
    runresult r = run(tanner, {"construct", "peg", "--vdeg", "3", "--vfrac", "1", "--length", "96",
                               "--checks", "48", code});
    EXPECT_EQ(r.status, 0) << r.err;
  }
  arguments sweep(const arguments &more = {}, const sweeplimits &l = sweeplimits()) const {
    arguments args = {"simulate",     code,        "--ebn0",        "1:4:1",      "--decoder",
                      "nms",          "--max-errors", l.maxerrors, "--max-frames", l.maxframes,
                      "--max-seconds", l.maxseconds, "--threads",   "2"};
    if (l.allpoints) args.push_back("--all-points");
    return with(args, more);
  }
};

const workbench &bench() {
  static const workbench *made = new workbench;
  return *made;
}

// A run's three outputs.
struct outputs {
  int status = 0;
  std::string table, json, csv, err;
};

outputs runsweep(const arguments &args, const std::string &stem, const runlimits &limits = {}) {
  const std::string json = stem + ".json", csv = stem + ".csv";
  runresult r = runlimited(tanner, with(args, {"--json", json, "--csv", csv}), limits);
  return {r.status, r.out, readfile(json), readfile(csv), r.err};
}

void expectsame(const outputs &a, const outputs &b, const std::string &what) {
  EXPECT_EQ(steady(a.table), steady(b.table)) << what;
  EXPECT_EQ(steady(a.json), steady(b.json)) << what;
  EXPECT_EQ(steady(a.csv), steady(b.csv)) << what;
}

}  // namespace

// A run interrupted at random moments, each signal in turn, and resumed
// from its ledger until it finishes gives the uninterrupted run's outputs;
// every interrupted run says so in its status and prints the command that
// resumes it. A torn last line (a crash in mid-write) is survived. The
// moments are drawn from the reference run's own duration, so that most
// land while it decodes whatever the machine's speed.
TEST(ledgercli, interrupted_and_resumed_runs_equal_the_uninterrupted_run) {
  const workbench &w = bench();
  const auto start = std::chrono::steady_clock::now();
  const outputs reference = runsweep(w.sweep(), w.dir.file("ref"));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_EQ(reference.status, 0) << reference.err;
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("moments drawn with seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> moment(0.05, 0.6);
  const int signals[] = {SIGTERM, SIGINT, SIGHUP};
  for (int chain = 0; chain < 2; ++chain) {
    const std::string ledger = w.dir.file("chain" + std::to_string(chain) + ".ledger");
    int interrupted = 0;
    outputs last;
    for (int round = 0; round < 5; ++round) {
      const int signal = signals[(chain + round) % 3];
      runlimits limits;
      limits.signal = round < 4 ? signal : 0;
      limits.signaldelay = moment(random) * seconds;
      const std::string what = "chain " + std::to_string(chain) + " round " + std::to_string(round) +
                               ": signal " + std::to_string(signal) + " after " +
                               std::to_string(limits.signaldelay) + " s";
      arguments args = w.sweep({"--ledger", ledger});
      if (round > 0) args.push_back("--resume");
      last = runsweep(args, w.dir.file("cut"), limits);
      if (last.status == 0) break;
      EXPECT_EQ(last.status, 128 + signal) << what << "\n" << last.err;
      ++interrupted;
      // Killed before the ledger was made: nothing to check but the status.
      if (!fileexists(ledger)) continue;
      if (has(last.err, "interrupted by")) {
        EXPECT_TRUE(has(last.err, "resume with\n  tanner simulate " + w.code)) << what << last.err;
        EXPECT_TRUE(has(last.err, "--ledger " + ledger)) << what << last.err;
      }
      if (round == 1) writefile(ledger, readfile(ledger) + "{\"point\":0,\"block\":99999,\"fra");
    }
    EXPECT_EQ(last.status, 0) << last.err;
    EXPECT_GT(interrupted, 0) << "no run of chain " << chain << " was interrupted";
    expectsame(reference, last, "chain " + std::to_string(chain));
  }
}

// Points stopped by their time limit: the ledger records where each was
// given up, so that resuming the complete ledger (nothing left to decode)
// and merging it give the same rows.
TEST(ledgercli, time_limited_points_resume_and_merge_as_they_ran) {
  const workbench &w = bench();
  const std::string ledger = w.dir.file("timed.ledger");
  sweeplimits limits;
  limits.maxseconds = "0.05";
  const arguments timed = w.sweep({"--ledger", ledger}, limits);
  const outputs first = runsweep(timed, w.dir.file("t1"));
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_TRUE(has(first.json, "\"stopped\": \"time\"")) << first.json;
  EXPECT_TRUE(has(readfile(ledger), "\"giveup\":")) << readfile(ledger);
  const outputs again = runsweep(with(timed, {"--resume"}), w.dir.file("t2"));
  EXPECT_EQ(again.status, 0) << again.err;
  expectsame(first, again, "resumed");
  runresult merged = run(tanner, {"merge", ledger, "--json", w.dir.file("t3.json"), "--csv",
                                  w.dir.file("t3.csv")});
  EXPECT_EQ(merged.status, 0) << merged.err;
  expectsame(first, {0, merged.out, readfile(w.dir.file("t3.json")), readfile(w.dir.file("t3.csv")), ""},
             "merged");
}

// Shards 1/3, 2/3, 3/3 with --max-errors and --min-fer ending points and the
// sweep, merged in any order, give the one-process run; a missing shard and
// a shard cut short are named.
TEST(ledgercli, shards_merged_equal_the_one_process_run) {
  const workbench &w = bench();
  sweeplimits limits;
  limits.maxerrors = "150";
  limits.allpoints = false;
  const arguments run1 = w.sweep({"--min-fer", "5e-2"}, limits);
  const outputs reference = runsweep(run1, w.dir.file("one"));
  ASSERT_EQ(reference.status, 0) << reference.err;
  ASSERT_TRUE(has(reference.table, "FER below --min-fer")) << reference.table;
  std::vector<std::string> ledgers;
  for (int k = 1; k <= 3; ++k) {
    ledgers.push_back(w.dir.file("shard" + std::to_string(k) + ".ledger"));
    runresult r = run(tanner, with(run1, {"--shard", std::to_string(k) + "/3", "--ledger", ledgers.back()}));
    ASSERT_EQ(r.status, 0) << r.err;
  }
  const std::vector<std::vector<int>> orders = {{0, 1, 2}, {2, 0, 1}};
  for (const auto &order : orders) {
    arguments merge = {"merge"};
    for (int k : order) merge.push_back(ledgers[k]);
    const std::string json = w.dir.file("m.json"), csv = w.dir.file("m.csv");
    runresult r = run(tanner, with(merge, {"--json", json, "--csv", csv}));
    EXPECT_EQ(r.status, 0) << r.err;
    expectsame(reference, {0, r.out, readfile(json), readfile(csv), ""}, "merge");
  }
  runresult missing = run(tanner, {"merge", ledgers[0], ledgers[2]});
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(has(missing.err, "the ledger of shard 2/3 is missing")) << missing.err;
  // Shard 3 cut to its header and first blocks, as if its job had ended.
  const std::string text = readfile(ledgers[2]);
  std::size_t cut = 0;
  for (int line = 0; line < 3; ++line) cut = text.find('\n', cut) + 1;
  const std::string shortledger = w.dir.file("short.ledger");
  writefile(shortledger, text.substr(0, cut));
  runresult shortrun = run(tanner, {"merge", ledgers[0], ledgers[1], shortledger});
  EXPECT_EQ(shortrun.status, 1);
  EXPECT_TRUE(has(shortrun.err, "short.ledger (shard 3/3)")) << shortrun.err;
  EXPECT_TRUE(has(shortrun.err, "resume that shard")) << shortrun.err;
}

// What is not a ledger of this run is refused, naming the file and line,
// by --resume and by tanner merge alike; nothing is written.
TEST(ledgercli, bad_ledgers_are_refused_with_file_and_line) {
  const workbench &w = bench();
  const std::string good = w.dir.file("good.ledger");
  sweeplimits limits;
  limits.maxframes = "640";
  const arguments args = w.sweep({"--ledger", good}, limits);
  ASSERT_EQ(run(tanner, args).status, 0);
  const std::string text = readfile(good);
  const std::size_t header = text.find('\n') + 1, second = text.find('\n', header) + 1;
  const std::string line2 = text.substr(header, second - header);
  struct badcase {
    const char *what;
    std::string contents;
    std::string message;
  };
  const std::string end = ":" + std::to_string(std::count(text.begin(), text.end(), '\n') + 1) + ": ";
  const badcase cases[] = {
      {"not a ledger", "hello\n" + text.substr(header), ":1: "},
      {"a line that does not parse", text.substr(0, second) + "{\"point\":\n" + text.substr(second),
       ":3: "},
      {"a block out of range", text + "{\"point\":9,\"block\":0,\"frames\":64,\"frameerrors\":0,"
                                      "\"biterrors\":0,\"undetected\":0,\"iterations\":64,\"seconds\":0.1}\n",
       end + "point 9 is out of range"},
      {"a block twice with other counts",
       text + std::regex_replace(line2, std::regex("\"iterations\":[0-9]+"), "\"iterations\":1"),
       end + "block 0 of point 0 again, with other counts than on line 2"},
      {"a changed header", std::regex_replace(text.substr(0, header), std::regex("\"seed\":1"),
                                              "\"seed\":2") + text.substr(header),
       ":1: "},
  };
  for (const badcase &c : cases) {
    const std::string bad = w.dir.file("bad.ledger");
    writefile(bad, c.contents);
    runresult r = run(tanner, w.sweep({"--ledger", bad, "--resume"}, limits));
    EXPECT_EQ(r.status, 1) << c.what;
    EXPECT_TRUE(has(r.err, "bad.ledger" + c.message)) << c.what << ": " << r.err;
    EXPECT_EQ(r.out, "") << c.what;
    EXPECT_EQ(readfile(bad), c.contents) << c.what;
    runresult m = run(tanner, {"merge", bad});
    EXPECT_EQ(m.status, 1) << c.what;
    EXPECT_TRUE(has(m.err, "bad.ledger" + c.message)) << c.what << ": " << m.err;
  }
  // Another configuration of a sound ledger: the difference is named.
  arguments other = with(args, {"--resume", "--seed", "2"});
  runresult r = run(tanner, other);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has(r.err, "of another configuration: seed")) << r.err;
  // A ledger that exists is not started again without --resume.
  r = run(tanner, args);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has(r.err, "good.ledger")) << r.err;
}

// A second run writing a ledger that a running one holds is refused, and
// so is a merge reading it (its blocks are still coming); the first goes on
// undisturbed and ends by its signal.
TEST(ledgercli, a_second_writer_of_a_ledger_is_refused) {
  const workbench &w = bench();
  const std::string ledger = w.dir.file("locked.ledger");
  sweeplimits endless;
  endless.maxerrors = "1000000000";
  endless.maxframes = "1000000000";
  runresult first;
  std::thread holder([&] {
    runlimits limits;
    limits.signal = SIGTERM;
    limits.signaldelay = 2.5;
    first = runlimited(tanner, w.sweep({"--ledger", ledger}, endless), limits);
  });
  // Wait for the first block line: the ledger is open and locked then.
  for (int k = 0; k < 200; ++k) {
    const std::string text = fileexists(ledger) ? readfile(ledger) : "";
    if (std::count(text.begin(), text.end(), '\n') >= 2) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const std::string before = readfile(ledger);
  runresult second = run(tanner, w.sweep({"--ledger", ledger, "--resume"}, endless));
  holder.join();
  EXPECT_EQ(second.status, 1);
  EXPECT_TRUE(has(second.err, "locked")) << second.err;
  EXPECT_EQ(first.status, 128 + SIGTERM) << first.err;
  EXPECT_TRUE(has(first.err, "resume with")) << first.err;
  const std::string after = readfile(ledger);
  EXPECT_EQ(after.substr(0, before.size()), before);
}

// The options' usage errors, and merge's.
TEST(ledgercli, usage_errors) {
  const workbench &w = bench();
  const std::string ledger = w.dir.file("u.ledger");
  struct usagecase {
    arguments args;
    int status;
    std::string message;
  };
  const usagecase cases[] = {
      {w.sweep({"--resume"}), 2, "--resume needs --ledger"},
      {w.sweep({"--shard", "2/3"}), 2, "--shard needs --ledger"},
      {w.sweep({"--ledger", ledger, "--shard", "0/3"}), 2, "--shard"},
      {w.sweep({"--ledger", ledger, "--shard", "4/3"}), 2, "K must lie in 1 .. N"},
      {w.sweep({"--ledger", ledger, "--shard", "3"}), 2, "--shard takes K/N"},
      {w.sweep({"--ledger", ledger, "--replay", "0:1"}), 2, "--ledger has no effect with --replay"},
      {w.sweep({"--ledger", w.code}), 2, "same file"},
      {{"merge"}, 2, "expects one ledger"},
      {{"merge", ledger, "--text"}, 2, "unknown option --text"},
      {{"merge", w.dir.file("none.ledger")}, 1, "none.ledger"},
  };
  for (const usagecase &c : cases) {
    runresult r = run(tanner, c.args);
    EXPECT_EQ(r.status, c.status) << c.message << "\n" << r.err;
    EXPECT_TRUE(has(r.err, c.message)) << r.err;
    EXPECT_FALSE(fileexists(ledger)) << c.message;
  }
}

// A code whose bits are not each sent once: a run cut after its first
// blocks and resumed, and its merged ledger, give the whole run's outputs
// (the BER per counted bit); the same code with another pattern is another
// configuration.
TEST(ledgercli, punctured_codes_resume_merge_and_name_their_pattern) {
  const workbench &w = bench();
  const std::string ledger = w.dir.file("punct.ledger"), cut = w.dir.file("punct-cut.ledger");
  const arguments args = {"simulate", "standard", "nr", "--info", "40", "--length", "100", "--ebn0",
                          "1,3",      "--max-errors", "30", "--max-frames", "1000", "--threads", "2"};
  const outputs whole = runsweep(with(args, {"--ledger", ledger}), w.dir.file("p1"));
  ASSERT_EQ(whole.status, 0) << whole.err;
  const std::string lines = readfile(ledger);
  std::size_t end = 0;
  for (int k = 0; k < 3; ++k) end = lines.find('\n', end) + 1;
  writefile(cut, lines.substr(0, end));
  const outputs resumed = runsweep(with(args, {"--ledger", cut, "--resume"}), w.dir.file("p2"));
  EXPECT_EQ(resumed.status, 0) << resumed.err;
  expectsame(whole, resumed, "resumed");
  runresult merged = run(tanner, {"merge", ledger, "--json", w.dir.file("p3.json")});
  EXPECT_EQ(merged.status, 0) << merged.err;
  EXPECT_EQ(steady(readfile(w.dir.file("p3.json"))), steady(whole.json));
  arguments other = args;
  other[6] = "120";  // E: another bit selection of the same code block
  runresult r = run(tanner, with(other, {"--ledger", ledger, "--resume"}));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has(r.err, "of another configuration")) << r.err;
  // 8-bit messages decode otherwise: not the 16-bit run's ledger.
  r = run(tanner, with(args, {"--decoder", "nms", "--quantization", "8", "--ledger", ledger, "--resume"}));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has(r.err, "of another configuration")) << r.err;
}
