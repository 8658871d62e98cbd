// naiveconv: the alist converter written the straightforward way, as the
// benchmark's reference: fscanf("%d") per number, malloc per node, 100-entry
// degree histograms, and the writer's fprintf per number. Its output must be
// byte for byte that of alistconv.
//
// usage: naiveconv ALISTFILE CODEFILE
#include <cstdio>
#include <cstdlib>

#include "naivegraph.h"

using namespace naive;

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fputs("usage: naiveconv ALISTFILE CODEFILE\n", stderr);
    return 2;
  }
  encoders *encoder = static_cast<encoders *>(allocate(sizeof(encoders)));
  encoder->gap = -1;
  FILE *in = std::fopen(argv[1], "r");
  if (in == nullptr) {
    std::fputs("I can't open the indicated input file.\n", stderr);
    return 1;
  }
  FILE *out = std::fopen(argv[2], "w");
  if (out == nullptr) {
    std::fputs("I can't open the indicated output file.\n", stderr);
    return 1;
  }

  // Header, node arrays and the variable nodes' edge lists.
  graphs *graph = static_cast<graphs *>(allocate(sizeof(graphs)));
  std::fscanf(in, "%d", &graph->vnodenum);
  std::fscanf(in, "%d", &graph->cnodenum);
  std::fscanf(in, "%d", &graph->vmaxdegree);
  std::fscanf(in, "%d", &graph->cmaxdegree);
  graph->rate = 1.0 - static_cast<double>(graph->cnodenum) / graph->vnodenum;
  allocatenodelists(graph);
  for (int c = 0; c < graph->cnodenum; ++c) graph->cnodelist[c].degree = 0;
  for (int v = 0; v < graph->vnodenum; ++v) {
    std::fscanf(in, "%d", &graph->vnodelist[v].degree);
    graph->vnodelist[v].edgelist = allocateedges(graph->vnodelist[v].degree);
  }
  int discard;
  for (int c = 0; c < graph->cnodenum; ++c) std::fscanf(in, "%d", &discard);

  // Column lists: check sockets in order of appearance.
  for (int v = 0; v < graph->vnodenum; ++v) {
    for (int s = 0; s < graph->vmaxdegree; ++s) {
      int r;
      std::fscanf(in, "%d", &r);
      if (s < graph->vnodelist[v].degree) {
        int c = r - 1;
        graph->vnodelist[v].edgelist[s].dest = c;
        graph->vnodelist[v].edgelist[s].socket = graph->cnodelist[c].degree;
        ++graph->cnodelist[c].degree;
      }
    }
  }
  fillchecksides(graph);
  std::fclose(in);

  // Degree tables from 100-entry histograms.
  allocatedegreetables(graph);
  int vcount[100] = {0};
  int ccount[100] = {0};
  for (int v = 0; v < graph->vnodenum; ++v) ++vcount[graph->vnodelist[v].degree];
  for (int c = 0; c < graph->cnodenum; ++c) ++ccount[graph->cnodelist[c].degree];
  graph->vdegreesnum = 0;
  graph->cdegreesnum = 0;
  for (int d = 0; d < 100; ++d) {
    if (vcount[d] > 0) {
      graph->vdegreelist->degree[graph->vdegreesnum] = d;
      graph->vdegreelist->numofnodes[graph->vdegreesnum] = vcount[d];
      ++graph->vdegreesnum;
    }
    if (ccount[d] > 0) {
      graph->cdegreelist->degree[graph->cdegreesnum] = d;
      graph->cdegreelist->numofnodes[graph->cdegreesnum] = ccount[d];
      ++graph->cdegreesnum;
    }
  }

  savegraph(graph, encoder, argv[2]);
  std::fputs("\n simulation ends\n", stdout);
  return 0;
}
