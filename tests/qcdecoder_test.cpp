// The one-frame decoder of quasi-cyclic codes against the batched decoder
// (layered schedule, same options) on the expanded graph: every field of
// every frame equal, for hand-made and standard codes, lifts that are and
// are not multiples of the lanes, every check rule, every SIMD instruction
// set of this processor; and its refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "decoder.h"
#include "decodertesting.h"
#include "kernel.h"
#include "qcdecoder.h"
#include "qcfile.h"
#include "standard.h"
#include "support.h"

namespace {

using ldpc::decoderalgorithm;
using ldpc::decoderschedule;
using testsupport::decoded;

decoded decodeintra(const ldpc::qcdecoder &dec, const std::vector<double> &llr) {
  const std::size_t n = static_cast<std::size_t>(dec.length());
  const int frames = static_cast<int>(llr.size() / n);
  decoded d;
  dec.decode(llr.data(), frames, testsupport::outputsinto(d, llr.size(), frames));
  return d;
}

// A base matrix with block rows of degrees 5, 3, 1 and 4, a block row
// without circulants, a block column of degree 4 and one without edges.
ldpc::qcmatrix handmade(int z) {
  ldpc::qcmatrix qc;
  qc.columns = 7;
  qc.rows = 5;
  qc.lift = z;
  const int s[5][7] = {{0, 1, 2, -1, 3, 4, -1},
                       {-1, 5, -1, 6, -1, 0, -1},
                       {-1, -1, -1, 2, -1, -1, -1},
                       {-1, -1, -1, -1, -1, -1, -1},
                       {4, 0, -1, 1, 6, -1, -1}};
  for (const auto &row : s)
    for (int x : row) qc.shifts.push_back(x < 0 ? -1 : x % z);
  return qc;
}

// Frames at a few noise levels, a punctured block column (LLR 0) in some
// and the odd extreme value, NaN and infinity (quantised as the batched
// decoder quantises them).
std::vector<double> testframes(int n, int z, int frames, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<double> llr;
  for (int f = 0; f < frames; ++f) {
    const double sigma = 0.55 + 0.1 * (f % 5);
    std::vector<double> one = testsupport::awgnframes(rng, n, 1, sigma);
    if (f % 4 == 1)
      for (int i = 0; i < z && i < n; ++i) one[i] = 0.0;
    if (f % 7 == 3) {
      one[rng() % n] = std::numeric_limits<double>::quiet_NaN();
      one[rng() % n] = -std::numeric_limits<double>::infinity();
      one[rng() % n] = 1e300;
    }
    llr.insert(llr.end(), one.begin(), one.end());
  }
  return llr;
}

struct rulecase {
  decoderalgorithm algorithm;
  double alpha, beta;
  int iterations;
  bool earlystop;
};

const rulecase rules[] = {
    {decoderalgorithm::normalizedminsum, 0.75, 0.25, 12, true},
    {decoderalgorithm::normalizedminsum, 0.8, 0.25, 5, false},
    {decoderalgorithm::offsetminsum, 0.8, 0.5, 10, true},
    {decoderalgorithm::minsum, 0.8, 0.25, 8, true},
    {decoderalgorithm::offsetminsum, 0.8, 5000.0 / 8192, 0, true},
    {decoderalgorithm::minsum, 0.8, 0.25, 0, false},
};

ldpc::decoderoptions optionsof(const rulecase &r) {
  ldpc::decoderoptions o;
  o.algorithm = r.algorithm;
  o.schedule = decoderschedule::layered;
  o.alpha = r.alpha;
  o.beta = r.beta;
  o.iterations = r.iterations;
  o.earlystop = r.earlystop;
  return o;
}

std::string nameof(const rulecase &r) {
  return std::string(ldpc::algorithmname(r.algorithm)) + " " + std::to_string(r.iterations) +
         (r.earlystop ? " it, early stop" : " it");
}

// Every rule of the table on frames of graph (a lifting by z): the intra
// decoder built from the graph, and from matrix when given, equals the
// batched layered decoder field by field.
void expectbatchequal(const ldpc::graphs *graph, const ldpc::qcmatrix *matrix, int z, int frames,
                      const std::string &what) {
  const std::vector<double> llr = testframes(graph->vnodenum, z, frames, 7u + z);
  for (const rulecase &r : rules) {
    const ldpc::decoderoptions o = optionsof(r);
    const decoded batch = testsupport::decode(ldpc::decoder(graph, o), llr);
    testsupport::expectsame(decodeintra(ldpc::qcdecoder(graph, z, o), llr), batch,
                            what + ", " + nameof(r));
    if (matrix != nullptr)
      testsupport::expectsame(decodeintra(ldpc::qcdecoder(*matrix, o), llr), batch,
                              what + " (base matrix), " + nameof(r));
  }
}

TEST(QcDecoder, HandMadeLiftsEqualTheBatchedLayeredDecoder) {
  // Lifts below, at and between the lane counts of SSE4 to AVX-512.
  for (int z : {1, 2, 7, 8, 13, 16, 31, 32, 33, 47, 64, 100}) {
    const ldpc::qcmatrix qc = handmade(z);
    std::string error;
    ldpc::graphs *graph = ldpc::expandqc(qc, &error);
    ASSERT_NE(graph, nullptr) << error;
    testsupport::ownedgraph owned(graph);
    expectbatchequal(graph, &qc, z, 40, "hand-made Z " + std::to_string(z));
  }
}

TEST(QcDecoder, StandardCodesEqualTheBatchedLayeredDecoder) {
  struct codecase {
    ldpc::standardrequest request;
    int frames;
  };
  const codecase codes[] = {
      {{"nr-bg1", "", 0, 52, 0, 0, 0}, 24},  // Z 52: no multiple of 16 lanes
      {{"nr-bg1", "", 0, 384, 0, 0, 0}, 6},   {{"nr-bg2", "", 0, 15, 0, 0, 0}, 40},
      {{"nr-bg2", "", 0, 176, 0, 0, 0}, 12},  {{"wifi", "1/2", 1944, 0, 0, 0, 0}, 24},
      {{"wifi", "5/6", 648, 0, 0, 0, 0}, 40}, {{"wimax", "2/3A", 2304, 0, 0, 0, 0}, 24},
  };
  for (const codecase &c : codes) {
    ldpc::standardcode code;
    std::string error;
    ASSERT_TRUE(ldpc::buildstandard(c.request, &code, &error)) << error;
    ASSERT_GT(code.base.lift, 0) << c.request.family;
    const std::string what =
        c.request.family + " " + c.request.rate + " Z " + std::to_string(code.base.lift);
    expectbatchequal(code.graph, &code.base, code.base.lift, c.frames, what);
    ldpc::freestandard(&code);
  }
}

TEST(QcDecoder, EverySimdTargetGivesTheSameFrames) {
  ldpc::standardcode code;
  std::string error;
  ASSERT_TRUE(ldpc::buildstandard({"nr-bg2", "", 0, 36, 0, 0, 0}, &code, &error)) << error;
  const std::vector<double> llr = testframes(code.graph->vnodenum, 36, 30, 99);
  for (const rulecase &r : rules) {
    const ldpc::decoderoptions o = optionsof(r);
    const decoded batch = testsupport::decode(ldpc::decoder(code.graph, o), llr);
    for (long long target : ldpc::kernel::simdtargets()) {
      ldpc::kernel::restricttarget(target);
      const ldpc::qcdecoder dec(code.base, o);
      testsupport::expectsame(
          decodeintra(dec, llr), batch,
          dec.target() + " (" + std::to_string(dec.lanes()) + " lanes), " + nameof(r));
    }
    ldpc::kernel::restricttarget(0);
  }
  ldpc::freestandard(&code);
}

TEST(QcDecoder, OneFrameWithAWorkspaceEqualsTheBatch) {
  const ldpc::qcmatrix qc = handmade(33);
  const ldpc::decoderoptions o = optionsof(rules[0]);
  const ldpc::qcdecoder dec(qc, o);
  const std::vector<double> llr = testframes(dec.length(), 33, 10, 3);
  const decoded all = decodeintra(dec, llr);
  ldpc::qcdecoder::workspace work;
  const std::size_t n = static_cast<std::size_t>(dec.length());
  for (int f = 0; f < 10; ++f) {
    std::vector<std::uint8_t> decisions(n);
    std::uint8_t satisfied = 2;
    std::int32_t iterations = -1;
    ldpc::decodeoutputs out;
    out.decisions = decisions.data();
    out.satisfied = &satisfied;
    out.iterations = &iterations;
    dec.decodeframe(llr.data() + f * n, out, &work);
    EXPECT_TRUE(std::equal(decisions.begin(), decisions.end(), all.decisions.begin() + f * n));
    EXPECT_EQ(satisfied, all.satisfied[f]);
    EXPECT_EQ(iterations, all.iterations[f]);
  }
}

TEST(QcDecoder, RefusesWhatItCannotDecode) {
  const ldpc::qcmatrix qc = handmade(8);
  ldpc::decoderoptions good = optionsof(rules[0]);
  struct refusal {
    ldpc::decoderoptions options;
    const char *message;
  };
  std::vector<refusal> refusals;
  auto with = [&](auto change, const char *message) {
    ldpc::decoderoptions o = good;
    change(o);
    refusals.push_back({o, message});
  };
  with([](auto &o) { o.algorithm = decoderalgorithm::sumproduct; }, "sum-product");
  with([](auto &o) { o.schedule = decoderschedule::flooding; }, "flooding");
  with([](auto &o) { o.quantization = 8; }, "16-bit");
  with([](auto &o) { o.scalar = true; }, "scalar model");
  with([](auto &o) { o.iterations = -1; }, "iterations");
  with([](auto &o) { o.alpha = 1.0; }, "alpha");
  with(
      [](auto &o) {
        o.algorithm = decoderalgorithm::offsetminsum;
        o.beta = -0.5;
      },
      "beta");
  for (const refusal &r : refusals) {
    try {
      ldpc::qcdecoder dec(qc, r.options);
      ADD_FAILURE() << "accepted: " << r.message;
    } catch (const std::invalid_argument &e) {
      EXPECT_NE(std::string(e.what()).find(r.message), std::string::npos) << e.what();
      const std::string m = r.message;
      EXPECT_EQ(ldpc::qcdecoder::unsupported(r.options).empty(),
                m == "iterations" || m == "alpha" || m == "beta")
          << m;
    }
  }
  // Graphs that are no lifting by the Z given, and matrices out of shape.
  std::string error;
  testsupport::ownedgraph graph(ldpc::expandqc(qc, &error));
  std::mt19937 rng(5);
  testsupport::ownedgraph random(testsupport::randomgraph(rng, 56));
  const std::pair<const ldpc::graphs *, int> graphs[] = {
      {graph, 3}, {graph, 16}, {graph, 4}, {random, 8}, {random, 4}};
  for (const auto &[g, z] : graphs)
    EXPECT_THROW(
        {
          try {
            ldpc::qcdecoder dec(g, z, good);
          } catch (const std::invalid_argument &e) {
            EXPECT_NE(
                std::string(e.what()).find("not a lifting of circulants by " + std::to_string(z)),
                std::string::npos)
                << e.what();
            throw;
          }
        },
        std::invalid_argument);
  ldpc::qcmatrix bad = qc;
  bad.shifts[3] = 8;
  EXPECT_THROW(ldpc::qcdecoder(bad, good), std::invalid_argument);
  bad.shifts.pop_back();
  EXPECT_THROW(ldpc::qcdecoder(bad, good), std::invalid_argument);
  bad = qc;
  bad.lift = 0;
  EXPECT_THROW(ldpc::qcdecoder(bad, good), std::invalid_argument);
  EXPECT_GE(ldpc::qcdecoder::lanesfor(), 1);
}

}  // namespace
