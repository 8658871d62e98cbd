// The random streams against the system's erand48, permutations, noise and
// the binomial coefficient.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "randomstream.h"
#include "simulation.h"

namespace {

using words = std::vector<unsigned short>;

words channelwords() { return words(ldpc::channelsimrand, ldpc::channelsimrand + 3); }
words graphwords() { return words(ldpc::graphsimrand, ldpc::graphsimrand + 3); }

void setwords(unsigned short stream[3], std::uint64_t state) { ldpc::storestate(stream, state); }

// Starting states: zero, all bits set, the middle, and a few arbitrary ones.
const std::uint64_t states[] = {0,      ldpc::lcgmask,    1ULL << 47, 0x1234ABCD5678ULL,
                                0x330E, 0xFFFF00000001ULL};

// The state before x: the generator is a bijection on 48 bits, and the
// multiplier is odd, hence invertible modulo 2^48 (Newton's iteration
// doubles the number of correct low bits each step).
std::uint64_t previousstate(std::uint64_t x) {
  std::uint64_t inverse = ldpc::lcgmultiplier;
  for (int i = 0; i < 6; ++i) inverse *= 2 - ldpc::lcgmultiplier * inverse;
  return ((x - ldpc::lcgaddend) * inverse) & ldpc::lcgmask;
}

// The permutation routine written out on the system's erand48.
void referencepermutation(unsigned short stream[3], int *perm, int *iperm, int n, bool fromback) {
  std::vector<int> pool(n);
  for (int i = 0; i < n; ++i) pool[i] = i;
  for (int m = n, k = 0; m >= 1; --m, ++k) {
    int j = static_cast<int>(std::floor(erand48(stream) * m));
    perm[fromback ? n - 1 - k : k] = pool[j];
    pool[j] = pool[m - 1];
  }
  for (int i = 0; i < n; ++i) iperm[perm[i]] = i;
}

// The polar method written out on the system's erand48; counts attempts.
void referencepair(unsigned short stream[3], double pair[2], int *attempts) {
  double u, v, w;
  do {
    ++*attempts;
    u = 2 * erand48(stream) - 1;
    v = 2 * erand48(stream) - 1;
    w = u * u + v * v;
  } while (w >= 1);
  double f = std::sqrt(-2 * std::log(w) / w);
  pair[0] = u * f;
  pair[1] = v * f;
}

// Leaves the cache of gauss empty, whatever earlier tests left in it: a call
// that draws nothing has just emptied it; one that draws has filled it.
void emptygausscache() {
  words before = channelwords();
  ldpc::gauss();
  if (channelwords() != before) ldpc::gauss();
}

}  // namespace

TEST(randomstream, steps_exactly_like_erand48) {
  for (std::uint64_t start : states) {
    unsigned short ours[3], system[3];
    ldpc::storestate(ours, start);
    ldpc::storestate(system, start);
    for (int i = 0; i < 1000000; ++i) {
      double expected = erand48(system);
      double got = ldpc::drawfrom(ours);
      if (got != expected || ours[0] != system[0] || ours[1] != system[1] || ours[2] != system[2]) {
        FAIL() << "state " << start << " differs at draw " << i;
      }
    }
  }
}

TEST(randomstream, first_draw_from_zero_is_eleven_steps_of_two_to_minus_48) {
  unsigned short stream[3] = {0, 0, 0};
  EXPECT_EQ(ldpc::drawfrom(stream), std::ldexp(11.0, -48));
  EXPECT_EQ(words(stream, stream + 3), (words{11, 0, 0}));
}

TEST(randomstream, permutations_match_erand48_from_several_states) {
  const int n = 5000;
  std::vector<int> perm(n), iperm(n), expected(n), expectedinverse(n);
  // The channel stream's permutation fills from the front, the graph
  // stream's from the back; each leaves the other stream as it was.
  struct streamcase {
    unsigned short *stream;
    void (*permute)(int *, int *, int);
    words (*own)(), (*other)();
    bool fromback;
  };
  const streamcase cases[] = {
      {ldpc::channelsimrand, ldpc::randompermutation, channelwords, graphwords, false},
      {ldpc::graphsimrand, ldpc::graphrandompermutation, graphwords, channelwords, true}};
  for (std::uint64_t start : states)
    for (const streamcase &c : cases) {
      unsigned short reference[3];
      ldpc::storestate(reference, start);
      setwords(c.stream, start);
      const words otherbefore = c.other();
      c.permute(perm.data(), iperm.data(), n);
      referencepermutation(reference, expected.data(), expectedinverse.data(), n, c.fromback);
      EXPECT_EQ(perm, expected) << start << " " << c.fromback;
      EXPECT_EQ(iperm, expectedinverse);
      EXPECT_EQ(c.own(), words(reference, reference + 3));
      EXPECT_EQ(c.other(), otherbefore);
    }
}

TEST(random_permutation, worked_example_with_draws_half_nine_tenths_one_tenth) {
  // The state whose next three draws are 0.5000007, 0.8999884 and 0.0999877:
  // the same choices as exactly 0.5, 0.9 and 0.1 (j = 1, 1, 0).
  const std::uint64_t start = previousstate(140737697700279ULL);
  unsigned short check[3];
  ldpc::storestate(check, start);
  EXPECT_NEAR(erand48(check), 0.5, 1e-6);
  EXPECT_NEAR(erand48(check), 0.9, 1e-4);
  EXPECT_NEAR(erand48(check), 0.1, 1e-4);

  int perm[3], iperm[3];
  setwords(ldpc::channelsimrand, start);
  ldpc::randompermutation(perm, iperm, 3);
  EXPECT_EQ(std::vector<int>(perm, perm + 3), (std::vector<int>{1, 2, 0}));
  EXPECT_EQ(std::vector<int>(iperm, iperm + 3), (std::vector<int>{2, 0, 1}));
  EXPECT_EQ(channelwords(), words(check, check + 3));  // exactly three draws

  setwords(ldpc::graphsimrand, start);
  ldpc::graphrandompermutation(perm, iperm, 3);
  EXPECT_EQ(std::vector<int>(perm, perm + 3), (std::vector<int>{0, 2, 1}));
  EXPECT_EQ(std::vector<int>(iperm, iperm + 3), (std::vector<int>{0, 2, 1}));
  EXPECT_EQ(graphwords(), words(check, check + 3));
}

TEST(random_permutation, lengths_one_and_zero) {
  setwords(ldpc::channelsimrand, 42);
  int perm[1] = {-7}, iperm[1] = {-7};
  ldpc::randompermutation(perm, iperm, 0);
  EXPECT_EQ(perm[0], -7);
  EXPECT_EQ(iperm[0], -7);
  EXPECT_EQ(ldpc::loadstate(ldpc::channelsimrand), 42u);
  ldpc::randompermutation(perm, iperm, -3);
  EXPECT_EQ(ldpc::loadstate(ldpc::channelsimrand), 42u);

  ldpc::randompermutation(perm, iperm, 1);
  EXPECT_EQ(perm[0], 0);
  EXPECT_EQ(iperm[0], 0);
  std::uint64_t once = 42;
  ldpc::nextdraw(&once);
  EXPECT_EQ(ldpc::loadstate(ldpc::channelsimrand), once);
}

TEST(random_permutation, graph_stream_fills_from_the_back) {
  const int n = 1000;
  std::vector<int> front(n), back(n), ifront(n), iback(n);
  setwords(ldpc::channelsimrand, 0x5DEADBEEF);
  setwords(ldpc::graphsimrand, 0x5DEADBEEF);
  ldpc::randompermutation(front.data(), ifront.data(), n);
  ldpc::graphrandompermutation(back.data(), iback.data(), n);
  EXPECT_EQ(std::vector<int>(front.rbegin(), front.rend()), back);
  for (int i = 0; i < n; ++i) EXPECT_EQ(iback[back[i]], i);
}

TEST(random_seeds, rows_load_one_stream_each_only_for_rerun_2) {
  unsigned short row[6] = {1, 2, 3, 4, 5, 6};
  unsigned short other[6] = {9, 9, 9, 9, 9, 9};
  unsigned short *rows[4] = {other, other, other, row};
  ldpc::reruns rerun{2, {0, 0, 0, 0}, rows, 0};

  setwords(ldpc::graphsimrand, 77);
  setwords(ldpc::channelsimrand, 88);
  ldpc::setgraphseeds(3, &rerun);
  EXPECT_EQ(graphwords(), (words{1, 2, 3}));
  EXPECT_EQ(ldpc::loadstate(ldpc::channelsimrand), 88u);
  ldpc::setchannelseeds(3, &rerun);
  EXPECT_EQ(channelwords(), (words{4, 5, 6}));
  EXPECT_EQ(graphwords(), (words{1, 2, 3}));

  // the same row twice gives the same draws
  std::vector<int> first(50), second(50), inverse(50);
  ldpc::graphrandompermutation(first.data(), inverse.data(), 50);
  ldpc::setgraphseeds(3, &rerun);
  ldpc::graphrandompermutation(second.data(), inverse.data(), 50);
  EXPECT_EQ(first, second);

  for (int value : {0, 1}) {
    ldpc::reruns ignored{value, {0, 0, 0, 0}, nullptr, 0};
    setwords(ldpc::graphsimrand, 77);
    setwords(ldpc::channelsimrand, 88);
    ldpc::setgraphseeds(3, &ignored);
    ldpc::setchannelseeds(3, &ignored);
    EXPECT_EQ(ldpc::loadstate(ldpc::graphsimrand), 77u);
    EXPECT_EQ(ldpc::loadstate(ldpc::channelsimrand), 88u);
  }
}

TEST(random_seeds, snapshots_and_initrandom_leave_the_streams_alone) {
  setwords(ldpc::graphsimrand, 1234567);
  setwords(ldpc::channelsimrand, 7654321);
  ldpc::randomizes saved{};
  ldpc::getgraphsimrand(&saved);
  ldpc::getgraphsimrand(&saved);
  ldpc::getchannelsimrand(&saved);
  EXPECT_EQ(ldpc::loadstate(saved.graphsimrand), 1234567u);
  EXPECT_EQ(ldpc::loadstate(saved.channelsimrand), 7654321u);

  ldpc::initrandom(0);
  ldpc::initrandom(5);
  EXPECT_EQ(ldpc::loadstate(ldpc::graphsimrand), 1234567u);
  EXPECT_EQ(ldpc::loadstate(ldpc::channelsimrand), 7654321u);

  // a snapshot does not follow later draws
  int perm[8], iperm[8];
  ldpc::graphrandompermutation(perm, iperm, 8);
  EXPECT_EQ(ldpc::loadstate(saved.graphsimrand), 1234567u);
}

TEST(random_noise, nextgausspair_is_the_polar_method_on_the_channel_stream) {
  setwords(ldpc::channelsimrand, 0xC0FFEE);
  unsigned short reference[3];
  ldpc::storestate(reference, 0xC0FFEE);
  int attempts = 0;
  for (int i = 0; i < 2000; ++i) {
    double got[2], expected[2];
    ldpc::nextgausspair(got);
    referencepair(reference, expected, &attempts);
    ASSERT_EQ(got[0], expected[0]);
    ASSERT_EQ(got[1], expected[1]);
  }
  EXPECT_EQ(channelwords(), words(reference, reference + 3));
  EXPECT_GT(attempts, 2000);  // rejections took place
}

TEST(random_noise, gauss_alternates_and_keeps_its_cache_across_a_seed_load) {
  emptygausscache();
  setwords(ldpc::channelsimrand, 0xBEEF);
  unsigned short reference[3];
  ldpc::storestate(reference, 0xBEEF);
  double pair[2];
  int attempts = 0;
  referencepair(reference, pair, &attempts);

  EXPECT_EQ(ldpc::gauss(), pair[0]);  // a new pair: u * f
  EXPECT_EQ(channelwords(), words(reference, reference + 3));
  EXPECT_EQ(ldpc::gauss(), pair[1]);  // the cached v * f, nothing drawn
  EXPECT_EQ(channelwords(), words(reference, reference + 3));
  referencepair(reference, pair, &attempts);
  EXPECT_EQ(ldpc::gauss(), pair[0]);  // draws again
  EXPECT_EQ(channelwords(), words(reference, reference + 3));

  // nextgausspair neither reads nor fills the cache
  double other[2];
  ldpc::nextgausspair(other);
  EXPECT_EQ(ldpc::gauss(), pair[1]);

  // A loaded seed row does not clear a pending value: it comes next, and
  // only the call after it draws from the loaded state.
  unsigned short now[3] = {ldpc::channelsimrand[0], ldpc::channelsimrand[1],
                           ldpc::channelsimrand[2]};
  double before[2], after[2];
  referencepair(now, before, &attempts);
  EXPECT_EQ(ldpc::gauss(), before[0]);
  unsigned short row[6] = {0, 0, 0, 0x1111, 0x2222, 0x3333};
  unsigned short *rows[1] = {row};
  ldpc::reruns rerun{2, {0, 0, 0, 0}, rows, 0};
  ldpc::setchannelseeds(0, &rerun);
  EXPECT_EQ(ldpc::gauss(), before[1]);
  EXPECT_EQ(channelwords(), (words{0x1111, 0x2222, 0x3333}));
  unsigned short loaded[3] = {0x1111, 0x2222, 0x3333};
  referencepair(loaded, after, &attempts);
  EXPECT_EQ(ldpc::gauss(), after[0]);
  EXPECT_EQ(ldpc::gauss(), after[1]);
}

TEST(random_numeric, binomial_is_real_valued_and_zero_outside_0_to_n) {
  EXPECT_NEAR(ldpc::binomial(5, 2), 10.0, 1e-9);
  EXPECT_NEAR(ldpc::binomial(30, 15), 155117520.0, 1e-3);
  EXPECT_EQ(ldpc::binomial(5, 6), 0.0);
  EXPECT_EQ(ldpc::binomial(5, -1), 0.0);
  EXPECT_EQ(ldpc::binomial(0, 0), 1.0);
}
