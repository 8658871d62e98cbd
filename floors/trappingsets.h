// Trapping sets: the sets of variable nodes on which iterative decoding
// gets stuck, classified by the subgraph they induce, and a collector that
// gathers the failing sets of a simulation or an estimate with their
// multiplicities and their shares of the failures.
//
// For a set D of variable nodes, the induced subgraph holds D, every check
// node joined to D, and the edges between them; a check's degree there is
// its number of edges into D. With O(D) the checks of odd degree and E(D)
// those of even degree:
// - D is an (a, b) trapping set with a = |D| and b = |O(D)|;
// - elementary: every check of the induced subgraph has degree 1 or 2;
// - absorbing: every variable of D has more edges to E(D) than to O(D);
// - fully absorbing: absorbing, and every variable outside D has more
//   edges to checks outside O(D) than to checks in O(D).
// (The definitions of Dolecek et al., "Analysis of absorbing sets and fully
// absorbing sets of array-based LDPC codes", IEEE Trans. Inform. Theory 56,
// 2010.) Parallel edges count as often as they occur. Nodes are numbered
// from 0 as in the graph.
//
// Error policy: the functions throw std::invalid_argument naming the fault
// (a graph record without a graph, a broken mirror entry, a node outside
// the graph, a node listed twice); nothing prints or exits.
#ifndef LDPC_TRAPPINGSETS_H
#define LDPC_TRAPPINGSETS_H

#include <cstdint>
#include <map>
#include <vector>

#include "graphstruct.h"

namespace ldpc {

// The graph as plain lists: the checks of every variable node (one entry
// per edge, in socket order) and the variables of every check node.
struct tannerlists {
  int vnodenum = 0;
  int cnodenum = 0;
  std::vector<std::vector<int>> vchecks;
  std::vector<std::vector<int>> cvariables;
};

// The lists of a graph record, checked (every dest in range, every mirror
// entry pointing back).
tannerlists listsofgraph(const graphs *graph);
// The lists from each variable's checks (what tests build by hand).
tannerlists listsfromchecks(int cnodenum, const std::vector<std::vector<int>> &vchecks);
// A graph record of the lists (memory from allocate; release with freegraph
// and free): check sockets in order of variable node and socket, the degree
// tables of the degrees that occur, the design rate 1 - m / n.
graphs *graphoflists(const tannerlists &lists);

struct trappingclass {
  int a = 0;           // variable nodes
  int b = 0;           // odd-degree checks of the induced subgraph
  int checks = 0;      // checks of the induced subgraph
  int components = 0;  // connected components of the induced subgraph
  bool elementary = false;
  bool absorbing = false;
  bool fullyabsorbing = false;
};

// The class of the set variables (any order, no repeats). Cost: the edges
// of the set and of the variables next to its odd checks.
trappingclass classifyset(const tannerlists &graph, const std::vector<int> &variables);

// One failing set as the collector saw it.
struct failurerecord {
  std::vector<int> variables;  // in order
  trappingclass kind;
  std::int64_t samples = 0;   // observations (frames, or chain steps on it)
  std::int64_t arrivals = 0;  // observations that were new arrivals (a chain
                              // moving onto it, or a fresh frame)
  double weight = 0.0;        // summed importance weights
  double share = 0.0;         // weight over the weight of every failure
};

// The failures of one (a, b) class together.
struct classshare {
  int a = 0, b = 0;
  bool elementary = false, absorbing = false;
  std::int64_t sets = 0;  // distinct sets seen in the class
  std::int64_t samples = 0;
  double share = 0.0;
};

// Gathers failing sets. Each set is classified once, when first seen.
// Frames of direct simulation come with weight 1; states of the estimator's
// chains with their importance weights (floorcallbacks::visit), so that a
// share estimates the probability of the set given a failure.
class failurecollector {
 public:
  explicit failurecollector(tannerlists graph) : graph_(std::move(graph)) {}

  // errorset: the bits in error (any order).
  void add(const std::vector<int> &errorset, double weight = 1.0, bool arrival = true);

  double totalweight() const { return total_; }
  std::int64_t distinct() const { return static_cast<std::int64_t>(sets_.size()); }
  // Records by decreasing share (ties: smaller a, then smaller b, then the
  // nodes in order), at most limit of them (0: all), only sets of at most
  // maxsize variables (0: any).
  std::vector<failurerecord> records(std::size_t limit = 0, int maxsize = 0) const;
  // Classes by decreasing share.
  std::vector<classshare> classes() const;

 private:
  tannerlists graph_;
  std::map<std::vector<int>, failurerecord> sets_;
  double total_ = 0.0;
};

}  // namespace ldpc

#endif
