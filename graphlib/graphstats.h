// Structural figures of a Tanner graph: invariant checks, degree
// distributions, parallel edges, 4-cycles, girth and an edge-set fingerprint.
// Nothing here exits, except through allocate when memory runs out; only
// the progress function given may print.
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

// An unsigned count of 128 bits, wide enough for the 4-cycles of any graph
// of fewer than 2^34 edges (see countfourcycles).
__extension__ typedef unsigned __int128 widecount;

// The count in decimal digits.
std::string decimal(widecount value);

// Cycles of length 4: pairs of distinct variable nodes and pairs of distinct
// check nodes joined in a ring, counted per choice of edges when edges are
// parallel. Nodes are ranked by degree and each cycle is counted from its
// highest-ranked node: the cost is about the sum over edges of the smaller
// degree of the two ends (a check node of degree 100,000 whose variable
// nodes have degree 3 costs 300,000 steps, not 10^10). The total is at most
// (number of paths variable-check-variable)^2 / 2 < 2^128 for fewer than
// 2^34 edges; a larger total would saturate at the largest widecount.
widecount countfourcycles(const graphs *graph, progressfunction progress = nullptr);

// Length of the shortest cycle; 2 when an edge is doubled, 0 when the graph
// has no cycle. Trees hanging off the cycles are peeled off, chains of
// nodes with two edges contracted to weighted links between the nodes with
// three or more, and plain cycles measured directly; then a shortest-path
// search runs from every such branch node, cut off at half the best length
// found so far and leaving out the roots searched before: about B times the
// size of a neighbourhood of radius girth/2 among the B branch nodes. The
// graph must keep the invariants.
std::int64_t girth(const graphs *graph, progressfunction progress = nullptr);

// fingerprint(graph) is declared in graphstruct.h.

}  // namespace ldpc

#endif
