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

namespace {

// Selection without replacement: iperm holds the pool of values not yet
// placed; output k goes to perm[k] (front) or perm[n-1-k] (back). The state
// is kept in a register for the whole permutation and stored once.
void selectpermutation(unsigned short words[3], int *perm, int *iperm, int n,
                       bool fromback) {
  if (n <= 0) return;
  for (int i = 0; i < n; ++i) iperm[i] = i;
  std::uint64_t state = loadstate(words);
  for (int m = n, k = 0; m >= 1; --m, ++k) {
    double u = nextdraw(&state);
    int j = static_cast<int>(u * m);  // floor, since u * m is not negative
    int value = iperm[j];
    iperm[j] = iperm[m - 1];
    perm[fromback ? n - 1 - k : k] = value;
  }
  storestate(words, state);
  for (int i = 0; i < n; ++i) iperm[perm[i]] = i;
}

// The Gaussian cache of gauss(): noise[1] is pending while ready is 1.
int ready = 0;
double noise[2];

}  // namespace

void randompermutation(int *perm, int *iperm, int n) {
  selectpermutation(channelsimrand, perm, iperm, n, false);
}

void graphrandompermutation(int *perm, int *iperm, int n) {
  selectpermutation(graphsimrand, perm, iperm, n, true);
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

}  // namespace ldpc
