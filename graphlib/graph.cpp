// The irregular ensemble: the construction of a graph from degree
// distributions and the plan it follows, which can also be asked beforehand
// whether a distribution builds.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "graphstruct.h"
#include "irregular.h"
#include "randomstream.h"
#include "simulation.h"

namespace ldpc {

namespace {

const char *programname() {
#if defined(__GLIBC__)
  return program_invocation_short_name;
#elif defined(__APPLE__) || defined(__FreeBSD__) || defined(__NetBSD__) || defined(__OpenBSD__)
  return getprogname();
#else
  return "";
#endif
}

// The consistency conditions of the construction stay active in release
// builds too: without them a corrupt graph would be handed on. Standard
// output is flushed first, so that the report lines already printed are not
// lost when it is redirected to a file.
// The text is that of a failed assert: "program: file:line: function:
// Assertion `condition' failed.", the program name where the C library
// keeps it.
[[noreturn]] void failcondition(const char *condition, int line) {
  std::fflush(stdout);
  const char *program = programname();
  std::fprintf(stderr, "%s%s%s:%d: constructirregulargraph: Assertion `%s' failed.\n", program,
               *program != '\0' ? ": " : "", __FILE__, line, condition);
  std::fflush(stderr);
  std::abort();
}

#define irregularcheck(cond, text) ((cond) ? static_cast<void>(0) : failcondition(text, __LINE__))

// A distribution the construction cannot build; refused before anything is
// allocated.
[[noreturn]] __attribute__((format(printf, 1, 2))) void refuseirregular(const char *format, ...) {
  std::fflush(stdout);
  std::fputs("constructirregulargraph: ", stderr);
  std::va_list arguments;
  va_start(arguments, format);
  std::vfprintf(stderr, format, arguments);
  va_end(arguments);
  std::fputc('\n', stderr);
  std::exit(1);
}

long long edgetotal(const int *degree, const long long *count, int entries) {
  long long total = 0;
  for (int k = 0; k < entries; ++k) total += static_cast<long long>(degree[k]) * count[k];
  return total;
}

int lowestpositive(const long long *count, int entries) {
  int position = 0;
  while (position < entries && count[position] <= 0) ++position;
  return position;
}

// Gives nodes 0, 1, 2, ... the degrees of the table's non-empty entries in
// table order, and checks that the degrees add up to the edge total.
template <typename node>
void assigndegrees(node *nodes, int nodenum, const degreelist *table, int entries, long long edges,
                   const char *positiontext, const char *sumtext) {
  int degree = 0;  // table position, named as in the condition texts
  while (table->numofnodes[degree] <= 0) ++degree;
  int degreecounter = table->numofnodes[degree];
  long long sum = 0;
  for (int n = 0; n < nodenum; ++n) {
    nodes[n].degree = table->degree[degree];
    nodes[n].value = 0.0;
    sum += nodes[n].degree;
    --degreecounter;
    irregularcheck(degreecounter >= 0, "degreecounter >= 0");
    if (degreecounter == 0 && degree < entries - 1) {
      do {
        ++degree;
        degreecounter = table->numofnodes[degree];
      } while (degreecounter <= 0 && degree < entries - 1);
      irregularcheck(degree <= entries, positiontext);
      irregularcheck(degreecounter >= 0, "degreecounter >= 0");
    }
  }
  irregularcheck(sum == edges, sumtext);
}

template <typename node>
void allocateedgelists(node *nodes, int nodenum) {
  for (int n = 0; n < nodenum; ++n) nodes[n].edgelist = allocatearray<edge>(nodes[n].degree);
}

// Check socket numbers without a table of E entries: the check nodes take
// the entries of their degree table in order, so the nodes of one entry form
// a block of equal degree whose sockets are numbered consecutively.
struct checkblocks {
  int count;
  int firstsocket[maxdegreesnum];
  int firstnode[maxdegreesnum];
  int degree[maxdegreesnum];
};

void numbercheckblocks(checkblocks *blocks, const degreelist *table, int entries) {
  blocks->count = 0;
  int node = 0, socket = 0;
  for (int k = 0; k < entries; ++k) {
    if (table->numofnodes[k] > 0 && table->degree[k] > 0) {
      blocks->firstsocket[blocks->count] = socket;
      blocks->firstnode[blocks->count] = node;
      blocks->degree[blocks->count] = table->degree[k];
      ++blocks->count;
    }
    node += table->numofnodes[k];
    socket += table->numofnodes[k] * table->degree[k];
  }
}

// The check node and socket of check socket number number.
inline void locatechecksocket(const checkblocks *blocks, int number, int *node, int *socket) {
  int low = 0, high = blocks->count - 1;
  while (low < high) {
    const int middle = (low + high + 1) / 2;
    if (blocks->firstsocket[middle] <= number)
      low = middle;
    else
      high = middle - 1;
  }
  const int offset = number - blocks->firstsocket[low];
  const int within = offset / blocks->degree[low];
  *node = blocks->firstnode[low] + within;
  *socket = offset - within * blocks->degree[low];
}

}  // namespace

namespace {

// Records a refusal in the plan: the message as the construction prints it.
__attribute__((format(printf, 3, 4))) bool refuseplan(irregularplan *plan, irregularfault fault,
                                                      const char *format, ...) {
  plan->fault = fault;
  std::va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(plan->message, sizeof plan->message, format, arguments);
  va_end(arguments);
  return false;
}

// Records a failed consistency condition in the plan.
bool failplan(irregularplan *plan, irregularfault fault, const char *condition, int line) {
  plan->fault = fault;
  plan->condition = condition;
  plan->line = line;
  return false;
}

// Step 1: the sizes of both tables, the degrees copied into the plan.
bool plansizes(const simulations *simulation, irregularplan *plan, int verbose) {
  if (verbose > 0) {
    std::putchar('\n');
    std::puts("Construction of (irregular) graph:");
    std::puts("1. Set number of degrees and max degrees.");
  }
  const int vdegreesnum = simulation->vdegreesnum;
  int cdegreesnum = simulation->cdegreesnum;
  if (!(vdegreesnum > 0 && cdegreesnum > 0))
    return failplan(plan, irregularfault::emptylist, "vdegreesnum > 0 && cdegreesnum > 0",
                    __LINE__);
  if (vdegreesnum > maxdegreesnum || cdegreesnum > maxdegreesnum)
    return refuseplan(plan, irregularfault::toomanydegrees,
                      "%d variable and %d check degrees; a degree table holds at most %d",
                      vdegreesnum, cdegreesnum, maxdegreesnum);
  int *vdegree = plan->vdegree;
  int *cdegree = plan->cdegree;
  // The check degrees are copied: balancing may append one entry.
  for (int k = 0; k < vdegreesnum; ++k) vdegree[k] = simulation->vdegreelist[k];
  for (int k = 0; k < cdegreesnum; ++k) cdegree[k] = simulation->cdegreelist[k];
  for (int k = 0; k < vdegreesnum; ++k)
    if (vdegree[k] < 0)
      return refuseplan(plan, irregularfault::negativedegree,
                        "variable entry %d has degree %d; degrees must not be negative", k,
                        vdegree[k]);
  for (int k = 0; k < cdegreesnum; ++k)
    if (cdegree[k] < 0)
      return refuseplan(plan, irregularfault::negativedegree,
                        "check entry %d has degree %d; degrees must not be negative", k,
                        cdegree[k]);
  plan->vdegreesnum = vdegreesnum;
  plan->cdegreesnum = cdegreesnum;
  return true;
}

// Steps 2 to 4: the number of check nodes and the node count of every
// entry, before balancing.
bool plancounts(const simulations *simulation, irregularplan *plan, int verbose) {
  const int vdegreesnum = plan->vdegreesnum, cdegreesnum = plan->cdegreesnum;
  const int *vdegree = plan->vdegree, *cdegree = plan->cdegree;
  const double *vfraction = simulation->vpercentagelist;
  const double *cfraction = simulation->cpercentagelist;

  // Node counts from the distribution.
  const int typedist = simulation->typedist;
  if (typedist != 0 && typedist != 1) {
    plan->fault = irregularfault::badtypedist;
    return false;
  }
  const double length = simulation->length;
  double sumv = 0.0, sumc = 0.0;
  for (int k = 0; k < vdegreesnum; ++k)
    sumv += typedist == 0 ? vdegree[k] * vfraction[k] : vfraction[k] / vdegree[k];
  for (int k = 0; k < cdegreesnum; ++k)
    sumc += typedist == 0 ? cdegree[k] * cfraction[k] : cfraction[k] / cdegree[k];
  const double estimate = typedist == 0 ? length * (sumv / sumc) : (length * sumc) / sumv;
  if (!(estimate > -0.5 && estimate < 2147483647.5))
    return refuseplan(plan, irregularfault::outofrange,
                      "the estimated number of check nodes is outside 0..2147483647");
  const int graphcnodenum = static_cast<int>(std::lround(estimate));
  if (typedist == 0) {
    if (verbose != 0) {
      std::puts("2. Calculate number of check nodes.");
      std::printf("graphcnodenum=%d\n", graphcnodenum);
    }
  } else {
    if (verbose > 0) std::puts("2. Convert node percentages into node perspective.");
    if (verbose != 0) std::printf("graphcnodenum:=%d\n", graphcnodenum);
  }

  // Counts are kept wide until the balancing is done, so that no sum can
  // overflow before it is checked. A count that is negative or does not fit
  // an int (negative or absurd fractions, a negative length) is refused
  // rather than handed to the allocator.
  long long *vcount = plan->vcount, *ccount = plan->ccount;
  if (verbose > 0) std::puts("3. Number of vnodes: [before adjustments]");
  for (int k = vdegreesnum - 1; k >= 0; --k) {
    const double x =
        typedist == 0 ? length * vfraction[k] : (length * vfraction[k]) / (vdegree[k] * sumv);
    if (!(x > -0.5 && x < 2147483647.5))
      return refuseplan(plan, irregularfault::outofrange,
                        "the count of %s entry %d comes out as %.0f; counts must lie in "
                        "0..2147483647",
                        "variable", k, x);
    vcount[k] = std::lround(x);
    if (verbose > 0) {
      std::printf("degreesnum:=%d\n", k);
      std::printf("   vdegree:=%d vdegreenum:=%d\n", vdegree[k], static_cast<int>(vcount[k]));
    }
  }
  if (verbose > 0) std::puts("4. Number of cnodes: [before adjustments]");
  for (int k = cdegreesnum - 1; k >= 0; --k) {
    const double x = typedist == 0 ? graphcnodenum * cfraction[k]
                                   : (graphcnodenum * cfraction[k]) / (cdegree[k] * sumc);
    if (!(x > -0.5 && x < 2147483647.5))
      return refuseplan(plan, irregularfault::outofrange,
                        "the count of %s entry %d comes out as %.0f; counts must lie in "
                        "0..2147483647",
                        "check", k, x);
    ccount[k] = std::lround(x);
    if (verbose > 0)
      std::printf("   cdegree:=%d cdegreenum:=%d\n", cdegree[k], static_cast<int>(ccount[k]));
  }
  return true;
}

// Step 5: the check side raised to the variable side's edge total, then
// its surplus given to the variable side; on success the edge total is in
// *edges (still wide) and the tables are final.
bool planbalance(irregularplan *plan, long long *edges, int verbose) {
  const int vdegreesnum = plan->vdegreesnum;
  int cdegreesnum = plan->cdegreesnum;
  int *vdegree = plan->vdegree, *cdegree = plan->cdegree;
  long long *vcount = plan->vcount, *ccount = plan->ccount;

  // The edge totals of the two sides, to be made equal.
  long long vedgecount = edgetotal(vdegree, vcount, vdegreesnum);
  long long cedgecount = edgetotal(cdegree, ccount, cdegreesnum);
  plan->vedgesbefore = vedgecount;
  plan->cedgesbefore = cedgecount;
  if (vedgecount > INT_MAX || cedgecount > INT_MAX)
    return refuseplan(plan, irregularfault::toolarge,
                      "the distribution gives %lld variable and %lld check edges; at "
                      "most %d fit",
                      vedgecount, cedgecount, INT_MAX);
  if (verbose > 0) {
    std::puts("5. See if edgecounts match up.");
    std::puts("   Preliminary counts:");
    std::printf("   vedgecount:=%d cedgecount:=%d\n", static_cast<int>(vedgecount),
                static_cast<int>(cedgecount));
    if (cedgecount < vedgecount) std::puts("   Need to increase cedgecount.");
  }

  // Raise the check side: nodes leave the lowest non-empty check entry for
  // the entry above it (a single check degree first gets one above it),
  // one at a time; all the moves from one entry are made at once here, with
  // the same result, since the entries below it stay empty.
  while (cedgecount < vedgecount) {
    const int i = lowestpositive(ccount, cdegreesnum);
    if (i == cdegreesnum)
      return refuseplan(plan, irregularfault::nochecktoraise,
                        "the check side has %lld edges against %lld but no node to "
                        "raise: every check count is 0",
                        cedgecount, vedgecount);
    if (cdegreesnum == 1) {
      cdegree[1] = cdegree[0] + 1;
      ccount[1] = 0;
      cdegreesnum = 2;
      plan->cdegreesnum = 2;
    }
    if (i == cdegreesnum - 1)
      return refuseplan(plan, irregularfault::checkdegreestoolow,
                        "the check side still has %lld edges against %lld after "
                        "every node has reached the last check degree %d",
                        cedgecount, vedgecount, cdegree[i]);
    const long long gain = static_cast<long long>(cdegree[i + 1]) - cdegree[i];
    long long moves = ccount[i];
    if (gain > 0) {
      const long long needed = (vedgecount - cedgecount + gain - 1) / gain;
      if (needed < moves) moves = needed;
    }
    ccount[i] -= moves;
    ccount[i + 1] += moves;
    cedgecount += moves * gain;
  }
  if (verbose > 0 && cedgecount != vedgecount) std::puts("   Adjustments of edgecounts.");

  // The surplus of the check side goes to the variable side: one degree-3
  // node for an odd surplus, then degree-2 nodes (one fewer when the surplus
  // was 1). The degree-2 entry is required whenever a surplus is left, also
  // when the degree-3 node alone has closed it.
  plan->surplus = cedgecount - vedgecount;
  if (cedgecount != vedgecount) {
    if ((cedgecount - vedgecount) % 2 != 0) {
      if (!(vdegreesnum > 1 && vdegree[1] == 3))
        return failplan(plan, irregularfault::needsdegree3,
                        "(*(*graph).vdegreelist).degree[1] == 3", __LINE__);
      vcount[1] += 1;
      vedgecount += 3;
    }
    if (!(vdegree[0] == 2))
      return failplan(plan, irregularfault::needsdegree2, "(*(*graph).vdegreelist).degree[0] == 2",
                      __LINE__);
    const long long added = (cedgecount - vedgecount) / 2;
    if (vcount[0] + added < 0)
      return refuseplan(plan, irregularfault::nodegree2toremove,
                        "closing an odd remainder of 1 edge needs a degree-2 variable "
                        "node to remove, but the degree-2 entry has %lld nodes",
                        vcount[0]);
    vcount[0] += added;
    vedgecount += 2 * added;
  }

  // Re-check; from here on cedgecount is the number of edges.
  const long long vedgecountnew = edgetotal(vdegree, vcount, vdegreesnum);
  const long long cedgecountnew = edgetotal(cdegree, ccount, cdegreesnum);
  if (verbose > 0) std::puts("   Check if edgecounts match after correction.");
  if (!(vedgecountnew == vedgecount && vedgecount == cedgecount))
    return failplan(plan, irregularfault::unbalanced, "vedgecountnew == vedgecount", __LINE__);
  if (!(cedgecountnew == cedgecount))
    return failplan(plan, irregularfault::unbalanced, "cedgecountnew == cedgecount", __LINE__);
  if (verbose > 0) std::puts("6. True node numbers:");
  *edges = cedgecount;
  return true;
}

// Step 6: the node numbers of both sides, refused when a side is empty or
// a number does not fit an int.
bool plannodes(irregularplan *plan, long long cedgecount) {
  const int vdegreesnum = plan->vdegreesnum, cdegreesnum = plan->cdegreesnum;
  const long long *vcount = plan->vcount, *ccount = plan->ccount;
  // True node numbers. A side without nodes, or with more than an int can
  // count, is refused before anything is allocated.
  long long vnodenum = 0, cnodenum = 0;
  for (int k = 0; k < vdegreesnum; ++k) vnodenum += vcount[k];
  for (int k = 0; k < cdegreesnum; ++k) cnodenum += ccount[k];
  if (lowestpositive(vcount, vdegreesnum) == vdegreesnum)
    return refuseplan(plan, irregularfault::novariablenode,
                      "every variable count is 0; the graph would have no variable node");
  if (lowestpositive(ccount, cdegreesnum) == cdegreesnum)
    return refuseplan(plan, irregularfault::nochecknode,
                      "every check count is 0; the graph would have no check node");
  if (vnodenum > INT_MAX || cnodenum > INT_MAX || cedgecount > INT_MAX)
    return refuseplan(plan, irregularfault::toolarge,
                      "the balanced graph has %lld variable nodes, %lld check nodes and "
                      "%lld edges; each must fit an int",
                      vnodenum, cnodenum, cedgecount);
  plan->vnodenum = static_cast<int>(vnodenum);
  plan->cnodenum = static_cast<int>(cnodenum);
  plan->edges = static_cast<int>(cedgecount);
  return true;
}

}  // namespace

bool planirregular(const simulations *simulation, irregularplan *plan, int verbose) {
  *plan = irregularplan{};
  plan->fault = irregularfault::none;
  long long edges = 0;
  return plansizes(simulation, plan, verbose) && plancounts(simulation, plan, verbose) &&
         planbalance(plan, &edges, verbose) && plannodes(plan, edges);
}

std::string explainirregular(const irregularplan &plan) {
  const std::string surplus = std::to_string(plan.surplus);
  switch (plan.fault) {
    case irregularfault::needsdegree3:
      return "the check side has " + surplus +
             " edges more than the variable side, an odd number; the edge totals cannot be "
             "balanced without degree-2 and degree-3 variable nodes (variable degrees "
             "starting 2,3)";
    case irregularfault::needsdegree2:
      return "the check side has " + surplus +
             " edges more than the variable side; the edge totals cannot be balanced without "
             "degree-2 variable nodes (variable degrees starting with 2)";
    case irregularfault::nodegree2toremove:
      return "the check side has 1 edge more than the variable side; balancing would remove a "
             "degree-2 variable node, but the distribution gives none";
    case irregularfault::nochecktoraise:
    case irregularfault::nochecknode:
      return "the distribution gives no check node";
    case irregularfault::novariablenode:
      return "the distribution gives no variable node";
    case irregularfault::checkdegreestoolow:
      return "the check side has fewer edges (" + std::to_string(plan.cedgesbefore) +
             ") than the variable side (" + std::to_string(plan.vedgesbefore) +
             ") even with every check node at the highest check degree";
    case irregularfault::outofrange:
    case irregularfault::toolarge:
      return "the graph would have more nodes or edges than 2147483647";
    case irregularfault::emptylist:
      return "a side has no degree";
    case irregularfault::badtypedist:
      return "the fractions count neither nodes nor edges";
    default:
      return plan.message;
  }
}

std::string refuseirregular(const simulations &simulation) {
  irregularplan plan;
  if (planirregular(&simulation, &plan)) return "";
  return "cannot build this distribution with --length " + std::to_string(simulation.length) +
         ": " + explainirregular(plan) + "; " + nearestirregularlengths(simulation);
}

std::string nearestirregularlengths(simulations simulation) {
  const int length = simulation.length;
  irregularplan plan;
  int below = 0, above = 0;
  for (int step = 1; step <= 1000000 && (below == 0 || above == 0); ++step) {
    simulation.length = length - step;
    if (below == 0 && length - step >= 1 && planirregular(&simulation, &plan))
      below = length - step;
    simulation.length = length + step;
    if (above == 0 && step <= INT_MAX - length && planirregular(&simulation, &plan))
      above = length + step;
  }
  if (below == 0 && above == 0) return "no length within a million of it works";
  if (below == 0) return "the nearest length that works is " + std::to_string(above);
  if (above == 0) return "the nearest length that works is " + std::to_string(below);
  return "the nearest lengths that work are " + std::to_string(below) + " and " +
         std::to_string(above);
}

namespace {

// Ends the process as the construction does for a plan that failed: the
// refusal message and status 1, or the failed condition's diagnostic.
[[noreturn]] void failirregular(const irregularplan &plan) {
  if (plan.fault == irregularfault::badtypedist) {
    std::puts("\nyou should never end here--graph");
    std::exit(1);
  }
  if (plan.condition != nullptr) failcondition(plan.condition, plan.line);
  refuseirregular("%s", plan.message);
}

// The graph's sizes, degree tables, node degrees and socket lists as the
// plan gives them.
void buildirregularrecords(graphs *graph, const irregularplan &plan, int verbose) {
  const int vdegreesnum = plan.vdegreesnum, cdegreesnum = plan.cdegreesnum;
  graph->vdegreesnum = vdegreesnum;
  graph->cdegreesnum = cdegreesnum;
  graph->vmaxdegree = plan.vdegree[vdegreesnum - 1];
  graph->cmaxdegree = plan.cdegree[cdegreesnum - 1];
  graph->vnodenum = plan.vnodenum;
  graph->cnodenum = plan.cnodenum;
  graph->rate = 1.0 - static_cast<double>(graph->cnodenum) / graph->vnodenum;
  if (verbose > 0) std::printf("   vnodenum:=%d cnodenum:=%d\n", graph->vnodenum, graph->cnodenum);

  // The degree tables, in the order of the configured lists.
  graph->vdegreelist = allocatearray<degreelist>(1);
  graph->cdegreelist = allocatearray<degreelist>(1);
  std::memset(graph->vdegreelist, 0, sizeof(degreelist));
  std::memset(graph->cdegreelist, 0, sizeof(degreelist));
  for (int k = 0; k < vdegreesnum; ++k) {
    graph->vdegreelist->degree[k] = plan.vdegree[k];
    graph->vdegreelist->numofnodes[k] = static_cast<int>(plan.vcount[k]);
  }
  for (int k = 0; k < cdegreesnum; ++k) {
    graph->cdegreelist->degree[k] = plan.cdegree[k];
    graph->cdegreelist->numofnodes[k] = static_cast<int>(plan.ccount[k]);
  }

  // Node degrees by table position.
  graph->vnodelist = allocatearray<vnode>(graph->vnodenum);
  graph->cnodelist = allocatearray<cnode>(graph->cnodenum);
  assigndegrees(graph->vnodelist, graph->vnodenum, graph->vdegreelist, vdegreesnum, plan.edges,
                "degree <= vdegreesnum", "vedgecountnew == vedgecount");
  assigndegrees(graph->cnodelist, graph->cnodenum, graph->cdegreelist, cdegreesnum, plan.edges,
                "degree <= cdegreesnum", "cedgecountnew == cedgecount");

  // Sockets.
  allocateedgelists(graph->vnodelist, graph->vnodenum);
  allocateedgelists(graph->cnodelist, graph->cnodenum);
}

// Joins variable socket number k (node order, then socket order) to check
// socket number perm[k], numbered the same way, for every k: what the plain
//
//   for (int n = 0, k = 0; n < graph->vnodenum; ++n)
//     for (int s = 0; s < graph->vnodelist[n].degree; ++s, ++k) {
//       int c, t;
//       locatechecksocket(blocks, perm[k], &c, &t);
//       graph->vnodelist[n].edgelist[s] = {c, t, 0.0};
//       graph->cnodelist[c].edgelist[t] = {n, s, 0.0};
//     }
//
// does. The check sockets are met in random order, so nearly every step
// misses the cache twice (the node record, then its edge): each socket is
// located a long distance ahead and its node record prefetched, its edge a
// short distance ahead, so that the misses of many edges overlap.
void joinsockets(graphs *graph, const int *perm, int edges, const checkblocks *blocks) {
  constexpr int distance = 8;
  constexpr int ringsize = 32;  // a power of two above 2 * distance
  int ringnode[ringsize], ringsocket[ringsize];
  cnode *const cnodelist = graph->cnodelist;
  auto locate = [&](int k) {
    const int i = k & (ringsize - 1);
    locatechecksocket(blocks, perm[k], &ringnode[i], &ringsocket[i]);
    __builtin_prefetch(&cnodelist[ringnode[i]]);
  };
  auto prefetchedge = [&](int k) {
    const int i = k & (ringsize - 1);
    __builtin_prefetch(cnodelist[ringnode[i]].edgelist + ringsocket[i], 1);
  };
  for (int k = 0; k < 2 * distance && k < edges; ++k) locate(k);
  for (int k = 0; k < distance && k < edges; ++k) prefetchedge(k);
  int k = 0;
  for (int n = 0; n < graph->vnodenum; ++n) {
    edge *list = graph->vnodelist[n].edgelist;
    for (int s = 0; s < graph->vnodelist[n].degree; ++s, ++k) {
      if (k + 2 * distance < edges) locate(k + 2 * distance);
      if (k + distance < edges) prefetchedge(k + distance);
      const int tonode = ringnode[k & (ringsize - 1)];
      const int tosocket = ringsocket[k & (ringsize - 1)];
      list[s] = {tonode, tosocket, 0.0};
      cnodelist[tonode].edgelist[tosocket] = {n, s, 0.0};
    }
  }
}

// One random matching of the variable sockets to the check sockets.
void matchirregular(graphs *graph, int edges) {
  int *perm = allocatearray<int>(edges);
  drawbackfilled(graphsimrand, perm, edges);
  checkblocks blocks;
  numbercheckblocks(&blocks, graph->cdegreelist, graph->cdegreesnum);
  joinsockets(graph, perm, edges, &blocks);
  // The working array goes; the tables and lists stay with the graph.
  std::free(perm);
}

}  // namespace

void constructirregulargraph(graphs *graph, simulations *simulation) {
  irregularplan plan;
  if (!planirregular(simulation, &plan, simulation->verbose)) failirregular(plan);
  buildirregularrecords(graph, plan, simulation->verbose);
  matchirregular(graph, plan.edges);
}

#undef irregularcheck

}  // namespace ldpc
