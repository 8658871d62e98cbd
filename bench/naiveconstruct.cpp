// naiveconstruct: the irregular construction and the protograph lifting
// written the straightforward way, as the benchmark's reference: erand48 on
// the graph stream for every draw, one malloc per node's edge list, and for
// the irregular matching the four arrays of E integers (perm, iperm,
// whichnode, whichsocket). It must build the library's graphs edge for edge.
//
// usage: naiveconstruct irregular LENGTH SEED [--hash]
//        naiveconstruct proto PROTOFILE FACTOR SEED [--hash]
//
// Prints the node and edge counts, and with --hash a hash of the graph.
#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "construction.h"
#include "naivegraph.h"

using namespace naive;

namespace {

unsigned short graphsimrand[3];

// Sizes and node counts from node fractions: the check nodes in proportion
// to the variable side's edges per check side's edge.
void countnodes(graphs *graph, int length, int vdegreesnum, const int *vdegrees,
                const double *vfractions, int cdegreesnum, const int *cdegrees,
                const double *cfractions) {
  assert(vdegreesnum > 0 && cdegreesnum > 0);
  graph->vdegreesnum = vdegreesnum;
  graph->cdegreesnum = cdegreesnum;
  graph->vmaxdegree = vdegrees[vdegreesnum - 1];
  graph->cmaxdegree = cdegrees[cdegreesnum - 1];

  double sumv = 0, sumc = 0;
  for (int i = 0; i < vdegreesnum; ++i) sumv += vdegrees[i] * vfractions[i];
  for (int j = 0; j < cdegreesnum; ++j) sumc += cdegrees[j] * cfractions[j];
  int graphcnodenum = static_cast<int>(std::lround(length * (sumv / sumc)));
  allocatedegreetables(graph);
  degreelist *vt = graph->vdegreelist, *ct = graph->cdegreelist;
  for (int i = vdegreesnum - 1; i >= 0; --i) {
    vt->degree[i] = vdegrees[i];
    vt->numofnodes[i] = static_cast<int>(std::lround(length * vfractions[i]));
  }
  for (int j = cdegreesnum - 1; j >= 0; --j) {
    ct->degree[j] = cdegrees[j];
    ct->numofnodes[j] = static_cast<int>(std::lround(graphcnodenum * cfractions[j]));
  }
}

// Balancing: raise the check side, then close the remainder with degree-3
// and degree-2 variable nodes. Returns the edge count and sets the true
// node numbers and the rate.
int balance(graphs *graph) {
  degreelist *vt = graph->vdegreelist, *ct = graph->cdegreelist;
  const int vdegreesnum = graph->vdegreesnum;
  int cdegreesnum = graph->cdegreesnum;
  int vedgecount = 0, cedgecount = 0;
  for (int i = 0; i < vdegreesnum; ++i) vedgecount += vt->degree[i] * vt->numofnodes[i];
  for (int j = 0; j < cdegreesnum; ++j) cedgecount += ct->degree[j] * ct->numofnodes[j];
  while (cedgecount < vedgecount) {
    int i = 0;
    while (ct->numofnodes[i] <= 0) ++i;
    if (cdegreesnum == 1) {
      ct->degree[1] = ct->degree[0] + 1;
      ct->numofnodes[1] = 0;
      cdegreesnum = 2;
      graph->cdegreesnum = 2;
      graph->cmaxdegree = ct->degree[1];
    }
    --ct->numofnodes[i];
    ++ct->numofnodes[i + 1];
    cedgecount += ct->degree[i + 1] - ct->degree[i];
  }
  if (cedgecount != vedgecount) {
    if ((cedgecount - vedgecount) % 2 == 1) {
      assert(vt->degree[1] == 3);
      ++vt->numofnodes[1];
      vedgecount += 3;
    }
    assert(vt->degree[0] == 2);
    vt->numofnodes[0] += (cedgecount - vedgecount) / 2;
    vedgecount = cedgecount;
  }
  int vedgecountnew = 0, cedgecountnew = 0;
  for (int i = 0; i < vdegreesnum; ++i) vedgecountnew += vt->degree[i] * vt->numofnodes[i];
  for (int j = 0; j < cdegreesnum; ++j) cedgecountnew += ct->degree[j] * ct->numofnodes[j];
  assert(vedgecountnew == vedgecount);
  assert(cedgecountnew == cedgecount);
  (void)vedgecountnew;
  (void)cedgecountnew;

  // True node numbers.
  graph->vnodenum = 0;
  graph->cnodenum = 0;
  for (int i = 0; i < vdegreesnum; ++i) graph->vnodenum += vt->numofnodes[i];
  for (int j = 0; j < cdegreesnum; ++j) graph->cnodenum += ct->numofnodes[j];
  graph->rate = 1.0 - static_cast<double>(graph->cnodenum) / graph->vnodenum;
  return cedgecount;
}

// The degrees of count nodes of one side by table position: the first
// numofnodes[k] nodes of the first non-empty degree, and so on.
template <class node>
void setdegrees(node *nodes, int count, const degreelist *t, int degreesnum) {
  int degree = 0;
  while (t->numofnodes[degree] <= 0) ++degree;
  int degreecounter = t->numofnodes[degree];
  for (int n = 0; n < count; ++n) {
    nodes[n].degree = t->degree[degree];
    nodes[n].value = 0.0;
    --degreecounter;
    assert(degreecounter >= 0);
    if (degreecounter == 0 && degree < degreesnum - 1) {
      do degreecounter = t->numofnodes[++degree];
      while (degreecounter <= 0 && degree < degreesnum - 1);
      assert(degree <= degreesnum);
      assert(degreecounter >= 0);
    }
  }
}

// Node degrees by table position, then one malloc per node's sockets.
void nodesandsockets(graphs *graph) {
  allocatenodelists(graph);
  setdegrees(graph->vnodelist, graph->vnodenum, graph->vdegreelist, graph->vdegreesnum);
  setdegrees(graph->cnodelist, graph->cnodenum, graph->cdegreelist, graph->cdegreesnum);
  for (int v = 0; v < graph->vnodenum; ++v)
    graph->vnodelist[v].edgelist = allocateedges(graph->vnodelist[v].degree);
  for (int c = 0; c < graph->cnodenum; ++c)
    graph->cnodelist[c].edgelist = allocateedges(graph->cnodelist[c].degree);
}

// The matching: variable socket k meets check socket perm[k].
void matchsockets(graphs *graph, int edges) {
  int *perm = static_cast<int *>(allocate(edges * static_cast<long>(sizeof(int))));
  int *iperm = static_cast<int *>(allocate(edges * static_cast<long>(sizeof(int))));
  graphrandompermutation(graphsimrand, perm, iperm, edges);
  int *whichnode = static_cast<int *>(allocate(edges * static_cast<long>(sizeof(int))));
  int *whichsocket = static_cast<int *>(allocate(edges * static_cast<long>(sizeof(int))));
  int edgecounter = 0;
  for (int c = 0; c < graph->cnodenum; ++c)
    for (int t = 0; t < graph->cnodelist[c].degree; ++t) {
      whichnode[edgecounter] = c;
      whichsocket[edgecounter] = t;
      ++edgecounter;
    }
  edgecounter = 0;
  for (int v = 0; v < graph->vnodenum; ++v)
    for (int s = 0; s < graph->vnodelist[v].degree; ++s) {
      int tonode = whichnode[perm[edgecounter]];
      int tosocket = whichsocket[perm[edgecounter]];
      ++edgecounter;
      graph->vnodelist[v].edgelist[s] = {tonode, tosocket, 0.0};
      graph->cnodelist[tonode].edgelist[tosocket] = {v, s, 0.0};
    }
  std::free(perm);
  std::free(iperm);
  std::free(whichnode);
  std::free(whichsocket);
}

// Node counts from node fractions, the balancing of the edge totals, node
// degrees by table position, sockets, and one random matching.
void constructirregulargraph(graphs *graph, int length, int vdegreesnum, const int *vdegrees,
                             const double *vfractions, int cdegreesnum, const int *cdegrees,
                             const double *cfractions) {
  countnodes(graph, length, vdegreesnum, vdegrees, vfractions, cdegreesnum, cdegrees, cfractions);
  const int edges = balance(graph);
  nodesandsockets(graph);
  matchsockets(graph, edges);
}

// L copies of every protograph node; the copies of each protograph edge are
// joined through a fresh permutation of L.
void constructprotograph(graphs *graph, const graphs *proto, int lift) {
  const int V = proto->vnodenum, C = proto->cnodenum;
  graph->vnodenum = V * lift;
  graph->cnodenum = C * lift;
  graph->rate = 1.0 - static_cast<double>(graph->cnodenum) / graph->vnodenum;
  allocatenodelists(graph);
  allocatedegreetables(graph);

  // Degree statistics and tables from 100-entry histograms.
  int vhistogram[100] = {0}, chistogram[100] = {0};
  graph->vmaxdegree = 0;
  graph->cmaxdegree = 0;
  for (int i = 0; i < V; ++i) {
    ++vhistogram[proto->vnodelist[i].degree];
    if (proto->vnodelist[i].degree > graph->vmaxdegree)
      graph->vmaxdegree = proto->vnodelist[i].degree;
  }
  for (int b = 0; b < C; ++b) {
    ++chistogram[proto->cnodelist[b].degree];
    if (proto->cnodelist[b].degree > graph->cmaxdegree)
      graph->cmaxdegree = proto->cnodelist[b].degree;
  }
  graph->vdegreesnum = 0;
  graph->cdegreesnum = 0;
  for (int d = 0; d < 100; ++d) {
    if (vhistogram[d] > 0) {
      graph->vdegreelist->degree[graph->vdegreesnum] = d;
      graph->vdegreelist->numofnodes[graph->vdegreesnum++] = lift * vhistogram[d];
    }
    if (chistogram[d] > 0) {
      graph->cdegreelist->degree[graph->cdegreesnum] = d;
      graph->cdegreelist->numofnodes[graph->cdegreesnum++] = lift * chistogram[d];
    }
  }

  // Copies of the nodes, one malloc per node's sockets.
  for (int i = 0; i < V; ++i)
    for (int c = 0; c < lift; ++c) {
      vnode *node = &graph->vnodelist[i * lift + c];
      node->degree = proto->vnodelist[i].degree;
      node->value = 0.0;
      node->edgelist = allocateedges(node->degree);
    }
  for (int b = 0; b < C; ++b)
    for (int c = 0; c < lift; ++c) {
      cnode *node = &graph->cnodelist[b * lift + c];
      node->value = 0.0;
      node->edgelist = allocateedges(proto->cnodelist[b].degree);
    }
  for (int c = 0; c < graph->cnodenum; ++c) graph->cnodelist[c].degree = 0;

  // Edges: one fresh permutation per protograph edge, in edge order.
  int *perm = static_cast<int *>(allocate(lift * static_cast<long>(sizeof(int))));
  int *iperm = static_cast<int *>(allocate(lift * static_cast<long>(sizeof(int))));
  for (int i = 0; i < V; ++i)
    for (int s = 0; s < proto->vnodelist[i].degree; ++s) {
      int b = proto->vnodelist[i].edgelist[s].dest;
      int t = proto->vnodelist[i].edgelist[s].socket;
      graphrandompermutation(graphsimrand, perm, iperm, lift);
      for (int c = 0; c < lift; ++c) {
        graph->vnodelist[i * lift + c].edgelist[s] = {b * lift + perm[c], t, 0.0};
        ++graph->cnodelist[b * lift + perm[c]].degree;
      }
    }

  // Mirror entries.
  for (int v = 0; v < graph->vnodenum; ++v)
    for (int s = 0; s < graph->vnodelist[v].degree; ++s) {
      const edge *e = &graph->vnodelist[v].edgelist[s];
      graph->cnodelist[e->dest].edgelist[e->socket] = {v, s, 0.0};
    }
  std::free(perm);
  std::free(iperm);
}

}  // namespace

int main(int argc, char **argv) {
  bool irregular = false;
  if (!benchconstruction::readmode(argc, argv, "naiveconstruct", SIZE_MAX, &irregular)) return 2;
  graphs graph;
  if (irregular) {
    benchconstruction::seedwords(argv[3], graphsimrand);
    constructirregulargraph(&graph, std::atoi(argv[2]), 3, benchconstruction::vdegrees,
                            benchconstruction::vfractions, 2, benchconstruction::cdegrees,
                            benchconstruction::cfractions);
  } else {
    benchconstruction::seedwords(argv[4], graphsimrand);
    graphs *protograph = readprotograph(argv[2]);
    constructprotograph(&graph, protograph, std::atoi(argv[3]));
  }
  benchconstruction::printgraph(&graph, argc, argv);
  return 0;
}
