// Release of a graph record that a reader or construction has filled only in
// part, on a fault. Never prints or exits.
#ifndef LDPC_PARTIALGRAPH_H
#define LDPC_PARTIALGRAPH_H

#include "graphstruct.h"

namespace ldpc {

// Releases the edge lists of the first vowned variable nodes and the first
// cowned check nodes (each node array may be null, then none of its lists),
// the node arrays and the degree tables, and sets those four pointers to
// null. freegraph(graph) releases the same as (graph, vnodenum, cnodenum)
// but leaves the record as it is.
void releasepartialgraph(graphs *graph, int vowned, int cowned);

}  // namespace ldpc

#endif
