// The alistconv program through the process: output file, messages, exit
// statuses, and what is left behind on failure.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>

#include "alist.h"
#include "support.h"

using namespace testsupport;

namespace {

// A random alist file of n columns of weight 3 over n/2 rows, padded or not,
// written with large and irregular spacing so that numbers straddle the
// reader's chunk boundaries.
std::string randomalist(int n, bool pad, unsigned seed) {
  std::mt19937 rng(seed);
  int m = n / 2;
  std::vector<std::vector<int>> cols(n);
  std::vector<int> rowweight(m, 0);
  for (int v = 0; v < n; ++v) {
    int w = 1 + static_cast<int>(rng() % 3);
    for (int s = 0; s < w; ++s) {
      int r = static_cast<int>(rng() % m);
      cols[v].push_back(r + 1);
      ++rowweight[r];
    }
  }
  std::string text = std::to_string(n) + " " + std::to_string(m) + "\n3 " +
                     std::to_string(*std::max_element(rowweight.begin(), rowweight.end())) + "\n";
  for (int v = 0; v < n; ++v) text += std::to_string(cols[v].size()) + " ";
  text += "\n";
  for (int r = 0; r < m; ++r) text += std::to_string(rowweight[r]) + "\t";
  text += "\n";
  for (int v = 0; v < n; ++v) {
    for (int s = 0; s < (pad ? 3 : static_cast<int>(cols[v].size())); ++s)
      text += (s < static_cast<int>(cols[v].size()) ? std::to_string(cols[v][s]) : "0") +
              std::string(1 + rng() % 3, ' ');
    text += "\r\n";
  }
  return text;
}

}  // namespace

TEST(alistconv, converts_a_file_and_prints_the_closing_line) {
  tempdir dir;
  std::string out = dir.file("hamming.code");
  auto r = run(alistconv, {examples + "/hamming7.alist", out});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "\n simulation ends\n");
  EXPECT_EQ(r.err, "");
  std::string text = readfile(out);
  EXPECT_EQ(text, convertinmemory(readfile(examples + "/hamming7.alist")));
  EXPECT_NE(text.find("  4       0       0        1       0        3       0  \n"
                      "          4       0  \n"),
            std::string::npos);

  // the dialect without fillers gives the same file; extra arguments are ignored
  std::string out2 = dir.file("unpadded.code");
  r = run(alistconv, {examples + "/hamming7-unpadded.alist", out2, "extra"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(readfile(out2), text);

  // the new file gets the usual permissions of a created file
  struct stat st;
  ASSERT_EQ(stat(out.c_str(), &st), 0);
  mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
}

TEST(alistconv, large_files_read_across_chunk_boundaries) {
  tempdir dir;
  for (bool pad : {true, false}) {
    std::string input = randomalist(200000, pad, pad ? 1u : 2u);
    ASSERT_GT(input.size(), 2u << 20);
    writefile(dir.file("in.alist"), input);
    auto r = run(alistconv, {dir.file("in.alist"), dir.file("out.code")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(readfile(dir.file("out.code")) == convertinmemory(input)) << "pad " << pad;
  }
}

TEST(alistconv, usage_and_help) {
  auto r = run(alistconv, {});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "usage: alistconv ALISTFILE CODEFILE\n");
  r = run(alistconv, {"only-one"});
  EXPECT_EQ(r.status, 2);
  r = run(alistconv, {"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("usage: alistconv ALISTFILE CODEFILE\n", 0), 0u);
  EXPECT_EQ(r.err, "");
}

TEST(alistconv, open_failures_end_with_status_1) {
  tempdir dir;
  std::string out = dir.file("out.code");
  auto r = run(alistconv, {dir.file("missing.alist"), out});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "I can't open the indicated input file.\n");
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(fileexists(out));

  r = run(alistconv, {dir.path, out});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "I can't open the indicated input file.\n");

  std::string input = examples + "/hamming7.alist";
  for (const std::string &bad : {dir.file("no/such/dir.code"), dir.path}) {
    r = run(alistconv, {input, bad});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "I can't open the indicated output file.\n");
    EXPECT_EQ(r.out, "");
  }
}

TEST(alistconv, failures_leave_existing_output_unchanged) {
  tempdir dir;
  std::string out = dir.file("out.code");
  writefile(out, "precious\n");
  writefile(dir.file("bad.alist"), "3 2\n2 3\n2 1 2\n3 2\n1 2\n1 0\n1 5\n");
  auto r = run(alistconv, {dir.file("bad.alist"), out});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "alistconv: " + dir.file("bad.alist") +
                       ": item 7 (column lists), column 3, entry 2: row 5 is outside 1..2\n");
  EXPECT_EQ(readfile(out), "precious\n");

  writefile(dir.file("empty.alist"), "");
  r = run(alistconv, {dir.file("empty.alist"), out});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("item 1 (number of columns): the file ends"), std::string::npos);
  EXPECT_EQ(readfile(out), "precious\n");

  // nothing but the two files is left in the directory
  int entries = 0;
  for (auto &e : std::filesystem::directory_iterator(dir.path)) (void)e, ++entries;
  EXPECT_EQ(entries, 3);
}

TEST(alistconv, full_device_and_non_regular_outputs) {
  std::string input = examples + "/hamming7.alist";
  auto r = run(alistconv, {input, "/dev/full"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("/dev/full: No space left on device"), std::string::npos);
  EXPECT_EQ(r.out.find("simulation ends"), std::string::npos);

  r = run(alistconv, {input, "/dev/stdout"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("/****************************\n", 0), 0u);
  EXPECT_NE(r.out.find("-1\n\n simulation ends\n"), std::string::npos);
}
