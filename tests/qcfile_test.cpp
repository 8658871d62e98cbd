// Quasi-cyclic base-matrix files: the expansion against matrices written out
// by hand and against the alist reader, round trips, the recognition of
// circulant liftings, and every fault of the reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <cstdlib>
#include <string>
#include <vector>

#include "alist.h"
#include "oracle.h"
#include "qcfile.h"
#include "support.h"
#include "fuzz/qcproperties.h"

namespace {

using testsupport::ownedgraph;

// The checks of each variable node, sorted, as a plain table.
std::vector<std::vector<int>> checksof(const ldpc::graphs *g) {
  std::vector<std::vector<int>> columns(static_cast<std::size_t>(g->vnodenum));
  for (int v = 0; v < g->vnodenum; ++v) {
    for (int s = 0; s < g->vnodelist[v].degree; ++s)
      columns[static_cast<std::size_t>(v)].push_back(g->vnodelist[v].edgelist[s].dest);
    std::sort(columns[static_cast<std::size_t>(v)].begin(),
              columns[static_cast<std::size_t>(v)].end());
  }
  return columns;
}

// Parses text, expecting it read when ok and refused otherwise; returns the
// error text.
std::string parseexpecting(const std::string &text, bool ok, ldpc::qcmatrix *qc) {
  std::string error;
  EXPECT_EQ(ldpc::parseqc(text, qc, &error), ok) << text << ": " << error;
  return error;
}

ldpc::qcmatrix parsed(const std::string &text) {
  ldpc::qcmatrix qc;
  parseexpecting(text, true, &qc);
  return qc;
}

ldpc::graphs *expanded(const ldpc::qcmatrix &qc) {
  std::string error;
  ldpc::graphs *g = ldpc::expandqc(qc, &error);
  EXPECT_NE(g, nullptr) << error;
  if (g != nullptr) {
    EXPECT_EQ(oracle::checkgraph(g, oracle::tablesexact), "");
  }
  return g;
}

// The alist text of a matrix given by its columns (rows from 0).
std::string alistof(int m, const std::vector<std::vector<int>> &columns) {
  std::vector<std::vector<int>> rows(static_cast<std::size_t>(m));
  std::size_t vmax = 0, cmax = 0;
  for (std::size_t v = 0; v < columns.size(); ++v) {
    vmax = std::max(vmax, columns[v].size());
    for (int r : columns[v]) rows[static_cast<std::size_t>(r)].push_back(static_cast<int>(v));
  }
  for (auto &r : rows) cmax = std::max(cmax, r.size());
  std::string text = std::to_string(columns.size()) + " " + std::to_string(m) + "\n" +
                     std::to_string(vmax) + " " + std::to_string(cmax) + "\n";
  for (auto &c : columns) text += std::to_string(c.size()) + " ";
  text += "\n";
  for (auto &r : rows) text += std::to_string(r.size()) + " ";
  text += "\n";
  for (auto &c : columns) {
    for (int r : c) text += std::to_string(r + 1) + " ";
    text += "\n";
  }
  for (auto &r : rows) {
    for (int v : r) text += std::to_string(v + 1) + " ";
    text += "\n";
  }
  return text;
}

std::string fault(const std::string &text) {
  ldpc::qcmatrix qc;
  return parseexpecting(text, false, &qc);
}

}  // namespace

// Block (0,0) shift 1 with Z = 3: row i has its one in column (i + 1) mod 3.
TEST(qcfile, expansion_follows_the_stated_direction) {
  ownedgraph g = expanded(parsed("1 1 3\n1\n"));
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(checksof(g), (std::vector<std::vector<int>>{{2}, {0}, {1}}));
}

// A 2 x 3 base matrix, Z = 4, expanded by hand:
//   [ 0 -1  2 ]
//   [ 3  1 -1 ]
// block (r,c) with shift s puts ones at (4r + i, 4c + (i + s) mod 4).
TEST(qcfile, expansion_matches_a_matrix_written_out_by_hand) {
  ownedgraph g = expanded(parsed("3 2 4\n0 -1 2\n3 1 -1\n"));
  ASSERT_NE(g, nullptr);
  const std::vector<std::vector<int>> byhand = {
      // block column 0: identity over rows 0..3, shift 3 over rows 4..7
      {0, 5},
      {1, 6},
      {2, 7},
      {3, 4},
      // block column 1: shift 1 over rows 4..7
      {7},
      {4},
      {5},
      {6},
      // block column 2: shift 2 over rows 0..3
      {2},
      {3},
      {0},
      {1}};
  EXPECT_EQ(checksof(g), byhand);
  EXPECT_EQ(g->vnodenum, 12);
  EXPECT_EQ(g->cnodenum, 8);
}

// The base-matrix file and the alist file of its expansion give the same
// record, sockets included, for several shapes.
TEST(qcfile, expansion_numbers_sockets_as_the_alist_reader) {
  const std::vector<std::string> files = {"3 2 4\n0 -1 2\n3 1 -1\n",
                                          "4 3 5\n0 1 2 -1\n4 -1 0 3\n-1 2 4 1\n",
                                          "2 2 1\n0 0\n0 -1\n", "5 2 7\n6 5 4 3 2\n0 1 -1 -1 6\n"};
  for (const std::string &file : files) {
    ownedgraph fromqc = expanded(parsed(file));
    ASSERT_NE(fromqc, nullptr);
    const std::string alist = alistof(fromqc->cnodenum, checksof(fromqc));
    ldpc::textscanner in;
    ldpc::scanfrommemory(&in, alist.data(), alist.size());
    testsupport::ownedrecord fromalist;
    std::string error;
    ASSERT_TRUE(ldpc::readalist(&in, &fromalist, &error)) << error;
    EXPECT_EQ(testsupport::describe(fromqc), testsupport::describe(&fromalist)) << file;
  }
}

TEST(qcfile, reads_flags_blank_lines_and_layout_variants) {
  ldpc::qcmatrix qc = parsed("\xEF\xBB\xBF\n  3 2 4 \r\n\n0\t-1 2\r\n\n3 1 -1\n\n1 1 0\n\n");
  EXPECT_EQ(qc.columns, 3);
  EXPECT_EQ(qc.rows, 2);
  EXPECT_EQ(qc.lift, 4);
  EXPECT_EQ(qc.shifts, (std::vector<int>{0, -1, 2, 3, 1, -1}));
  EXPECT_EQ(qc.transmitted, (std::vector<std::uint8_t>{1, 1, 0}));
  EXPECT_TRUE(parsed("1 1 1\n0\n").transmitted.empty());
}

TEST(qcfile, names_every_fault) {
  struct faultcase {
    std::string text;
    std::string message;
  };
  const std::vector<faultcase> cases = {
      {"", "the file holds no header; expected COLUMNS ROWS Z"},
      {"\n\n", "the file holds no header; expected COLUMNS ROWS Z"},
      {"3 2\n", "line 1: the header has 2 numbers; expected three, COLUMNS ROWS Z"},
      {"3 2 4 5\n", "line 1: the header has 4 numbers; expected three, COLUMNS ROWS Z"},
      {"3 x 4\n", "line 1, entry 2: \"x\" is not a number"},
      {"0 2 4\n", "line 1, entry 1: COLUMNS is 0; it must be at least 1"},
      {"3 -2 4\n", "line 1, entry 2: ROWS is -2; it must be at least 1"},
      {"3 2 0\n", "line 1, entry 3: Z is 0; it must be at least 1"},
      {"3 2 4294967296\n", "line 1, entry 3: \"4294967296\" is not a number"},
      {"100000 1 100000\n",
       "line 1: the expansion has 10000000000 variable and 100000 check nodes; at most "
       "2147483647 each"},
      {"3 2 4\n0 -1\n3 1 -1\n", "line 2: block row 0 has 2 entries; expected 3 (COLUMNS)"},
      {"3 2 4\n0 -1 2\n3 1 -1 0\n", "line 3: block row 1 has 4 entries; expected 3 (COLUMNS)"},
      {"3 2 4\n0 -1 4\n3 1 -1\n", "line 2, entry 3: shift 4 is outside -1..3"},
      {"3 2 4\n0 -2 2\n3 1 -1\n", "line 2, entry 2: shift -2 is outside -1..3"},
      {"3 2 4\n0 -1 2\n3 1.5 -1\n", "line 3, entry 2: \"1.5\" is not a number"},
      {"3 2 4\n0 -1 2\n", "the file ends after 1 of 2 block rows"},
      {"3 2 4\n0 -1 2\n3 1 -1\n1 0\n",
       "line 4: the pattern line has 2 flags; expected 3, one per block column (or no pattern "
       "line)"},
      {"3 2 4\n0 -1 2\n3 1 -1\n1 2 0\n",
       "line 4, entry 2: flag 2; a flag is 1 (transmitted) or 0 (punctured)"},
      {"3 2 4\n0 -1 2\n3 1 -1\n1 1 0\n1 1 1\n", "line 5: unexpected text after the pattern line"},
      {"1 1 2\n0\n1\nx\n", "line 4: unexpected text after the pattern line"},
  };
  for (const faultcase &c : cases) EXPECT_EQ(fault(c.text), c.message) << c.text;
}

TEST(qcfile, format_and_parse_round_trip) {
  const std::vector<std::string> files = {"3 2 4\n0 -1 2\n3 1 -1\n", "2 1 12\n11 -1\n1 0\n",
                                          "4 3 100\n99 -1 0 7\n-1 -1 -1 -1\n5 50 -1 0\n"};
  for (const std::string &file : files) {
    ldpc::qcmatrix qc = parsed(file);
    std::string text;
    ldpc::textwriter out;
    ldpc::writetomemory(&out, &text);
    ldpc::formatqc(&out, qc);
    ldpc::writeclose(&out);
    ldpc::qcmatrix again = parsed(text);
    EXPECT_EQ(again.shifts, qc.shifts);
    EXPECT_EQ(again.transmitted, qc.transmitted);
    EXPECT_EQ(again.lift, qc.lift);
  }
  std::string text;
  ldpc::textwriter out;
  ldpc::writetomemory(&out, &text);
  ldpc::formatqc(&out, parsed("3 2 12\n0 -1 11\n3 1 -1\n1 0 1\n"));
  ldpc::writeclose(&out);
  EXPECT_EQ(text, "3 2 12\n 0 -1 11\n 3  1 -1\n 1  0  1\n");
}

TEST(qcfile, recognises_the_expansion_it_wrote) {
  const std::vector<std::string> files = {"3 2 4\n0 -1 2\n3 1 -1\n",
                                          "4 3 5\n0 1 2 -1\n4 -1 0 3\n-1 2 4 1\n",
                                          "6 2 9\n8 7 -1 0 1 2\n3 -1 4 5 6 0\n"};
  for (const std::string &file : files) {
    ldpc::qcmatrix qc = parsed(file);
    ownedgraph g = expanded(qc);
    ASSERT_NE(g, nullptr);
    ldpc::qcmatrix back;
    std::string why;
    ASSERT_TRUE(ldpc::qcofgraph(g, qc.lift, &back, &why)) << why;
    EXPECT_EQ(back.shifts, qc.shifts);
    EXPECT_EQ(ldpc::findqclift(g), qc.lift) << file;
  }
}

TEST(qcfile, refuses_graphs_that_are_no_lifting) {
  struct refusal {
    int cnodenum;
    std::vector<std::vector<int>> columns;
    int lift;
    std::string why;
  };
  const std::vector<refusal> cases = {
      // a block of weight 2 (identity plus shift 1), as in CCSDS C2
      {2,
       {{0, 1}, {0, 1}},
       2,
       "block row 0, block column 0 holds more than one circulant (shifts 0 and 1); a "
       "base-matrix entry is a single shift"},
      // parallel edges: the identity twice
      {2,
       {{0, 0}, {1, 1}},
       2,
       "block row 0, block column 0: variable node 0 has parallel edges to check node 0; a base "
       "matrix cannot hold them"},
      // half a permutation
      {2, {{0}, {}}, 2, "block row 0, block column 0 has 1 of the 2 edges of a circulant"},
      {2,
       {{0}, {1}, {0}},
       2,
       "lifting size 2 does not divide both node counts (3 variable, 2 check nodes)"},
  };
  for (const refusal &c : cases) {
    ownedgraph g = testsupport::makegraph(c.cnodenum, c.columns);
    ldpc::qcmatrix qc;
    std::string why;
    EXPECT_FALSE(ldpc::qcofgraph(g, c.lift, &qc, &why));
    EXPECT_EQ(why, c.why);
  }
  // any graph without parallel edges is a lifting with Z = 1, none with them
  ownedgraph plain = testsupport::makegraph(3, {{0, 2}, {1}, {0, 1, 2}});
  EXPECT_EQ(ldpc::findqclift(plain), 1);
  ownedgraph parallel = testsupport::makegraph(1, {{0, 0}});
  EXPECT_EQ(ldpc::findqclift(parallel), 0);
}

TEST(qcfile, writes_and_reads_a_file) {
  testsupport::tempdir dir;
  const std::string path = dir.file("code.qc");
  ldpc::qcmatrix qc = parsed("3 2 4\n0 -1 2\n3 1 -1\n1 1 0\n");
  std::string error;
  ASSERT_EQ(ldpc::writeqcfile(qc, path.c_str(), &error), ldpc::writeok) << error;
  ldpc::qcmatrix back;
  ASSERT_EQ(ldpc::readqcfile(path.c_str(), &back, &error), ldpc::readok) << error;
  EXPECT_EQ(back.shifts, qc.shifts);
  EXPECT_EQ(back.transmitted, qc.transmitted);
  testsupport::writefile(path, "3 2 4\n0 -1 9\n");
  EXPECT_EQ(ldpc::readqcfile(path.c_str(), &back, &error), ldpc::readmalformed);
  EXPECT_EQ(error, path + ": line 2, entry 3: shift 9 is outside -1..3");
  EXPECT_EQ(ldpc::readqcfile(dir.file("absent.qc").c_str(), &back, &error), ldpc::readopenfailed);
}

// The fuzz harness's seed corpus and past findings keep its properties.
TEST(qcfile, fuzz_seeds_and_findings_keep_every_property) {
  const std::filesystem::path root = std::filesystem::path(FUZZ_DIR);
  int replayed = 0;
  for (const char *kind : {"corpus", "regressions"}) {
    const std::filesystem::path dir = root / kind / "qcfile";
    if (!std::filesystem::is_directory(dir)) continue;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
      const std::string data = testsupport::readfile(entry.path().string());
      EXPECT_EQ(
          fuzzprops::checkqcfile(reinterpret_cast<const std::uint8_t *>(data.data()), data.size()),
          "")
          << entry.path().string();
      ++replayed;
    }
  }
  EXPECT_GT(replayed, 10);
}
