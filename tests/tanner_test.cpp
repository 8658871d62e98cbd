// The tanner program through the process, one group of tests per subcommand.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support.h"

using namespace testsupport;

namespace {

// A random graph whose check sockets follow variable order, as the
// converter numbers them, saved as a code description file.
void saverandomgraph(const std::string &path, int n, int m, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::vector<int>> vchecks(n);
  for (auto &list : vchecks) {
    int degree = 1 + static_cast<int>(rng() % 4);
    for (int s = 0; s < degree; ++s) list.push_back(static_cast<int>(rng() % m));
  }
  testsupport::ownedgraph g = testsupport::makegraph(m, vchecks);
  ldpc::encoders encoder{0, -1, nullptr, nullptr};
  ldpc::savegraph(g, &encoder, path.c_str(), 0);
}

std::string field(const std::string &text, const std::string &label) {
  std::string::size_type at = text.find(label);
  if (at == std::string::npos) return "";
  at += label.size();
  while (at < text.size() && text[at] == ' ') ++at;
  return text.substr(at, text.find('\n', at) - at);
}

const char squareproto[] =
    "/* two variable nodes, two check nodes, a square */\n"
    "/* counts */\n"
    "2 2\n"
    "/* edges */\n"
    "2  0 0  1 0\n"
    "2  0 1  1 1\n";

}  // namespace

TEST(tanner, usage_help_and_unknown_commands) {
  auto r = run(tanner, {});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("usage: tanner COMMAND"), std::string::npos);
  EXPECT_EQ(run(tanner, {"--help"}).status, 0);
  for (const char *command : {"convert", "export", "construct", "dump", "check", "stats"}) {
    r = run(tanner, {command, "--help"});
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_EQ(r.out.rfind(std::string("usage: tanner ") + command, 0), 0u) << command;
  }
  r = run(tanner, {"frobnicate"});
  EXPECT_EQ(r.status, 2);
  r = run(tanner, {"stats", "--bogus", "x"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("unknown option --bogus"), std::string::npos);
  r = run(tanner, {"stats", "/no/such/file"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tanner: /no/such/file: No such file or directory\n");
}

TEST(tanner, convert_matches_alistconv) {
  tempdir dir;
  std::string input = examples + "/hamming7-unpadded.alist";
  auto a = run(alistconv, {input, dir.file("a.code")});
  auto t = run(tanner, {"convert", input, dir.file("t.code")});
  EXPECT_EQ(a.status, 0);
  EXPECT_EQ(t.status, 0);
  EXPECT_EQ(readfile(dir.file("t.code")), readfile(dir.file("a.code")));
  writefile(dir.file("bad.alist"), "3 2 2 3 2 1 2 3 2 1 2 1 0 1 3");
  t = run(tanner, {"convert", dir.file("bad.alist"), dir.file("t.code")});
  EXPECT_EQ(t.status, 1);
  EXPECT_EQ(t.err.rfind("tanner: " + dir.file("bad.alist") + ": item 7", 0), 0u);
}

TEST(tanner, export_round_trips_through_alist_in_both_dialects) {
  tempdir dir;
  for (unsigned seed = 1; seed <= 3; ++seed) {
    std::string code = dir.file("graph.code");
    saverandomgraph(code, 400 * static_cast<int>(seed), 150, seed);
    for (bool unpadded : {false, true}) {
      std::vector<std::string> args = {"export", code, dir.file("graph.alist")};
      if (unpadded) args.insert(args.begin() + 1, "--unpadded");
      auto r = run(tanner, args);
      ASSERT_EQ(r.status, 0) << r.err;
      std::string alist = readfile(dir.file("graph.alist"));
      // padded lists carry zero fillers; unpadded ones never do
      EXPECT_EQ(alist.find(" 0\n") != std::string::npos, !unpadded);
      r = run(alistconv, {dir.file("graph.alist"), dir.file("back.code")});
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_TRUE(readfile(dir.file("back.code")) == readfile(code))
          << "seed " << seed << (unpadded ? " unpadded" : " padded");
    }
  }
}

TEST(tanner, export_writes_the_standard_layout) {
  tempdir dir;
  auto r = run(alistconv, {examples + "/hamming7.alist", dir.file("h.code")});
  ASSERT_EQ(r.status, 0);
  r = run(tanner, {"export", dir.file("h.code"), dir.file("h.alist")});
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(readfile(dir.file("h.alist")),
            "7 3\n3 4\n2 2 2 3 1 1 1\n4 4 4\n"
            "1 2 0\n1 3 0\n2 3 0\n1 2 3\n1 0 0\n2 0 0\n3 0 0\n"
            "1 2 4 5\n1 3 4 6\n2 3 4 7\n");
}

TEST(tanner, construct_irregular_is_reproducible_from_the_printed_seed) {
  tempdir dir;
  std::vector<std::string> args = {"construct",   "irregular", "--vdeg", "2,3,4",   "--vfrac",
                                   "0.3,0.2,0.5", "--cdeg",    "5,8",    "--cfrac", "0.75,0.25",
                                   "--length",    "17",        "--seed", "1,2,3"};
  auto first = args;
  first.push_back(dir.file("a.code"));
  auto r = run(tanner, first);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("graph stream state: 1,2,3 (build again with --seed 1,2,3)"),
            std::string::npos);
  EXPECT_NE(r.out.find("graph: 18 variable nodes, 9 check nodes, 57 edges"), std::string::npos);
  // requested 0.3 of degree 2; balancing made it 6 of 18 nodes
  EXPECT_NE(r.out.find("        2     0.300000     0.333333            6\n"), std::string::npos)
      << r.out;

  // the same seed as one integer: 1 + 2 * 65536 + 3 * 2^32
  auto second = args;
  second[13] = std::to_string(1 + 2 * 65536LL + 3 * 4294967296LL);
  second.push_back(dir.file("b.code"));
  r = run(tanner, second);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readfile(dir.file("a.code")), readfile(dir.file("b.code")));
  EXPECT_EQ(field(run(tanner, {"check", dir.file("a.code")}).out, "fingerprint:"),
            field(r.out, "fingerprint"));
  // --state names the same stream state; with --seed beside it, or a state
  // that is not one, it is refused under its own name
  auto state = args;
  state[12] = "--state";
  state.push_back(dir.file("s.code"));
  ASSERT_EQ(run(tanner, state).status, 0);
  EXPECT_EQ(readfile(dir.file("a.code")), readfile(dir.file("s.code")));
  for (const auto &[extra, message] :
       {std::pair<std::vector<std::string>, std::string>{{"--seed", "1"}, "not both"},
        {{"--state", "1,2"}, "--state takes W0,W1,W2"}}) {
    auto refused = extra[0] == "--seed" ? state : args;
    if (extra[0] == "--seed") {
      refused.insert(refused.end() - 1, extra.begin(), extra.end());
    } else {
      refused[12] = extra[0];
      refused[13] = extra[1];
      refused.push_back(dir.file("t.code"));
    }
    r = run(tanner, refused);
    EXPECT_EQ(r.status, 2) << message;
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
  }

  // an alist file instead, which converts back to a graph with the same edges
  auto third = args;
  third.push_back("--alist");
  third.push_back(dir.file("c.alist"));
  ASSERT_EQ(run(tanner, third).status, 0);
  ASSERT_EQ(run(tanner, {"convert", dir.file("c.alist"), dir.file("c.code")}).status, 0);
  EXPECT_EQ(field(run(tanner, {"stats", dir.file("c.code")}).out, "fingerprint"),
            field(run(tanner, {"stats", dir.file("a.code")}).out, "fingerprint"));

  // usage errors
  auto bad = args;
  bad[5] = "0.3,0.2";
  bad.push_back(dir.file("d.code"));
  r = run(tanner, bad);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--vfrac needs one fraction per degree"), std::string::npos);
  r = run(tanner, {"construct", "irregular", "--vdeg", "2", "--vfrac", "1", "--cdeg", "6",
                   "--cfrac", "1", "--length", "3", "--seed", "1,2", dir.file("e.code")});
  EXPECT_EQ(r.status, 2);
}

TEST(tanner, construct_proto_lifts_and_reports) {
  tempdir dir;
  writefile(dir.file("square.proto"), squareproto);
  auto r = run(tanner, {"construct", "proto", dir.file("square.proto"), "--lift", "50", "--seed",
                        "7", dir.file("lift.code")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("graph stream state: 7,0,0"), std::string::npos);
  EXPECT_NE(r.out.find("graph: 100 variable nodes, 100 check nodes, 200 edges"), std::string::npos);
  EXPECT_EQ(run(tanner, {"check", dir.file("lift.code")}).status, 0);
  r = run(tanner,
          {"construct", "proto", dir.file("square.proto"), "--lift", "0", dir.file("zero.code")});
  EXPECT_EQ(r.status, 2);  // a bad option value is a usage error
  EXPECT_FALSE(testsupport::fileexists(dir.file("zero.code")));
}

TEST(tanner, dump_prints_the_selected_sections) {
  tempdir dir;
  ASSERT_EQ(run(alistconv, {examples + "/hamming7.alist", dir.file("h.code")}).status, 0);
  auto r = run(tanner, {"dump", "--what", "2", dir.file("h.code")});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(
      r.out.find("list of neighbors from vnode perspective:\n     0:      0[ 0]      1[ 0] \n"),
      std::string::npos);
  EXPECT_EQ(r.out.find("Graph: rate"), std::string::npos);
  r = run(tanner, {"dump", dir.file("h.code")});
  EXPECT_NE(r.out.find("Graph: rate:=0.571429"), std::string::npos);
}

TEST(tanner, check_reports_each_violation) {
  tempdir dir;
  ASSERT_EQ(run(alistconv, {examples + "/hamming7.alist", dir.file("h.code")}).status, 0);
  auto r = run(tanner, {"check", dir.file("h.code")});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("every invariant holds"), std::string::npos);
  EXPECT_NE(r.out.find("fingerprint: "), std::string::npos);

  // variable node 6 claims check 2 socket 2, whose entry is variable node 2's
  std::string text = readfile(dir.file("h.code"));
  std::string::size_type at = text.find("  1       2       3  \n");
  ASSERT_NE(at, std::string::npos);
  text.replace(at, 21, "  1       2       2  ");
  writefile(dir.file("broken.code"), text);
  r = run(tanner, {"check", dir.file("broken.code")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("violation: variable node 6 socket 0 leads to check node 2 socket 2, "
                       "which leads back to variable node 3 socket 2"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("violation: check node 2 socket 3 leads to variable node 6 socket 0, "
                       "which leads back to check node 2 socket 2"),
            std::string::npos);
  EXPECT_NE(r.out.find("2 violations"), std::string::npos);

  // maxima that are not the true ones are a note only
  text = readfile(dir.file("h.code"));
  at = text.find("      3       4\n");
  text.replace(at, 15, "      5       9");
  writefile(dir.file("maxima.code"), text);
  r = run(tanner, {"check", dir.file("maxima.code")});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("note: vmaxdegree is 5; the largest variable degree is 3"),
            std::string::npos);
}

TEST(tanner, stats_in_text_and_json) {
  tempdir dir;
  ASSERT_EQ(run(alistconv, {examples + "/hamming7.alist", dir.file("h.code")}).status, 0);
  auto r = run(tanner, {"stats", dir.file("h.code")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(field(r.out, "variable nodes"), "7");
  EXPECT_EQ(field(r.out, "edges"), "12");
  EXPECT_EQ(field(r.out, "design rate"), "0.571429");
  EXPECT_EQ(field(r.out, "parallel edges"), "0");
  // rows {1,2,4,5}, {1,3,4,6}, {2,3,4,7}: columns 1 and 4 share rows 1 and 2, etc.
  EXPECT_EQ(field(r.out, "4-cycles"), "3");
  EXPECT_EQ(field(r.out, "girth"), "4");
  EXPECT_NE(r.out.find("        3            1     0.142857     0.250000\n"), std::string::npos)
      << r.out;

  r = run(tanner, {"stats", "--json", dir.file("h.code")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("{\"file\": \"" + dir.file("h.code") +
                            "\", \"vnodenum\": 7, "
                            "\"cnodenum\": 3, \"edges\": 12, \"rate\": 0.5714285714, "
                            "\"paralleledges\": 0, \"fourcycles\": 3, \"girth\": 4, ",
                        0),
            0u)
      << r.out;
  EXPECT_NE(r.out.find("\"cdegrees\": [{\"degree\": 4, \"nodes\": 3, \"nodefraction\": 1, "
                       "\"edgefraction\": 1}]}\n"),
            std::string::npos);
}
