// Basic operations on graph records.
#include <cmath>
#include <cstdlib>

#include "graphstruct.h"

namespace ldpc {

void freegraph(graphs *graph) {
  for (int v = 0; v < graph->vnodenum; ++v) std::free(graph->vnodelist[v].edgelist);
  for (int c = 0; c < graph->cnodenum; ++c) std::free(graph->cnodelist[c].edgelist);
  std::free(graph->vnodelist);
  std::free(graph->cnodelist);
  std::free(graph->vdegreelist);
  std::free(graph->cdegreelist);
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

double round(double x) { return std::floor(x + 0.5); }

}  // namespace ldpc
