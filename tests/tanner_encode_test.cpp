// tanner encode, construct --encoder and convert --encoder through the
// program: codewords checked against the parity-check matrix of the graph
// as the test builds it, dimensions against a rank computed here, words of
// --random against the run's streams, faults with file, line and column.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "channel.h"
#include "graphfile.h"
#include "support.h"
#include "symbolchannel.h"

using namespace testsupport;

namespace {

// Rows of the parity-check matrix of a graph given by the checks of each
// variable, mod 2 (parallel edges cancel).
std::vector<std::vector<int>> rowsof(int m, const std::vector<std::vector<int>> &vchecks) {
  std::vector<std::vector<int>> count(m, std::vector<int>(vchecks.size(), 0));
  for (std::size_t v = 0; v < vchecks.size(); ++v)
    for (int c : vchecks[v]) count[c][v] ^= 1;
  return count;
}

// The rank over GF(2) by plain elimination on rows of bytes.
int rankof(std::vector<std::vector<int>> rows) {
  int rank = 0;
  const int n = rows.empty() ? 0 : static_cast<int>(rows[0].size());
  for (int col = 0; col < n && rank < static_cast<int>(rows.size()); ++col) {
    int pivot = -1;
    for (int r = rank; r < static_cast<int>(rows.size()); ++r)
      if (rows[r][col]) pivot = r;
    if (pivot < 0) continue;
    std::swap(rows[pivot], rows[rank]);
    for (int r = 0; r < static_cast<int>(rows.size()); ++r)
      if (r != rank && rows[r][col])
        for (int c = 0; c < n; ++c) rows[r][c] ^= rows[rank][c];
    ++rank;
  }
  return rank;
}

bool satisfies(const std::vector<std::vector<int>> &rows, const std::string &word) {
  for (const auto &row : rows) {
    int parity = 0;
    for (std::size_t v = 0; v < row.size(); ++v) parity ^= row[v] & (word[v] == '1');
    if (parity) return false;
  }
  return true;
}

std::vector<std::string> lines(const std::string &text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::vector<int> positionsof(const std::string &text) {
  std::vector<int> out;
  for (const std::string &line : lines(text)) out.push_back(std::stoi(line));
  return out;
}

struct testcode {
  const char *name;
  int n, m;
  std::vector<std::vector<int>> vchecks;
};

// Random codes, one of them with checks that are sums of others (rank
// below m) and one with parallel edges.
std::vector<testcode> testcodes() {
  std::vector<testcode> codes;
  std::mt19937 rng(7);
  for (auto [n, m, dv] : {std::tuple{40, 20, 3}, std::tuple{96, 48, 3}, std::tuple{30, 18, 2}}) {
    testcode code{"random", n, m, std::vector<std::vector<int>>(n)};
    for (auto &list : code.vchecks)
      for (int s = 0; s < dv; ++s) list.push_back(static_cast<int>(rng() % m));
    codes.push_back(code);
  }
  // Checks 6 and 7 repeat the sums of checks 0+1 and 2+3: rank m - 2.
  testcode deficient{"deficient", 24, 8, std::vector<std::vector<int>>(24)};
  for (int v = 0; v < 24; ++v) {
    for (int c = 0; c < 6; ++c)
      if ((v * 7 + c * 5) % 6 < 2) deficient.vchecks[v].push_back(c);
    const bool in0 = (v * 7) % 6 < 2, in1 = (v * 7 + 5) % 6 < 2;
    const bool in2 = (v * 7 + 10) % 6 < 2, in3 = (v * 7 + 15) % 6 < 2;
    if (in0 != in1) deficient.vchecks[v].push_back(6);
    if (in2 != in3) deficient.vchecks[v].push_back(7);
  }
  codes.push_back(deficient);
  codes[0].name = "parallel";
  codes[0].vchecks[3].push_back(codes[0].vchecks[3][0]);
  return codes;
}

std::string randomwordsfile(int frames, int k, unsigned seed) {
  std::mt19937 rng(seed);
  std::string text;
  for (int f = 0; f < frames; ++f) {
    for (int i = 0; i < k; ++i) text += static_cast<char>('0' + (rng() & 1));
    text += '\n';
  }
  return text;
}

}  // namespace

TEST(tanner_encode, codewords_satisfy_every_check_and_carry_the_word_at_the_positions) {
  tempdir dir;
  for (const testcode &code : testcodes()) {
    ownedgraph g = makegraph(code.m, code.vchecks);
    ldpc::encoders none{0, -1, nullptr, nullptr};
    const std::string file = dir.file(std::string(code.name) + ".code");
    ldpc::savegraph(g, &none, file.c_str(), 0);
    const std::vector<std::vector<int>> rows = rowsof(code.m, code.vchecks);
    const int k = code.n - rankof(rows);
    const runresult p = run(tanner, {"encode", file, "--positions"});
    ASSERT_EQ(p.status, 0) << p.err;
    const std::vector<int> positions = positionsof(p.out);
    ASSERT_EQ(static_cast<int>(positions.size()), k) << code.name;
    const std::string words = randomwordsfile(40, k, code.n);
    writefile(dir.file("words"), words);
    const runresult r = run(tanner, {"encode", file, dir.file("words"), dir.file("out")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> in = lines(words), out = lines(readfile(dir.file("out")));
    ASSERT_EQ(out.size(), in.size());
    for (std::size_t f = 0; f < out.size(); ++f) {
      ASSERT_EQ(static_cast<int>(out[f].size()), code.n);
      EXPECT_TRUE(satisfies(rows, out[f])) << code.name << " word " << f;
      for (int i = 0; i < k; ++i) ASSERT_EQ(out[f][positions[i]], in[f][i]) << code.name;
    }
    // The same to standard output, and from the alist file of the graph.
    EXPECT_EQ(run(tanner, {"encode", file, dir.file("words"), "-"}).out, readfile(dir.file("out")));
    ASSERT_EQ(run(tanner, {"export", file, dir.file("g.alist")}).status, 0);
    EXPECT_EQ(run(tanner, {"encode", dir.file("g.alist"), "--positions"}).out, p.out);
  }
}

TEST(tanner_encode, random_words_are_those_of_the_runs_streams) {
  tempdir dir;
  const std::string code = dir.file("c.code");
  ASSERT_EQ(run(tanner, {"construct", "irregular", "--vdeg", "3", "--vfrac", "1", "--cdeg", "6",
                         "--cfrac", "1", "--length", "200", code})
                .status,
            0);
  const std::vector<int> positions = positionsof(run(tanner, {"encode", code, "--positions"}).out);
  const int k = static_cast<int>(positions.size());
  for (const char *seed : {"1", "12345"}) {
    std::vector<std::string> args = {"encode", code, "--random", "5", "-"};
    if (std::string(seed) != "1") args.insert(args.end() - 1, {"--seed", seed});
    const runresult r = run(tanner, args);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> out = lines(r.out);
    ASSERT_EQ(out.size(), 5u);
    for (int f = 0; f < 5; ++f) {
      std::uint64_t state = ldpc::streamstate(std::stoull(seed), 0, f);
      std::vector<std::uint8_t> word(k);
      ldpc::drawword(&state, k, word.data());
      for (int i = 0; i < k; ++i)
        ASSERT_EQ(out[f][positions[i]], '0' + word[i]) << seed << " " << f;
    }
  }
  EXPECT_EQ(run(tanner, {"encode", code, "--random", "0", "-"}).out, "");
}

TEST(tanner_encode, encoder_information_written_by_construct_and_convert_is_used) {
  tempdir dir;
  const std::string plain = dir.file("plain.code"), withinfo = dir.file("info.code");
  const std::vector<std::string> construct = {"construct", "irregular",   "--vdeg",   "2,3,8",
                                              "--vfrac",   "0.5,0.4,0.1", "--cdeg",   "7",
                                              "--cfrac",   "1",           "--length", "600"};
  std::vector<std::string> args = construct;
  args.push_back(plain);
  const runresult a = run(tanner, args);
  args.back() = "--encoder";
  args.push_back(withinfo);
  const runresult b = run(tanner, args);
  ASSERT_EQ(b.status, 0) << b.err;
  // The report adds one line; the graph is the same code with its nodes
  // reordered (same counts), carrying a gap.
  const std::string gapline = b.out.substr(b.out.find("encoder information: gap "));
  EXPECT_EQ(b.out.find(a.out.substr(0, a.out.find("fingerprint"))), 0u);
  ldpc::graphs g{};
  ldpc::encoders info{};
  std::string error;
  ASSERT_EQ(ldpc::readgraphfile(withinfo.c_str(), &g, &info, &error), ldpc::readok) << error;
  ASSERT_GE(info.gap, 0);
  EXPECT_EQ(gapline.substr(0, gapline.find(" (")),
            "encoder information: gap " + std::to_string(info.gap));
  std::vector<std::vector<int>> rows(g.cnodenum, std::vector<int>(g.vnodenum, 0));
  for (int c = 0; c < g.cnodenum; ++c)
    for (int s = 0; s < g.cnodelist[c].degree; ++s) rows[c][g.cnodelist[c].edgelist[s].dest] ^= 1;
  std::free(info.iphi);
  ldpc::freegraph(&g);
  const runresult v = run(tanner, {"encode", withinfo, "--random", "30", "--verbose", "-"});
  ASSERT_EQ(v.status, 0) << v.err;
  EXPECT_NE(v.err.find("gap " + std::to_string(info.gap)), std::string::npos) << v.err;
  for (const std::string &word : lines(v.out)) EXPECT_TRUE(satisfies(rows, word));
  // From the form, information positions are the first K nodes.
  const std::vector<int> positions =
      positionsof(run(tanner, {"encode", withinfo, "--positions"}).out);
  for (std::size_t i = 0; i < positions.size(); ++i) ASSERT_EQ(positions[i], static_cast<int>(i));
  // The files without --encoder have no encoder part, as before.
  const std::string noinfo = "inverse of phi row by row */\n-1\n";
  EXPECT_TRUE(readfile(plain).ends_with(noinfo));
  // convert --encoder writes the same kind of file from an alist file.
  ASSERT_EQ(run(tanner, {"export", plain, dir.file("p.alist")}).status, 0);
  ASSERT_EQ(run(tanner, {"convert", "--encoder", dir.file("p.alist"), dir.file("c.code")}).status,
            0);
  const runresult c =
      run(tanner, {"encode", dir.file("c.code"), "--random", "4", "--verbose", "-"});
  EXPECT_EQ(c.status, 0);
  EXPECT_NE(c.err.find("triangular"), std::string::npos);
  EXPECT_EQ(run(tanner, {"convert", dir.file("p.alist"), dir.file("d.code")}).status, 0);
  EXPECT_TRUE(readfile(dir.file("d.code")).ends_with(noinfo));
  EXPECT_FALSE(readfile(dir.file("c.code")).ends_with(noinfo));
  args.back() = "--alist";
  args.push_back(dir.file("x.alist"));
  EXPECT_EQ(run(tanner, args).status, 2);
}

TEST(tanner_encode, faults_name_file_line_and_column_and_write_nothing) {
  tempdir dir;
  ownedgraph g = makegraph(3, {{0}, {0, 1}, {1, 2}, {2}, {0, 2}, {1}});
  ldpc::encoders none{0, -1, nullptr, nullptr};
  const std::string code = dir.file("c.code");
  ldpc::savegraph(g, &none, code.c_str(), 0);  // K = 3
  const struct {
    const char *input;
    const char *message;
  } rows[] = {
      {"010\n01\n", "words:2:3: the word ends after 2 of K = 3 bits"},
      {"010\n0110\n", "words:2:4: the word is longer than K = 3 bits"},
      {"010\n0a0\n", "words:2:2: expected 0 or 1, found 'a'"},
      {"010\n\n111\n", "words:2:1: the word ends after 0 of K = 3 bits"},
      {"0 1\n", "words:1:2: expected 0 or 1, found ' '"},
      {"01\t\n", "words:1:3: expected 0 or 1, found byte 9"},
  };
  for (const auto &row : rows) {
    writefile(dir.file("words"), row.input);
    writefile(dir.file("out"), "kept\n");
    const runresult r = run(tanner, {"encode", code, dir.file("words"), dir.file("out")});
    EXPECT_EQ(r.status, 1) << row.input;
    EXPECT_EQ(r.err, "tanner: " + dir.path + "/" + row.message + "\n");
    EXPECT_EQ(readfile(dir.file("out")), "kept\n");
  }
  // Carriage returns and a last line without its newline are words.
  writefile(dir.file("words"), "010\r\n111");
  runresult r = run(tanner, {"encode", code, dir.file("words"), "-"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(lines(r.out).size(), 2u);
  const struct {
    std::vector<std::string> args;
    int status;
  } usage[] = {
      {{"encode", code}, 2},
      {{"encode", code, "--positions", "x"}, 2},
      {{"encode", code, "--random", "3", "--positions", "-"}, 2},
      {{"encode", code, "--seed", "3", dir.file("words"), "-"}, 2},
      {{"encode", code, "--random", "-1", "-"}, 2},
      {{"encode", code, "--bogus", "-"}, 2},
      {{"encode", code, code, code}, 2},
      {{"encode", dir.file("none.code"), "--positions"}, 1},
      {{"encode", code, dir.file("none"), "-"}, 1},
      {{"encode", "--help"}, 0},
  };
  for (const auto &u : usage) EXPECT_EQ(run(tanner, u.args).status, u.status) << u.args.back();
}
