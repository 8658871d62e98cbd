// tanner simulate --ledger, --resume, --shard and tanner merge through the
// real program: a run interrupted by each signal and resumed, a run of
// time-limited points resumed from its complete ledger, a torn last line,
// shards merged, short and missing shards, bad ledgers refused with file and
// line, two writers of one ledger, and the options' usage errors; runs of
// the transmit chain (random codewords over 16-QAM) interrupted, resumed,
// sharded and merged, and ledgers written before the chain's fields
// resumed. The
// oracle is always the uninterrupted one-process run of the same command:
// its table, JSON and CSV byte for byte, Mb/s aside (wall clock).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ldpcgraph_version.h"
#include "support.h"

using namespace testsupport;

namespace {

using arguments = std::vector<std::string>;

arguments with(arguments base, const arguments &more) {
  base.insert(base.end(), more.begin(), more.end());
  return base;
}

bool has(const std::string &text, const std::string &what) {
  return text.find(what) != std::string::npos;
}

// The run ended with status 1 and a message that says what.
testing::AssertionResult refused(const runresult &r, const std::string &what) {
  if (r.status == 1 && has(r.err, what)) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "status " << r.status << ", message: " << r.err;
}

// Output with the wall-clock figures blanked: the table's Mb/s column
// (after the stop reason; the last one unless information-bit columns
// follow), the JSON's "mbps" and the CSV's last column.
std::string steady(const std::string &text) {
  static const std::regex mbps("\"mbps\": [^,}]+"), column("[ ,]+[-0-9.e+]+\n"),
      rate("(errors|frames|time) +[-0-9.e+]+");
  return std::regex_replace(
      std::regex_replace(std::regex_replace(text, mbps, "\"mbps\": _"), rate, "$1 _"), column,
      " _\n");
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
    arguments args = {"simulate",     code,        "--ebn0",        "1:4:1",
                      "--decoder",    "nms",       "--max-errors",  l.maxerrors,
                      "--max-frames", l.maxframes, "--max-seconds", l.maxseconds,
                      "--threads",    "2"};
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

// Runs args as shards 1/n .. n/n, shard K writing the ledger stem + "K.ledger"
// in the work folder; the ledgers' paths are appended to ledgers.
void runshards(const arguments &args, int n, const std::string &stem,
               std::vector<std::string> *ledgers) {
  for (int k = 1; k <= n; ++k) {
    ledgers->push_back(bench().dir.file(stem + std::to_string(k) + ".ledger"));
    runresult r = run(tanner, with(args, {"--shard", std::to_string(k) + "/" + std::to_string(n),
                                          "--ledger", ledgers->back()}));
    ASSERT_EQ(r.status, 0) << r.err;
  }
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
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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
      const std::string what = "chain " + std::to_string(chain) + " round " +
                               std::to_string(round) + ": signal " + std::to_string(signal) +
                               " after " + std::to_string(limits.signaldelay) + " s";
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
  const sweeplimits limits{.maxseconds = "0.05"};
  const arguments timed = w.sweep({"--ledger", ledger}, limits);
  const outputs first = runsweep(timed, w.dir.file("t1"));
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_TRUE(has(first.json, "\"stopped\": \"time\"")) << first.json;
  EXPECT_TRUE(has(readfile(ledger), "\"giveup\":")) << readfile(ledger);
  const outputs again = runsweep(with(timed, {"--resume"}), w.dir.file("t2"));
  EXPECT_EQ(again.status, 0) << again.err;
  expectsame(first, again, "resumed");
  runresult merged = run(
      tanner, {"merge", ledger, "--json", w.dir.file("t3.json"), "--csv", w.dir.file("t3.csv")});
  EXPECT_EQ(merged.status, 0) << merged.err;
  expectsame(first,
             {0, merged.out, readfile(w.dir.file("t3.json")), readfile(w.dir.file("t3.csv")), ""},
             "merged");
}

// Shards 1/3, 2/3, 3/3 with --max-errors and --min-fer ending points and the
// sweep, merged in any order, give the one-process run; a missing shard and
// a shard cut short are named.
TEST(ledgercli, shards_merged_equal_the_one_process_run) {
  const workbench &w = bench();
  const sweeplimits limits{.maxerrors = "150", .allpoints = false};
  const arguments run1 = w.sweep({"--min-fer", "5e-2"}, limits);
  const outputs reference = runsweep(run1, w.dir.file("one"));
  ASSERT_EQ(reference.status, 0) << reference.err;
  ASSERT_TRUE(has(reference.table, "FER below --min-fer")) << reference.table;
  std::vector<std::string> ledgers;
  ASSERT_NO_FATAL_FAILURE(runshards(run1, 3, "shard", &ledgers));
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
  EXPECT_TRUE(refused(missing, "the ledger of shard 2/3 is missing"));
  // Shard 3 cut to its header and first blocks, as if its job had ended.
  const std::string text = readfile(ledgers[2]);
  std::size_t cut = 0;
  for (int line = 0; line < 3; ++line) cut = text.find('\n', cut) + 1;
  const std::string shortledger = w.dir.file("short.ledger");
  writefile(shortledger, text.substr(0, cut));
  runresult shortrun = run(tanner, {"merge", ledgers[0], ledgers[1], shortledger});
  EXPECT_TRUE(refused(shortrun, "short.ledger (shard 3/3)"));
  EXPECT_TRUE(has(shortrun.err, "resume that shard")) << shortrun.err;
}

// What is not a ledger of this run is refused, naming the file and line,
// by --resume and by tanner merge alike; nothing is written.
TEST(ledgercli, bad_ledgers_are_refused_with_file_and_line) {
  const workbench &w = bench();
  const std::string good = w.dir.file("good.ledger");
  const sweeplimits limits{.maxframes = "640"};
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
  const std::string end =
      ":" + std::to_string(std::count(text.begin(), text.end(), '\n') + 1) + ": ";
  const badcase cases[] = {
      {"not a ledger", "hello\n" + text.substr(header), ":1: "},
      {"a line that does not parse", text.substr(0, second) + "{\"point\":\n" + text.substr(second),
       ":3: "},
      {"a block out of range",
       text + "{\"point\":9,\"block\":0,\"frames\":64,\"frameerrors\":0,"
              "\"biterrors\":0,\"undetected\":0,\"iterations\":64,\"seconds\":0.1}\n",
       end + "point 9 is out of range"},
      {"a block twice with other counts",
       text + std::regex_replace(line2, std::regex("\"iterations\":[0-9]+"), "\"iterations\":1"),
       end + "block 0 of point 0 again, with other counts than on line 2"},
      {"a changed header",
       std::regex_replace(text.substr(0, header), std::regex("\"seed\":1"), "\"seed\":2") +
           text.substr(header),
       ":1: "},
  };
  for (const badcase &c : cases) {
    const std::string bad = w.dir.file("bad.ledger");
    writefile(bad, c.contents);
    runresult r = run(tanner, w.sweep({"--ledger", bad, "--resume"}, limits));
    EXPECT_TRUE(refused(r, "bad.ledger" + c.message)) << c.what;
    EXPECT_EQ(r.out, "") << c.what;
    EXPECT_EQ(readfile(bad), c.contents) << c.what;
    runresult m = run(tanner, {"merge", bad});
    EXPECT_TRUE(refused(m, "bad.ledger" + c.message)) << c.what;
  }
  // Another configuration of a sound ledger: the difference is named.
  arguments other = with(args, {"--resume", "--seed", "2"});
  runresult r = run(tanner, other);
  EXPECT_TRUE(refused(r, "of another configuration: seed"));
  // A ledger that exists is not started again without --resume.
  r = run(tanner, args);
  EXPECT_TRUE(refused(r, "good.ledger"));
}

// A second run writing a ledger that a running one holds is refused, and
// so is a merge reading it (its blocks are still coming); the first goes on
// undisturbed and ends by its signal.
TEST(ledgercli, a_second_writer_of_a_ledger_is_refused) {
  const workbench &w = bench();
  const std::string ledger = w.dir.file("locked.ledger");
  const sweeplimits endless{.maxerrors = "1000000000", .maxframes = "1000000000"};
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
  EXPECT_TRUE(refused(second, "locked"));
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
  const arguments args = {"simulate", "standard",     "nr",     "--info",    "40",
                          "--length", "100",          "--ebn0", "1,3",       "--max-errors",
                          "30",       "--max-frames", "1000",   "--threads", "2"};
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
  EXPECT_TRUE(refused(r, "of another configuration"));
  // 8-bit messages decode otherwise: not the 16-bit run's ledger.
  r = run(tanner,
          with(args, {"--decoder", "nms", "--quantization", "8", "--ledger", ledger, "--resume"}));
  EXPECT_TRUE(refused(r, "of another configuration"));
  // Nor is sum-product's fast approximation the exact rule's run.
  r = run(tanner, with(args, {"--spa-approximation", "fast", "--ledger", ledger, "--resume"}));
  EXPECT_TRUE(refused(r, "of another configuration"));
}

// A run of the transmit chain (random codewords over 16-QAM, whose
// information-bit errors are counted): interrupted by SIGTERM and resumed
// until it finishes, and run as shards 1/2 and 2/2 merged, it gives the
// uninterrupted run's table, JSON and CSV, information-bit errors
// included; its ledger names the chain and refuses a run with another
// setting of it, naming the setting.
TEST(ledgercli, transmit_chain_runs_resume_and_merge_as_one_process) {
  const workbench &w = bench();
  auto chain = [&](const arguments &more) {
    return with({"simulate", w.code, "--ebn0", "2:8:2", "--decoder", "nms", "--max-errors", "1000",
                 "--max-frames", "200000", "--max-seconds", "0", "--threads", "2", "--all-points",
                 "--codeword", "random"},
                more);
  };
  const arguments qam = chain({"--modulation", "16qam"});
  const auto start = std::chrono::steady_clock::now();
  const outputs reference = runsweep(qam, w.dir.file("qref"));
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_EQ(reference.status, 0) << reference.err;
  ASSERT_TRUE(has(reference.json, "\"infobiterrors\": ")) << reference.json;
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("moments drawn with seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> moment(0.05, 0.6);
  const std::string ledger = w.dir.file("qam.ledger");
  int interrupted = 0;
  outputs last;
  for (int round = 0; round < 6; ++round) {
    runlimits limits;
    limits.signal = round < 5 ? SIGTERM : 0;
    limits.signaldelay = moment(random) * seconds;
    arguments args = with(qam, {"--ledger", ledger});
    if (round > 0) args.push_back("--resume");
    last = runsweep(args, w.dir.file("qcut"), limits);
    if (last.status == 0) break;
    EXPECT_EQ(last.status, 128 + SIGTERM) << "round " << round << "\n" << last.err;
    ++interrupted;
  }
  EXPECT_EQ(last.status, 0) << last.err;
  EXPECT_GT(interrupted, 0) << "no run was interrupted";
  expectsame(reference, last, "resumed");
  const std::string text = readfile(ledger);
  for (const char *key :
       {"\"codeword\":\"random\"", "\"modulation\":\"16qam\"", "\"demapper\":\"exact\"",
        "\"fading\":\"none\"", "\"interleave\":\"none\"", "\"infobits\":48}"})
    EXPECT_TRUE(has(text.substr(0, text.find('\n')), key)) << key;
  std::istringstream lines(text.substr(text.find('\n') + 1));
  for (std::string line; std::getline(lines, line);)
    EXPECT_TRUE(has(line, ",\"infobiterrors\":")) << line;

  std::vector<std::string> shards;
  ASSERT_NO_FATAL_FAILURE(runshards(qam, 2, "qshard", &shards));
  for (const arguments &merge :
       {arguments{"merge", shards[0], shards[1]}, arguments{"merge", shards[1], shards[0]},
        arguments{"merge", ledger}}) {
    const std::string json = w.dir.file("qm.json"), csv = w.dir.file("qm.csv");
    runresult r = run(tanner, with(merge, {"--json", json, "--csv", csv}));
    EXPECT_EQ(r.status, 0) << r.err;
    expectsame(reference, {0, r.out, readfile(json), readfile(csv), ""}, "merge of " + merge[1]);
  }

  // Another setting of the chain is another configuration, named.
  const struct {
    arguments more;
    std::string difference;
  } others[] = {
      {{"--modulation", "64qam"},
       "modulation is \"16qam\" in " + ledger + " and \"64qam\" in this run"},
      {{"--modulation", "16qam", "--demapper", "maxlog"}, "demapper is \"exact\""},
      {{"--modulation", "16qam", "--interleave"}, "interleave is \"none\""},
      {{"--modulation", "16qam", "--fading", "block:4"}, "fading is \"none\""},
      {{"--modulation", "qpsk"}, "modulation is \"16qam\""},
      {{}, "modulation is \"16qam\" in " + ledger + " and \"bpsk\""},
  };
  for (const auto &o : others) {
    runresult r = run(tanner, with(chain(o.more), {"--ledger", ledger, "--resume"}));
    EXPECT_TRUE(refused(r, "of another configuration: " + o.difference)) << o.difference;
    EXPECT_EQ(readfile(ledger), text) << o.difference;
  }
  // A shard of the chain does not merge with a ledger of the all-zero word.
  const std::string plain = w.dir.file("qplain.ledger");
  const sweeplimits limits{.maxframes = "640"};
  ASSERT_EQ(run(tanner, w.sweep({"--ledger", plain}, limits)).status, 0);
  runresult mixed = run(tanner, {"merge", shards[0], plain});
  EXPECT_TRUE(refused(mixed, "qplain.ledger"));
}

// A run of the all-zero word over BPSK writes the header (configuration
// and hash) that it wrote before ledgers knew the transmit chain, and a
// ledger of that format (its block lines without information-bit errors)
// resumes to the uninterrupted run.
TEST(ledgercli, ledgers_of_bpsk_runs_keep_their_format_and_resume) {
  const workbench &w = bench();
  const sweeplimits limits{.maxframes = "256"};
  const std::string fresh = w.dir.file("fresh.ledger"), old = w.dir.file("old.ledger");
  const outputs reference = runsweep(w.sweep({}, limits), w.dir.file("bref"));
  ASSERT_EQ(reference.status, 0) << reference.err;
  const outputs written = runsweep(w.sweep({"--ledger", fresh}, limits), w.dir.file("bfresh"));
  ASSERT_EQ(written.status, 0) << written.err;
  // The configuration as the earlier format wrote it for this very run, and
  // its FNV-1a 64 hash.
  const std::string config =
      "{\"software\":\"ldpcgraph " LDPCGRAPH_VERSION
      "\",\"seed\":1,\"points\":[0.8912509381337456,"
      "0.7943282347242815,0.7079457843841379,0.6309573444801932],\"length\":96,\"iterations\":50,"
      "\"maxerrors\":400,\"maxframes\":256,\"minfer\":0.0,\"graphframes\":0,\"blockframes\":64,"
      "\"code\":\"055443400d0f5aac\",\"channel\":\"awgn\",\"decoder\":\"nms\",\"schedule\":"
      "\"flooding\","
      "\"alpha\":0.8,\"earlystop\":true,\"allpoints\":true}";
  std::uint64_t h = 14695981039346656037ULL;
  for (unsigned char c : config) h = (h ^ c) * 1099511628211ULL;
  char hash[17];
  std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(h));
  const std::string text = readfile(fresh);
  const std::string header = text.substr(0, text.find('\n') + 1);
  EXPECT_EQ(
      header.substr(0, header.find(",\"info\":")),
      "{\"ledger\":1,\"hash\":\"" + std::string(hash) + "\",\"shard\":[1,1],\"config\":" + config);
  // Block lines of the earlier format, as it wrote them for this run.
  const std::string blocks =
      "{\"point\":0,\"block\":0,\"frames\":64,\"frameerrors\":41,\"biterrors\":524,\"undetected\":"
      "0,\"iterations\":2208,\"seconds\":0.000203}\n"
      "{\"point\":0,\"block\":2,\"frames\":64,\"frameerrors\":42,\"biterrors\":508,\"undetected\":"
      "0,\"iterations\":2398,\"seconds\":0.000145}\n"
      "{\"point\":0,\"block\":1,\"frames\":64,\"frameerrors\":36,\"biterrors\":457,\"undetected\":"
      "0,\"iterations\":2001,\"seconds\":0.000204}\n"
      "{\"point\":0,\"block\":3,\"frames\":64,\"frameerrors\":30,\"biterrors\":394,\"undetected\":"
      "0,\"iterations\":1771,\"seconds\":0.000270}\n"
      "{\"point\":1,\"block\":1,\"frames\":64,\"frameerrors\":10,\"biterrors\":123,\"undetected\":"
      "0,\"iterations\":882,\"seconds\":0.000133}\n";
  static const std::regex seconds(",\"seconds\":[0-9.]+\\}");
  for (std::size_t at = 0; at < blocks.size(); at = blocks.find('\n', at) + 1) {
    const std::string line = blocks.substr(at, blocks.find('\n', at) - at);
    EXPECT_TRUE(has(std::regex_replace(text, seconds, "}"), std::regex_replace(line, seconds, "}")))
        << line;
  }
  writefile(old, header + blocks);
  const outputs resumed =
      runsweep(w.sweep({"--ledger", old, "--resume"}, limits), w.dir.file("bold"));
  EXPECT_EQ(resumed.status, 0) << resumed.err;
  expectsame(reference, resumed, "the earlier ledger resumed");
  EXPECT_EQ(readfile(old).find("infobiterrors"), std::string::npos);
  runresult merged = run(tanner, {"merge", old, "--json", w.dir.file("bm.json")});
  EXPECT_EQ(merged.status, 0) << merged.err;
  EXPECT_EQ(steady(readfile(w.dir.file("bm.json"))), steady(reference.json));
}
