// The alist reading core: both dialects, the choice between them, and every
// fault it reports.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "alist.h"
#include "oracle.h"
#include "support.h"

namespace {

struct readresult {
  bool ok;
  std::string error;
  std::string text;  // the code description file, when ok
};

readresult readtext(const std::string &input, testsupport::ownedrecord *keep = nullptr) {
  ldpc::textscanner in;
  ldpc::scanfrommemory(&in, input.data(), input.size());
  testsupport::ownedrecord local;
  ldpc::graphs *g = keep != nullptr ? keep : &local;
  readresult result;
  result.ok = ldpc::readalist(&in, g, &result.error);
  if (result.ok) {
    EXPECT_EQ(oracle::checkgraph(g, oracle::tablesexact), "");
    result.text = testsupport::describe(g);
  }
  return result;
}

// The three-column example: columns {1,2}, {1}, {1,2} over two rows.
const std::string padded = "3 2\n2 3\n2 1 2\n3 2\n1 2\n1 0\n1 2\n1 2 3\n1 3\n";
const std::string unpadded = "3 2\n2 3\n2 1 2\n3 2\n1 2\n1\n1 2\n1 2 3\n1 3\n";

}  // namespace

TEST(alist_reader, builds_the_three_column_example) {
  testsupport::ownedrecord g;
  readresult r = readtext(padded, &g);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(g.vnodenum, 3);
  EXPECT_EQ(g.cnodenum, 2);
  EXPECT_EQ(g.vmaxdegree, 2);
  EXPECT_EQ(g.cmaxdegree, 3);
  EXPECT_DOUBLE_EQ(g.rate, 1.0 - 2.0 / 3.0);
  // variable sockets lead to (check, check socket)
  EXPECT_EQ(g.vnodelist[0].edgelist[1].dest, 1);
  EXPECT_EQ(g.vnodelist[0].edgelist[1].socket, 0);
  EXPECT_EQ(g.vnodelist[1].degree, 1);
  EXPECT_EQ(g.vnodelist[1].edgelist[0].socket, 1);
  EXPECT_EQ(g.vnodelist[2].edgelist[0].socket, 2);
  EXPECT_EQ(g.vnodelist[2].edgelist[1].socket, 1);
  EXPECT_EQ(g.cnodelist[1].edgelist[1].dest, 2);
  EXPECT_EQ(g.cnodelist[1].edgelist[1].socket, 1);
  ASSERT_EQ(g.vdegreesnum, 2);
  EXPECT_EQ(g.vdegreelist->degree[0], 1);
  EXPECT_EQ(g.vdegreelist->numofnodes[0], 1);
  EXPECT_EQ(g.vdegreelist->degree[1], 2);
  EXPECT_EQ(g.vdegreelist->numofnodes[1], 2);
  ASSERT_EQ(g.cdegreesnum, 2);
  EXPECT_EQ(g.cdegreelist->degree[0], 2);
  EXPECT_EQ(g.cdegreelist->degree[1], 3);
  EXPECT_EQ(g.vnodelist[0].value, 0.0);
  EXPECT_EQ(g.cnodelist[0].edgelist[2].message, 0.0);
}

TEST(alist_reader, dialects_and_layouts_read_alike) {
  const std::string expected = readtext(padded).text;
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(readtext(unpadded).text, expected);
  // fillers of another value, other row lists and row weights
  EXPECT_EQ(readtext("3 2\n2 3\n2 1 2\n3 2\n1 2\n1 7\n1 2\n").text, expected);
  EXPECT_EQ(readtext("3 2 2 3 2 1 2 9 9 1 2 1 0 1 2").text, expected);
  // Windows line endings, tabs, comment lines anywhere, no final newline
  EXPECT_EQ(readtext("# a code\r\n3 2\r\n2\t3\r\n  # weights follow\r\n2 1 2\r\n3 2\r\n"
                     "1 2\r\n1 0\r\n#\r\n1 2")
                .text,
            expected);
  EXPECT_EQ(readtext("3 +2\n2 3\n2 1 2\n3 2\n01 2\n1 -0\n1 2\n").text, expected);
  EXPECT_EQ(readtext("\xEF\xBB\xBF" + padded).text, expected);
}

TEST(alist_reader, unpadded_files_with_mixed_weights) {
  // Weights 3, 1, 2, 1 with largest weight 3: read padded, the row numbers
  // of later columns would be taken as fillers.
  const std::string paddedfile = "4 3\n3 3\n3 1 2 1\n2 2 3\n1 2 3\n2 0 0\n1 3 0\n3 0 0\n";
  const std::string unpaddedfile = "4 3\n3 3\n3 1 2 1\n2 2 3\n1 2 3\n2\n1 3\n3\n";
  readresult a = readtext(paddedfile);
  readresult b = readtext(unpaddedfile);
  ASSERT_TRUE(a.ok) << a.error;
  ASSERT_TRUE(b.ok) << b.error;
  EXPECT_EQ(a.text, b.text);
  // Without row lists after it, the padded reading runs out of numbers.
  readresult c = readtext("4 3\n3 3\n3 1 2 1\n2 2 3\n1 2 3\n2\n1 3\n3\n1 2 3\n1 4\n2 3\n");
  ASSERT_TRUE(c.ok) << c.error;
  EXPECT_EQ(c.text, a.text);
}

TEST(alist_reader, structural_edge_cases) {
  testsupport::ownedrecord g;
  // row 3 is never named; column 2 names row 1 twice; column 3 has weight 0
  readresult r = readtext("3 3\n2 2\n1 2 0\n1 2 0\n2 0\n1 1\n0 0\n", &g);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(g.cnodelist[2].degree, 0);
  EXPECT_EQ(g.cdegreelist->degree[0], 0);
  EXPECT_EQ(g.vdegreelist->degree[0], 0);
  EXPECT_EQ(g.vnodelist[1].edgelist[0].socket, 0);
  EXPECT_EQ(g.vnodelist[1].edgelist[1].socket, 1);
  EXPECT_EQ(g.vnodelist[2].degree, 0);

  // a degree of 150 is accepted, and the writer widens its field
  std::string wide = "1 150\n150 1\n150\n";
  for (int i = 0; i < 150; ++i) wide += "1 ";
  wide += "\n";
  for (int i = 1; i <= 150; ++i) wide += std::to_string(i) + " ";
  r = readtext(wide);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_NE(r.text.find("\n150   1\n"), std::string::npos);

  // an empty matrix
  r = readtext("0 0 0 0");
  ASSERT_TRUE(r.ok) << r.error;
}

TEST(alist_reader, reports_faults_with_their_place) {
  struct fault {
    std::string input;
    std::string message;
  };
  const fault faults[] = {
      {"", "item 1 (number of columns): the file ends"},
      {"3 x", "item 2 (number of rows): \"x\" is not a number"},
      {"-3 2 2 3", "item 1 (number of columns) is -3; it must not be negative"},
      {"3 2 2 -1", "item 4 (largest row weight) is -1"},
      {"3 2 2 99999999999", "item 4 (largest row weight): a number is outside the range of int"},
      {"3 2 2 3 2 -1", "item 5 (column weights), column 2: weight -1 is negative"},
      {"3 2 2 3 2 1 2 3", "item 6 (row weights), row 2: the file ends"},
      {"3 2 2 3 2 1 2 3 2 1 2 1 0 1", "item 7 (column lists), column 3: the file ends"},
      {"3 2 2 3 2 1 2 3 2 1 2 1 0 1 3", "column 3, entry 2: row 3 is outside 1..2"},
      {"3 2 2 3 2 1 2 3 2 1 2 0 0 1 2", "column 2, entry 1: row 0 is outside 1..2"},
      {"3 2 2 3 2 1 2 3 2 1 2 1 - 1 2", "column 2: \"-\" is not a number"},
      {"3 2 2 3 2 1 2 3 2 1 2 1 0 1 2# no", ""},
      // weights beyond the list length, but the unpadded reading fits
      {"3 2 1 3 2 1 2 3 2 1 2 1 2 1 2", ""},
      {"3 2 1 3 2 1 2 9 9 1 2 1 2 1 2", "column 1: weight 2 exceeds the column-list length 1"},
  };
  for (const fault &f : faults) {
    readresult r = readtext(f.input);
    if (f.message.empty()) {
      EXPECT_TRUE(r.ok) << f.input << ": " << r.error;
      continue;
    }
    EXPECT_FALSE(r.ok) << f.input;
    EXPECT_NE(r.error.find(f.message), std::string::npos)
        << "input: " << f.input << "\nerror: " << r.error;
  }
}

TEST(alist_reader, refuses_more_than_100_distinct_degrees) {
  // 101 columns of weights 0..100 over 100 rows
  std::string input = "101 100\n100 101\n";
  for (int w = 0; w <= 100; ++w) input += std::to_string(w) + " ";
  for (int r = 0; r < 100; ++r) input += "0 ";
  for (int w = 0; w <= 100; ++w)
    for (int s = 0; s < 100; ++s) input += s < w ? std::to_string(s + 1) + " " : "0 ";
  readresult r = readtext(input);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("more than 100 distinct column weights"), std::string::npos) << r.error;
}
