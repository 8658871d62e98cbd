// The arithmetic of the irregular ensemble construction, apart from its
// records and its draws: node counts from the distribution and the balancing
// of the two edge totals. constructirregulargraph builds on exactly this
// plan, so a program can ask beforehand whether a distribution and length
// can be built, and why not. Nothing here exits but as its comment says,
// and otherwise only through allocate when memory runs out.
#ifndef LDPC_IRREGULAR_H
#define LDPC_IRREGULAR_H

#include <string>

#include "graphstruct.h"
#include "simulation.h"

namespace ldpc {

// Why a plan failed.
enum class irregularfault {
  none,
  emptylist,           // no variable or no check degree
  toomanydegrees,      // more than maxdegreesnum entries
  negativedegree,      // a degree below 0
  badtypedist,         // typedist neither 0 nor 1
  outofrange,          // a count or the check estimate outside 0..INT_MAX
  toolarge,            // edges or nodes beyond an int
  nochecktoraise,      // the check side is short of edges and has no node
  checkdegreestoolow,  // the check side is short even at its last degree
  needsdegree3,        // an odd surplus of check edges, no degree 3 at entry 1
  needsdegree2,        // a surplus of check edges, no degree 2 at entry 0
  nodegree2toremove,   // a surplus of 1 edge, but no degree-2 node to remove
  unbalanced,          // the balanced totals disagree (never expected)
  novariablenode,      // every variable count is 0
  nochecknode,         // every check count is 0
};

struct irregularplan {
  irregularfault fault;
  // The tables after balancing (the check side may have gained an entry).
  int vdegreesnum, cdegreesnum;
  int vdegree[maxdegreesnum], cdegree[maxdegreesnum];
  long long vcount[maxdegreesnum], ccount[maxdegreesnum];
  long long vedgesbefore, cedgesbefore;  // the totals before balancing
  long long surplus;                     // check edges beyond the variable side after raising
  int vnodenum, cnodenum, edges;
  char message[256];      // a refusal, as the construction words it
  const char *condition;  // a failed consistency condition, or null
  int line;
};

// Works out the counts and the balancing of simulation's distribution and
// length exactly as constructirregulargraph does; with verbose set, prints
// the construction's report of these steps. Returns true when the
// construction will succeed, else false with plan->fault saying why. Never
// exits, allocates or draws.
bool planirregular(const simulations *simulation, irregularplan *plan, int verbose = 0);

// Why a failed plan cannot be built, in a user's words (no function names).
std::string explainirregular(const irregularplan &plan);

// The lengths next to simulation.length, below and above, that the
// construction can build with the same distribution, searched up to a
// million steps each way: "the nearest lengths that work are A and B" or
// what was found.
std::string nearestirregularlengths(simulations simulation);

// "" when the construction can build simulation's distribution at its
// length; else the refusal the programs print: "cannot build this
// distribution with --length N: " with the reason and the nearest lengths.
std::string refuseirregular(const simulations &simulation);

}  // namespace ldpc

#endif
