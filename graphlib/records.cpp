// Operations on the graph records: releasing a graph, whole or partly
// built, and exchanging the check ends of two edges.
#include <cstdlib>

#include "graphstruct.h"
#include "partialgraph.h"

namespace ldpc {

void releasepartialgraph(graphs *graph, int vowned, int cowned) {
  if (graph->vnodelist != nullptr)
    for (int v = 0; v < vowned; ++v) std::free(graph->vnodelist[v].edgelist);
  if (graph->cnodelist != nullptr)
    for (int c = 0; c < cowned; ++c) std::free(graph->cnodelist[c].edgelist);
  std::free(graph->vnodelist);
  std::free(graph->cnodelist);
  std::free(graph->vdegreelist);
  std::free(graph->cdegreelist);
  graph->vnodelist = nullptr;
  graph->cnodelist = nullptr;
  graph->vdegreelist = nullptr;
  graph->cdegreelist = nullptr;
}

void freegraph(graphs *graph) {
  graphs copy = *graph;
  releasepartialgraph(&copy, graph->vnodenum, graph->cnodenum);
}

void switchedges(graphs *graph, int nodea, int socketa, int nodeb, int socketb) {
  edge *va = &graph->vnodelist[nodea].edgelist[socketa];
  edge *vb = &graph->vnodelist[nodeb].edgelist[socketb];
  // read all four ends before writing: the two sockets may share a check node
  int ca = va->dest, ta = va->socket;
  int cb = vb->dest, tb = vb->socket;
  va->dest = cb;
  va->socket = tb;
  graph->cnodelist[cb].edgelist[tb].dest = nodea;
  graph->cnodelist[cb].edgelist[tb].socket = socketa;
  vb->dest = ca;
  vb->socket = ta;
  graph->cnodelist[ca].edgelist[ta].dest = nodeb;
  graph->cnodelist[ca].edgelist[ta].socket = socketb;
}

void switchvnodes(graphs *, int, int) {}

}  // namespace ldpc
