// Constellations against the formulas of TS 38.211 clause 5.1 written out
// here, the demapper against a direct evaluation of the likelihood ratio
// over those tables, the symbol error rate of 16-QAM against its closed
// form, interleavers against their definitions, one frame against its
// steps done by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <set>
#include <vector>

#include "channel.h"
#include "constellation.h"
#include "demapper.h"
#include "interleaver.h"
#include "randomstream.h"
#include "simulation.h"
#include "support.h"
#include "symbolchannel.h"

namespace {

using cplx = std::complex<double>;
using ldpc::modulationkind;

const modulationkind kinds[] = {modulationkind::bpsk, modulationkind::qpsk, modulationkind::qam16,
                                modulationkind::qam64, modulationkind::qam256};

// The point of bits b[0..q-1], each formula as clause 5.1.2 to 5.1.6 of
// TS 38.211 gives it.
cplx standardpoint(modulationkind kind, const int *b) {
  auto s = [&](int i) { return 1.0 - 2.0 * b[i]; };
  switch (kind) {
    case modulationkind::bpsk:
      return cplx(s(0), s(0)) / std::sqrt(2.0);
    case modulationkind::qpsk:
      return cplx(s(0), s(1)) / std::sqrt(2.0);
    case modulationkind::qam16:
      return cplx(s(0) * (2 - s(2)), s(1) * (2 - s(3))) / std::sqrt(10.0);
    case modulationkind::qam64:
      return cplx(s(0) * (4 - s(2) * (2 - s(4))), s(1) * (4 - s(3) * (2 - s(5)))) / std::sqrt(42.0);
    case modulationkind::qam256:
      return cplx(s(0) * (8 - s(2) * (4 - s(4) * (2 - s(6)))),
                  s(1) * (8 - s(3) * (4 - s(5) * (2 - s(7))))) /
             std::sqrt(170.0);
  }
  return 0;
}

// The test's own table: point index with b0 the most significant bit.
std::vector<cplx> standardtable(modulationkind kind) {
  const int q = ldpc::bitspersymbol(kind);
  std::vector<cplx> table(1 << q);
  for (int index = 0; index < (1 << q); ++index) {
    int b[8];
    for (int i = 0; i < q; ++i) b[i] = (index >> (q - 1 - i)) & 1;
    table[index] = standardpoint(kind, b);
  }
  return table;
}

// LLRs of one symbol straight from the table, in long double: exact
// log-sum-exp (each subset against its own largest term) or max-log.
std::vector<double> directllrs(modulationkind kind, cplx y, cplx h, double n0, bool exact) {
  const std::vector<cplx> table = standardtable(kind);
  const int q = ldpc::bitspersymbol(kind);
  std::vector<double> out(q);
  for (int bit = 0; bit < q; ++bit) {
    long double lse[2];
    for (int value = 0; value < 2; ++value) {
      std::vector<long double> metrics;
      for (int index = 0; index < (1 << q); ++index)
        if (((index >> (q - 1 - bit)) & 1) == value)
          metrics.push_back(-static_cast<long double>(std::norm(y - h * table[index])) / n0);
      const long double top = *std::max_element(metrics.begin(), metrics.end());
      long double sum = 0;
      for (long double m : metrics) sum += std::exp(m - top);
      lse[value] = exact ? top + std::log(sum) : top;
    }
    out[bit] = static_cast<double>(lse[0] - lse[1]);
  }
  return out;
}

double qfunction(double x) { return 0.5 * std::erfc(x / std::sqrt(2.0)); }

}  // namespace

TEST(constellation, every_point_is_the_standards_formula_and_named_values_hold) {
  for (modulationkind kind : kinds) {
    const std::vector<cplx> points = ldpc::constellationpoints(kind), table = standardtable(kind);
    ASSERT_EQ(points.size(), table.size());
    for (std::size_t i = 0; i < points.size(); ++i)
      EXPECT_LT(std::abs(points[i] - table[i]), 1e-15) << ldpc::modulationname(kind) << " " << i;
  }
  // Entries of the 16QAM table (bits b0 b1 b2 b3) and the corners of the
  // larger ones, in units of their normalisation.
  const struct {
    modulationkind kind;
    int index;
    double re, im, scale;
  } named[] = {
      {modulationkind::qam16, 0b0000, 1, 1, 10},
      {modulationkind::qam16, 0b0001, 1, 3, 10},
      {modulationkind::qam16, 0b0010, 3, 1, 10},
      {modulationkind::qam16, 0b0011, 3, 3, 10},
      {modulationkind::qam16, 0b0100, 1, -1, 10},
      {modulationkind::qam16, 0b1000, -1, 1, 10},
      {modulationkind::qam16, 0b1111, -3, -3, 10},
      {modulationkind::qam64, 0, 3, 3, 42},
      {modulationkind::qam64, 0b001100, 5, 5, 42},
      {modulationkind::qam64, 0b001111, 7, 7, 42},
      {modulationkind::qam256, 0, 5, 5, 170},
      {modulationkind::qam256, 0b00111111, 15, 15, 170},
      {modulationkind::qpsk, 0b10, -1, 1, 2},
      {modulationkind::bpsk, 1, -1, -1, 2},
  };
  for (const auto &n : named) {
    const cplx p = ldpc::constellationpoints(n.kind)[n.index];
    EXPECT_NEAR(p.real() * std::sqrt(n.scale), n.re, 1e-12) << n.index;
    EXPECT_NEAR(p.imag() * std::sqrt(n.scale), n.im, 1e-12) << n.index;
  }
}

TEST(constellation, unit_energy_and_gray_neighbours_differ_in_one_bit) {
  for (modulationkind kind : kinds) {
    const std::vector<cplx> points = ldpc::constellationpoints(kind);
    double energy = 0, dmin = 1e9;
    for (const cplx &p : points) energy += std::norm(p) / points.size();
    EXPECT_NEAR(energy, 1.0, 1e-12) << ldpc::modulationname(kind);
    for (std::size_t i = 0; i < points.size(); ++i)
      for (std::size_t j = i + 1; j < points.size(); ++j)
        dmin = std::min(dmin, std::abs(points[i] - points[j]));
    // Points at the least distance are grid neighbours: exactly one bit apart.
    int neighbours = 0;
    for (std::size_t i = 0; i < points.size(); ++i)
      for (std::size_t j = i + 1; j < points.size(); ++j)
        if (std::abs(points[i] - points[j]) < dmin * (1 + 1e-9)) {
          ++neighbours;
          EXPECT_EQ(__builtin_popcount(static_cast<unsigned>(i ^ j)), 1)
              << ldpc::modulationname(kind) << " " << i << " " << j;
        }
    // An s x s grid has 2 s (s - 1) neighbour pairs (BPSK: one pair).
    const int side = kind == modulationkind::bpsk ? 1 : 1 << (ldpc::bitspersymbol(kind) / 2);
    EXPECT_EQ(neighbours, kind == modulationkind::bpsk ? 1 : 2 * side * (side - 1));
  }
}

TEST(constellation, names_bits_and_modulate) {
  const char *const names[] = {"bpsk", "qpsk", "16qam", "64qam", "256qam"};
  const int bits[] = {1, 2, 4, 6, 8};
  for (int k = 0; k < 5; ++k) {
    modulationkind kind;
    ASSERT_TRUE(ldpc::parsemodulation(names[k], &kind));
    EXPECT_EQ(kind, kinds[k]);
    EXPECT_STREQ(ldpc::modulationname(kind), names[k]);
    EXPECT_EQ(ldpc::bitspersymbol(kind), bits[k]);
  }
  modulationkind kind;
  EXPECT_FALSE(ldpc::parsemodulation("8psk", &kind));
  std::vector<std::uint8_t> in = {0, 0, 1, 1, 1, 0, 0, 0, 2, 1};
  std::vector<cplx> out(3);
  std::string error;
  EXPECT_FALSE(ldpc::modulate(modulationkind::qam16, in.data(), 10, out.data(), &error));
  EXPECT_EQ(error, "10 bits are not a whole number of 16qam symbols of 4 bits");
  ASSERT_TRUE(ldpc::modulate(modulationkind::qam16, in.data(), 8, out.data(), &error));
  const std::vector<cplx> table = standardtable(modulationkind::qam16);
  EXPECT_EQ(out[0], table[0b0011]);
  EXPECT_EQ(out[1], table[0b1000]);
  ASSERT_TRUE(ldpc::modulate(modulationkind::qpsk, in.data() + 8, 2, out.data(), &error));
  EXPECT_EQ(out[0], standardtable(modulationkind::qpsk)[0b11]);  // a byte 2 is a 1
}

TEST(demapper, llrs_equal_the_likelihood_ratio_from_the_table_exact_and_maxlog) {
  std::mt19937_64 rng(2024);
  std::normal_distribution<double> normal;
  for (modulationkind kind : kinds) {
    const int q = ldpc::bitspersymbol(kind);
    const std::vector<cplx> table = standardtable(kind);
    for (double n0 : {2.0, 0.5, 0.05, 1e-4}) {
      for (bool fading : {false, true}) {
        const int count = 37;  // not a multiple of any vector width
        std::vector<cplx> y(count), h(count, 1.0);
        for (int i = 0; i < count; ++i) {
          if (fading) h[i] = cplx(normal(rng), normal(rng)) / std::sqrt(2.0);
          if (fading && i == 5) h[i] = 0.0;
          const cplx x = table[rng() % table.size()];
          y[i] = h[i] * x + std::sqrt(n0 / 2) * cplx(normal(rng), normal(rng));
          if (i == 7) y[i] = h[i] * cplx(3.0, -3.0);  // far outside the constellation
        }
        for (ldpc::demapperkind demapper :
             {ldpc::demapperkind::exact, ldpc::demapperkind::maxlog}) {
          const bool exact = demapper == ldpc::demapperkind::exact;
          std::vector<double> simd(count * q), scalar(count * q);
          const cplx *gains = fading ? h.data() : nullptr;
          ldpc::demodulate(kind, demapper, y.data(), gains, count, n0, simd.data());
          ldpc::demodulatescalar(kind, demapper, y.data(), gains, count, n0, scalar.data());
          for (int i = 0; i < count; ++i) {
            const std::vector<double> want = directllrs(kind, y[i], h[i], n0, exact);
            for (int b = 0; b < q; ++b) {
              const double tolerance = 1e-9 * (1 + std::abs(want[b]));
              ASSERT_NEAR(scalar[i * q + b], want[b], tolerance)
                  << ldpc::modulationname(kind) << " n0 " << n0 << " symbol " << i << " bit " << b
                  << (exact ? " exact" : " maxlog");
              const std::string where = std::string(ldpc::modulationname(kind)) + " n0 " +
                                        std::to_string(n0) + " symbol " + std::to_string(i) +
                                        " bit " + std::to_string(b) + (fading ? " fading" : "");
              ASSERT_NEAR(simd[i * q + b], want[b], tolerance) << where;
              // The vector code takes the scalar model's steps: max-log to
              // the bit, the exponentials and logarithms to rounding.
              if (exact)
                ASSERT_NEAR(simd[i * q + b], scalar[i * q + b], 1e-13 * (1 + std::abs(want[b])))
                    << where;
              else
                ASSERT_EQ(simd[i * q + b], scalar[i * q + b]) << where;
            }
          }
        }
      }
    }
  }
  EXPECT_NE(std::string(ldpc::demappertarget()), "");
}

TEST(demapper, names) {
  ldpc::demapperkind kind;
  ASSERT_TRUE(ldpc::parsedemapper("maxlog", &kind));
  EXPECT_EQ(kind, ldpc::demapperkind::maxlog);
  ASSERT_TRUE(ldpc::parsedemapper("exact", &kind));
  EXPECT_STREQ(ldpc::demappername(kind), "exact");
  EXPECT_FALSE(ldpc::parsedemapper("max-log", &kind));
}

TEST(demapper, uncoded_16qam_symbol_errors_match_the_closed_form) {
  // Square 16-QAM with nearest-point decisions (the signs of max-log LLRs):
  // Ps = 1 - (1 - p)^2, p = 3/2 Q(sqrt(Es / (5 N0))).
  const int count = 200000;
  std::mt19937_64 rng(5);
  std::vector<std::uint8_t> bits(count * 4);
  for (auto &b : bits) b = rng() & 1;
  std::vector<cplx> sent(count);
  std::string error;
  ASSERT_TRUE(ldpc::modulate(modulationkind::qam16, bits.data(), count * 4, sent.data(), &error));
  for (double esn0 : {8.0, 12.0, 15.0}) {
    const double n0 = ldpc::n0fromesn0(esn0);
    std::vector<cplx> y(sent.begin(), sent.end());
    std::uint64_t state = ldpc::streamstate(11, static_cast<std::int64_t>(esn0), 0);
    ldpc::addnoise(&state, n0, y.data(), count);
    std::vector<double> llr(count * 4);
    ldpc::demodulate(modulationkind::qam16, ldpc::demapperkind::maxlog, y.data(), nullptr, count,
                     n0, llr.data());
    int errors = 0;
    for (int i = 0; i < count; ++i) {
      bool wrong = false;
      for (int b = 0; b < 4; ++b) wrong |= (llr[i * 4 + b] < 0) != (bits[i * 4 + b] != 0);
      errors += wrong;
    }
    const double p = 1.5 * qfunction(std::sqrt(1.0 / (5.0 * n0)));
    const double ps = 1 - (1 - p) * (1 - p);
    const double sigma = std::sqrt(ps * (1 - ps) / count);
    EXPECT_LT(std::abs(static_cast<double>(errors) / count - ps), 4.5 * sigma)
        << "Es/N0 " << esn0 << ": " << errors << " errors, expected " << ps * count;
  }
}

TEST(energy, es_n0_and_n0_from_eb_n0) {
  const struct {
    double ebn0, rate;
    int q;
    double esn0;
  } rows[] = {{0, 1, 1, 0},
              {0, 0.5, 4, 10 * std::log10(2.0)},
              {3, 0.5, 1, 3 - 10 * std::log10(2.0)},
              {1.5, 0.75, 8, 1.5 + 10 * std::log10(6.0)}};
  for (const auto &r : rows) {
    EXPECT_NEAR(ldpc::esn0fromebn0(r.ebn0, r.rate, r.q), r.esn0, 1e-12);
    EXPECT_NEAR(ldpc::n0fromebn0(r.ebn0, r.rate, r.q), std::pow(10.0, -r.esn0 / 10), 1e-12);
  }
  EXPECT_NEAR(ldpc::n0fromesn0(10), 0.1, 1e-15);
  // BPSK of unit energy sees the noise of the real-valued channel with
  // sigma^2 = n0 / 2: the same Eb/N0 gives the same sigma.
  for (double ebn0 : {0.0, 1.25, 4.0})
    for (double rate : {0.5, 0.8})
      EXPECT_NEAR(std::sqrt(ldpc::n0fromebn0(ebn0, rate, 1) / 2), ldpc::sigmafromebn0(ebn0, rate),
                  1e-12);
}

TEST(interleaver, random_ones_are_permutations_drawn_like_the_graph_streams) {
  for (int n : {1, 2, 17, 1000}) {
    std::uint64_t state = 0x123456789ABCULL + n, again = state;
    std::vector<int> perm(n), other(n), graph(n), inverse(n);
    ldpc::randominterleaver(&state, n, perm.data());
    std::vector<int> sorted = perm;
    std::sort(sorted.begin(), sorted.end());
    for (int i = 0; i < n; ++i) ASSERT_EQ(sorted[i], i);
    // n draws made
    for (int i = 0; i < n; ++i) ldpc::nextdraw(&again);
    EXPECT_EQ(state, again);
    // the graph stream's permutation from the same state
    ldpc::storestate(ldpc::graphsimrand, 0x123456789ABCULL + n);
    ldpc::graphrandompermutation(graph.data(), inverse.data(), n);
    EXPECT_EQ(perm, graph);
    std::uint64_t next = 0x123456789ABCULL + n + 1;
    ldpc::randominterleaver(&next, n, other.data());
    if (n > 2) {
      EXPECT_NE(perm, other);
    }
  }
}

TEST(interleaver, the_nr_interleaver_follows_its_clause_and_round_trips) {
  for (int qm : {1, 2, 4, 6, 8})
    for (int symbols : {1, 3, 25}) {
      const int e = qm * symbols;
      std::vector<std::uint8_t> bits(e), plain(e), out(e), back(e);
      for (int i = 0; i < e; ++i) bits[i] = (i * 7 + i / 3) % 5 < 2;
      // TS 38.212 clause 5.4.2.2, read plainly, on the bits themselves
      for (int j = 0; j < e / qm; ++j)
        for (int i = 0; i < qm; ++i) plain[i + j * qm] = bits[i * (e / qm) + j];
      std::vector<int> perm(e);
      std::string error;
      ASSERT_TRUE(ldpc::nrinterleaver(e, qm, perm.data(), &error));
      ldpc::interleavebits(perm.data(), e, bits.data(), out.data());
      EXPECT_EQ(out, plain) << e << " " << qm;
      std::vector<double> llr(e), restored(e);
      for (int i = 0; i < e; ++i) llr[i] = out[i] ? -1.0 - i : 1.0 + i;
      ldpc::deinterleavellrs(perm.data(), e, llr.data(), restored.data());
      for (int i = 0; i < e; ++i) EXPECT_EQ(restored[i] < 0, bits[i] != 0);
    }
  std::vector<int> perm(10);
  std::string error;
  EXPECT_FALSE(ldpc::nrinterleaver(10, 4, perm.data(), &error));
  EXPECT_EQ(error,
            "the bit interleaver needs a length that is a multiple of the modulation order: "
            "10 bits, order 4");
}

TEST(fading, rayleigh_gains_have_unit_power_and_keep_their_blocks) {
  const int count = 100000;
  std::vector<cplx> h(count);
  std::uint64_t state = 77;
  ldpc::fadinggains(&state, ldpc::fadingkind::fast, 1, h.data(), count);
  double power = 0, fourth = 0;
  for (const cplx &g : h) {
    power += std::norm(g) / count;
    fourth += std::norm(g) * std::norm(g) / count;
  }
  // |h|^2 is exponential of mean 1: variance 1, E|h|^4 = 2.
  EXPECT_NEAR(power, 1.0, 4.5 / std::sqrt(count));
  EXPECT_NEAR(fourth, 2.0, 0.1);
  state = 77;
  std::vector<cplx> block(50);
  ldpc::fadinggains(&state, ldpc::fadingkind::block, 12, block.data(), 50);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(block[i], h[i / 12]) << i;  // one pair per block
  ldpc::fadinggains(&state, ldpc::fadingkind::none, 1, block.data(), 50);
  for (const cplx &g : block) EXPECT_EQ(g, 1.0);
}

TEST(frame, one_frame_is_its_steps_in_the_stated_order) {
  std::mt19937_64 rng(3);
  const int n = 26;  // not a whole number of 16qam or 256qam symbols
  std::vector<std::uint8_t> code(n);
  for (auto &b : code) b = rng() & 1;
  for (modulationkind kind : kinds)
    for (ldpc::fadingkind fading :
         {ldpc::fadingkind::none, ldpc::fadingkind::fast, ldpc::fadingkind::block})
      for (ldpc::interleaving il : {ldpc::interleaving::none, ldpc::interleaving::random}) {
        ldpc::channelsetup setup;
        setup.modulation = kind;
        setup.fading = fading;
        setup.blocklength = 3;
        setup.interleave = il;
        setup.n0 = 0.3;
        ASSERT_EQ(ldpc::channelfault(setup, n), "");
        std::vector<double> llr(n), again(n);
        ldpc::framebuffers buffers;
        ldpc::transmitframe(setup, code.data(), n, 4242, llr.data(), &buffers);
        ldpc::transmitframe(setup, code.data(), n, 4242, again.data(), &buffers);
        EXPECT_EQ(llr, again);
        // by hand
        const int q = ldpc::bitspersymbol(kind), symbols = (n + q - 1) / q;
        std::uint64_t state = 4242;
        std::vector<int> perm(n);
        for (int i = 0; i < n; ++i) perm[i] = i;
        if (il == ldpc::interleaving::random) ldpc::randominterleaver(&state, n, perm.data());
        std::vector<std::uint8_t> bits(symbols * q, 0);
        for (int i = 0; i < n; ++i) bits[i] = code[perm[i]];
        std::vector<cplx> y(symbols), h(symbols, 1.0);
        std::string error;
        ASSERT_TRUE(ldpc::modulate(kind, bits.data(), symbols * q, y.data(), &error));
        for (int s = 0; s < symbols; ++s) {
          double pair[2];
          if (fading == ldpc::fadingkind::fast ||
              (fading == ldpc::fadingkind::block && s % 3 == 0)) {
            ldpc::gausspair(&state, pair);
            h[s] = cplx(pair[0], pair[1]) * std::sqrt(0.5);
          } else if (s > 0) {
            h[s] = h[s - 1];
          }
          ldpc::gausspair(&state, pair);
          y[s] = h[s] * y[s] + cplx(pair[0], pair[1]) * std::sqrt(0.15);
        }
        std::vector<double> raw(symbols * q), want(n);
        ldpc::demodulate(kind, setup.demapper, y.data(),
                         fading == ldpc::fadingkind::none ? nullptr : h.data(), symbols, 0.3,
                         raw.data());
        if (kind == modulationkind::bpsk && fading == ldpc::fadingkind::none) {
          // the real signal, one pair for two bits, sigma^2 = n0 / 2
          state = 4242;
          if (il == ldpc::interleaving::random) ldpc::randominterleaver(&state, n, perm.data());
          const double sigma = std::sqrt(0.15);
          for (int i = 0; i < n; i += 2) {
            double pair[2];
            ldpc::gausspair(&state, pair);
            for (int k = 0; k < 2 && i + k < n; ++k)
              raw[i + k] = 2 / (sigma * sigma) * ((bits[i + k] ? -1.0 : 1.0) + sigma * pair[k]);
          }
        }
        for (int i = 0; i < n; ++i) want[perm[i]] = raw[i];
        for (int i = 0; i < n; ++i)
          ASSERT_NEAR(llr[i], want[i], 1e-12 * (1 + std::abs(want[i])))
              << ldpc::modulationname(kind) << " " << ldpc::fadingname(fading) << " "
              << ldpc::interleavingname(il) << " bit " << i;
      }
}

TEST(frame, a_quiet_channel_gives_back_the_codeword_and_faults_are_named) {
  std::vector<std::uint8_t> code(48);
  for (int i = 0; i < 48; ++i) code[i] = (i * 5 + 1) % 3 == 0;
  for (modulationkind kind : kinds)
    for (ldpc::interleaving il :
         {ldpc::interleaving::none, ldpc::interleaving::random, ldpc::interleaving::nr}) {
      ldpc::channelsetup setup;
      setup.modulation = kind;
      setup.interleave = il;
      setup.n0 = 1e-6;
      std::vector<double> llr(48);
      ldpc::framebuffers buffers;
      ldpc::transmitframe(setup, code.data(), 48, 9, llr.data(), &buffers);
      for (int i = 0; i < 48; ++i) ASSERT_EQ(llr[i] < 0, code[i] != 0) << i;
    }
  const struct {
    double n0;
    ldpc::fadingkind fading;
    int blocklength;
    ldpc::interleaving il;
    int n;
    const char *fault;
  } rows[] = {
      {0.0, ldpc::fadingkind::none, 1, ldpc::interleaving::none, 8,
       "the noise variance n0 must be positive and finite, not 0.000000"},
      {NAN, ldpc::fadingkind::none, 1, ldpc::interleaving::none, 8,
       "the noise variance n0 must be positive and finite, not nan"},
      {1.0, ldpc::fadingkind::block, 0, ldpc::interleaving::none, 8,
       "block fading needs a block of at least 1 symbol, not 0"},
      {1.0, ldpc::fadingkind::none, 1, ldpc::interleaving::nr, 10,
       "the NR bit interleaver needs a multiple of 4 bits (16qam), not 10"},
      {1.0, ldpc::fadingkind::none, 1, ldpc::interleaving::none, -1, "a frame of -1 bits"},
      {1.0, ldpc::fadingkind::fast, 0, ldpc::interleaving::random, 10, ""},
  };
  for (const auto &r : rows) {
    ldpc::channelsetup setup;
    setup.modulation = modulationkind::qam16;
    setup.n0 = r.n0;
    setup.fading = r.fading;
    setup.blocklength = r.blocklength;
    setup.interleave = r.il;
    EXPECT_EQ(ldpc::channelfault(setup, r.n), r.fault);
  }
}

namespace {

// Bits through transmitframe, frame after frame from the streams of a
// run: the word drawn first, then the channel from the advanced state.
struct frametally {
  std::vector<std::uint8_t> bits;  // every frame's bits, in order
  std::vector<double> llr;         // their LLRs
};

frametally transmitframes(const ldpc::channelsetup &setup, int n, int frames, std::uint64_t seed) {
  frametally t;
  t.bits.resize(static_cast<std::size_t>(n) * frames);
  t.llr.resize(t.bits.size());
  ldpc::framebuffers buffers;
  for (int f = 0; f < frames; ++f) {
    std::uint64_t state = ldpc::streamstate(seed, 0, f);
    std::uint8_t *word = t.bits.data() + static_cast<std::ptrdiff_t>(f) * n;
    ldpc::drawword(&state, n, word);
    ldpc::transmitframe(setup, word, n, state, t.llr.data() + static_cast<std::ptrdiff_t>(f) * n,
                        &buffers);
  }
  return t;
}

}  // namespace

TEST(frame, bpsk_over_awgn_draws_decodings_channel_bit_for_bit) {
  for (int n : {1, 2, 7, 64, 1001})
    for (double sigma : {0.45, 0.8, 1.3}) {
      ldpc::channelsetup setup;
      setup.n0 = 2 * sigma * sigma;
      const std::uint64_t state = ldpc::streamstate(99, 3, n);
      std::vector<double> want(n), got(n);
      ldpc::channelframe(ldpc::channeltype::awgn, sigma, state, n, want.data());
      const std::vector<std::uint8_t> zero(n, 0);
      ldpc::framebuffers buffers;
      ldpc::transmitframe(setup, zero.data(), n, state, got.data(), &buffers);
      EXPECT_EQ(got, want) << n << " " << sigma;
    }
  // drawword: one draw a bit, a 1 from 1/2 up
  std::uint64_t state = 5, again = 5;
  std::vector<std::uint8_t> word(4000);
  ldpc::drawword(&state, 4000, word.data());
  int ones = 0;
  for (std::uint8_t b : word) {
    EXPECT_EQ(b, ldpc::nextdraw(&again) >= 0.5 ? 1 : 0);
    ones += b;
  }
  EXPECT_EQ(state, again);
  EXPECT_NEAR(ones, 2000, 4.5 * std::sqrt(1000.0));
}

TEST(frame, uncoded_bit_errors_of_random_words_match_their_closed_forms) {
  // Sign decisions on the LLRs against the bit error rates of Gray
  // mappings: BPSK Q(sqrt(2 Es/N0)), QPSK Q(sqrt(Es/N0)); 16QAM (max-log,
  // nearest-point decisions, x = sqrt(Es / (5 N0)))
  //   (3 Q(x) + 2 Q(3x) - Q(5x)) / 4;
  // Rayleigh fading with known gains, BPSK and QPSK: (1 - sqrt(g / (1 + g))) / 2
  // with g = Es/N0 and Es/(2 N0). Block fading has the mean of fast fading;
  // its bits share gains, so its bound counts a block as one trial.
  auto q = [](double x) { return qfunction(x); };
  auto rayleigh = [](double g) { return 0.5 * (1 - std::sqrt(g / (1 + g))); };
  const struct {
    modulationkind kind;
    ldpc::fadingkind fading;
    int blocklength;
    double esn0;
  } rows[] = {
      {modulationkind::bpsk, ldpc::fadingkind::none, 1, 0.0},
      {modulationkind::bpsk, ldpc::fadingkind::none, 1, 6.0},
      {modulationkind::qpsk, ldpc::fadingkind::none, 1, 3.0},
      {modulationkind::qpsk, ldpc::fadingkind::none, 1, 9.0},
      {modulationkind::qam16, ldpc::fadingkind::none, 1, 10.0},
      {modulationkind::bpsk, ldpc::fadingkind::fast, 1, 5.0},
      {modulationkind::qpsk, ldpc::fadingkind::fast, 1, 10.0},
      {modulationkind::qpsk, ldpc::fadingkind::block, 6, 10.0},
  };
  const int n = 4800, frames = 40;
  for (const auto &r : rows) {
    ldpc::channelsetup setup;
    setup.modulation = r.kind;
    setup.demapper = ldpc::demapperkind::maxlog;
    setup.fading = r.fading;
    setup.blocklength = r.blocklength;
    setup.interleave = ldpc::interleaving::random;
    setup.n0 = ldpc::n0fromesn0(r.esn0);
    const double es = 1 / setup.n0;
    double want = 0;
    if (r.fading != ldpc::fadingkind::none)
      want = rayleigh(r.kind == modulationkind::bpsk ? es : es / 2);
    else if (r.kind == modulationkind::bpsk)
      want = q(std::sqrt(2 * es));
    else if (r.kind == modulationkind::qpsk)
      want = q(std::sqrt(es));
    else
      want =
          (3 * q(std::sqrt(es / 5)) + 2 * q(3 * std::sqrt(es / 5)) - q(5 * std::sqrt(es / 5))) / 4;
    const frametally t = transmitframes(setup, n, frames, 17 + static_cast<int>(r.esn0));
    std::int64_t errors = 0;
    for (std::size_t i = 0; i < t.bits.size(); ++i) errors += (t.llr[i] < 0) != (t.bits[i] != 0);
    const double trials = static_cast<double>(t.bits.size()) /
                          (r.fading == ldpc::fadingkind::block ? r.blocklength * 2 : 1);
    const double sigma = std::sqrt(want * (1 - want) / trials);
    EXPECT_NEAR(static_cast<double>(errors) / t.bits.size(), want, 4.5 * sigma)
        << ldpc::modulationname(r.kind) << " " << ldpc::fadingname(r.fading) << " Es/N0 " << r.esn0;
  }
}

TEST(demapper, exact_llrs_are_the_posteriors_of_the_bits_sent) {
  // Among bits given P(b = 1) = 1 / (1 + e^L) near p, a fraction p is 1:
  // per bin of that probability, the ones counted against the sum of p.
  // Max-log is too sure of itself; at a low Es/N0 on 64QAM the same count
  // finds it out, which shows that the count can tell.
  const struct {
    modulationkind kind;
    ldpc::fadingkind fading;
    double esn0;
    ldpc::demapperkind demapper;
    bool calibrated;
  } rows[] = {
      {modulationkind::qpsk, ldpc::fadingkind::fast, 2.0, ldpc::demapperkind::exact, true},
      {modulationkind::qam16, ldpc::fadingkind::none, 6.0, ldpc::demapperkind::exact, true},
      {modulationkind::qam16, ldpc::fadingkind::fast, 10.0, ldpc::demapperkind::exact, true},
      {modulationkind::qam64, ldpc::fadingkind::none, 8.0, ldpc::demapperkind::exact, true},
      {modulationkind::qam64, ldpc::fadingkind::block, 14.0, ldpc::demapperkind::exact, true},
      {modulationkind::qam256, ldpc::fadingkind::none, 14.0, ldpc::demapperkind::exact, true},
      {modulationkind::qam256, ldpc::fadingkind::fast, 18.0, ldpc::demapperkind::exact, true},
      {modulationkind::qam64, ldpc::fadingkind::none, 2.0, ldpc::demapperkind::maxlog, false},
  };
  const int bins = 10;
  for (const auto &r : rows) {
    ldpc::channelsetup setup;
    setup.modulation = r.kind;
    setup.demapper = r.demapper;
    setup.fading = r.fading;
    setup.blocklength = 5;
    setup.n0 = ldpc::n0fromesn0(r.esn0);
    const frametally t = transmitframes(setup, 4800, 30, 23);
    double ones[bins] = {}, expected[bins] = {}, spread[bins] = {};
    for (std::size_t i = 0; i < t.bits.size(); ++i) {
      const double p = 1 / (1 + std::exp(t.llr[i]));
      const int bin = std::min(bins - 1, static_cast<int>(p * bins));
      ones[bin] += t.bits[i];
      expected[bin] += p;
      spread[bin] += p * (1 - p);
    }
    // Block fading shares a gain between the bits of 5 symbols: count the
    // spread as of trials that many times fewer.
    const double share = r.fading == ldpc::fadingkind::block ? 5 * ldpc::bitspersymbol(r.kind) : 1;
    double worst = 0;
    for (int b = 0; b < bins; ++b)
      worst = std::max(worst, std::abs(ones[b] - expected[b]) / std::sqrt(spread[b] * share + 1));
    if (r.calibrated)
      EXPECT_LT(worst, 5.0) << ldpc::modulationname(r.kind) << " " << ldpc::fadingname(r.fading)
                            << " Es/N0 " << r.esn0;
    else
      EXPECT_GT(worst, 20.0) << ldpc::modulationname(r.kind) << " maxlog";
  }
}

TEST(demapper, bpsk_llrs_carry_half_a_bit_at_the_rate_half_limit) {
  // The capacity of binary-input AWGN is 1/2 at Eb/N0 = 0.187 dB for rate
  // 1/2 (numerical integration gives 0.49999); from LLRs of the zero word
  // I = 1 - E log2(1 + e^-L). QPSK carries each bit the same at 3 dB more.
  for (modulationkind kind : {modulationkind::bpsk, modulationkind::qpsk}) {
    ldpc::channelsetup setup;
    setup.modulation = kind;
    setup.n0 = ldpc::n0fromebn0(0.187, 0.5, ldpc::bitspersymbol(kind));
    const int n = 4000, frames = 100;
    std::vector<std::uint8_t> zero(n, 0);
    std::vector<double> llr(n);
    ldpc::framebuffers buffers;
    double loss = 0;
    for (int f = 0; f < frames; ++f) {
      ldpc::transmitframe(setup, zero.data(), n, ldpc::streamstate(31, 0, f), llr.data(), &buffers);
      for (double l : llr) loss += (l > -30 ? std::log1p(std::exp(-l)) : -l) / std::log(2.0);
    }
    EXPECT_NEAR(1 - loss / (static_cast<double>(n) * frames), 0.5, 0.004)
        << ldpc::modulationname(kind);
  }
}
