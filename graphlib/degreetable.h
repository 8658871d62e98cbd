// Degree tables from the node degrees of one side of a graph. Never prints
// or exits, except through allocate when memory runs out.
#ifndef LDPC_DEGREETABLE_H
#define LDPC_DEGREETABLE_H

#include <cstdlib>
#include <cstring>

#include "graphstruct.h"

namespace ldpc {

// Fills table with every degree that occurs among the count nodes, in
// increasing order, each with multiplier times its number of nodes, and sets
// *entries to the number of entries. Degrees of any size are accepted; the
// limit is maxdegreesnum distinct degrees, beyond which it returns false
// (table and *entries are then unspecified). The nodes' degrees must not be
// negative.
template <typename node>
bool tabulatedegrees(const node *nodes, int count, int multiplier, degreelist *table,
                     int *entries) {
  int maxdegree = 0;
  for (int i = 0; i < count; ++i)
    if (nodes[i].degree > maxdegree) maxdegree = nodes[i].degree;
  // The histogram is as long as the largest degree, which the caller has
  // bounded by the number of edges actually present.
  int *histogram = allocatearray<int>(static_cast<std::int64_t>(maxdegree) + 1);
  for (int d = 0; d <= maxdegree; ++d) histogram[d] = 0;
  for (int i = 0; i < count; ++i) ++histogram[nodes[i].degree];
  int used = 0;
  bool fits = true;
  for (int d = 0; d <= maxdegree; ++d) {
    if (histogram[d] == 0) continue;
    if (used == maxdegreesnum) {
      fits = false;
      break;
    }
    table->degree[used] = d;
    table->numofnodes[used] = histogram[d] * multiplier;
    ++used;
  }
  std::free(histogram);
  *entries = used;
  return fits;
}

// Gives a graph whose node lists are complete its largest degrees and both
// degree tables (fresh from allocate, multiplier 1). False when a side has
// more than maxdegreesnum distinct degrees; *side then names it ("variable"
// or "check") and the graph still owns the tables.
inline bool tabulategraphdegrees(graphs *graph, const char **side) {
  graph->vmaxdegree = graph->cmaxdegree = 0;
  for (int v = 0; v < graph->vnodenum; ++v)
    if (graph->vnodelist[v].degree > graph->vmaxdegree)
      graph->vmaxdegree = graph->vnodelist[v].degree;
  for (int c = 0; c < graph->cnodenum; ++c)
    if (graph->cnodelist[c].degree > graph->cmaxdegree)
      graph->cmaxdegree = graph->cnodelist[c].degree;
  graph->vdegreelist = allocatearray<degreelist>(1);
  graph->cdegreelist = allocatearray<degreelist>(1);
  std::memset(graph->vdegreelist, 0, sizeof(degreelist));
  std::memset(graph->cdegreelist, 0, sizeof(degreelist));
  if (!tabulatedegrees(graph->vnodelist, graph->vnodenum, 1, graph->vdegreelist,
                       &graph->vdegreesnum)) {
    *side = "variable";
    return false;
  }
  if (!tabulatedegrees(graph->cnodelist, graph->cnodenum, 1, graph->cdegreelist,
                       &graph->cdegreesnum)) {
    *side = "check";
    return false;
  }
  return true;
}

}  // namespace ldpc

#endif
