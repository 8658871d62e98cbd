// The code description file writer, byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "descfile.h"
#include "support.h"

using testsupport::describe;
using testsupport::makegraph;

namespace {

// Four variable nodes and two check nodes: check 0 joins all of them, check 1
// joins variables 1 and 3.
const char workedexample[] =
    "/****************************\n"
    "*Description File of a Code *\n"
    "******************************/\n"
    "\n"
    "/*vnodednum and cnodenum*/\n"
    "      4       2\n"
    "\n"
    "/* vdegreesnum and cdegreesnum */\n"
    "      2       2\n"
    "\n"
    "/* vmaxdegree and cmaxdegree */\n"
    "      2       4\n"
    "\n"
    "/* list of vnode degrees */\n"
    "  1   2\n"
    "  2   2\n"
    "\n"
    "/* list of cnode degrees */\n"
    "  2   1\n"
    "  4   1\n"
    "\n"
    "/*description of vnodes *\n"
    "* in the following format *\n"
    "* vnodedegree          *\n"
    "* tonode tosocket...  */\n"
    "  1       0       0  \n"
    "  2       0       1        1       0  \n"
    "  1       0       2  \n"
    "  2       0       3        1       1  \n"
    "\n"
    "/*description of cnodes *\n"
    "* in the following format *\n"
    "* cnodedegree          *\n"
    "* tonode tosocket...  */\n"
    "  4       0       0        1       0        2       0  \n"
    "          3       0  \n"
    "  2       1       1        3       1  \n"
    "\n"
    "\n"
    "-1\n"
    "\n"
    "/* information for encoder *\n"
    "* gap [-1 indicates no info] *\n"
    "* inverse of phi row by row */\n"
    "-1\n";

std::string encodertail(const std::string &text) {
  return text.substr(text.find("/* information for encoder"));
}

std::string nodelines(const std::string &text, const char *heading) {
  std::string::size_type start = text.find("* tonode tosocket...  */\n", text.find(heading));
  start += 25;
  return text.substr(start, text.find("\n\n", start) - start + 1);
}

}  // namespace

TEST(descwrite, worked_example_byte_for_byte) {
  testsupport::ownedgraph g = makegraph(2, {{0}, {0, 1}, {0}, {0, 1}});
  EXPECT_EQ(describe(g), workedexample);
}

TEST(descwrite, encoder_piece_for_each_gap) {
  testsupport::ownedgraph g = makegraph(2, {{0}, {0, 1}, {0}, {0, 1}});
  const std::string comment =
      "/* information for encoder *\n"
      "* gap [-1 indicates no info] *\n"
      "* inverse of phi row by row */\n";
  int iphi[] = {1, 0, 1, 1};
  ldpc::encoders encoder{0, 2, iphi, nullptr};
  std::string text;
  ldpc::textwriter out;
  ldpc::writetomemory(&out, &text);
  ldpc::formatgraph(&out, g, &encoder);
  ldpc::writeclose(&out);
  EXPECT_EQ(encodertail(text), comment + "2\n1 0 \n1 1 \n\n-1\n");

  EXPECT_EQ(encodertail(describe(g, 0)), comment + "0\n\n-1\n");
  EXPECT_EQ(describe(g, -7), describe(g, -1));

  // entries are ints, written signed with no fill
  int negative[] = {-5};
  encoder = {0, 1, negative, nullptr};
  text.clear();
  ldpc::writetomemory(&out, &text);
  ldpc::formatgraph(&out, g, &encoder);
  ldpc::writeclose(&out);
  EXPECT_EQ(encodertail(text), comment + "1\n-5 \n\n-1\n");
}

TEST(descwrite, continuation_lines_and_degree_zero) {
  // variable 0 has degree 7, variable 1 degree 0, variable 2 degree 4
  testsupport::ownedgraph g = makegraph(7, {{0, 1, 2, 3, 4, 5, 6}, {}, {0, 1, 2, 3}});
  EXPECT_EQ(nodelines(describe(g), "description of vnodes"),
            "  7       0       0        1       0        2       0  \n"
            "          3       0        4       0        5       0  \n"
            "          6       0  \n"
            "  0 \n"
            "  4       0       1        1       1        2       1  \n"
            "          3       1  \n");
}

TEST(descwrite, empty_tables_and_no_nodes) {
  ldpc::graphs g{};
  ldpc::degreelist empty{};
  g.vdegreelist = g.cdegreelist = &empty;
  std::string text = describe(&g);
  EXPECT_NE(text.find("/* list of vnode degrees */\n\n/* list of cnode degrees */\n\n"
                      "/*description of vnodes *"),
            std::string::npos);
  EXPECT_NE(text.find("* tonode tosocket...  */\n\n/*description of cnodes *"), std::string::npos);
  EXPECT_NE(text.find("* tonode tosocket...  */\n\n\n-1\n\n/* information"), std::string::npos);
}

TEST(descwrite, wide_numbers_grow_their_fields) {
  ldpc::graphs g{};
  ldpc::degreelist table{};
  table.degree[0] = 1234;
  table.numofnodes[0] = 123456789;
  g.vdegreelist = g.cdegreelist = &table;
  g.vnodenum = 0;
  g.vdegreesnum = 1;
  g.vmaxdegree = 12345678;
  g.cmaxdegree = -3;
  std::string text = describe(&g);
  EXPECT_NE(text.find("12345678      -3\n"), std::string::npos);
  EXPECT_NE(text.find("1234 123456789\n"), std::string::npos);
}

TEST(descwrite, savegraph_replaces_an_existing_file_whole) {
  testsupport::tempdir dir;
  std::string path = dir.file("code.txt");
  testsupport::writefile(path, "old contents that are longer than nothing\n");
  testsupport::ownedgraph g = makegraph(2, {{0}, {0, 1}, {0}, {0, 1}});
  ldpc::encoders encoder{0, -1, nullptr, nullptr};
  ldpc::savegraph(g, &encoder, path.c_str(), 0);
  EXPECT_EQ(testsupport::readfile(path), workedexample);
  // nothing but the file itself is left in the directory
  int entries = 0;
  for (auto &e : std::filesystem::directory_iterator(dir.path)) (void)e, ++entries;
  EXPECT_EQ(entries, 1);
}

TEST(descwrite, write_failures_are_reported) {
  testsupport::ownedgraph g = makegraph(2, {{0}, {0, 1}, {0}, {0, 1}});
  ldpc::encoders encoder{0, -1, nullptr, nullptr};
  std::string error;
  EXPECT_EQ(ldpc::writegraphfile(g, &encoder, "/dev/full", &error), ldpc::writefailed);
  EXPECT_NE(error.find("No space left on device"), std::string::npos);
  EXPECT_EQ(ldpc::writegraphfile(g, &encoder, "/nonexistent-dir/x", &error), ldpc::writeopenfailed);
  EXPECT_EXIT(ldpc::savegraph(g, &encoder, "/nonexistent-dir/x", 0), testing::ExitedWithCode(1),
              "^I can't open the indicated file.\n$");
  EXPECT_EXIT(ldpc::savegraph(g, &encoder, "/dev/full", 0), testing::ExitedWithCode(1),
              "/dev/full: No space left on device");
}

TEST(descwrite, degrees_of_any_width_at_every_buffer_offset) {
  // the degree field is "%3d ": eight digits and more must still fit when
  // the line starts a few bytes before the end of the writer's buffer
  for (std::size_t capacity : {std::size_t{64}, std::size_t{65}, std::size_t{100}}) {
    for (std::size_t prefix = 0; prefix < capacity + 20; ++prefix) {
      for (int degree : {999, 10000000, 123456789, 2147483647, -2147483647 - 1}) {
        std::string text;
        ldpc::textwriter out;
        ldpc::writetomemory(&out, &text, capacity);
        ldpc::writetext(&out, std::string(prefix, 'x').c_str(), prefix);
        ldpc::formatdegree(&out, degree);
        ldpc::writeint(&out, degree, 90);  // a field wider than the buffer
        ldpc::writeclose(&out);
        char expected[128];
        std::snprintf(expected, sizeof expected, "%3d %90d", degree, degree);
        ASSERT_EQ(text, std::string(prefix, 'x') + expected)
            << "capacity " << capacity << ", prefix " << prefix << ", degree " << degree;
      }
    }
  }
}

TEST(descwrite, a_check_node_of_degree_ten_million_is_converted) {
  // Ten million columns of weight 1 on one row of weight 10^7, behind four
  // rows of weight 1 and 39,541 empty ones: that many put the heavy row's
  // line at 8 bytes before the end of the writer's 1 MiB buffer, where its
  // nine characters "10000000 " overran a reservation of eight.
  testsupport::tempdir dir;
  const int n = 10000000, p = 4, z = 39541, m = p + z + 1;
  std::string alist =
      std::to_string(n + p) + " " + std::to_string(m) + "\n1 " + std::to_string(n) + "\n";
  alist.reserve(static_cast<std::size_t>(n) * 8 + 200000);
  for (int v = 0; v < n + p; ++v) alist += "1 ";
  alist += "\n";
  for (int c = 0; c < p; ++c) alist += "1 ";
  for (int c = 0; c < z; ++c) alist += "0 ";
  alist += std::to_string(n) + "\n";
  for (int v = 0; v < p; ++v) alist += std::to_string(v + 1) + "\n";
  const std::string last = std::to_string(m) + "\n";
  for (int v = 0; v < n; ++v) alist += last;
  testsupport::writefile(dir.file("heavy.alist"), alist);
  alist.clear();
  alist.shrink_to_fit();
  testsupport::runresult r =
      testsupport::run(ALISTCONV_PATH, {dir.file("heavy.alist"), "/dev/null"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  r = testsupport::run(TANNER_PATH, {"convert", dir.file("heavy.alist"), "/dev/null"});
  EXPECT_EQ(r.status, 0) << r.err;
}
