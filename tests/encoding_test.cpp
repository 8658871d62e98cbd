// Encoders against brute force: codewords counted by enumeration, checks
// summed from the variable side of the graph, ranks from the span of the
// rows; the encoders held against each other and against the encoder read
// back from a code description file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <set>
#include <vector>

#include "descfile.h"
#include "encoder.h"
#include "graphfile.h"
#include "oracle.h"
#include "structured.h"
#include "support.h"
#include "triangular.h"

using testsupport::makegraph;
using testsupport::ownedgraph;
using testsupport::ownedrecord;

namespace {

typedef std::vector<std::vector<int>> columnlists;  // checks of each variable

// Unsatisfied checks of word, summed edge by edge from the variable side.
int syndromeweight(const ldpc::graphs *g, const std::vector<std::uint8_t> &word) {
  std::vector<int> s(g->cnodenum, 0);
  for (int v = 0; v < g->vnodenum; ++v)
    for (int e = 0; e < g->vnodelist[v].degree; ++e) s[g->vnodelist[v].edgelist[e].dest] ^= word[v];
  return static_cast<int>(std::count(s.begin(), s.end(), 1));
}

// log2 of the number of codewords, by enumerating every word (n <= 16).
int bruteforcedimension(const ldpc::graphs *g) {
  int count = 0;
  std::vector<std::uint8_t> word(g->vnodenum);
  for (int bits = 0; bits < (1 << g->vnodenum); ++bits) {
    for (int v = 0; v < g->vnodenum; ++v) word[v] = (bits >> v) & 1;
    count += syndromeweight(g, word) == 0;
  }
  int k = 0;
  while ((1 << k) < count) ++k;
  EXPECT_EQ(1 << k, count);
  return k;
}

std::vector<std::uint8_t> randomwords(int frames, int k, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::vector<std::uint8_t> u(static_cast<std::size_t>(frames) * k);
  for (auto &b : u) b = rng() & 1;
  return u;
}

std::vector<std::uint8_t> encodeall(const ldpc::encoder &enc, const std::vector<std::uint8_t> &u) {
  const int frames = enc.k == 0 ? 1 : static_cast<int>(u.size()) / enc.k;
  std::vector<std::uint8_t> c(static_cast<std::size_t>(frames) * enc.n);
  ldpc::encode(enc, u.data(), frames, c.data());
  return c;
}

// Every codeword of the encoder's output satisfies every check and carries
// its word at the information positions.
void expectcodewords(const ldpc::graphs *g, const ldpc::encoder &enc,
                     const std::vector<std::uint8_t> &u, const std::string &what) {
  const std::vector<std::uint8_t> c = encodeall(enc, u);
  const int frames = static_cast<int>(c.size()) / enc.n;
  ASSERT_EQ(static_cast<int>(enc.positions.size()), enc.k) << what;
  ASSERT_TRUE(std::is_sorted(enc.positions.begin(), enc.positions.end())) << what;
  for (int f = 0; f < frames; ++f) {
    std::vector<std::uint8_t> word(c.begin() + f * enc.n, c.begin() + (f + 1) * enc.n);
    ASSERT_EQ(syndromeweight(g, word), 0) << what << ", frame " << f;
    for (int j = 0; j < enc.k; ++j)
      ASSERT_EQ(word[enc.positions[j]], u[f * enc.k + j]) << what << ", bit " << j;
  }
}

// Every word of k <= 10 bits, frame after frame.
std::vector<std::uint8_t> allwords(int k) {
  std::vector<std::uint8_t> u;
  for (int w = 0; w < (1 << k); ++w)
    for (int j = 0; j < k; ++j) u.push_back((w >> j) & 1);
  return u;
}

columnlists fromrows(int n, const std::vector<std::vector<int>> &rows) {
  columnlists cols(n);
  for (std::size_t c = 0; c < rows.size(); ++c)
    for (int v : rows[c]) cols[v].push_back(static_cast<int>(c));
  return cols;
}

const std::vector<std::vector<int>> hamming = {{0, 2, 4, 6}, {1, 2, 5, 6}, {3, 4, 5, 6}};

struct smallcode {
  const char *name;
  int n;
  std::vector<std::vector<int>> rows;
};

const smallcode smallcodes[] = {
    {"hamming", 7, hamming},
    {"a row twice", 7, {{0, 2, 4, 6}, {1, 2, 5, 6}, {3, 4, 5, 6}, {0, 2, 4, 6}}},
    {"an empty check", 7, {{0, 2, 4, 6}, {}, {1, 2, 5, 6}, {3, 4, 5, 6}}},
    {"parallel edges cancel", 7, {{0, 0, 2, 4, 6}, {1, 2, 5, 6, 6, 6}, {3, 4, 5, 6}}},
    {"a variable in no check", 8, {{0, 2, 4, 6}, {1, 2, 5, 6}, {3, 4, 5, 6}}},
    {"a row the sum of two", 6, {{0, 1, 2}, {2, 3, 4}, {0, 1, 3, 4}}},
    {"even columns",
     12,
     {{0, 1, 2, 3, 4, 5}, {6, 7, 8, 9, 10, 11}, {0, 2, 4, 6, 8, 10}, {1, 3, 5, 7, 9, 11}}},
    {"no checks", 5, {}},
    {"every bit checked alone", 4, {{0}, {1}, {2}, {3}}},
    {"rank 0 with checks", 3, {{}, {1, 1}}},
    {"first check empty", 6, {{}, {0, 1, 2}, {2, 3}, {3, 4, 5}, {1, 5}}},
};

ldpc::graphs *smallgraph(const smallcode &code) {
  return makegraph(static_cast<int>(code.rows.size()), fromrows(code.n, code.rows));
}

// The encoder read back from a code description file written with the
// encoder information of graph; *vorder receives the form's order.
void filedencoder(const ldpc::graphs *graph, ldpc::encoder *enc, std::vector<int> *vorder) {
  ownedrecord reordered;
  ldpc::encoders info{};
  std::string error;
  ASSERT_TRUE(ldpc::computeencoderinformation(graph, &reordered, &info, &error, {}, vorder))
      << error;
  ASSERT_EQ(oracle::checkgraph(&reordered, oracle::tablesexact), "");
  testsupport::tempdir dir;
  const std::string path = dir.file("code.desc");
  ASSERT_EQ(ldpc::writegraphfile(&reordered, &info, path.c_str(), &error), ldpc::writeok);
  std::free(info.iphi);
  ownedrecord back;
  ldpc::encoders readinfo{};
  ASSERT_EQ(ldpc::readgraphfile(path.c_str(), &back, &readinfo, &error), ldpc::readok) << error;
  ASSERT_TRUE(ldpc::makeencoderfromrecord(&back, &readinfo, enc, &error)) << error;
  std::free(readinfo.iphi);
}

}  // namespace

TEST(bitmatrix, inverse_times_matrix_is_identity_and_singular_is_refused) {
  std::mt19937_64 rng(7);
  for (int g : {1, 2, 3, 63, 64, 65, 130}) {
    int inverted = 0;
    for (int trial = 0; trial < 20; ++trial) {
      ldpc::bitmatrix a = ldpc::zerobitmatrix(g, g), inverse;
      for (int r = 0; r < g; ++r)
        for (int c = 0; c < g; ++c)
          if (rng() & 1) a.set(r, c);
      if (!ldpc::invertbitmatrix(a, &inverse)) continue;
      ++inverted;
      const ldpc::bitmatrix p = ldpc::multiplybitmatrix(a, inverse);
      for (int r = 0; r < g; ++r)
        for (int c = 0; c < g; ++c) ASSERT_EQ(p.get(r, c), r == c) << g;
      if (g > 1) {
        std::memcpy(a.row(g - 1), a.row(0), a.words * 8);  // a row twice
        EXPECT_FALSE(ldpc::invertbitmatrix(a, &inverse)) << g;
      }
    }
    EXPECT_GT(inverted, 0) << g;  // about 29% of random matrices are invertible
  }
}

TEST(bitmatrix, rank_is_log2_of_the_span_and_rows_are_reduced) {
  std::mt19937_64 rng(11);
  for (int trial = 0; trial < 40; ++trial) {
    const int rows = 1 + trial % 9, cols = 1 + (trial * 7) % 70;
    ldpc::bitmatrix a = ldpc::zerobitmatrix(rows, cols);
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < cols; ++c)
        if (rng() % 3 == 0) a.set(r, c);
    // the span: every sum of a subset of the rows
    std::set<std::vector<std::uint64_t>> span;
    for (int subset = 0; subset < (1 << rows); ++subset) {
      std::vector<std::uint64_t> sum(a.words, 0);
      for (int r = 0; r < rows; ++r)
        if ((subset >> r) & 1) ldpc::addwords(sum.data(), a.row(r), a.words);
      span.insert(sum);
    }
    std::vector<int> order(cols), pivots;
    for (int c = 0; c < cols; ++c) order[c] = c;
    std::shuffle(order.begin(), order.end(), rng);
    const int rank = ldpc::reducerows(&a, order, &pivots);
    EXPECT_EQ(std::size_t{1} << rank, span.size()) << trial;
    for (int i = 0; i < rank; ++i)
      for (int j = 0; j < rank; ++j) EXPECT_EQ(a.get(i, pivots[j]), i == j);
    for (int r = rank; r < rows; ++r)
      for (int c = 0; c < cols; ++c) EXPECT_FALSE(a.get(r, c));
  }
}

TEST(encoders, small_codes_of_full_and_deficient_rank_give_every_codeword) {
  for (const smallcode &code : smallcodes) {
    ownedgraph g = smallgraph(code);
    const int k = bruteforcedimension(g);
    ldpc::encoder dense, triangular, chosen, filed;
    std::string error;
    ASSERT_TRUE(ldpc::makedenseencoder(g, &dense, &error)) << code.name << ": " << error;
    ASSERT_TRUE(ldpc::maketriangularencoder(g, &triangular, &error)) << code.name << ": " << error;
    ASSERT_TRUE(ldpc::makeencoder(g, nullptr, &chosen, &error)) << code.name << ": " << error;
    std::vector<int> vorder;
    filedencoder(g, &filed, &vorder);
    for (const ldpc::encoder *enc : {&dense, &triangular, &chosen}) {
      const std::string what = std::string(code.name) + " " + ldpc::encodername(enc->kind);
      EXPECT_EQ(enc->k, k) << what;
      EXPECT_EQ(enc->rank, code.n - k) << what;
      // all 2^k words: codewords, and all of them distinct (the whole code)
      const std::vector<std::uint8_t> u = allwords(enc->k);
      expectcodewords(g, *enc, u, what);
      const std::vector<std::uint8_t> c = encodeall(*enc, u);
      std::set<std::vector<std::uint8_t>> distinct;
      for (std::size_t f = 0; f + code.n <= c.size(); f += code.n)
        distinct.insert(std::vector<std::uint8_t>(c.begin() + f, c.begin() + f + code.n));
      EXPECT_EQ(distinct.size(), std::size_t{1} << k) << what;
    }
    EXPECT_EQ(filed.k, k) << code.name;
  }
}

TEST(encoders, the_hamming_code_keeps_its_information_in_front) {
  ownedgraph g = makegraph(3, fromrows(7, hamming));
  ldpc::encoder dense;
  std::string error;
  ASSERT_TRUE(ldpc::makedenseencoder(g, &dense, &error)) << error;
  // columns 4, 5, 6 are independent, so they take the parity
  EXPECT_EQ(dense.positions, (std::vector<int>{0, 1, 2, 3}));
  // by hand, u = 1011: check 0 gives b4 + b6 = 0, check 1 b5 + b6 = 1,
  // check 2 b4 + b5 + b6 = 1: b6 = 0, b4 = 0, b5 = 1
  const std::vector<std::uint8_t> u = {1, 0, 1, 1};
  EXPECT_EQ(encodeall(dense, u), (std::vector<std::uint8_t>{1, 0, 1, 1, 0, 1, 0}));
}

TEST(encoders, parity_order_places_the_parity_where_asked_and_refuses_bad_orders) {
  ownedgraph g = makegraph(3, fromrows(7, hamming));
  ldpc::encoderoptions options;
  options.parityorder = {0, 1, 3, 2, 4, 5, 6};
  ldpc::encoder enc;
  std::string error;
  ASSERT_TRUE(ldpc::makedenseencoder(g, &enc, &error, options)) << error;
  EXPECT_EQ(enc.paritypositions, (std::vector<int>{0, 1, 3}));
  expectcodewords(g, enc, allwords(4), "ordered");
  const struct {
    std::vector<int> order;
    const char *message;
  } bad[] = {
      {{0, 7}, "entry 1 of the parity order is 7; columns are numbered 0..6"},
      {{2, 2}, "entry 1 of the parity order is 2, listed before"},
      {{-1}, "entry 0 of the parity order is -1; columns are numbered 0..6"},
  };
  for (const auto &b : bad) {
    options.parityorder = b.order;
    EXPECT_FALSE(ldpc::makedenseencoder(g, &enc, &error, options));
    EXPECT_EQ(error, b.message);
  }
}

TEST(encoders, refuse_graphs_they_cannot_read_and_dense_matrices_beyond_the_memory_allowed) {
  ldpc::graphs none{};
  none.vnodenum = -1;
  ldpc::encoder enc;
  std::string error;
  EXPECT_FALSE(ldpc::makeencoder(&none, nullptr, &enc, &error));
  EXPECT_EQ(error, "the graph record holds no graph");
  ownedgraph g = makegraph(3, fromrows(7, hamming));
  g->cnodelist[1].edgelist[2].dest = 9;
  EXPECT_FALSE(ldpc::makedenseencoder(g, &enc, &error));
  EXPECT_EQ(error, "check node 1 socket 2 names variable node 9; variable nodes are numbered 0..6");
  g->cnodelist[1].edgelist[2].dest = 5;
  ldpc::encoderoptions small;
  small.memorylimit = 8;
  EXPECT_FALSE(ldpc::makedenseencoder(g, &enc, &error, small));
  EXPECT_EQ(error,
            "the dense encoder of a 3 x 7 parity-check matrix needs 48 bytes; the memory "
            "allowed is 8 bytes");
  small.memorylimit = 0;
  ownedgraph even = smallgraph(smallcodes[6]);  // a redundant check: a gap row at least
  EXPECT_FALSE(ldpc::maketriangularencoder(even, &enc, &error, small));
  EXPECT_NE(error.find("; the memory allowed is 0 bytes"), std::string::npos) << error;
}

namespace {

struct ensemble {
  const char *name;
  std::vector<int> vdeg;
  std::vector<double> vfrac;
  std::vector<int> cdeg;
  std::vector<double> cfrac;
  int length;
};

// A protograph of 4 checks and 8 variables with a parallel edge, lifted.
void liftedprotograph(int lift, ownedrecord *out) {
  const columnlists base = {{0, 1, 2}, {0, 0, 3}, {1, 2}, {2, 3}, {0, 1, 3}, {1, 2}, {0, 3}, {2}};
  ownedgraph proto = makegraph(4, base);
  ldpc::simulations sim{};
  sim.protograph = proto;
  sim.length = lift;
  testsupport::setstream(0x5DEECE66D);
  ldpc::constructprotograph(out, &sim);
}

// A (3,6)-regular graph of length n, whose form has a gap.
void regulargraph(int n, ownedrecord *out) {
  std::vector<int> vdeg = {3}, cdeg = {6};
  std::vector<double> vfrac = {1.0}, cfrac = {1.0};
  ldpc::simulations sim = ldpc::irregularsimulation(n, vdeg, vfrac, cdeg, cfrac, false);
  testsupport::setstream(0xABCDEF);
  ldpc::constructirregulargraph(out, &sim);
}

// The dense encoder told to take the parity where enc has it: with the
// same information positions the two must give the same codewords.
void expectsameasdense(const ldpc::graphs *g, const ldpc::encoder &enc, const std::string &what) {
  std::vector<char> isinfo(enc.n, 0);
  for (int v : enc.positions) isinfo[v] = 1;
  ldpc::encoderoptions options;
  for (int v = 0; v < enc.n; ++v)
    if (!isinfo[v]) options.parityorder.push_back(v);
  ldpc::encoder dense;
  std::string error;
  ASSERT_TRUE(ldpc::makedenseencoder(g, &dense, &error, options)) << error;
  ASSERT_EQ(dense.positions, enc.positions) << what;
  const std::vector<std::uint8_t> u = randomwords(70, enc.k, 3);
  EXPECT_EQ(encodeall(dense, u), encodeall(enc, u)) << what;
}

}  // namespace

TEST(encoders, random_ensembles_encode_into_codewords_and_agree_with_elimination) {
  const ensemble ensembles[] = {
      {"irregular 2,3,8", {2, 3, 8}, {0.5, 0.3, 0.2}, {7, 8}, {0.5, 0.5}, 600},
      {"regular 3,6", {3}, {1.0}, {6}, {1.0}, 500},
      {"regular 4,8 (rank below m)", {4}, {1.0}, {8}, {1.0}, 400},
  };
  for (const ensemble &e : ensembles) {
    std::vector<int> vdeg = e.vdeg, cdeg = e.cdeg;
    std::vector<double> vfrac = e.vfrac, cfrac = e.cfrac;
    ldpc::simulations sim = ldpc::irregularsimulation(e.length, vdeg, vfrac, cdeg, cfrac, false);
    ownedrecord g;
    testsupport::setstream(0x1234567);
    ldpc::constructirregulargraph(&g, &sim);
    ldpc::encoder dense, triangular;
    std::string error;
    ASSERT_TRUE(ldpc::makedenseencoder(&g, &dense, &error)) << error;
    ASSERT_TRUE(ldpc::maketriangularencoder(&g, &triangular, &error)) << error;
    EXPECT_EQ(dense.rank, triangular.rank) << e.name;
    if (e.vdeg[0] == 4) {
      EXPECT_LT(dense.rank, g.cnodenum) << e.name;
    }
    const std::vector<std::uint8_t> u = randomwords(100, dense.k, 1);
    expectcodewords(&g, dense, u, std::string(e.name) + " dense");
    expectcodewords(&g, triangular, u, std::string(e.name) + " triangular");
    expectsameasdense(&g, triangular, e.name);
  }
  ownedrecord lifted;
  liftedprotograph(37, &lifted);
  ldpc::encoder triangular;
  std::string error;
  ASSERT_TRUE(ldpc::maketriangularencoder(&lifted, &triangular, &error)) << error;
  expectcodewords(&lifted, triangular, randomwords(64, triangular.k, 2), "protograph");
  expectsameasdense(&lifted, triangular, "protograph");
}

TEST(encoders, many_frames_encode_as_each_frame_alone_and_lanes_as_bytes) {
  ownedrecord g;
  liftedprotograph(13, &g);
  ldpc::encoder dense, triangular;
  std::string error;
  ASSERT_TRUE(ldpc::makedenseencoder(&g, &dense, &error)) << error;
  ASSERT_TRUE(ldpc::maketriangularencoder(&g, &triangular, &error)) << error;
  for (const ldpc::encoder *enc : {&dense, &triangular}) {
    const int frames = 130;  // two full groups of 64 and a partial one
    const std::vector<std::uint8_t> u = randomwords(frames, enc->k, 9);
    const std::vector<std::uint8_t> all = encodeall(*enc, u);
    for (int f = 0; f < frames; f += 17) {
      std::vector<std::uint8_t> one(enc->n);
      ldpc::encode(*enc, u.data() + f * enc->k, 1, one.data());
      EXPECT_TRUE(std::equal(one.begin(), one.end(), all.begin() + f * enc->n)) << f;
    }
    // lanes: frame f in bit f
    std::vector<std::uint64_t> x(enc->n, 0);
    for (int f = 0; f < 64; ++f)
      for (int j = 0; j < enc->k; ++j)
        x[enc->positions[j]] |= static_cast<std::uint64_t>(u[f * enc->k + j]) << f;
    ldpc::encodelanes(*enc, x.data());
    for (int f = 0; f < 64; ++f)
      for (int i = 0; i < enc->n; ++i) ASSERT_EQ((x[i] >> f) & 1, all[f * enc->n + i]);
  }
}

TEST(encoder_information, read_back_from_a_file_it_equals_the_encoder_computed_directly) {
  ownedrecord irregular;
  {
    std::vector<int> vdeg = {2, 3, 8}, cdeg = {7, 8};
    std::vector<double> vfrac = {0.5, 0.3, 0.2}, cfrac = {0.5, 0.5};
    ldpc::simulations sim = ldpc::irregularsimulation(800, vdeg, vfrac, cdeg, cfrac, false);
    testsupport::setstream(99);
    ldpc::constructirregulargraph(&irregular, &sim);
  }
  ownedrecord lifted;
  liftedprotograph(50, &lifted);
  ownedgraph even = smallgraph(smallcodes[6]);
  for (const ldpc::graphs *g :
       {static_cast<const ldpc::graphs *>(&irregular), static_cast<const ldpc::graphs *>(&lifted),
        static_cast<const ldpc::graphs *>(even)}) {
    ldpc::encoder direct, filed;
    std::string error;
    ASSERT_TRUE(ldpc::maketriangularencoder(g, &direct, &error)) << error;
    std::vector<int> vorder;
    filedencoder(g, &filed, &vorder);
    ASSERT_EQ(filed.k, direct.k);
    EXPECT_EQ(filed.gap(), direct.gap());
    // the file's graph is the reordered one: bit j there is bit vorder[j] here
    const std::vector<std::uint8_t> u = randomwords(65, direct.k, 5);
    const std::vector<std::uint8_t> a = encodeall(direct, u), b = encodeall(filed, u);
    for (std::size_t f = 0; f < 65; ++f)
      for (int j = 0; j < direct.n; ++j)
        ASSERT_EQ(b[f * direct.n + j], a[f * direct.n + vorder[j]]) << j;
  }
}

TEST(encoder_information, a_reordered_graph_is_the_same_graph_in_the_forms_order) {
  ownedrecord g;
  liftedprotograph(20, &g);
  ownedrecord reordered;
  ldpc::encoders info{};
  std::vector<int> vorder, corder;
  std::string error;
  ASSERT_TRUE(ldpc::computeencoderinformation(&g, &reordered, &info, &error, {}, &vorder, &corder))
      << error;
  std::multiset<std::pair<int, int>> before, after;
  for (int v = 0; v < g.vnodenum; ++v)
    for (int s = 0; s < g.vnodelist[v].degree; ++s)
      before.insert({v, g.vnodelist[v].edgelist[s].dest});
  for (int v = 0; v < reordered.vnodenum; ++v)
    for (int s = 0; s < reordered.vnodelist[v].degree; ++s)
      after.insert({vorder[v], corder[reordered.vnodelist[v].edgelist[s].dest]});
  EXPECT_EQ(before, after);
  EXPECT_EQ(oracle::checkgraph(&reordered, oracle::tablesexact), "");
  // the form itself: check i < t ends at its diagonal, the entries 0/1
  ldpc::sparsechecks h;
  ASSERT_TRUE(ldpc::readchecks(&reordered, &h, &error));
  const int t = h.n - h.row(0)[h.rowlength(0) - 1];
  for (int i = 0; i < t; ++i) EXPECT_EQ(h.row(i)[h.rowlength(i) - 1], h.n - t + i);
  for (int e = 0; e < info.gap * info.gap; ++e) EXPECT_TRUE(info.iphi[e] == 0 || info.iphi[e] == 1);
  std::free(info.iphi);
}

TEST(encoder_information, that_does_not_fit_its_graph_is_refused) {
  ownedrecord g;
  regulargraph(300, &g);
  ownedrecord reordered;
  ldpc::encoders info{};
  std::string error;
  ASSERT_TRUE(ldpc::computeencoderinformation(&g, &reordered, &info, &error)) << error;
  ASSERT_GT(info.gap, 0);
  const int gap = info.gap;
  std::vector<int> iphi(info.iphi, info.iphi + gap * gap);
  std::free(info.iphi);
  const struct {
    const char *name;
    int gap;
    int entry;  // iphi entry to change, -1 none
    int value;
    bool original;  // with the graph before reordering
    const char *message;
  } rows[] = {
      {"an iphi bit flipped", gap, 0, 1 - iphi[0], false, "does not fit the graph"},
      {"an entry 2", gap, gap + 1, 2, false, " of iphi is 2; entries are 0 or 1"},
      {"a gap beyond the checks", g.cnodenum + 1, -1, 0, false, "has a gap of 0.."},
      {"gap 0 for a form with a gap", 0, -1, 0, false, ""},
      {"the graph not reordered", gap, -1, 0, true, ""},
  };
  for (const auto &r : rows) {
    std::vector<int> matrix = iphi;
    matrix.resize(static_cast<std::size_t>(r.gap) * r.gap > matrix.size()
                      ? static_cast<std::size_t>(r.gap) * r.gap
                      : matrix.size());
    if (r.entry >= 0) matrix[r.entry] = r.value;
    ldpc::encoders bad{};
    bad.gap = r.gap;
    bad.iphi = matrix.data();
    ldpc::encoder enc;
    const ldpc::graphs *graph = r.original ? static_cast<const ldpc::graphs *>(&g) : &reordered;
    EXPECT_FALSE(ldpc::makeencoderfromrecord(graph, &bad, &enc, &error)) << r.name;
    EXPECT_NE(error.find(r.message), std::string::npos) << r.name << ": " << error;
  }
  // and the record as computed is taken
  ldpc::encoders good{};
  good.gap = gap;
  good.iphi = iphi.data();
  ldpc::encoder enc;
  ASSERT_TRUE(ldpc::makeencoder(&reordered, &good, &enc, &error)) << error;
  EXPECT_EQ(enc.kind, ldpc::encoderkind::triangular);
}

namespace {

// An IRA code: k information bits of degree d into m checks (d distinct
// checks each), the parity a staircase in either direction.
ldpc::graphs *staircasecode(int k, int m, int d, bool forward, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  columnlists cols(k + m);
  for (int v = 0; v < k; ++v) {
    std::set<int> checks;
    while (static_cast<int>(checks.size()) < d) checks.insert(static_cast<int>(rng() % m));
    cols[v].assign(checks.begin(), checks.end());
  }
  for (int j = 0; j < m; ++j) {
    if (forward)
      cols[k + j] = j + 1 < m ? std::vector<int>{j, j + 1} : std::vector<int>{j};
    else
      cols[k + j] = j > 0 ? std::vector<int>{j - 1, j} : std::vector<int>{j};
  }
  return makegraph(m, cols);
}

// A quasi-cyclic code from a base matrix of shifts (-1: no block): check
// i*z + r meets variable j*z + (r + s) mod z.
ldpc::graphs *circulantcode(const std::vector<std::vector<int>> &base, int z) {
  const int mb = static_cast<int>(base.size()), nb = static_cast<int>(base[0].size());
  columnlists cols(nb * z);
  for (int i = 0; i < mb; ++i)
    for (int j = 0; j < nb; ++j)
      if (base[i][j] >= 0)
        for (int r = 0; r < z; ++r) cols[j * z + (r + base[i][j]) % z].push_back(i * z + r);
  for (auto &c : cols) std::sort(c.begin(), c.end());
  return makegraph(mb * z, cols);
}

// Random information blocks (about half present) in front of a parity part.
std::vector<std::vector<int>> withinformation(const std::vector<std::vector<int>> &parity, int kb,
                                              int z, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::vector<std::vector<int>> base;
  for (const auto &row : parity) {
    std::vector<int> full;
    for (int j = 0; j < kb; ++j) full.push_back(rng() % 2 ? static_cast<int>(rng() % z) : -1);
    full.insert(full.end(), row.begin(), row.end());
    base.push_back(full);
  }
  return base;
}

}  // namespace

TEST(structured, staircases_are_found_in_both_directions_and_equal_the_dense_encoder) {
  for (bool forward : {true, false})
    for (int m : {1, 2, 30, 257}) {
      ownedgraph g = staircasecode(11, m, std::min(3, m), forward, m);
      ldpc::encoder stair, dense, chosen;
      std::string error;
      ASSERT_TRUE(ldpc::makestaircaseencoder(g, &stair, &error)) << error;
      ASSERT_TRUE(ldpc::makedenseencoder(g, &dense, &error)) << error;
      ASSERT_TRUE(ldpc::makeencoder(g, nullptr, &chosen, &error)) << error;
      EXPECT_EQ(chosen.kind, ldpc::encoderkind::staircase);
      EXPECT_EQ(stair.k, 11);
      ASSERT_EQ(stair.positions, dense.positions);
      const std::vector<std::uint8_t> u = randomwords(66, stair.k, m);
      expectcodewords(g, stair, u, "staircase");
      EXPECT_EQ(encodeall(stair, u), encodeall(dense, u)) << m << " " << forward;
    }
  // the Hamming code's parity part is no staircase
  ldpc::sparsechecks h;
  std::string error;
  ownedgraph random = makegraph(3, fromrows(7, hamming));
  ASSERT_TRUE(ldpc::readchecks(random, &h, &error));
  ldpc::encoder enc;
  EXPECT_FALSE(ldpc::findstaircase(h, &enc));
  EXPECT_FALSE(ldpc::makestaircaseencoder(random, &enc, &error));
  EXPECT_EQ(error, "the last 3 variables do not form a staircase");
}

TEST(structured, dual_diagonal_parity_parts_are_found_and_equal_the_dense_encoder) {
  const struct {
    const char *name;
    int z;
    int kb;
    std::vector<std::vector<int>> parity;  // shifts of the parity block columns
  } codes[] = {
      // core of every block row: first column (1, 0, 1) at rows 0, 2, 3
      {"whole core", 7, 8, {{1, 0, -1, -1}, {-1, 0, 0, -1}, {0, -1, 0, 0}, {1, -1, -1, 0}}},
      // a core of 4 rows, dual diagonals of shift 2, then a diagonal
      // extension whose rows also use the core's parity
      {"core and extension",
       5,
       6,
       {{1, 2, -1, -1, -1, -1, -1},
        {0, 2, 2, -1, -1, -1, -1},
        {-1, -1, 2, 2, -1, -1, -1},
        {1, -1, -1, 2, -1, -1, -1},
        {3, -1, 4, -1, 0, -1, -1},
        {-1, 1, -1, -1, 2, 3, -1},
        {2, -1, -1, 0, -1, 1, 4}}},
      // three equal shifts in the first column
      {"three equal shifts", 4, 3, {{3, 0, -1}, {3, 0, 0}, {3, -1, 0}}},
      // a lifting of 1: the structure bit by bit
      {"lift 1", 1, 5, {{0, 0, -1}, {0, 0, 0}, {0, -1, 0}}},
  };
  for (const auto &code : codes) {
    ownedgraph g = circulantcode(withinformation(code.parity, code.kb, code.z, code.z), code.z);
    ldpc::encoder dual, dense, chosen;
    std::string error;
    ASSERT_TRUE(ldpc::makedualdiagonalencoder(g, &dual, &error)) << code.name << ": " << error;
    ASSERT_TRUE(ldpc::makedenseencoder(g, &dense, &error)) << error;
    ASSERT_TRUE(ldpc::makeencoder(g, nullptr, &chosen, &error)) << error;
    EXPECT_EQ(chosen.kind, ldpc::encoderkind::dualdiagonal) << code.name;
    EXPECT_EQ(dual.lift, code.z) << code.name;
    EXPECT_EQ(dual.k, code.kb * code.z) << code.name;
    ASSERT_EQ(dual.positions, dense.positions) << code.name;
    const std::vector<std::uint8_t> u = randomwords(70, dual.k, 4);
    expectcodewords(g, dual, u, code.name);
    EXPECT_EQ(encodeall(dual, u), encodeall(dense, u)) << code.name;
  }
}

TEST(structured, other_parity_parts_are_not_taken_for_dual_diagonal_ones) {
  const struct {
    const char *name;
    std::vector<std::vector<int>> parity;
  } codes[] = {
      {"three different shifts", {{1, 0, -1}, {0, 0, 0}, {2, -1, 0}}},
      {"an even first column", {{1, 0, -1}, {-1, 0, 0}, {1, -1, 0}}},
      {"a dual diagonal of two shifts", {{1, 0, -1}, {0, 1, 0}, {1, -1, 0}}},
      {"an extension above its diagonal",
       {{1, 0, -1, 2}, {0, 0, -1, -1}, {1, -1, 0, -1}, {-1, -1, 0, 0}}},
  };
  for (const auto &code : codes) {
    ownedgraph g = circulantcode(withinformation(code.parity, 4, 6, 1), 6);
    ldpc::sparsechecks h;
    std::string error;
    ASSERT_TRUE(ldpc::readchecks(g, &h, &error));
    ldpc::encoder enc;
    EXPECT_FALSE(ldpc::finddualdiagonal(h, &enc)) << code.name;
    // the choice falls back to a general encoder, which still encodes
    ASSERT_TRUE(ldpc::makeencoder(g, nullptr, &enc, &error)) << error;
    EXPECT_EQ(enc.kind, ldpc::encoderkind::triangular) << code.name;
    expectcodewords(g, enc, randomwords(64, enc.k, 8), code.name);
  }
}
