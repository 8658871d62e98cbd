// What every program promises through the process: refusals instead of
// aborts, failures of standard output reported, option values checked, one
// seed syntax, either graph format read, messages naming path and reason,
// one version.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ldpcgraph_version.h"
#include "support.h"

using namespace testsupport;

namespace {

// program args with standard output redirected by the shell: "> /dev/full"
// or ">&-" (closed).
testsupport::runresult runredirected(const std::string &redirect, const std::string &program,
                                     std::vector<std::string> args) {
  args.insert(args.begin(), {"-c", "exec \"$0\" \"$@\" " + redirect, program});
  return run("/bin/sh", args);
}

std::vector<std::string> regular(const std::string &vdeg, const std::string &cdeg, int length,
                                 const std::string &out) {
  return {"construct", "irregular", "--vdeg",  vdeg, "--vfrac",  "1",
          "--cdeg",    cdeg,        "--cfrac", "1",  "--length", std::to_string(length),
          out};
}

const char protohead[] = "/* a protograph */\n/* counts */\n";

}  // namespace

// Distributions whose balancing cannot close are refused with status 1, a
// reason and the nearest lengths, and those lengths do build.
TEST(programs, unbuildable_distributions_are_refused_with_the_lengths_that_work) {
  tempdir dir;
  struct {
    const char *vdeg, *cdeg;
    int length, below, above;
    const char *why;
  } cases[] = {
      {"3", "6", 999, 998, 1000, "without degree-2 and degree-3 variable nodes"},
      {"3", "6", 1001, 1000, 1002, "without degree-2 and degree-3 variable nodes"},
      {"3", "6", 1003, 1002, 1004, "without degree-2 and degree-3 variable nodes"},
      {"4", "8", 1001, 1000, 1002, "without degree-2 variable nodes"},
      {"3", "4", 1002, 1000, 1003, "without degree-2 variable nodes"},
      {"2", "20", 4, 0, 0, "no check node"},
  };
  for (const auto &c : cases) {
    auto r = run(tanner, regular(c.vdeg, c.cdeg, c.length, dir.file("g.code")));
    EXPECT_EQ(r.status, 1) << c.vdeg << "/" << c.cdeg << " " << c.length << r.err;
    EXPECT_NE(r.err.find(c.why), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("constructirregulargraph"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(testsupport::fileexists(dir.file("g.code")));
    if (c.below == 0) continue;
    std::string built = dir.file("built.code");
    EXPECT_NE(r.err.find("the nearest lengths that work are " + std::to_string(c.below) + " and " +
                         std::to_string(c.above)),
              std::string::npos)
        << r.err;
    for (int length : {c.below, c.above})
      EXPECT_EQ(run(tanner, regular(c.vdeg, c.cdeg, length, built)).status, 0);
  }
  auto r = run(simulate, {"--length", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no check node; the nearest length"), std::string::npos) << r.err;
}

// Figures that cannot be written are a failure, not a success.
TEST(programs, unwritable_standard_output_fails) {
  tempdir dir;
  std::string code = dir.file("h.code");
  ASSERT_EQ(run(tanner, {"convert", examples + "/hamming7.alist", code}).status, 0);
  std::vector<std::vector<std::string>> commands = {{"stats", code},
                                                    {"stats", "--json", code},
                                                    {"dump", code},
                                                    {"check", code},
                                                    regular("3", "6", 1000, dir.file("c.code")),
                                                    {"--help"},
                                                    {"--version"}};
  for (const char *redirect : {"> /dev/full", ">&-"})
    for (const auto &args : commands) {
      auto r = runredirected(redirect, tanner, args);
      EXPECT_EQ(r.status, 1) << redirect << " " << args[0];
      EXPECT_EQ(r.err.rfind("tanner: cannot write standard output: ", 0), 0u) << r.err;
    }
  // a closed standard output does not send the figures into the graph file
  auto r = runredirected(">&-", tanner, regular("3", "6", 1000, dir.file("d.code")));
  EXPECT_EQ(run(tanner, {"check", dir.file("d.code")}).status, 0);
}

// Option values: fractions summing to 1, counts of at least 1, seeds of
// digits and commas only; every bad value is a usage error.
TEST(programs, bad_option_values_are_usage_errors) {
  tempdir dir;
  std::string out = dir.file("g.code");
  writefile(dir.file("square.proto"),
            std::string(protohead) + "2 2\n/* edges */\n2 0 0 1 0\n2 0 1 1 1\n");
  auto irregular = [&](const std::string &vfrac, const std::string &seed) {
    return run(tanner, {"construct", "irregular", "--vdeg", "2,3", "--vfrac", vfrac, "--cdeg", "6",
                        "--cfrac", "1", "--length", "100", "--seed", seed, out});
  };
  // construct, simulate and threshold refuse a distribution alike
  auto reason = [](const std::string &err) {
    const std::size_t from = err.find(": ") + 2;
    return err.substr(from, err.find('\n') - from);
  };
  for (const char *vfrac : {"5,3", "1.001,-0.001", "0.5,0.4999", "0.5,nan", "-0,1.0000001"}) {
    const auto constructed = irregular(vfrac, "1");
    EXPECT_EQ(constructed.status, 2) << vfrac;
    const std::vector<std::string> distribution{"--vdeg", "2,3", "--vfrac", vfrac,
                                                "--cdeg", "6",   "--cfrac", "1"};
    std::vector<std::string> simulated{"simulate", "irregular", "--length", "100", "--ebn0", "1"};
    std::vector<std::string> threshold{"threshold", "--channel", "bec"};
    simulated.insert(simulated.end(), distribution.begin(), distribution.end());
    threshold.insert(threshold.end(), distribution.begin(), distribution.end());
    for (const auto &args : {simulated, threshold}) {
      const auto r = run(tanner, args);
      EXPECT_EQ(r.status, 2) << args[0] << " " << vfrac;
      EXPECT_EQ(reason(r.err), reason(constructed.err)) << args[0];
    }
  }
  for (const char *vfrac : {"0.5,0.5", "0.3333333333,0.6666666667", "0,1"})
    EXPECT_EQ(irregular(vfrac, "1").status, 0) << vfrac;
  for (const char *seed :
       {" -18446744073709551615", "-1", "+5", " 5", "0x10", "1,2", "1,2,3,4", "1,,2", "65536,0,0",
        "281474976710656", "1,2,3 ", "99999999999999999999999", ""})
    EXPECT_EQ(irregular("0.5,0.5", seed).status, 2) << "'" << seed << "'";
  auto r = irregular("0.5,0.5", "281474976710655");
  EXPECT_NE(r.out.find("graph stream state: 65535,65535,65535"), std::string::npos) << r.out;
  for (const char *lift : {"0", "-1", "1.5", "x"})
    EXPECT_EQ(
        run(tanner, {"construct", "proto", dir.file("square.proto"), "--lift", lift, out}).status,
        2)
        << lift;
  EXPECT_EQ(run(tanner, {"dump", "--what", "8", examples + "/hamming7.alist"}).status, 2);
  EXPECT_EQ(run(simulate, {"--length", "0"}).status, 2);
  EXPECT_EQ(run(simulate, {"--seed", " -1"}).status, 2);

  // --option=value is --option value, in tanner and in simulate
  auto spaced = run(
      tanner, {"construct", "proto", dir.file("square.proto"), "--lift", "5", "--seed", "5", out});
  auto joined =
      run(tanner, {"construct", "proto", dir.file("square.proto"), "--lift=5", "--seed=5", out});
  EXPECT_EQ(joined.status, 0) << joined.err;
  EXPECT_EQ(joined.out, spaced.out);
  EXPECT_EQ(run(tanner, {"dump", "--what=1", out}).out,
            run(tanner, {"dump", "--what", "1", out}).out);
  EXPECT_EQ(run(simulate, {"--loops=1", "--seed=13070,1,0"}).out,
            run(simulate, {"--loops", "1"}).out);
}

// simulate takes tanner's seeds and prints them as tanner does: the start
// state it prints builds the same graph again.
TEST(programs, one_seed_syntax_and_printed_form) {
  auto first = run(simulate, {"--loops", "2", "--seed", "7,8,9"});
  ASSERT_EQ(first.status, 0) << first.err;
  std::string line = first.out.substr(first.out.find("loop 1:"));
  std::string from = line.substr(line.find("from ") + 5);
  std::string state = from.substr(0, from.find(", fingerprint"));
  EXPECT_EQ(state.find(' '), std::string::npos) << state;
  EXPECT_EQ(std::count(state.begin(), state.end(), ','), 2);
  // seed files of blank-separated words, as earlier versions wrote them,
  // repeat the run as the comma-separated rows written now do
  tempdir dir;
  ASSERT_EQ(
      run(simulate, {"-C", dir.path, "--loops", "2", "--seed", "7,8,9", "--record", "new"}).out,
      first.out);
  std::string rows = readfile(dir.file("new"));
  EXPECT_NE(rows.find(state + " "), std::string::npos) << rows;
  std::replace(rows.begin(), rows.end(), ',', ' ');
  writefile(dir.file("old"), rows);
  EXPECT_EQ(run(simulate, {"-C", dir.path, "--repeat", "old"}).out, first.out);
  // a bare number keeps its earlier meaning, the state srand48(N) leaves
  EXPECT_EQ(run(simulate, {"--loops", "2", "--seed", "589833"}).out,
            run(simulate, {"--loops", "2", "--seed", "13070,9,9"}).out);
}

// Every command that reads a graph takes an alist file as well, recognised
// from its content; alist and code description file give the same results.
TEST(programs, graph_readers_take_either_format) {
  tempdir dir;
  std::string alist = examples + "/hamming7-unpadded.alist";
  std::string code = dir.file("h.code");
  ASSERT_EQ(run(tanner, {"convert", alist, code}).status, 0);
  // leading blank lines before the comment still make a code description file
  writefile(dir.file("blank.code"), "\n  \n" + readfile(code));
  for (const std::string &input : {alist, dir.file("blank.code")}) {
    auto fromcode = run(tanner, {"dump", code});
    auto r = run(tanner, {"dump", input});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, fromcode.out);
    r = run(tanner, {"check", input});
    EXPECT_EQ(r.status, 0) << r.err;
    r = run(tanner, {"stats", "--json", input});
    EXPECT_EQ(r.out.substr(r.out.find("\"vnodenum\"")),
              run(tanner, {"stats", "--json", code})
                  .out.substr(run(tanner, {"stats", "--json", code}).out.find("\"vnodenum\"")));
    ASSERT_EQ(run(tanner, {"export", input, dir.file("a.alist")}).status, 0);
    ASSERT_EQ(run(tanner, {"export", code, dir.file("b.alist")}).status, 0);
    EXPECT_EQ(readfile(dir.file("a.alist")), readfile(dir.file("b.alist")));
  }
  // a malformed alist file is reported as such, not as a missing "*/"
  writefile(dir.file("bad.alist"), "3 2\n1 x\n");
  auto r = run(tanner, {"stats", dir.file("bad.alist")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.find("*/"), std::string::npos) << r.err;
}

// Protographs with an empty side or without edges are refused; failures to
// open or write name the path and the reason.
TEST(programs, refusals_name_what_is_wrong) {
  tempdir dir;
  struct {
    const char *body, *why;
  } protos[] = {
      {"0 0\n/* edges */\n", "no variable node"},
      {"0 3\n/* edges */\n", "no variable node"},
      {"2 0\n/* edges */\n0\n0\n", "no check node"},
      {"2 2\n/* edges */\n0\n0\n", "every node of the protograph has degree 0"},
  };
  for (const auto &p : protos) {
    writefile(dir.file("p.proto"), std::string(protohead) + p.body);
    auto r =
        run(tanner, {"construct", "proto", dir.file("p.proto"), "--lift", "3", dir.file("p.code")});
    EXPECT_EQ(r.status, 1) << p.body;
    EXPECT_NE(r.err.find(p.why), std::string::npos) << r.err;
    EXPECT_FALSE(testsupport::fileexists(dir.file("p.code")));
  }
  std::string missing = dir.file("no/such/dir/g.code");
  auto r = run(tanner, regular("3", "6", 1000, missing));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tanner: " + missing + ": cannot open for writing: No such file or directory\n");
  EXPECT_EQ(r.out, "");  // refused before the construction starts
  r = run(tanner, {"construct", "proto", examples + "/half-rate.proto", "--lift", "2", dir.path});
  EXPECT_EQ(r.err, "tanner: " + dir.path + ": cannot open for writing: Is a directory\n");
  r = run(tanner, {"export", examples + "/hamming7.alist", missing});
  EXPECT_EQ(r.err, "tanner: " + missing + ": cannot open for writing: No such file or directory\n");
  r = run(tanner, {"convert", dir.file("none.alist"), dir.file("x.code")});
  EXPECT_EQ(r.err, "tanner: " + dir.file("none.alist") + ": No such file or directory\n");
  // a directory given as input is named as such, whichever reader takes it
  for (const std::vector<std::string> &args :
       {std::vector<std::string>{"stats", dir.path},
        {"construct", "proto", dir.path, "--lift", "2", dir.file("d.code")},
        {"threshold", "--channel", "bec", dir.path}}) {
    r = run(tanner, args);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_EQ(r.err, "tanner: " + dir.path + ": Is a directory\n") << args[0];
  }
  // alistconv keeps its fixed message
  r = run(alistconv, {dir.file("none.alist"), dir.file("x.code")});
  EXPECT_EQ(r.err, "I can't open the indicated input file.\n");
}

TEST(programs, one_version_everywhere) {
  const std::string version = LDPCGRAPH_VERSION;
  for (const std::string &program : {tanner, alistconv, simulate}) {
    auto r = run(program, {"--version"});
    EXPECT_EQ(r.status, 0) << program;
    ASSERT_GE(r.out.size(), version.size() + 1) << program;
    EXPECT_EQ(r.out.substr(r.out.size() - version.size() - 1), version + "\n") << r.out;
  }
}
