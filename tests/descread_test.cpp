// The code description file reader, its faults, and the stdio comment skipper.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "descfile.h"
#include "oracle.h"
#include "support.h"

using testsupport::describe;
using testsupport::makegraph;

namespace {

// Four variable nodes and two check nodes: check 0 joins all of them, check 1
// joins variables 1 and 3.
ldpc::graphs *workedexample() { return makegraph(2, {{0}, {0, 1}, {0}, {0, 1}}); }

// Node lines of the worked example: variable node 2 (line 28), check
// node 0 (line 35, continued on 36) and check node 1 (line 37).
const std::string vnode2 = "  1       0       2  \n";
const std::string cnode0 = "  4       0       0        1       0        2       0  \n";
const std::string cnode1 = "  2       1       1        3       1  \n";

// What the parser gave; owns the graph and iphi it made, so that a failed
// ASSERT leaks nothing. Moving hands them on.
struct parsed {
  bool ok = false;
  std::string error;
  ldpc::graphs graph;
  ldpc::encoders encoder;

  parsed() = default;
  parsed(parsed &&from) noexcept { take(&from); }
  parsed &operator=(parsed &&from) noexcept {
    if (this != &from) {
      release();
      take(&from);
    }
    return *this;
  }
  ~parsed() { release(); }

 private:
  void take(parsed *from) {
    ok = from->ok;
    error = std::move(from->error);
    graph = from->graph;
    encoder = from->encoder;
    from->ok = false;
  }
  void release() {
    if (!ok) return;
    ldpc::freegraph(&graph);
    if (encoder.gap >= 0) std::free(encoder.iphi);
    ok = false;
  }
};

int sentinel[1];

// Parses text; graph and encoder start out filled with marks, so that what
// the parser leaves alone can be seen.
parsed parse(const std::string &text, bool checkmirrors = true) {
  parsed p;
  std::memset(&p.graph, 0x5a, sizeof p.graph);
  p.encoder = {7, 99, sentinel, nullptr};
  ldpc::textscanner in;
  ldpc::scanfrommemory(&in, text.data(), text.size());
  p.ok = ldpc::parsegraph(&in, &p.graph, &p.encoder, &p.error, checkmirrors);
  return p;
}

std::string formatted(const ldpc::graphs *graph, const ldpc::encoders *encoder) {
  std::string text;
  ldpc::textwriter out;
  ldpc::writetomemory(&out, &text);
  ldpc::formatgraph(&out, graph, encoder);
  ldpc::writeclose(&out);
  return text;
}

// The text of the worked example with one piece replaced.
std::string edited(const std::string &from, const std::string &to) {
  testsupport::ownedgraph g = workedexample();
  std::string text = describe(g);
  std::string::size_type at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return text.replace(at, from.size(), to);
}

// The text of the worked example up to the first occurrence of at, then tail.
std::string cut(const std::string &at, const std::string &tail) {
  std::string text = edited(at, at);
  return text.substr(0, text.find(at)) + tail;
}

// Expects the text to be refused with a message holding every fragment.
void expectfault(const std::string &text, const std::vector<std::string> &fragments) {
  parsed p = parse(text);
  ASSERT_FALSE(p.ok) << text;
  for (const std::string &fragment : fragments)
    EXPECT_NE(p.error.find(fragment), std::string::npos) << p.error;
  EXPECT_EQ(p.encoder.iphi, sentinel);
  EXPECT_EQ(p.encoder.gap, 99);
  EXPECT_EQ(p.graph.vnodenum, 0x5a5a5a5a);  // the graph record is left alone
}

void expectzeroed(const ldpc::graphs *g) {
  for (int v = 0; v < g->vnodenum; ++v) {
    EXPECT_EQ(g->vnodelist[v].value, 0.0);
    for (int s = 0; s < g->vnodelist[v].degree; ++s)
      EXPECT_EQ(g->vnodelist[v].edgelist[s].message, 0.0);
  }
  for (int c = 0; c < g->cnodenum; ++c) {
    EXPECT_EQ(g->cnodelist[c].value, 0.0);
    for (int t = 0; t < g->cnodelist[c].degree; ++t)
      EXPECT_EQ(g->cnodelist[c].edgelist[t].message, 0.0);
  }
}

}  // namespace

TEST(descread, worked_example_reads_back_and_writes_the_same_bytes) {
  testsupport::ownedgraph g = workedexample();
  std::string text = describe(g);
  parsed p = parse(text);
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.graph.rate, 0.5);
  EXPECT_EQ(oracle::checkgraph(&p.graph, oracle::tablesexact), "");
  expectzeroed(&p.graph);
  EXPECT_EQ(p.encoder.gap, -1);
  EXPECT_EQ(p.encoder.iphi, sentinel);  // no encoder information: iphi untouched
  EXPECT_EQ(p.encoder.useencoder, 7);
  EXPECT_EQ(formatted(&p.graph, &p.encoder), text);
}

TEST(descread, large_generated_graphs_round_trip_byte_for_byte) {
  // Degrees 0 to 12, repeated check nodes (multiple edges) allowed, some
  // checks left without edges: every shape the writer can produce.
  std::mt19937 random(20240611);
  for (int round = 0; round < 3; ++round) {
    const int vnodenum = 20000 + 7000 * round;
    const int cnodenum = vnodenum / 2 + 3;
    std::vector<std::vector<int>> vchecks(vnodenum);
    for (auto &list : vchecks) {
      int degree = static_cast<int>(random() % 13);
      for (int s = 0; s < degree; ++s) list.push_back(static_cast<int>(random() % (cnodenum - 3)));
    }
    testsupport::ownedgraph g = makegraph(cnodenum, vchecks);
    int iphi[9] = {1, 0, 0, -4, 1, 0, 123456789, 0, 1};
    ldpc::encoders encoder{0, round, iphi, nullptr};
    std::string text = formatted(g, &encoder);
    parsed p = parse(text);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.graph.rate, g->rate);
    EXPECT_EQ(oracle::checkgraph(&p.graph, oracle::tablesexact), "");
    EXPECT_EQ(formatted(&p.graph, &p.encoder), text);
  }
}

TEST(descread, gap_negative_zero_and_positive) {
  testsupport::ownedgraph g = workedexample();
  const std::string nogap = describe(g, -1);

  // A negative gap is not written, so the closing "-1" is read as the gap.
  parsed p = parse(describe(g, -5));
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.encoder.gap, -1);
  EXPECT_EQ(p.encoder.iphi, sentinel);
  EXPECT_EQ(formatted(&p.graph, &p.encoder), nogap);

  // Gap 0: an allocation of no entries; the reader stops before the closing
  // line, so a file cut off behind the 0 reads the same.
  std::string zero = describe(g, 0);
  p = parse(zero.substr(0, zero.size() - 5));
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.encoder.gap, 0);
  EXPECT_NE(p.encoder.iphi, sentinel);
  EXPECT_NE(p.encoder.iphi, nullptr);
  EXPECT_EQ(formatted(&p.graph, &p.encoder), zero);

  // Gap 2, row by row.
  std::string two = edited("row by row */\n-1\n", "row by row */\n2\n1 0 \n-1 7 \n\n-1\n");
  p = parse(two);
  ASSERT_TRUE(p.ok) << p.error;
  ASSERT_EQ(p.encoder.gap, 2);
  EXPECT_EQ(std::vector<int>(p.encoder.iphi, p.encoder.iphi + 4), (std::vector<int>{1, 0, -1, 7}));
  EXPECT_EQ(formatted(&p.graph, &p.encoder), two);

  // A negative gap in the file itself is taken as it stands.
  p = parse(edited("row by row */\n-1\n", "row by row */\n-3\n"));
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.encoder.gap, -3);
  EXPECT_EQ(p.encoder.iphi, sentinel);
}

TEST(descread, other_comment_words_and_any_spacing_read_the_same) {
  testsupport::ownedgraph g = workedexample();
  const std::string text = describe(g);

  // Nine comments with other words (one holding digits and a lone "*" or
  // "/"), the numbers all on one line, signs and leading zeros as "%d" takes
  // them, and the "-1" that ends the node lists inside the passed-over text.
  const std::string oneline =
      "/** a code **/ /* counts 1 2 3 */ +4 002 /*  / * */2 2/*max*/ 2 4"
      "/*v*/ 1 2 2 2 /*c*/2 1 4 1 /*vnodes*/ 1 0 0 2 0 1 1 0 1 0 2 2 0 3 1 1"
      "/*cnodes*/ 4 0 0 1 0 2 0 3 0 2 1 1 3 1 -1 /* encoder */ -1";
  // One number per line, with carriage returns and tabs.
  std::string perline;
  for (char c : oneline) perline += c == ' ' ? std::string("\r\n\t") : std::string(1, c);

  for (const std::string &variant : {oneline, perline}) {
    parsed p = parse(variant);
    ASSERT_TRUE(p.ok) << p.error << "\n" << variant;
    EXPECT_EQ(p.encoder.gap, -1);
    EXPECT_EQ(formatted(&p.graph, &p.encoder), text);
  }

  // Tables that disagree with the node degrees are taken at their word, and
  // so are numbers wider than their fields.
  parsed p = parse(edited("  1   2\n  2   2\n", "1234 123456789\n  -2   0\n"));
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.graph.vdegreelist->degree[0], 1234);
  EXPECT_EQ(p.graph.vdegreelist->numofnodes[0], 123456789);
  EXPECT_EQ(p.graph.vdegreelist->degree[1], -2);
}

TEST(descread, empty_graph_and_degree_zero_nodes) {
  testsupport::ownedgraph g = makegraph(3, {{}, {2, 2}, {}});
  parsed p = parse(describe(g));
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.graph.vnodelist[0].degree, 0);
  EXPECT_NE(p.graph.vnodelist[0].edgelist, nullptr);
  EXPECT_EQ(p.graph.cnodelist[0].degree, 0);
  EXPECT_EQ(oracle::checkgraph(&p.graph, oracle::tablesexact), "");
  EXPECT_EQ(describe(&p.graph), describe(g));

  ldpc::graphs none{};
  ldpc::degreelist empty{};
  none.vdegreelist = none.cdegreelist = &empty;
  p = parse(describe(&none));
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.graph.vnodenum, 0);
  EXPECT_EQ(p.graph.cnodenum, 0);
  EXPECT_EQ(describe(&p.graph), describe(&none));
}

TEST(descread, every_truncation_is_refused) {
  const std::string text = edited("row by row */\n-1\n", "row by row */\n2\n1 0 \n1 1 \n\n-1\n");
  // The file is complete once the last matrix entry has been read.
  const std::string::size_type complete = text.find("1 \n\n-1\n", text.find("information for")) + 1;
  for (std::string::size_type length = 0; length < complete; ++length) {
    parsed p = parse(text.substr(0, length));
    if (p.ok) {
      ADD_FAILURE() << "accepted a file cut at " << length;
    } else {
      EXPECT_FALSE(p.error.empty());
    }
  }
  parsed p = parse(text.substr(0, complete));
  EXPECT_TRUE(p.ok) << p.error;
}

TEST(descread, malformed_files_are_refused_with_what_and_where) {
  // early end and missing comment close
  expectfault("", {"the file ends before the closing \"*/\" of the header comment"});
  expectfault(edited("row by row */", "row by row"),
              {"the file ends before the closing \"*/\" of the encoder comment"});
  expectfault(cut("  2       0       3        1       1  \n", "  2       0       3  \n"),
              {"the file ends before the node named by variable node 3, socket 1"});

  // not a number, or out of the range of int
  expectfault(edited("      4       2\n", "      4       x2\n"),
              {"line 6", "the number of check nodes", "\"x2\" is not a number"});
  expectfault(edited("  2   1\n", "  2   -\n"),
              {"line 19", "entry 0 of the check degree table", "\"-\" is not a number"});
  expectfault(edited("      4       2\n", "      4       99999999999\n"),
              {"line 6", "outside the range of int"});

  // negative counts
  expectfault(edited("      4       2\n", "     -4       2\n"),
              {"line 6", "the number of variable nodes is -4; it must not be negative"});
  expectfault(edited("      2       2\n\n/* vmax", "      2      -1\n\n/* vmax"),
              {"line 9", "check degree table entries is -1"});
  expectfault(edited(vnode2, " -1       0       2  \n"),
              {"line 28", "the degree of variable node 2 is -1"});

  // a degree table beyond the capacity of its record
  expectfault(edited("      2       2\n\n/* vmax", "    101       2\n\n/* vmax"),
              {"line 9", "variable degree table has 101 entries; a table holds at most 100"});

  // edge ends out of range
  expectfault(edited(vnode2, "  1       2       2  \n"),
              {"line 28", "variable node 2, socket 0 names check node 2;",
               "check nodes are numbered 0..1"});
  expectfault(edited(vnode2, "  1       0      -2  \n"),
              {"line 28", "variable node 2, socket 0 names socket -2 of check node 0"});
  expectfault(edited(cnode1, "  2       1       1        4       1  \n"),
              {"line 37", "check node 1, socket 1 names variable node 4;",
               "variable nodes are numbered 0..3"});
  expectfault(edited(cnode1, "  3       1       1        3       1        1       5  \n"),
              {"check node 1, socket 2 names socket 5 of variable node 1, which has degree 2"});
  expectfault(edited(vnode2, "  1       0       9  \n"),
              {"variable node 2, socket 0 names socket 9 of check node 0, which has degree 4"});

  // mirror entries that do not point back, seen from either side
  expectfault(edited(cnode0, "  4       1       0        0       0        2       0  \n"),
              {"variable node 0, socket 0 names check node 0, socket 0, but that entry names "
               "variable node 1, socket 0"});
  expectfault(edited(cnode1, "  2       1       1        3       0  \n"),
              {"variable node 3, socket 1 names check node 1, socket 1, but that entry names "
               "variable node 3, socket 0"});
  expectfault(edited(cnode1, "  3       1       1        3       1        1       0  \n"),
              {"check node 1, socket 2 names variable node 1, socket 0, but that entry names "
               "check node 0, socket 1"});

  // the encoder part
  expectfault(edited("row by row */\n-1\n", "row by row */\n"), {"the file ends before the gap"});
  expectfault(edited("row by row */\n-1\n", "row by row */\n2\n1 0\n1 x\n"),
              {"line 47", "row 1, column 1 of iphi (gap 2)", "\"x\" is not a number"});
}

TEST(descread, without_the_mirror_check_sockets_must_still_be_in_range) {
  const std::string swapped =
      edited(cnode0, "  4       1       0        0       0        2       0  \n");
  const std::string extra =
      edited(cnode1, "  3       1       1        3       1        1       0  \n");
  for (const std::string &text : {swapped, extra}) {
    parsed p = parse(text, false);
    EXPECT_TRUE(p.ok) << p.error;
  }
  parsed p = parse(edited(vnode2, "  1       0       9  \n"), false);
  EXPECT_FALSE(p.ok);
  EXPECT_NE(p.error.find("names socket 9 of check node 0, which has degree 4"), std::string::npos);
  p = parse(edited(cnode1, "  3       1       1        3       1        1       5  \n"), false);
  EXPECT_FALSE(p.ok);
  EXPECT_NE(p.error.find("names socket 5 of variable node 1, which has degree 2"),
            std::string::npos);
}

TEST(descread, absurd_counts_in_a_short_file_fail_cleanly) {
  // None of these may allocate what the counts claim: the file ends long
  // before, and the sanitizer build would abort on such a request.
  expectfault(edited("      4       2\n", "2147483647 2147483647\n"),
              {"line 31", "the degree of variable node 4: \"/*description\" is not a number"});
  expectfault(
      edited(vnode2 + "  2       0       3        1       1  \n\n", vnode2 + "2000000000\n\n"),
      {"line 31",
       "the node named by variable node 3, socket 0:", "\"/*description\" is not a number"});
  expectfault(cut("/*description of vnodes", "/*description of vnodes */ 2147483647 0"),
              {"the file ends before the socket named by variable node 0, socket 0"});
  expectfault(edited("row by row */\n-1\n", "row by row */\n2147483647\n1 2 3\n"),
              {"the file ends before row 0, column 3 of iphi (gap 2147483647)"});
  expectfault(edited("row by row */\n-1\n", "row by row */\n100000\n1 2 3\n"),
              {"the file ends before row 0, column 3 of iphi"});
}

TEST(descread, readgraph_reads_a_file_and_prints_the_banner_when_verbose) {
  testsupport::tempdir dir;
  const std::string path = dir.file("code.txt");
  testsupport::writefile(path, edited("row by row */\n-1\n", "row by row */\n1\n5 \n\n-1\n"));
  testsupport::ownedrecord graph;
  graph.vnodenum = -1;
  ldpc::encoders encoder{0, -1, nullptr, nullptr};

  testing::internal::CaptureStdout();
  ldpc::readgraph(&graph, &encoder, path.c_str(), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\n************************************\n read " + path +
                " file\n************************************\n");
  EXPECT_EQ(graph.vnodenum, 4);
  EXPECT_EQ(oracle::checkgraph(&graph, oracle::tablesexact), "");
  ASSERT_EQ(encoder.gap, 1);
  EXPECT_EQ(encoder.iphi[0], 5);
  std::free(encoder.iphi);
}

TEST(descreaddeath, readgraph_ends_the_process_on_open_failure_and_malformed_files) {
  testsupport::tempdir dir;
  ldpc::graphs graph{};
  ldpc::encoders encoder{};
  const std::string missing = dir.file("missing.txt");
  EXPECT_EXIT(ldpc::readgraph(&graph, &encoder, missing.c_str(), 1), testing::ExitedWithCode(1),
              "^I can't open the indicated graph file.\n$");
  EXPECT_EXIT(ldpc::readgraph(&graph, &encoder, dir.path.c_str(), 0), testing::ExitedWithCode(1),
              "^I can't open the indicated graph file.\n$");

  const std::string bad = dir.file("bad.txt");
  testsupport::writefile(bad, edited(vnode2, "  1       5       2  \n"));
  EXPECT_EXIT(ldpc::readgraph(&graph, &encoder, bad.c_str(), 0), testing::ExitedWithCode(1),
              "^The graph file .*/bad.txt is malformed: line 28: variable node 2, socket 0 "
              "names check node 5; check nodes are numbered 0..1\n$");
}

TEST(descread_skip, passes_one_comment_and_the_line_feed_behind_it) {
  struct item {
    const char *text;
    const char *rest;  // what the next reads return
  };
  const item items[] = {
      {"/* a */\n7", "7"},      // the line feed is consumed
      {"/* a */ 7", " 7"},      // anything else is pushed back
      {"/* a */\n\n7", "\n7"},  // only one line feed
      {"x 1 2 **/ 3", " 3"},    // no opening needed; a run of asterisks closes
      {"/x */5", "5"},          // a slash read first never closes
      {"/*/ y", " y"},          // but "/*/" does: the asterisk precedes
      {"* / no */5", "5"},      // asterisk and slash must touch
      {"/* /* not nested */ x */", " x */"},
      {"/* open to the end", ""},  // end of file: nothing more, no error
      {"*/", ""},
  };
  for (const item &it : items) {
    FILE *fp = fmemopen(const_cast<char *>(it.text), std::strlen(it.text), "r");
    ASSERT_NE(fp, nullptr);
    ldpc::skip(fp, 0);
    std::string rest;
    for (int c; (c = std::getc(fp)) != EOF;) rest += static_cast<char>(c);
    EXPECT_EQ(rest, it.rest) << it.text;
    std::fclose(fp);
  }
}

TEST(descread_skip, echoes_what_it_reads_when_verbose_but_not_the_line_feed) {
  const char text[] = "/* one\ntwo */\nnext";
  FILE *fp = fmemopen(const_cast<char *>(text), std::strlen(text), "r");
  ASSERT_NE(fp, nullptr);
  testing::internal::CaptureStdout();
  ldpc::skip(fp, 1);
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "/* one\ntwo */");
  EXPECT_EQ(std::getc(fp), 'n');
  std::fclose(fp);

  const char open[] = "abc";
  fp = fmemopen(const_cast<char *>(open), 3, "r");
  testing::internal::CaptureStdout();
  ldpc::skip(fp, 1);
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "abc");
  std::fclose(fp);
}
