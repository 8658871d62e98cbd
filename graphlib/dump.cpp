// Readable dump of a graph on standard output.
#include <cstdio>

#include "graphstruct.h"

namespace ldpc {

namespace {

void printtable(const degreelist *table, int entries) {
  for (int k = 0; k < entries; ++k)
    std::printf("degree:=%3d number of nodes:=%3d\n", table->degree[k], table->numofnodes[k]);
}

void printsummary(const graphs *graph) {
  std::printf("\n");
  std::printf("Graph: rate:=%g\n", graph->rate);
  std::printf("vnodenum:=%6d  cnodenum:=%6d\n", graph->vnodenum, graph->cnodenum);
  std::printf("vdegreesnum:=%3d  cdegreesnum:=%3d\n", graph->vdegreesnum, graph->cdegreesnum);
  std::printf("vmaxdegree:= %3d  cmaxdegree:= %3d\n", graph->vmaxdegree, graph->cmaxdegree);
  std::printf("\n");
  std::printf("vdegreelist:\n");
  printtable(graph->vdegreelist, graph->vdegreesnum);
  std::printf("\n");
  std::printf("cdegreelist:\n");
  printtable(graph->cdegreelist, graph->cdegreesnum);
}

// The check side's "%6d:" has no blank after the colon, unlike the variable
// side; the layout is kept as it has always been printed.
void printneighbours(const graphs *graph) {
  std::printf("list of neighbors from vnode perspective:\n");
  for (int i = 0; i < graph->vnodenum; ++i) {
    const vnode *node = &graph->vnodelist[i];
    std::printf("%6d: ", i);
    for (int s = 0; s < node->degree; ++s)
      std::printf("%6d[%2d] ", node->edgelist[s].dest, node->edgelist[s].socket);
    std::printf("\n");
  }
  std::printf("list of neighbors from the cnode perspective:\n");
  for (int i = 0; i < graph->cnodenum; ++i) {
    const cnode *node = &graph->cnodelist[i];
    std::printf("%6d:", i);
    for (int t = 0; t < node->degree; ++t)
      std::printf("%6d[%2d] ", node->edgelist[t].dest, node->edgelist[t].socket);
    std::printf("\n");
  }
}

// A node's messages are those stored at the other end of each of its edges:
// what the check side holds for a variable node, and the reverse.
void printmessages(const graphs *graph) {
  std::printf("variable messages:\n");
  for (int i = 0; i < graph->vnodenum; ++i) {
    const vnode *node = &graph->vnodelist[i];
    std::printf("%6d: [%6g] ", i, node->value);
    for (int s = 0; s < node->degree; ++s) {
      const edge *e = &node->edgelist[s];
      std::printf("%6g ", graph->cnodelist[e->dest].edgelist[e->socket].message);
    }
    std::printf("\n");
  }
  std::printf("check messages:\n");
  for (int i = 0; i < graph->cnodenum; ++i) {
    const cnode *node = &graph->cnodelist[i];
    std::printf("%6d: ", i);
    for (int t = 0; t < node->degree; ++t) {
      const edge *e = &node->edgelist[t];
      std::printf("%6g ", graph->vnodelist[e->dest].edgelist[e->socket].message);
    }
    std::printf("\n");
  }
}

}  // namespace

void printgraph(graphs *graph, int what) {
  std::printf("\n ************************\n");
  if ((what & 1) != 0) printsummary(graph);
  if ((what & 2) != 0) printneighbours(graph);
  if ((what & 4) != 0) printmessages(graph);
  std::printf("\n*******************\n");
}

}  // namespace ldpc
