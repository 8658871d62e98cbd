// The fast sum-product rule: its exponential, reciprocal and logarithm
// against the std library's and the division (accuracy) and against the scalar model's float steps
// (the same bits), the whole decoder against the scalar model on every SIMD target of this
// processor, and its decisions against the exact rule's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "decoder.h"
#include "decodertesting.h"
#include "kernel.h"
#include "support.h"

namespace {

using ldpc::decoderalgorithm;
using ldpc::decoderschedule;
using ldpc::spaapproximation;
using testsupport::awgnframes;
using testsupport::decode;
using testsupport::expectnearlyallagree;
using testsupport::expectsame;

float floatof(std::uint32_t b) {
  float x;
  std::memcpy(&x, &b, sizeof x);
  return x;
}

// Every stride-th float by bit pattern of [first, last], both ends included.
std::vector<float> sweep(std::uint32_t first, std::uint32_t last, std::uint32_t stride) {
  std::vector<float> out;
  for (std::uint64_t at = first; at < last; at += stride)
    out.push_back(floatof(static_cast<std::uint32_t>(at)));
  out.push_back(floatof(last));
  return out;
}

// The inputs the rule meets: exp of [-80, -0], reciprocals of [2^-24,
// 2^100] (D - N or D 2^-24, D up to 2^degree), log of [1, 2^25]; as many
// of each (the shorter sweeps padded with 1 or -1).
struct inputs {
  std::vector<float> x, b, q;
};

inputs ruleinputs() {
#ifdef __OPTIMIZE__
  const std::uint32_t stride = 37;
#else
  const std::uint32_t stride = 1013;
#endif
  inputs in{sweep(0x80000000u, 0xC2A00000u, stride), sweep(0x33800000u, 0x71800000u, stride),
            sweep(0x3F800000u, 0x4C000000u, stride)};
  const std::size_t most = std::max({in.x.size(), in.b.size(), in.q.size()});
  in.x.resize(most, -1.0f);
  in.b.resize(most, 1.0f);
  in.q.resize(most, 1.0f);
  return in;
}

TEST(sumproductfast, exp_reciprocal_and_log_are_within_their_stated_error) {
  const inputs in = ruleinputs();
  for (bool fused : {true, false}) {
    double experror = 0, inverseerror = 0, logerror = 0;
    for (float x : in.x) {
      const double exact = std::exp(static_cast<double>(x));
      experror = std::max(experror, std::fabs(ldpc::kernel::spafastexpmodel(x, fused) / exact - 1));
    }
    for (float b : in.b) {
      const double product =
          ldpc::kernel::spafastreciprocalmodel(b, fused) * static_cast<double>(b);
      ASSERT_LE(product, 1 + 0x1p-22) << b;  // short of 1 / b but for the roundings
      inverseerror = std::max(inverseerror, std::fabs(1 - product));
    }
    for (float q : in.q) {
      const double exact = std::log(static_cast<double>(q));
      const double mine = ldpc::kernel::spafastlogmodel(q, fused);
      ASSERT_GE(mine, 0.0) << q;  // a magnitude, never negative
      if (q > 1) logerror = std::max(logerror, std::fabs(mine / exact - 1));
    }
    EXPECT_LT(experror, fused ? 1e-5 : 2e-5) << fused;
    EXPECT_LT(inverseerror, 3e-4) << fused;
    EXPECT_LT(logerror, 1e-4) << fused;
    EXPECT_GT(experror, 1e-7) << fused;  // an approximation indeed
  }
  // Exact at the ends: exp(0) = 1, log(1) = 0.
  EXPECT_EQ(ldpc::kernel::spafastexpmodel(-0.0f, true), 1.0f);
  EXPECT_EQ(ldpc::kernel::spafastlogmodel(1.0f, true), 0.0f);
}

TEST(sumproductfast, simd_exp_and_log_equal_the_scalar_steps_on_every_target) {
  const inputs in = ruleinputs();
  const int count = static_cast<int>(in.x.size());
  std::vector<float> expx(count), inverseb(count), logq(count);
  int fused = 0, unfused = 0;
  for (long long target : ldpc::kernel::simdtargets()) {
    ldpc::kernel::restricttarget(target);
    const bool fma = ldpc::kernel::simdfused();
    (fma ? fused : unfused) += 1;
    ldpc::kernel::spafastmath(in.x.data(), in.b.data(), in.q.data(), count, expx.data(),
                              inverseb.data(), logq.data());
    long long bad = 0;
    for (int k = 0; k < count; ++k) {
      const float e = ldpc::kernel::spafastexpmodel(in.x[k], fma);
      const float i = ldpc::kernel::spafastreciprocalmodel(in.b[k], fma);
      const float l = ldpc::kernel::spafastlogmodel(in.q[k], fma);
      bad += std::memcmp(&e, &expx[k], 4) != 0;
      bad += std::memcmp(&i, &inverseb[k], 4) != 0;
      bad += std::memcmp(&l, &logq[k], 4) != 0;
    }
    EXPECT_EQ(bad, 0) << ldpc::kernel::simdtarget() << (fma ? ", fused" : ", not fused");
  }
  ldpc::kernel::restricttarget(0);
  EXPECT_GT(fused + unfused, 0);
}

// As the fixed-point test of decoder_test.cpp: a graph with heavy bits and a
// (3,6) graph with parallel edges, noise from hopeless to clean, channel
// values up to 1e9, a 0 and a NaN; every schedule, with and without early
// stop; the SIMD code on every target against the scalar model, which
// follows the target's multiply-adds.
TEST(sumproductfast, simd_is_bit_exact_with_the_scalar_model_on_every_target) {
  std::mt19937 rng(15);
  testsupport::ownedgraph heavy = testsupport::randomgraph(rng, 96, 4);
  testsupport::ownedrecord parallel;
  testsupport::regulargraph(&parallel, 96, 3, 6, 0x5eed60);
  std::vector<double> llr = testsupport::mixedframes(rng, 96);
  llr[11] = -0.0;
  for (long long target : ldpc::kernel::simdtargets()) {
    ldpc::kernel::restricttarget(target);
    for (ldpc::graphs *g :
         {static_cast<ldpc::graphs *>(heavy), static_cast<ldpc::graphs *>(&parallel)})
      for (auto schedule : {decoderschedule::flooding, decoderschedule::layered})
        for (bool earlystop : {true, false}) {
          ldpc::decoderoptions o;
          o.approximation = spaapproximation::fast;
          o.schedule = schedule;
          o.earlystop = earlystop;
          o.iterations = 12;
          o.scalar = true;
          auto model = decode(ldpc::decoder(g, o), llr);
          o.scalar = false;
          ldpc::decoder dec(g, o);
          expectsame(decode(dec, llr), model,
                     std::string(g == heavy ? "heavy " : "parallel ") +
                         ldpc::schedulename(schedule) + (earlystop ? " early stop " : " ") +
                         dec.target());
        }
  }
  ldpc::kernel::restricttarget(0);
}

// Against the exact rule: posteriors on trees within a small tolerance of
// the exact float rule's (both near the MAP values), and on a random graph
// the same decisions on nearly every frame.
TEST(sumproductfast, decodes_as_the_exact_rule) {
  std::mt19937 rng(16);
  for (int trial = 0; trial < 8; ++trial) {
    const int n = 6 + trial;
    std::vector<std::vector<int>> vchecks(1);
    int m = 0;
    while (static_cast<int>(vchecks.size()) < n) {
      vchecks[rng() % vchecks.size()].push_back(m);
      for (int k = 0, fresh = 1 + static_cast<int>(rng() % 3);
           k < fresh && static_cast<int>(vchecks.size()) < n; ++k)
        vchecks.push_back({m});
      ++m;
    }
    testsupport::ownedgraph tree = testsupport::makegraph(m, vchecks);
    std::vector<double> llr(n);
    for (double &x : llr) x = (static_cast<int>(rng() % 129) - 64) / 8.0;
    ldpc::decoderoptions o;
    o.earlystop = false;
    o.iterations = 2 * n;
    auto exact = decode(ldpc::decoder(tree, o), llr);
    o.approximation = spaapproximation::fast;
    auto fast = decode(ldpc::decoder(tree, o), llr);
    for (int v = 0; v < n; ++v)
      EXPECT_NEAR(fast.posteriors[v], exact.posteriors[v],
                  2e-4 * std::max(1.0f, std::fabs(exact.posteriors[v])))
          << "trial " << trial << ", bit " << v;
  }
  testsupport::ownedgraph g = testsupport::randomgraph(rng, 400);
  auto llr = awgnframes(rng, 400, 96, 0.85);
  for (auto schedule : {decoderschedule::flooding, decoderschedule::layered}) {
    ldpc::decoderoptions o;
    o.schedule = schedule;
    o.iterations = 30;
    auto exact = decode(ldpc::decoder(g, o), llr);
    o.approximation = spaapproximation::fast;
    auto fast = decode(ldpc::decoder(g, o), llr);
    expectnearlyallagree(fast, exact, 400, ldpc::schedulename(schedule));
  }
}

TEST(sumproductfast, option_names_and_refusals) {
  for (auto a : {spaapproximation::exact, spaapproximation::fast}) {
    spaapproximation back =
        a == spaapproximation::exact ? spaapproximation::fast : spaapproximation::exact;
    EXPECT_TRUE(ldpc::parseapproximation(ldpc::approximationname(a), &back));
    EXPECT_EQ(back, a);
  }
  spaapproximation kept = spaapproximation::fast;
  EXPECT_FALSE(ldpc::parseapproximation("Fast", &kept));
  EXPECT_EQ(kept, spaapproximation::fast);
  EXPECT_STREQ(ldpc::approximationname(spaapproximation::exact), "exact");
  EXPECT_EQ(ldpc::decoderoptions{}.approximation, spaapproximation::exact);
  testsupport::ownedgraph g = testsupport::makegraph(1, {{0}, {0}});
  ldpc::decoderoptions o;
  o.approximation = spaapproximation::fast;
  EXPECT_NO_THROW(ldpc::decoder(g, o));
  o.algorithm = decoderalgorithm::minsum;
  EXPECT_THROW(ldpc::decoder(g, o), std::invalid_argument);
  o.algorithm = decoderalgorithm::sumproduct;
  o.approximation = static_cast<spaapproximation>(2);
  EXPECT_THROW(ldpc::decoder(g, o), std::invalid_argument);
}

}  // namespace
