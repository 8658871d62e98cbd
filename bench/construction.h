// What the two construction programs of the benchmark share: the irregular
// ensemble's configuration, the seed of the graph stream, and a hash of a
// graph's edges by which the two programs' graphs are compared.
#ifndef BENCH_CONSTRUCTION_H
#define BENCH_CONSTRUCTION_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace benchconstruction {

// Variable degrees 2, 3 and 8 on half, three tenths and a fifth of the
// nodes; check degrees 7 and 8 on half of the check nodes each; fractions
// of nodes.
inline int vdegrees[3] = {2, 3, 8};
inline double vfractions[3] = {0.5, 0.3, 0.2};
inline int cdegrees[2] = {7, 8};
inline double cfractions[2] = {0.5, 0.5};

// The graph stream's three words (word 0 least significant) from a number.
inline void seedwords(const char *text, unsigned short words[3]) {
  std::uint64_t seed = std::strtoull(text, nullptr, 10);
  words[0] = static_cast<unsigned short>(seed);
  words[1] = static_cast<unsigned short>(seed >> 16);
  words[2] = static_cast<unsigned short>(seed >> 32);
}

// Hash of everything that the constructions fix: counts, maxima, degree
// tables, and every node's degree and (dest, socket) pairs on both sides.
// The rate is left out; it is optional for lifted graphs.
template <typename graph>
std::uint64_t hashgraph(const graph *g) {
  std::uint64_t h = 1469598103934665603ULL;
  auto mix = [&h](std::int64_t x) { h = (h ^ static_cast<std::uint64_t>(x)) * 1099511628211ULL; };
  mix(g->vnodenum);
  mix(g->cnodenum);
  mix(g->vdegreesnum);
  mix(g->cdegreesnum);
  mix(g->vmaxdegree);
  mix(g->cmaxdegree);
  for (int k = 0; k < g->vdegreesnum; ++k) {
    mix(g->vdegreelist->degree[k]);
    mix(g->vdegreelist->numofnodes[k]);
  }
  for (int k = 0; k < g->cdegreesnum; ++k) {
    mix(g->cdegreelist->degree[k]);
    mix(g->cdegreelist->numofnodes[k]);
  }
  for (int v = 0; v < g->vnodenum; ++v) {
    mix(g->vnodelist[v].degree);
    for (int s = 0; s < g->vnodelist[v].degree; ++s) {
      mix(g->vnodelist[v].edgelist[s].dest);
      mix(g->vnodelist[v].edgelist[s].socket);
    }
  }
  for (int c = 0; c < g->cnodenum; ++c) {
    mix(g->cnodelist[c].degree);
    for (int t = 0; t < g->cnodelist[c].degree; ++t) {
      mix(g->cnodelist[c].edgelist[t].dest);
      mix(g->cnodelist[c].edgelist[t].socket);
    }
  }
  return h;
}

template <typename graph>
long long edgecount(const graph *g) {
  long long edges = 0;
  for (int v = 0; v < g->vnodenum; ++v) edges += g->vnodelist[v].degree;
  return edges;
}

// The command line of both programs: "irregular LENGTH SEED" or "proto
// PROTOFILE FACTOR SEED" (a file name shorter than protolimit), each with
// an optional "--hash" last. False, with the usage line of program on
// standard error, for anything else.
inline bool readmode(int argc, char **argv, const char *program, std::size_t protolimit,
                     bool *irregular) {
  *irregular = argc >= 4 && std::strcmp(argv[1], "irregular") == 0;
  const bool proto =
      argc >= 5 && std::strcmp(argv[1], "proto") == 0 && std::strlen(argv[2]) < protolimit;
  if (*irregular || proto) return true;
  std::fprintf(stderr,
               "usage: %s irregular LENGTH SEED [--hash]\n"
               "       %s proto PROTOFILE FACTOR SEED [--hash]\n",
               program, program);
  return false;
}

// The node and edge counts, and after "--hash" the hash of the graph.
template <typename graph>
void printgraph(const graph *g, int argc, char **argv) {
  std::printf("%d %d %lld\n", g->vnodenum, g->cnodenum, edgecount(g));
  if (std::strcmp(argv[argc - 1], "--hash") == 0)
    std::printf("hash %016llx\n", static_cast<unsigned long long>(hashgraph(g)));
}

}  // namespace benchconstruction

#endif
