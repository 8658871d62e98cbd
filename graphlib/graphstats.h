// Structural figures of a Tanner graph: invariant checks, degree
// distributions, parallel edges, 4-cycles, girth and an edge-set fingerprint.
#ifndef LDPC_GRAPHSTATS_H
#define LDPC_GRAPHSTATS_H

#include <cstdint>
#include <string>
#include <vector>

#include "graphstruct.h"

namespace ldpc {

// Called now and then by the long computations with the work done so far
// and the total; may print progress.
typedef void (*progressfunction)(std::int64_t done, std::int64_t total, const char *what);

// Violations of the graph invariants, one line each: edge entries out of
// range, mirror entries that do not point back, degree sums that differ,
// degree tables that do not match the node degrees. Maxima that differ from
// the true ones go to *notes, not counted as violations. Stops listing after
// limit violations (the last line then says how many more there were).
std::vector<std::string> checkinvariants(const graphs *graph, std::vector<std::string> *notes,
                                         int limit = 50);

struct degreeshare {
  int degree;
  std::int64_t nodes;
  double nodefraction;  // nodes / number of nodes of the side
  double edgefraction;  // degree * nodes / edges (lambda or rho)
};

// The degree distribution of one side, from the nodes themselves.
std::vector<degreeshare> vdistribution(const graphs *graph);
std::vector<degreeshare> cdistribution(const graphs *graph);

std::int64_t countedges(const graphs *graph);

// Edges beyond the first between the same variable and check node.
std::int64_t countparalleledges(const graphs *graph);

// Cycles of length 4: pairs of distinct variable nodes and pairs of distinct
// check nodes joined in a ring, counted per choice of edges when edges are
// parallel. Cost: the sum over check nodes of their degree squared.
std::int64_t countfourcycles(const graphs *graph, progressfunction progress = nullptr);

// Length of the shortest cycle; 2 when an edge is doubled, 0 when the graph
// has no cycle. Trees hanging off the cycles are peeled off first and plain
// cycles measured directly; then a breadth-first search runs from every
// remaining variable node, cut off at half the best length found so far:
// about V times the size of a neighbourhood of radius girth/2. The graph
// must keep the invariants.
int girth(const graphs *graph, progressfunction progress = nullptr);

// A hash of the multiset of edges {variable, check} and the node counts;
// independent of the socket order on either side.
std::uint64_t fingerprint(const graphs *graph);

}  // namespace ldpc

#endif
