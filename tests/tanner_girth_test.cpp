// tanner construct --girth, peg, --circulant and --shifts, and the notes of
// tanner check, through the process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support.h"

using namespace testsupport;

namespace {

// The value after "label" on its line of tanner stats.
std::string statsfield(const std::string &file, const std::string &label) {
  testsupport::runresult r = run(tanner, {"stats", file});
  std::string::size_type at = r.out.find("\n" + label);
  if (at == std::string::npos) return "";
  at = r.out.find_first_not_of(' ', at + 1 + label.size());
  return r.out.substr(at, r.out.find('\n', at) - at);
}

const std::vector<std::string> irregular = {
    "construct", "irregular", "--vdeg",  "2,3,8",    "--vfrac", "0.5,0.3,0.2", "--cdeg",
    "7,8",       "--cfrac",   "0.5,0.5", "--length", "10000",   "--seed",      "1,2,3"};

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string> &more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

}  // namespace

TEST(tanner_girth, girth_option_removes_short_cycles_of_the_readme_graph) {
  tempdir dir;
  // without the option: the graph as it always was, parallel edges noted
  ASSERT_EQ(run(tanner, with(irregular, {dir.file("plain.code")})).status, 0);
  EXPECT_EQ(statsfield(dir.file("plain.code"), "girth"), "2");
  testsupport::runresult check = run(tanner, {"check", dir.file("plain.code")});
  EXPECT_EQ(check.status, 0);
  EXPECT_NE(check.out.find("note: 18 parallel edges (girth 2)"), std::string::npos) << check.out;
  EXPECT_NE(check.out.find("4-cycles"), std::string::npos);
  EXPECT_NE(check.out.find("every invariant holds"), std::string::npos);

  struct casedata {
    std::vector<std::string> option;
    std::string girth;
  };
  for (const casedata &c : {casedata{{"--no-parallel"}, "4"}, casedata{{"--girth", "6"}, "6"}}) {
    const std::string out = dir.file("g" + c.girth + ".code");
    testsupport::runresult r = run(tanner, with(with(irregular, c.option), {out}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("cycle removal: girth"), std::string::npos) << r.out;
    EXPECT_GE(std::stoi(statsfield(out, "girth")), std::stoi(c.girth));
    // the degree distribution is that of the plain graph
    EXPECT_EQ(statsfield(out, "edges"), statsfield(dir.file("plain.code"), "edges"));
    check = run(tanner, {"check", out});
    EXPECT_EQ(check.out.find("parallel edge"), std::string::npos) << check.out;
    EXPECT_EQ(check.out.find("4-cycle") == std::string::npos, c.girth == "6") << check.out;
    // the same seed gives the same file
    ASSERT_EQ(run(tanner, with(with(irregular, c.option), {dir.file("again.code")})).status, 0);
    EXPECT_EQ(readfile(dir.file("again.code")), readfile(out));
  }

  // proto with --girth
  const std::string lifted = dir.file("lifted.code");
  ASSERT_EQ(run(tanner, {"construct", "proto", examples + "/half-rate.proto", "--lift", "500",
                         "--seed", "42", "--girth", "8", lifted})
                .status,
            0);
  EXPECT_GE(std::stoi(statsfield(lifted, "girth")), 8);
}

TEST(tanner_girth, unreachable_or_malformed_targets_fail_without_output) {
  tempdir dir;
  const std::string out = dir.file("out.code");
  testsupport::runresult r =
      run(tanner, {"construct", "irregular", "--vdeg", "3", "--vfrac", "1", "--cdeg", "6",
                   "--cfrac", "1", "--length", "12", "--girth", "8", out});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("girth 8 not reached"), std::string::npos) << r.err;
  EXPECT_FALSE(fileexists(out));
  EXPECT_EQ(run(tanner, with(irregular, {"--circulant", out})).status, 2);
  for (const char *bad : {"5", "2", "x"}) {
    r = run(tanner, with(irregular, {"--girth", bad, out}));
    EXPECT_EQ(r.status, 2) << bad;
  }
  EXPECT_EQ(run(tanner, {"construct", "peg", "--vdeg", "3", "--vfrac", "1", "--length", "10", out})
                .status,
            2);  // no --checks
  EXPECT_EQ(run(tanner, {"construct", "peg", "--vdeg", "3", "--vfrac", "0.5", "--length", "10",
                         "--checks", "5", out})
                .status,
            2);  // fractions do not add up to 1
  r = run(tanner, {"construct", "peg", "--vdeg", "9", "--vfrac", "1", "--length", "10", "--checks",
                   "5", out});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("degrees must lie in 1..5"), std::string::npos) << r.err;
  EXPECT_FALSE(fileexists(out));
}

TEST(tanner_girth, peg_from_a_distribution_or_a_degree_file) {
  tempdir dir;
  const std::string out = dir.file("peg.code");
  testsupport::runresult r =
      run(tanner, {"construct", "peg", "--vdeg", "3", "--vfrac", "1", "--length", "1008",
                   "--checks", "504", "--seed", "1", out});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("girth 8\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("local girth"), std::string::npos);
  EXPECT_NE(r.out.find("check degree"), std::string::npos);
  EXPECT_EQ(statsfield(out, "girth"), "8");

  // one degree per node, in file order
  writefile(dir.file("degrees.txt"), "# degrees\n2 2 3\n3\n");
  r = run(tanner, {"construct", "peg", "--degrees", dir.file("degrees.txt"), "--checks", "4",
                   "--alist", dir.file("peg.alist")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readfile(dir.file("peg.alist")).substr(0, 12), "4 4\n3 3\n2 2 ");
  writefile(dir.file("bad.txt"), "2\n0\n");
  r = run(tanner, {"construct", "peg", "--degrees", dir.file("bad.txt"), "--checks", "4", out});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("bad.txt: line 2: '0' is not a positive degree"), std::string::npos)
      << r.err;
}

TEST(tanner_girth, circulant_liftings_and_shift_files) {
  tempdir dir;
  const std::string out = dir.file("qc.code");
  testsupport::runresult r =
      run(tanner, {"construct", "proto", examples + "/half-rate.proto", "--lift", "100",
                   "--circulant", "--girth", "8", "--seed", "5", out});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_GE(std::stoi(statsfield(out, "girth")), 8);
  // the printed matrix expands to the same graph
  const std::string matrix = r.out.substr(r.out.find("variable nodes):\n") + 17);
  writefile(dir.file("shifts.txt"), matrix);
  r = run(tanner, {"construct", "proto", examples + "/half-rate.proto", "--lift", "100", "--shifts",
                   dir.file("shifts.txt"), dir.file("again.code")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readfile(dir.file("again.code")), readfile(out));
  EXPECT_EQ(r.out.find("graph stream"), std::string::npos) << r.out;  // nothing drawn

  // a base matrix alone; shifts out of range or a shape that does not fit
  writefile(dir.file("base.txt"), "0 1 2\n0 2 4\n");
  r = run(tanner, {"construct", "proto", "--lift", "5", "--shifts", dir.file("base.txt"), out});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(statsfield(out, "variable nodes"), "15");
  r = run(tanner, {"construct", "proto", "--lift", "4", "--shifts", dir.file("base.txt"), out});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("has shift 4; shifts lie in 0..3"), std::string::npos) << r.err;
  r = run(tanner, {"construct", "proto", examples + "/half-rate.proto", "--lift", "5", "--shifts",
                   dir.file("base.txt"), out});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("base.txt: the shift matrix is 2 x 3"), std::string::npos) << r.err;
  r = run(tanner, {"construct", "proto", examples + "/half-rate.proto", "--lift", "3",
                   "--circulant", "--girth", "8", out});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no shift for the protograph edge"), std::string::npos) << r.err;
  EXPECT_EQ(run(tanner, {"construct", "proto", "--lift", "5", "--shifts", dir.file("base.txt"),
                         "--girth", "6", out})
                .status,
            2);
}
