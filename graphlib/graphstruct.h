// Tanner graph records of an LDPC code.
//
// A graph has variable nodes (one per code bit), check nodes (one per parity
// check) and edges between them. Nodes and sockets are numbered from 0. Every
// edge is stored twice, once in the edge list of each of its ends, and each
// entry names the position of the other (its mirror entry):
//
//   entry s of variable node v is {dest c, socket t}
//     exactly when entry t of check node c is {dest v, socket s}.
//
// All memory of a graph comes from allocate(); the graphs record owns its node
// arrays, every node's edge list and its two degree tables, and freegraph()
// releases exactly those.
//
// Error policy: the entry points that the library defines as ending the
// process (allocate, the readers and the writer) print a fixed message and
// exit; the reading cores behind them return a description of the fault and
// never print or exit, except through allocate when memory runs out. The
// functions declared here never print (but printgraph) or exit, except
// through allocate when memory runs out.
#ifndef LDPC_GRAPHSTRUCT_H
#define LDPC_GRAPHSTRUCT_H

#include <cstdint>

#include "allocate.h"

namespace ldpc {

// One end of an edge, held in the edge list of the node that owns it.
struct edge {
  int dest;        // node at the other end: a check node seen from a variable
                   // node, a variable node seen from a check node
  int socket;      // position of the mirror entry in the edge list of dest
  double message;  // message stored at this end (0.0 until a decoder sets it)
};

struct vnode {
  int degree;      // number of entries in edgelist
  double value;    // the node's own value (0.0 until a decoder sets it)
  edge *edgelist;  // exactly degree entries; entry s is socket s
};

struct cnode {
  int degree;
  double value;
  edge *edgelist;
};

// Capacity of a degree table: at most this many distinct degrees per side.
constexpr int maxdegreesnum = 100;

// A degree table: entry k pairs a node degree with the number of nodes of
// that degree. Only the entries below the count kept in graphs are in use.
struct degreelist {
  int degree[maxdegreesnum];
  int numofnodes[maxdegreesnum];
};

struct graphs {
  int vnodenum;             // code length; -1 marks a record without a graph
  int cnodenum;             // number of check nodes
  double rate;              // design rate 1 - cnodenum / vnodenum
  int vdegreesnum;          // entries in use in vdegreelist
  int cdegreesnum;          // entries in use in cdegreelist
  int vmaxdegree;           // largest variable-node degree
  int cmaxdegree;           // largest check-node degree
  degreelist *vdegreelist;  // counts add up to vnodenum
  degreelist *cdegreelist;  // counts add up to cnodenum
  vnode *vnodelist;         // vnodenum nodes, index = node number
  cnode *cnodelist;         // cnodenum nodes, index = node number
};

// Releases the edge lists (variable nodes, then check nodes), the node arrays
// and the degree tables of a graph. Changes no field of the record.
void freegraph(graphs *graph);

// Exchanges the check ends of socket socketa of variable node nodea and
// socket socketb of variable node nodeb and mends both mirror entries. Check
// nodes keep their sockets in place; messages stay where they are. Indices
// must be valid.
void switchedges(graphs *graph, int nodea, int socketa, int nodeb, int socketb);

// Does nothing; kept for programs that call it.
void switchvnodes(graphs *graph, int nodea, int nodeb);

// Prints sections of the graph on standard output. Bit 1 of what: summary and
// degree tables; bit 2: neighbour lists; bit 4: messages. Other bits ignored.
void printgraph(graphs *graph, int what);

// The graph's fingerprint, printed by every program of the project: a
// 64-bit hash of the node counts and the multiset of edges {variable node,
// check node}, read from the variable side. It does not depend on the order
// of the sockets on either side, so two graphs with the same fingerprint are
// (but for a hash collision) the same graph up to socket numbering. With
// mix(x) one splitmix64 step (x + 0x9E3779B97F4A7C15 through its
// finaliser), it is mix(S ^ mix(V * 2^32 + C)), S the sum modulo 2^64 of
// mix(v * 2^32 + c) over the edges. Every dest must lie in 0..cnodenum-1.
std::uint64_t fingerprint(const graphs *graph);

// floor(x + 0.5): halves round upward, also for negative x (unlike
// std::round, which rounds them away from zero).
double round(double x);

}  // namespace ldpc

#endif
