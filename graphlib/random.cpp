// The graph and channel random streams, seeds, permutations and noise.
#include <sys/time.h>

#include <cmath>
#include <cstdlib>

#include "randomstream.h"
#include "simulation.h"

namespace ldpc {

void initrandom(int random) {
  if (random != 0) {
    srand48(random);
    return;
  }
  struct timeval now;
  struct timezone zone;
  gettimeofday(&now, &zone);
  srand48(now.tv_sec);
}

void getchannelsimrand(randomizes *randomize) {
  for (int k = 0; k < 3; ++k) randomize->channelsimrand[k] = channelsimrand[k];
}

void getgraphsimrand(randomizes *randomize) {
  for (int k = 0; k < 3; ++k) randomize->graphsimrand[k] = graphsimrand[k];
}

void setgraphseeds(int loop, reruns *rerun) {
  if (rerun->rerun != 2) return;
  for (int k = 0; k < 3; ++k) graphsimrand[k] = rerun->seeds[loop][k];
}

void setchannelseeds(int loop, reruns *rerun) {
  if (rerun->rerun != 2) return;
  for (int k = 0; k < 3; ++k) channelsimrand[k] = rerun->seeds[loop][3 + k];
}

// Selection without replacement, filling perm from the back: output k goes
// to perm[n-1-k], which is the pool slot that the same step frees (the pool
// has m = n-k values, and its last one moves into the hole), so pool and
// output share one array and no inverse is needed. The draws depend on
// nothing but the stream, so they are made a few steps ahead and the pool
// entry of each is prefetched: for a graph of millions of edges every pool
// read would otherwise be a cache miss.
void drawbackfilled(unsigned short words[3], int *perm, int n) {
  if (n <= 0) return;
  for (int i = 0; i < n; ++i) perm[i] = i;
  constexpr int lookahead = 16;  // a power of two
  int pending[lookahead];
  std::uint64_t state = loadstate(words);
  const int first = n < lookahead ? n : lookahead;
  for (int k = 0; k < first; ++k) {
    pending[k] = static_cast<int>(nextdraw(&state) * (n - k));
    __builtin_prefetch(perm + pending[k], 1);
  }
  for (int k = 0; k < n; ++k) {
    const int m = n - k;
    const int j = pending[k & (lookahead - 1)];
    if (k + lookahead < n) {
      const int later = static_cast<int>(nextdraw(&state) * (m - lookahead));
      pending[k & (lookahead - 1)] = later;
      __builtin_prefetch(perm + later, 1);
    }
    const int value = perm[j];
    perm[j] = perm[m - 1];
    perm[m - 1] = value;
  }
  // state has made exactly n draws
  storestate(words, state);
}

namespace {

// Selection without replacement, filling perm from the front: iperm holds
// the pool of values not yet placed. The state is kept in a register for the
// whole permutation and stored once.
void selectfromfront(unsigned short words[3], int *perm, int *iperm, int n) {
  if (n <= 0) return;
  for (int i = 0; i < n; ++i) iperm[i] = i;
  std::uint64_t state = loadstate(words);
  for (int m = n, k = 0; m >= 1; --m, ++k) {
    double u = nextdraw(&state);
    int j = static_cast<int>(u * m);  // floor, since u * m is not negative
    perm[k] = iperm[j];
    iperm[j] = iperm[m - 1];
  }
  storestate(words, state);
  for (int i = 0; i < n; ++i) iperm[perm[i]] = i;
}

// The Gaussian cache of gauss(): noise[1] is pending while ready is 1.
int ready = 0;
double noise[2];

}  // namespace

void randompermutation(int *perm, int *iperm, int n) {
  selectfromfront(channelsimrand, perm, iperm, n);
}

void graphrandompermutation(int *perm, int *iperm, int n) {
  if (n <= 0) return;
  drawbackfilled(graphsimrand, perm, n);
  for (int i = 0; i < n; ++i) iperm[perm[i]] = i;
}

void permute(double *from, double *to, int *perm, int N) {
  for (int i = 0; i < N; ++i) to[perm[i]] = from[i];
}

void nextgausspair(double *pair) {
  double u, v, w;
  do {
    u = 2.0 * drawfrom(channelsimrand) - 1.0;
    v = 2.0 * drawfrom(channelsimrand) - 1.0;
    w = u * u + v * v;
  } while (w >= 1.0);
  double f = std::sqrt(-2.0 * std::log(w) / w);
  pair[0] = u * f;
  pair[1] = v * f;
}

double gauss() {
  if (ready == 1) {
    ready = 0;
    return noise[1];
  }
  nextgausspair(noise);
  ready = 1;
  return noise[0];
}

double binomial(int n, int k) {
  return std::exp(std::lgamma(n + 1.0) - std::lgamma(k + 1.0) - std::lgamma(n - k + 1.0));
}

double round(double x) { return std::floor(x + 0.5); }

}  // namespace ldpc
