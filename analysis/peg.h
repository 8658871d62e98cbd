// Progressive edge growth (PEG): the variable degrees of a distribution and
// the construction (peg.cpp). Random choices as shortcycles.h describes them.
#ifndef LDPC_PEG_H
#define LDPC_PEG_H

#include <string>
#include <vector>

#include "graphstruct.h"
#include "progressfunction.h"
#include "simulation.h"

namespace ldpc {

// Variable degrees for a distribution: round(length * fraction) nodes of each
// degree, the rounding remainders given to the largest fractional parts so
// that exactly length nodes result, in increasing order of degree (the order
// in which PEG places low-degree nodes first). degrees must be positive and
// fractions not negative.
std::vector<int> pegdegrees(const std::vector<int> &degrees, const std::vector<double> &fractions,
                            int length);

// What makes pegdegrees(degrees, fractions, length) unusable for a graph of
// cnodenum check nodes, found from the node counts alone before any list is
// built: no nodes, a degree outside 1..cnodenum, or more edges than an int
// counts. "" when nothing does.
std::string pegdistributionfault(const std::vector<int> &degrees,
                                 const std::vector<double> &fractions, int length, int cnodenum);

// Builds a graph of vdegrees.size() variable nodes (node v of degree
// vdegrees[v]) and cnodenum check nodes by progressive edge growth. Nodes are
// taken in order, each edge of node v placed in turn: to a check node that a
// breadth-first search from v in the graph built so far does not reach, or,
// when all are reached, to one first reached at the largest distance; among
// those the lowest current check degree; among those the one at position
// floor(u * count) in increasing check number, u one draw from the graph
// stream. Sockets follow the order of placement; degree tables hold the
// degrees that occur, increasing. Cost: one search per edge after a node's
// first, each up to the whole graph built so far: O(N * E) in the worst case.
// Returns false with *error set for degrees outside 1..cnodenum, or a graph
// too large for int counts; graph then holds nothing to free.
bool constructpeg(graphs *graph, const std::vector<int> &vdegrees, int cnodenum, std::string *error,
                  progressfunction progress = nullptr);

}  // namespace ldpc

#endif
