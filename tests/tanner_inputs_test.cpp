// tanner under hostile inputs: graphs with nothing to decode, sizes beyond
// memory, signals during a sweep, options that mean nothing, numbers that
// are not decimal, outputs that are inputs, standard output that cannot be
// written, analyses that cannot end, a proto-file given as a code, the
// defaults of long runs and progress when piped. Each case runs the real
// program and reads its status, messages and files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <string>
#include <vector>

#include "support.h"

using namespace testsupport;

namespace {

const std::string hamming = examples + "/hamming7.alist";
const std::string halfrate = examples + "/half-rate.proto";

using arguments = std::vector<std::string>;

arguments with(arguments base, const arguments &more) {
  base.insert(base.end(), more.begin(), more.end());
  return base;
}

std::size_t count(const std::string &text, const std::string &what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The lines of text that are rows of a simulate table (not comments).
std::vector<std::string> tablelines(const std::string &text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    if (!line.empty() && line[0] != '#') lines.push_back(line);
    at = end + 1;
  }
  return lines;
}

double seconds(const std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

// Graphs without variable nodes are refused with status 1 before the
// decoder allocates anything (it used to abort with status 134).
TEST(tanner_inputs, graphs_with_nothing_to_decode_are_refused) {
  tempdir dir;
  writefile(dir.file("none.alist"), "0 0\n0 0\n\n\n");
  writefile(dir.file("checks.alist"), "0 3\n0 0\n\n0 0 0\n");
  struct row {
    const char *file, *message;
  } rows[] = {
      {"none.alist", "the graph has no variable nodes (0 check nodes): there is nothing to decode"},
      {"checks.alist",
       "the graph has no variable nodes (3 check nodes): there is nothing to decode"},
  };
  for (const row &r : rows)
    for (const arguments &points : {arguments{"--sigma", "0.5"}, arguments{"--erasure", "0.1"},
                                    arguments{"--ebn0", "1", "--rate", "0.5"},
                                    arguments{"--sigma", "0.5", "--replay", "0:0"}}) {
      auto result = run(tanner, with({"simulate", dir.file(r.file)}, points));
      EXPECT_EQ(result.status, 1) << r.file << " " << points[0] << "\n" << result.err;
      EXPECT_NE(result.err.find(r.message), std::string::npos) << result.err;
      EXPECT_TRUE(result.out.empty()) << result.out;
    }
}

// PEG refuses sizes beyond int counts from the node counts, before it makes
// the list of degrees, and a size that fits the counts but not the memory
// ends with status 1, not an uncaught std::bad_alloc.
TEST(tanner_inputs, peg_sizes_are_checked_before_allocating) {
  struct row {
    const char *length;
    int status;
    const char *message;
  } rows[] = {
      {"800000000", 1,
       "800000000 variable nodes of these degrees have 2400000000 edges; at most 2147483647 fit"},
      {"715827883", 1,
       "715827883 variable nodes of these degrees have 2147483649 edges; at most 2147483647 fit"},
#ifndef __SANITIZE_ADDRESS__
      {"300000000", 1, "tanner: not sufficient memory for tanner construct"},
#endif
  };
  tempdir dir;
  for (const row &r : rows) {
    runlimits limits;
#ifndef __SANITIZE_ADDRESS__
    limits.addressspace = 3000000LL * 1024;
#endif
    const auto start = std::chrono::steady_clock::now();
    auto result = runlimited(tanner,
                             {"construct", "peg", "--vdeg", "3", "--vfrac", "1", "--length",
                              r.length, "--checks", "50", dir.file("peg.code")},
                             limits);
    EXPECT_EQ(result.status, r.status) << r.length << "\n" << result.err;
    EXPECT_NE(result.err.find(r.message), std::string::npos) << result.err;
    EXPECT_LT(seconds(start), 30.0) << r.length;
    EXPECT_FALSE(fileexists(dir.file("peg.code")));
  }
}

// A signal ends the sweep after the blocks in flight: the finished points
// are in the table, the JSON (marked interrupted) and the CSV, whole, and
// the status is 128 + the signal.
TEST(tanner_inputs, an_interrupted_sweep_writes_its_finished_points) {
  tempdir dir;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    runlimits limits;
    limits.signal = signal;
    limits.signaldelay = 1.2;
    auto result =
        runlimited(tanner,
                   {"simulate", hamming, "--ebn0", "0:20:1", "--max-seconds", "0.2", "--max-frames",
                    "1000000000000", "--max-errors", "1000000000000", "--all-points", "--threads",
                    "2", "--json", dir.file("i.json"), "--csv", dir.file("i.csv")},
                   limits);
    EXPECT_EQ(result.status, 128 + signal) << result.err;
    const std::vector<std::string> rows = tablelines(result.out);
    ASSERT_GE(rows.size(), 2u) << result.out;  // the header and a point at least
    const std::size_t points = rows.size() - 1;
    EXPECT_LT(points, 21u);
    const std::string json = readfile(dir.file("i.json"));
    EXPECT_NE(json.find("\"ended\": \"interrupted\", \"interrupted\": true"), std::string::npos)
        << json;
    EXPECT_EQ(count(json, "\"stopped\": \"time\""), points) << json;
    EXPECT_EQ(json.substr(json.size() - 3), "]}\n");
    const std::string csv = readfile(dir.file("i.csv"));
    EXPECT_EQ(count(csv, "\n"), points + 1) << csv;  // a header line and a line per point
    EXPECT_NE(result.err.find("tanner: interrupted by SIG"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("after " + std::to_string(points) + " of 21 points"),
              std::string::npos)
        << result.err;
  }
}

// An option that has no effect in the command given is a usage error, and
// so is an option given twice, so that no command depends on the order of
// its options; their useful forms pass.
TEST(tanner_inputs, options_without_effect_or_given_twice_are_usage_errors) {
  tempdir dir;
  const arguments code = {"simulate", hamming, "--max-frames", "64"};
  const arguments irregular = {"simulate",     "irregular", "--vdeg",  "3", "--vfrac",  "1",
                               "--cdeg",       "6",         "--cfrac", "1", "--length", "60",
                               "--max-frames", "64"};
  const arguments proto = {"simulate", "proto", halfrate, "--lift", "10", "--max-frames", "64"};
  const arguments bec = {"threshold", "--channel", "bec", "--vdeg",  "3", "--vfrac",
                         "1",         "--cdeg",    "6",   "--cfrac", "1"};
  const arguments awgnproto = {"threshold", "--channel", "awgn", halfrate};
  const arguments circulant = {"construct", "proto", halfrate, "--lift", "20", "--circulant"};
  struct row {
    arguments args;
    int status;
    const char *message;  // in standard error; "" for status 0
  } rows[] = {
      {with(code, {"--ebn0", "1", "--vdeg", "3"}), 2, "--vdeg applies to ensembles only"},
      {with(code, {"--ebn0", "1", "--lift", "5"}), 2, "--lift applies to ensembles only"},
      {with(code, {"--ebn0", "1", "--edge-fractions"}), 2, "--edge-fractions applies to ensembles"},
      {with(code, {"--ebn0", "1", "--frames-per-graph", "9"}), 2,
       "--frames-per-graph applies to ensembles"},
      {with(code, {"--ebn0", "1", "--graphs"}), 2, "--graphs applies to ensembles"},
      {with(code, {"--ebn0", "1", "--girth", "6"}), 2, "--girth applies to ensembles"},
      {with(code, {"--ebn0", "1", "--no-parallel"}), 2, "--no-parallel applies to ensembles"},
      {with(code, {"--ebn0", "1", "--alpha", "0.5"}), 2,
       "--alpha applies to --decoder nms only, not spa"},
      {with(code, {"--ebn0", "1", "--decoder", "nms", "--beta", "1"}), 2,
       "--beta applies to --decoder oms only, not nms"},
      {with(code, {"--ebn0", "1", "--decoder", "nms", "--alpha", "0.5"}), 0, ""},
      {with(code, {"--ebn0", "1", "--decoder", "oms", "--beta", "1"}), 0, ""},
      {with(code, {"--erasure", "0.1", "--rate", "0.5"}), 2,
       "--rate applies to --ebn0 and --sigma points only"},
      {with(code, {"--sigma", "0.5", "--rate", "0.5"}), 0, ""},
      {with(code, {"--ebn0", "1", "--replay", "0:0", "--json", dir.file("r.json")}), 2,
       "--json has no effect with --replay"},
      {with(code, {"--ebn0", "1", "--replay", "0:0", "--csv", dir.file("r.csv")}), 2,
       "--csv has no effect with --replay"},
      {with(code, {"--ebn0", "1", "--replay", "0:0", "--max-errors", "5"}), 0, ""},
      {with(code, {"--ebn0", "1", "--max-frames", "32"}), 2, "--max-frames is given twice"},
      {with(code, {"--ebn0", "1", "--ebn0", "2"}), 2, "give one of --ebn0, --sigma"},
      {with(irregular, {"--ebn0", "1", "--lift", "5"}), 2, "--lift applies to simulate proto only"},
      {with(irregular, {"--ebn0", "1", "--girth", "6", "--no-parallel"}), 2,
       "--no-parallel is --girth 4; give one of them"},
      {with(irregular, {"--ebn0", "1", "--no-parallel", "--girth", "6"}), 2,
       "--no-parallel is --girth 4; give one of them"},
      {with(proto, {"--ebn0", "1", "--length", "5"}), 2,
       "--length applies to simulate irregular only"},
      {with(proto, {"--ebn0", "1", "--vdeg", "3"}), 2, "--vdeg applies to simulate irregular only"},
      {with(bec, {"--alpha", "7"}), 2, "--alpha has no effect here"},
      {with(bec, {"--precision", "0.01"}), 2, "--precision has no effect here"},
      {with(bec, {"--tolerance", "0.01"}), 2, "--tolerance has no effect here"},
      {with(bec, {"--step", "0.1"}), 2, "--step has no effect here"},
      {with(awgnproto, {"--beta", "0.5"}), 2, "--beta has no effect here"},
      {with(awgnproto, {"--range", "20"}), 2, "--range has no effect here"},
      {with(awgnproto, {"--decoder", "oms", "--alpha", "0.5"}), 2, "--alpha has no effect here"},
      {with(awgnproto, {"--precision", "0.1", "--precision", "0.2"}), 2,
       "--precision is given twice"},
      {with(circulant, {"--girth", "8", "--no-parallel", dir.file("c.code")}), 2,
       "--no-parallel is --girth 4"},
      {with(circulant, {"--no-parallel", "--girth", "8", dir.file("c.code")}), 2,
       "--no-parallel is --girth 4"},
      {with(circulant, {"--seed", "1", "--seed", "2", dir.file("c.code")}), 2,
       "--seed is given twice"},
  };
  for (const row &r : rows) {
    auto result = run(tanner, r.args);
    std::string line;
    for (const std::string &a : r.args) line += a + " ";
    EXPECT_EQ(result.status, r.status) << line << "\n" << result.err;
    if (r.status != 0) {
      EXPECT_NE(result.err.find(r.message), std::string::npos) << line << "\n" << result.err;
      EXPECT_TRUE(result.out.empty()) << line;
    }
  }
  // The circulant lifting asked for girth 8 has girth 8 (the order that
  // once gave girth 4 is now refused above).
  ASSERT_EQ(run(tanner, with(circulant, {"--girth", "8", dir.file("c.code")})).status, 0);
  EXPECT_NE(run(tanner, {"stats", dir.file("c.code")}).out.find("girth           8\n"),
            std::string::npos);
}

// Numbers are decimal: no hexadecimal, inf, nan or blanks, in every
// command that reads them.
TEST(tanner_inputs, numbers_are_decimal_only) {
  struct row {
    const char *value;
    int status;
  } rows[] = {
      {"0.5", 0},   {"+0.5", 0},   {".5", 0},  {"5e-1", 0},  {"0.5E+0", 0},   {"1.", 0},
      {"0x10", 2},  {"0x1p-1", 2}, {"inf", 2}, {"nan", 2},   {"infinity", 2}, {" 0.5", 2},
      {"0.5 ", 2},  {"", 2},       {"1e", 2},  {"e1", 2},    {"--", 2},       {"0.5,0x1", 2},
      {"1e999", 2}, {".", 2},      {"+-1", 2}, {"1.2.3", 2},
  };
  for (const row &r : rows) {
    auto simulated = run(tanner, {"simulate", hamming, "--sigma", r.value, "--max-frames", "64"});
    EXPECT_EQ(simulated.status, r.status) << "'" << r.value << "'\n" << simulated.err;
    auto threshold =
        run(tanner, {"threshold", "--channel", "bec", halfrate, "--precision",
                     std::string(r.value).find(',') == std::string::npos ? r.value : "x"});
    if (r.status == 2) {
      EXPECT_EQ(threshold.status, 2) << r.value;
    }
  }
  auto hex = run(tanner, {"simulate", hamming, "--ebn0", "0x10"});
  EXPECT_NE(hex.err.find("--ebn0 takes a decimal number, not '0x10'"), std::string::npos)
      << hex.err;
}

// The table keeps its width for any value, and a list of points beyond the
// limit names the limit.
TEST(tanner_inputs, table_width_and_the_points_limit) {
  for (const arguments &points :
       {arguments{"--sigma", "0.5,1e300,123456.789,1e-300"},
        arguments{"--ebn0", "-1e300,1e300,-12345.678,3"}, arguments{"--erasure", "0,1e-300,0.5"}}) {
    auto result =
        run(tanner, with({"simulate", hamming, "--max-frames", "64", "--all-points"}, points));
    ASSERT_EQ(result.status, 0) << result.err;
    const std::vector<std::string> lines = tablelines(result.out);
    ASSERT_EQ(lines.size(), 1 + std::count(points[1].begin(), points[1].end(), ',') + 1u)
        << result.out;
    for (const std::string &line : lines) EXPECT_EQ(line.size(), lines[0].size()) << line;
  }
  struct row {
    const char *list;
    int status;
    const char *message;
  } rows[] = {
      {"1:1e6:1", 2, "--ebn0 1:1e6:1 gives 1000000 points; a run takes at most 100000"},
      {"0:100000:1", 2, "gives 100001 points; a run takes at most 100000"},
      {"0:99999:1", 0, ""},
      {"3:1:0.5", 2, "STEP must be positive, STOP not below START"},
  };
  for (const row &r : rows) {
    // --replay decodes one frame: the list is parsed and checked, not run.
    auto result = run(tanner, {"simulate", hamming, "--ebn0", r.list, "--replay", "0:0"});
    EXPECT_EQ(result.status, r.status) << r.list << "\n" << result.err;
    EXPECT_NE(result.err.find(r.message), std::string::npos) << result.err;
  }
}

// An output that is the same file as an input or as another output is
// refused, by device and inode: other spellings, symbolic and hard links.
// Devices take any number of outputs.
TEST(tanner_inputs, outputs_that_are_inputs_are_refused) {
  tempdir dir;
  const std::string victim = dir.file("victim.code");
  ASSERT_EQ(run(tanner, {"convert", hamming, victim}).status, 0);
  const std::string original = readfile(victim);
  writefile(dir.file("v.proto"), readfile(halfrate));
  writefile(dir.file("d.txt"), "2\n2\n3\n");
  writefile(dir.file("s.txt"), "0 1 2 3\n1 2 3 4\n");
  ASSERT_EQ(symlink(victim.c_str(), dir.file("link.code").c_str()), 0);
  ASSERT_EQ(link(victim.c_str(), dir.file("hard.code").c_str()), 0);
  const std::string dotted = dir.path + "/./sub/../victim.code";
  ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0755), 0);
  struct row {
    arguments args;
    int status;
    const char *message;
  } rows[] = {
      {{"simulate", victim, "--ebn0", "1", "--json", victim}, 2, "is the same file as the code"},
      {{"simulate", victim, "--ebn0", "1", "--csv", dir.file("link.code")},
       2,
       "is the same file as the code"},
      {{"simulate", victim, "--ebn0", "1", "--csv", dir.file("hard.code")},
       2,
       "is the same file as the code"},
      {{"simulate", dir.file("link.code"), "--ebn0", "1", "--json", dotted},
       2,
       "is the same file as the code"},
      {{"simulate", "proto", dir.file("v.proto"), "--lift", "5", "--ebn0", "1", "--json",
        dir.file("v.proto")},
       2,
       "the proto-file"},
      {{"simulate", victim, "--ebn0", "1", "--json", dir.file("f"), "--csv", dir.path + "/./f"},
       2,
       "--csv "},
      {{"construct", "proto", dir.file("v.proto"), "--lift", "5", dir.file("v.proto")},
       2,
       "is the same file as the proto-file"},
      {{"construct", "proto", dir.file("v.proto"), "--lift", "5", "--circulant",
        dir.file("v.proto")},
       2,
       "the proto-file"},
      {{"construct", "proto", "--shifts", dir.file("s.txt"), "--lift", "5", dir.file("s.txt")},
       2,
       "is the same file as --shifts"},
      {{"construct", "peg", "--degrees", dir.file("d.txt"), "--checks", "2", dir.file("d.txt")},
       2,
       "is the same file as --degrees"},
      {{"export", victim, victim}, 2, "is the same file as the input"},
      {{"export", victim, dir.file("hard.code")}, 2, "is the same file as the input"},
      {{"convert", hamming, hamming}, 2, "is the same file as the input"},
      {{"simulate", victim, "--ebn0", "1", "--max-frames", "64", "--json", "/dev/null", "--csv",
        "/dev/null"},
       0,
       ""},
  };
  const std::string proto = readfile(dir.file("v.proto")), degrees = readfile(dir.file("d.txt")),
                    shifts = readfile(dir.file("s.txt"));
  for (const row &r : rows) {
    auto result = run(tanner, r.args);
    EXPECT_EQ(result.status, r.status) << r.args[0] << " " << r.args.back() << "\n" << result.err;
    EXPECT_NE(result.err.find(r.message), std::string::npos) << result.err;
    EXPECT_EQ(readfile(victim), original);
    EXPECT_EQ(readfile(dir.file("v.proto")), proto);
    EXPECT_EQ(readfile(dir.file("d.txt")), degrees);
    EXPECT_EQ(readfile(dir.file("s.txt")), shifts);
    EXPECT_FALSE(fileexists(dir.file("f")));
  }
}

// Standard output that cannot be written stops the work at the first
// failed write, with the real reason; /dev/stdout on a pipe is written to.
TEST(tanner_inputs, standard_output_faults_and_dev_stdout_on_a_pipe) {
  const arguments endless = {
      "simulate",     hamming,         "--ebn0",        "1", "--max-frames", "1000000000000",
      "--max-errors", "1000000000000", "--max-seconds", "0"};
  struct row {
    arguments args;
    bool close;
    const char *reason;
  } rows[] = {
      {endless, false, "tanner: cannot write standard output: No space left on device"},
      {endless, true, "tanner: cannot write standard output: Bad file descriptor"},
      {{"stats", hamming}, false, "tanner: cannot write standard output: No space left on device"},
      {{"threshold", "--channel", "bec", halfrate},
       true,
       "tanner: cannot write standard output: Bad file descriptor"},
  };
  for (const row &r : rows) {
    runlimits limits;
    if (r.close)
      limits.closestdout = true;
    else
      limits.stdoutto = "/dev/full";
    const auto start = std::chrono::steady_clock::now();
    auto result = runlimited(tanner, r.args, limits);
    EXPECT_EQ(result.status, 1) << r.args[0] << "\n" << result.err;
    EXPECT_NE(result.err.find(r.reason), std::string::npos) << r.args[0] << "\n" << result.err;
    EXPECT_LT(seconds(start), 30.0);
  }
  runlimits piped;
  piped.pipestdout = true;
  auto json = runlimited(
      tanner,
      {"simulate", hamming, "--sigma", "0.6", "--max-frames", "64", "--json", "/dev/stdout"},
      piped);
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_NE(json.out.find("\n{\"config\": {\"code\": "), std::string::npos) << json.out;
  auto converted = runlimited(alistconv, {hamming, "/dev/stdout"}, piped);
  EXPECT_EQ(converted.status, 0) << converted.err;
  EXPECT_EQ(converted.out.rfind("/****", 0), 0u) << converted.out;
}

// Bisections that could not end and punctures beyond every rate are
// refused at once.
TEST(tanner_inputs, threshold_refuses_what_cannot_end_or_has_no_rate) {
  const arguments regular = {"--vdeg", "3", "--vfrac", "1", "--cdeg", "6", "--cfrac", "1"};
  struct row {
    arguments args;
    const char *message;
  } rows[] = {
      {with({"threshold", "--channel", "awgn", "--method", "ga", "--precision", "1e-16"}, regular),
       "precision 1e-16 is finer than the bisection can reach"},
      {{"threshold", "--channel", "bec", halfrate, "--precision", "1e-17"},
       "precision 1e-17 is finer"},
      {with({"threshold", "--channel", "awgn", "--method", "de", "--precision", "1e-18"}, regular),
       "precision 1e-18 is finer"},
      {{"threshold", "--channel", "bec", halfrate, "--punctured", "0,1,2"},
       "the design rate 2 lies outside (0, 1): 3 punctured of 4 variable nodes"},
      {{"threshold", "--channel", "awgn", halfrate, "--punctured", "0,1,2"},
       "the design rate 2 lies outside (0, 1)"},
      {{"threshold", "--channel", "bec", halfrate, "--punctured", "0,1"},
       "the design rate 1 lies outside (0, 1)"},
  };
  for (const row &r : rows) {
    const auto start = std::chrono::steady_clock::now();
    auto result = run(tanner, r.args);
    EXPECT_EQ(result.status, 2) << r.message << "\n" << result.err;
    EXPECT_NE(result.err.find(r.message), std::string::npos) << result.err;
    EXPECT_LT(seconds(start), 10.0) << r.message;
  }
}

// A proto-file where a code is expected is named as one, with what to type.
TEST(tanner_inputs, a_proto_file_given_as_a_code_is_named) {
  tempdir dir;
  struct row {
    arguments args;
    const char *hint;
  } rows[] = {
      {{"simulate", halfrate, "--ebn0", "1"}, "type 'tanner simulate proto "},
      {{"stats", halfrate}, "build a code from it with 'tanner construct proto "},
      {{"dump", halfrate}, "build a code from it"},
      {{"export", halfrate, dir.file("x.alist")}, "build a code from it"},
  };
  for (const row &r : rows) {
    auto result = run(tanner, r.args);
    EXPECT_EQ(result.status, 1) << r.args[0];
    EXPECT_NE(result.err.find("half-rate.proto: this is a proto-file (a protograph), not a code; "),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find(r.hint), std::string::npos) << result.err;
  }
  // A malformed code file stays a malformed code file.
  writefile(dir.file("bad.code"), "/* open comment");
  auto bad = run(tanner, {"stats", dir.file("bad.code")});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.err.find("proto-file"), std::string::npos) << bad.err;
}

// The defaults of long runs: a sweep stops after a point without frame
// errors (--all-points runs on), every point says why it stopped, and the
// decoder defaults are those of threshold.
TEST(tanner_inputs, defaults_for_long_runs) {
  tempdir dir;
  auto stopped = run(tanner, {"simulate", hamming, "--crossover", "0.1,0,0.05", "--max-frames",
                              "640", "--json", dir.file("d.json")});
  ASSERT_EQ(stopped.status, 0) << stopped.err;
  EXPECT_EQ(tablelines(stopped.out).size(), 3u) << stopped.out;
  EXPECT_NE(
      stopped.out.find(
          "# sweep ended after point 2 of 3: no frame errors (--all-points runs every point)"),
      std::string::npos)
      << stopped.out;
  const std::string json = readfile(dir.file("d.json"));
  for (const char *key : {"\"maxseconds\": 60", "\"allpoints\": false", "\"alpha\": 0.8",
                          "\"beta\": 0.25", "\"ended\": \"noerrors\"", "\"interrupted\": false",
                          "\"stopped\": \"errors\"", "\"stopped\": \"frames\""})
    EXPECT_NE(json.find(key), std::string::npos) << key << "\n" << json;
  auto every = run(tanner, {"simulate", hamming, "--crossover", "0.1,0,0.05", "--max-frames", "640",
                            "--all-points"});
  EXPECT_EQ(tablelines(every.out).size(), 4u) << every.out;
  EXPECT_EQ(every.out.find("# sweep ended"), std::string::npos);
  auto nms = run(tanner,
                 {"simulate", hamming, "--sigma", "0.6", "--max-frames", "64", "--decoder", "nms"});
  EXPECT_NE(nms.out.find("# decoder nms alpha 0.8,"), std::string::npos) << nms.out;
  auto threshold =
      run(tanner, {"threshold", "--channel", "awgn", "--decoder", "oms", "--vdeg", "3", "--vfrac",
                   "1", "--cdeg", "6", "--cfrac", "1", "--step", "0.05", "--precision", "0.05"});
  EXPECT_NE(threshold.out.find("offset min-sum (beta 0.25)"), std::string::npos) << threshold.out;
  auto help = run(tanner, {"simulate", "--help"});
  EXPECT_NE(help.out.find("stalls on codes with many degree-2 nodes"), std::string::npos);
}

// With --progress, progress lines go to a standard error that is not a
// terminal, for a sweep (its counts so far) and for an analysis (its
// percentage); without it, nothing.
TEST(tanner_inputs, progress_when_piped) {
  const arguments sweep = {"simulate",      hamming,        "--sigma",      "0.5",
                           "--max-seconds", "0.5",          "--max-frames", "1000000000000",
                           "--max-errors",  "1000000000000"};
  auto quiet = run(tanner, sweep);
  ASSERT_EQ(quiet.status, 0) << quiet.err;
  EXPECT_TRUE(quiet.err.empty()) << quiet.err;
  auto shown = run(tanner, with(sweep, {"--progress"}));
  ASSERT_EQ(shown.status, 0) << shown.err;
  EXPECT_EQ(shown.err.rfind("point 1 of 1 (sigma 0.5): ", 0), 0u) << shown.err;
  EXPECT_NE(shown.err.find(" frames, "), std::string::npos) << shown.err;
  EXPECT_NE(shown.err.find(" s left\n"), std::string::npos) << shown.err;
  EXPECT_EQ(shown.err.find('\r'), std::string::npos);
  // An analysis of a few seconds (the first line comes after one).
#ifdef __SANITIZE_ADDRESS__
  const char *step = "0.05";
#else
  const char *step = "0.005";  // some seconds even on a quiet machine
#endif
  auto analysis = run(
      tanner, {"threshold", "--channel", "awgn", "--decoder", "nms", "--vdeg", "3", "--vfrac", "1",
               "--cdeg", "6", "--cfrac", "1", "--step", step, "--precision", "0.01", "--progress"});
  ASSERT_EQ(analysis.status, 0) << analysis.err;
  EXPECT_NE(analysis.err.find("threshold bisection: "), std::string::npos) << analysis.err;
  EXPECT_NE(analysis.err.find("%\n"), std::string::npos) << analysis.err;
}
