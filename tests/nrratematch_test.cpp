// 5G NR: lifting sizes and set indices, the base graph choice, lifting size
// and filler bits of a code block, and rate matching, each held to a plain
// reading of the clauses of TS 38.212 written out here.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "nrratematch.h"

namespace {

using ldpc::bitstate;

// Table 5.3.2-1 written out: the lifting sizes of each set index.
const std::vector<std::vector<int>> liftingsets = {
    {2, 4, 8, 16, 32, 64, 128, 256}, {3, 6, 12, 24, 48, 96, 192, 384},
    {5, 10, 20, 40, 80, 160, 320},   {7, 14, 28, 56, 112, 224},
    {9, 18, 36, 72, 144, 288},       {11, 22, 44, 88, 176, 352},
    {13, 26, 52, 104, 208},          {15, 30, 60, 120, 240}};

// Clause 5.4.2.1 read plainly: d_i = c_(i+2Zc) for i = 0..N-1, NULL for a
// filler; k0 from Table 5.4.2.1-2; then
//   k = 0, j = 0; while k < E: if d_((k0+j) mod Ncb) != NULL: e_k = it, k++; j++.
std::vector<int> plainbitselection(int basegraph, int zc, int kprime, int e, int rv, int ncb) {
  const int n = (basegraph == 1 ? 66 : 50) * zc;
  const int k = (basegraph == 1 ? 22 : 10) * zc;
  std::vector<int> d(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    const int c = i + 2 * zc;
    d[static_cast<std::size_t>(i)] = (c >= kprime && c < k) ? -1 : c;
  }
  long long k0 = 0;
  const long long table1[4] = {0, 17, 33, 56}, table2[4] = {0, 13, 25, 43};
  if (rv > 0)
    k0 = basegraph == 1 ? (table1[rv] * ncb) / (66LL * zc) * zc
                        : (table2[rv] * ncb) / (50LL * zc) * zc;
  std::vector<int> sent;
  for (long long j = 0; static_cast<int>(sent.size()) < e; ++j) {
    const int bit = d[static_cast<std::size_t>((k0 + j) % ncb)];
    if (bit != -1) sent.push_back(bit);
  }
  return sent;
}

ldpc::nrcode codefor(int basegraph, int info) {
  ldpc::nrcode code;
  std::string error;
  EXPECT_TRUE(ldpc::nrcodeforinfo(basegraph, info, &code, &error)) << error;
  return code;
}

std::vector<int> range(int first, int last) {
  std::vector<int> v;
  for (int i = first; i <= last; ++i) v.push_back(i);
  return v;
}

}  // namespace

TEST(nrratematch, knows_the_51_lifting_sizes_and_their_set_indices) {
  int count = 0;
  for (std::size_t i = 0; i < liftingsets.size(); ++i)
    for (int z : liftingsets[i]) {
      EXPECT_EQ(ldpc::nrsetindex(z), static_cast<int>(i)) << z;
      ++count;
    }
  EXPECT_EQ(count, 51);
  EXPECT_EQ(ldpc::nrliftsizes().size(), 51u);
  for (int z : {0, 1, 17, 19, 25, 33, 385, 448, 512, -2}) EXPECT_EQ(ldpc::nrsetindex(z), -1) << z;
}

TEST(nrratematch, chooses_the_base_graph) {
  struct choice {
    std::int64_t a;
    double r;
    int basegraph;
  };
  const std::vector<choice> cases = {{292, 0.9, 2},   {293, 0.9, 1},  {3824, 0.67, 2},
                                     {3824, 0.68, 1}, {3825, 0.5, 1}, {8000, 0.25, 2},
                                     {8000, 0.26, 1}, {500, 0.5, 2},  {100000, 0.8, 1}};
  for (const choice &c : cases) EXPECT_EQ(ldpc::nrbasegraph(c.a, c.r), c.basegraph) << c.a;
}

TEST(nrratematch, sizes_a_code_block) {
  struct sizing {
    int basegraph, info, lift, systematic, fillers;
  };
  // Kb = 22 (BG1); 10, 9, 8, 6 (BG2) as K' exceeds 640, 560, 192 or not;
  // Zc the least lifting size with Kb Zc >= K'
  const std::vector<sizing> cases = {
      {1, 8448, 384, 8448, 0},  {1, 1000, 48, 1056, 56}, {1, 1, 2, 44, 43},
      {1, 2000, 96, 2112, 112}, {2, 3840, 384, 3840, 0}, {2, 100, 18, 180, 80},
      {2, 192, 32, 320, 128},   {2, 193, 26, 260, 67},   {2, 500, 64, 640, 140},
      {2, 561, 64, 640, 79},    {2, 641, 72, 720, 79},   {2, 40, 7, 70, 30}};
  for (const sizing &c : cases) {
    ldpc::nrcode code = codefor(c.basegraph, c.info);
    EXPECT_EQ(code.lift, c.lift) << c.info;
    EXPECT_EQ(code.systematic, c.systematic) << c.info;
    EXPECT_EQ(code.fillers, c.fillers) << c.info;
    EXPECT_EQ(code.buffer, (c.basegraph == 1 ? 66 : 50) * c.lift);
  }
  ldpc::nrcode code;
  std::string error;
  EXPECT_FALSE(ldpc::nrcodeforinfo(2, 3841, &code, &error));
  EXPECT_EQ(error, "code block of 3841 bits; base graph 2 takes 1..3840 bits without segmentation");
  EXPECT_FALSE(ldpc::nrcodeforinfo(3, 100, &code, &error));
  EXPECT_EQ(error, "base graph 3; there are base graphs 1 and 2");
  EXPECT_FALSE(ldpc::nrcodeforlift(1, 17, &code, &error));
  EXPECT_EQ(error, "lifting size 17 is none of the 51 of TS 38.212 Table 5.3.2-1");
}

// A case worked by hand: BG2, K' = 100, Zc = 18, fillers 100..179, 2Zc = 36.
TEST(nrratematch, selects_the_bits_of_a_case_worked_by_hand) {
  ldpc::nrcode code = codefor(2, 100);
  ldpc::transmission p;
  std::string error;
  ASSERT_TRUE(ldpc::nrratematch(code, 200, 0, code.buffer, &p, &error)) << error;
  std::vector<int> expected = range(36, 99), tail = range(180, 315);
  expected.insert(expected.end(), tail.begin(), tail.end());
  EXPECT_EQ(p.order, expected);
  EXPECT_EQ(ldpc::patternfault(p, 52 * 18), "");
  EXPECT_EQ(ldpc::countstate(p, bitstate::shortened), 80);
  for (int v = 0; v < 36; ++v) EXPECT_EQ(p.state[static_cast<std::size_t>(v)], bitstate::punctured);
  // rv 2: k0 = floor(25 * 900 / 900) * 18 = 450, node 486 on
  ASSERT_TRUE(ldpc::nrratematch(code, 200, 2, code.buffer, &p, &error));
  EXPECT_EQ(p.order, range(486, 685));
}

TEST(nrratematch, agrees_with_a_plain_reading_of_the_clause) {
  struct matchcase {
    int basegraph, info, e, rv;
    std::int64_t tbslbrm;
  };
  const std::vector<matchcase> cases = {
      {2, 500, 1000, 0, 0},     {2, 500, 1000, 1, 0},  {2, 500, 1000, 2, 0},
      {2, 500, 1000, 3, 0},     {1, 1000, 1500, 0, 0}, {1, 1000, 1500, 3, 0},
      {2, 100, 2000, 1, 0},     {1, 8448, 9000, 2, 0}, {2, 3840, 5000, 3, 3000},
      {1, 2000, 3000, 1, 1500}, {2, 40, 37, 0, 0},     {1, 1, 5, 2, 0}};
  for (const matchcase &c : cases) {
    ldpc::nrcode code = codefor(c.basegraph, c.info);
    const std::int64_t ncb = ldpc::nrbufferlength(code, c.tbslbrm);
    ldpc::transmission p;
    std::string error;
    ASSERT_TRUE(ldpc::nrratematch(code, c.e, c.rv, ncb, &p, &error)) << error;
    EXPECT_EQ(p.order,
              plainbitselection(c.basegraph, code.lift, c.info, c.e, c.rv, static_cast<int>(ncb)))
        << c.info << " " << c.e << " " << c.rv;
    EXPECT_EQ(ldpc::patternfault(p, code.columns * code.lift), "");
  }
}

// E beyond the usable buffer repeats bits from k0 on.
TEST(nrratematch, repeats_bits_beyond_the_buffer) {
  ldpc::nrcode code = codefor(2, 100);  // N = 900, 80 fillers: 820 usable
  ldpc::transmission p;
  std::string error;
  ASSERT_TRUE(ldpc::nrratematch(code, 1000, 0, code.buffer, &p, &error));
  ASSERT_EQ(p.order.size(), 1000u);
  for (int k = 820; k < 1000; ++k)
    EXPECT_EQ(p.order[static_cast<std::size_t>(k)], p.order[static_cast<std::size_t>(k - 820)]);
  EXPECT_EQ(ldpc::countstate(p, bitstate::punctured), 36);
}

TEST(nrratematch, limits_the_buffer) {
  ldpc::nrcode code = codefor(2, 100);
  EXPECT_EQ(ldpc::nrbufferlength(code, 0), 900);
  EXPECT_EQ(ldpc::nrbufferlength(code, 400), 600);  // floor(400 / (2/3))
  EXPECT_EQ(ldpc::nrbufferlength(code, 5000), 900);
  EXPECT_EQ(ldpc::nrstart(code, 1, 600), 144);  // floor(13 * 600 / 900) * 18
  EXPECT_EQ(ldpc::nrstart(code, 3, 900), 43 * 18);
  ldpc::nrcode big = codefor(1, 8448);
  EXPECT_EQ(ldpc::nrstart(big, 1, big.buffer), 17 * 384);
  EXPECT_EQ(ldpc::nrstart(big, 2, big.buffer), 33 * 384);
  EXPECT_EQ(ldpc::nrstart(big, 3, big.buffer), 56 * 384);
}

TEST(nrratematch, refuses_what_the_clause_does_not_define) {
  ldpc::nrcode code = codefor(2, 100);
  ldpc::transmission p;
  std::string error;
  EXPECT_FALSE(ldpc::nrratematch(code, 0, 0, 900, &p, &error));
  EXPECT_EQ(error, "E = 0 sent bits; E must lie in 1..100000000");
  EXPECT_FALSE(ldpc::nrratematch(code, 10, 4, 900, &p, &error));
  EXPECT_EQ(error, "redundancy version 4; it must be 0, 1, 2 or 3");
  EXPECT_FALSE(ldpc::nrratematch(code, 10, 0, 901, &p, &error));
  EXPECT_EQ(error, "circular buffer of 901 bits; it must hold 1..900 bits");
  // a buffer of filler bits only: BG1, K' = 1, Zc = 2, fillers at nodes
  // 1..43, so d_0..d_39 (nodes 4..43) are all fillers
  ldpc::nrcode tiny = codefor(1, 1);
  EXPECT_FALSE(ldpc::nrratematch(tiny, 10, 0, 40, &p, &error));
  EXPECT_EQ(error, "the circular buffer of 40 bits holds only filler bits");
  EXPECT_TRUE(ldpc::nrratematch(tiny, 10, 0, 41, &p, &error));
  EXPECT_EQ(p.order, std::vector<int>(10, 44));
}

TEST(nrratematch, sends_the_mother_code_whole) {
  ldpc::nrcode code;
  std::string error;
  ASSERT_TRUE(ldpc::nrcodeforlift(1, 2, &code, &error));
  ldpc::transmission p = ldpc::nrmothercode(code);
  EXPECT_EQ(p.order, range(4, 135));
  ldpc::nrcode filled = codefor(1, 1000);
  p = ldpc::nrmothercode(filled);
  EXPECT_EQ(ldpc::countstate(p, bitstate::shortened), 56);
  EXPECT_EQ(ldpc::countstate(p, bitstate::punctured), 96);
  EXPECT_EQ(ldpc::patternfault(p, 68 * 48), "");
}
