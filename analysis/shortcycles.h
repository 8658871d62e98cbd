// Graphs without short cycles: cycle removal by edge exchanges, progressive
// edge growth (PEG), cyclic (circulant) liftings of protographs, and the
// local girth of every variable node.
//
// The girth of a Tanner graph is even: 2 when an edge is doubled, 4 when two
// variable nodes share two check nodes, and so on. A target girth G asks for
// no cycle shorter than G: G = 4 forbids parallel edges, 6 also 4-cycles, 8
// also 6-cycles. Every even G >= 4 is accepted; the bounded searches below
// cost about (dv - 1)(dc - 1) to the power G/2 - 1 per edge examined.
//
// Random choices come from the graph stream (ldpc::graphsimrand), one draw
// (erand48 step) per choice, in an order fixed by the graph alone, so that a
// seed fixes the result. Nodes and sockets count from 0.
//
// Error policy: these functions never print and never end the process; a
// target that is not reached comes back in the report, a refused input as a
// message. Only conditionconstructions installs a hook that ends the
// process, as the construction driver's other failures do.
#ifndef LDPC_SHORTCYCLES_H
#define LDPC_SHORTCYCLES_H

#include <cstdint>
#include <string>
#include <vector>

#include "graphstruct.h"
#include "simulation.h"

namespace ldpc {

// Called now and then by the long computations with the work done and the
// total; may print progress.
typedef void (*progressfunction)(std::int64_t done, std::int64_t total, const char *what);

// --- cycle removal ----------------------------------------------------------

struct cycleremoval {
  bool reached = false;         // no cycle shorter than the target is left
  int target = 0;
  std::int64_t offending = 0;   // edges found on a short cycle when examined
  std::int64_t exchanges = 0;   // exchanges kept
  std::int64_t attempts = 0;    // exchanges tried (kept or undone)
  int girth = 0;                // girth at the end (0: no cycle at all)
  std::string message;          // why the target was not reached; "" if it was
};

// Exchanges check ends of edges with switchedges until no cycle shorter than
// target is left. Every edge, in order of variable node and socket, is
// examined by a search of depth target - 3 from its variable node; an edge on
// a short cycle is exchanged with a partner edge drawn uniformly from all
// edges (one draw each), and the exchange is kept only when neither new edge
// lies on a short cycle, else undone. A kept exchange thus never creates a
// short cycle, so an edge once clean stays clean and one pass suffices. Node
// degrees, sockets and the degree tables stay as they are. Gives up (reached
// false, message set, graph valid and partly improved) after attemptlimit
// rejected partners for one edge. The graph must keep the invariants.
cycleremoval removeshortcycles(graphs *graph, int target, int attemptlimit = 20000,
                               progressfunction progress = nullptr);

// Has the constructgraph driver condition every graph it constructs from now
// on with removeshortcycles(target), after the construction's draws and
// before the graph is saved; a target that is not reached ends the process
// with status 1 and a message on standard error. target 0 turns it off
// (the driver's default). With simulation->verbose > 0 each conditioning
// prints one line.
void conditionconstructions(int target);

// --- local girth ------------------------------------------------------------

// For every variable node the length of the shortest cycle through it (0 when
// none): a breadth-first search from the node that tells its branches apart,
// cut off at half the best length found. The girth is the least non-zero
// entry.
std::vector<int> localgirths(const graphs *graph, progressfunction progress = nullptr);

// --- progressive edge growth --------------------------------------------------

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
bool constructpeg(graphs *graph, const std::vector<int> &vdegrees, int cnodenum,
                  std::string *error, progressfunction progress = nullptr);

// --- cyclic liftings ----------------------------------------------------------

// Lifts protograph by lift with a cyclic shift per protograph edge: copy r
// of check node b meets copy (r + shift) mod lift of variable node i, that is
// the lift x lift block of rows b, columns i is the identity shifted right by
// shift columns. Node i * lift + c is copy c of protograph node i; sockets are
// those of the protograph. shifts holds one entry per protograph edge, in
// order of variable node and socket. When shifts is empty they are drawn: for
// each edge in that order, draw floor(u * lift) until the lifted edges close
// no cycle shorter than target (parallel protograph edges therefore get
// distinct shifts for any target >= 4), at most drawlimit draws per edge;
// *shifts receives them. Given shifts must lie in 0..lift-1 and are taken as
// they are. Returns false with *error naming the edge when no shift is found
// or the input is refused; graph then holds nothing to free.
bool constructcirculant(graphs *graph, const graphs *protograph, int lift, int target,
                        std::vector<int> *shifts, std::string *error, int drawlimit = 0);

// A shift matrix: one row per protograph check node, one cell per variable
// node; a cell is -1 (no edge) or the shifts of the edges between the two
// nodes, joined by commas ("3" one edge, "3,17" two parallel edges).
struct shiftmatrix {
  int rows = 0;
  int columns = 0;
  std::vector<std::vector<int>> cells;  // row-major, rows * columns; empty = -1
};

// Reads a shift matrix from text: whitespace-separated cells, one line per
// row, blank lines and lines starting with '#' ignored. Returns false with
// *error naming the line and cell that is wrong.
bool parseshiftmatrix(const std::string &text, shiftmatrix *matrix, std::string *error);

// The shifts of matrix in the edge order of protograph (variable node, then
// socket; the shifts of parallel edges in cell order). Returns false when the
// matrix does not have the protograph's edges.
bool shiftsforprotograph(const shiftmatrix &matrix, const graphs *protograph,
                         std::vector<int> *shifts, std::string *error);

// The protograph that a shift matrix describes (allocate'd record, release
// with freegraph and free): variable sockets in order of check node, check
// sockets in order of variable node; the shifts in its edge order.
graphs *protographfromshifts(const shiftmatrix &matrix, std::vector<int> *shifts);

// The shift matrix of a protograph and one shift per edge, as text in the
// form parseshiftmatrix reads.
std::string formatshiftmatrix(const graphs *protograph, const std::vector<int> &shifts);

}  // namespace ldpc

#endif
