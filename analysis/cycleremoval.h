// Cycle removal by edge exchanges, the conditioning of the construction
// driver's graphs, and the local girth of every variable node
// (cycleremoval.cpp). Girths and targets as shortcycles.h describes them.
#ifndef LDPC_CYCLEREMOVAL_H
#define LDPC_CYCLEREMOVAL_H

#include <cstdint>
#include <string>
#include <vector>

#include "graphstruct.h"
#include "progressfunction.h"
#include "simulation.h"

namespace ldpc {

struct cycleremoval {
  bool reached = false;  // no cycle shorter than the target is left
  int target = 0;
  std::int64_t offending = 0;  // edges found on a short cycle when examined
  std::int64_t exchanges = 0;  // exchanges kept
  std::int64_t attempts = 0;   // exchanges tried (kept or undone)
  int girth = 0;               // girth at the end (0: no cycle at all)
  std::string message;         // why the target was not reached; "" if it was
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

// For every variable node the length of the shortest cycle through it (0 when
// none): a breadth-first search from the node that tells its branches apart,
// cut off at half the best length found. The girth is the least non-zero
// entry.
std::vector<int> localgirths(const graphs *graph, progressfunction progress = nullptr);

}  // namespace ldpc

#endif
