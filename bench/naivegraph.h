// Straightforward reference implementations for the benchmarks.
//
// These records and routines follow the described behaviour step by step in
// the plainest way: stdio with one fscanf("%d") or fprintf per number, one
// malloc per node's edge list, the system's erand48 for every draw. They are
// what the library is measured against, and they share no code with it, so
// that identical output from both is a real cross-check. Inputs are trusted
// as the described routines trust them; these programs only ever see files
// that the benchmark itself generated.
#ifndef BENCH_NAIVEGRAPH_H
#define BENCH_NAIVEGRAPH_H

#include <cstdio>

namespace naive {

struct edge {
  int dest;
  int socket;
  double message;
};

struct vnode {
  int degree;
  double value;
  edge *edgelist;
};

struct cnode {
  int degree;
  double value;
  edge *edgelist;
};

struct degreelist {
  int degree[100];
  int numofnodes[100];
};

struct graphs {
  int vnodenum;
  int cnodenum;
  double rate;
  int vdegreesnum;
  int cdegreesnum;
  int vmaxdegree;
  int cmaxdegree;
  degreelist *vdegreelist;
  degreelist *cdegreelist;
  vnode *vnodelist;
  cnode *cnodelist;
};

struct encoders {
  int useencoder;
  int gap;
  int *iphi;
  char *fpinput;
};

// malloc that ends the process with status 1 when the heap refuses.
void *allocate(long n);

// The node arrays of vnodenum and cnodenum nodes (not their edge lists),
// and the two degree tables.
void allocatenodelists(graphs *graph);
void allocatedegreetables(graphs *graph);
// An edge list of degree sockets.
edge *allocateedges(int degree);

// The check side's edge lists, of the degrees already counted, filled from
// the variable side's (each variable edge naming its check and socket).
void fillchecksides(graphs *graph);

// Passes over everything up to and including the next "*/" and one line feed
// directly behind it, with getc and ungetc.
void skip(FILE *fp);

// Writes the code description file with one fprintf per number.
void savegraph(const graphs *graph, const encoders *encoder, const char *path);

// Reads a code description file with one fscanf per number.
void readgraph(graphs *graph, encoders *encoder, const char *path);

// Reads a proto-file: the check side is derived from the variable side.
graphs *readprotograph(const char *path);

// Uniform random permutation on the given erand48 state, filled from the
// back; n draws.
void graphrandompermutation(unsigned short state[3], int *perm, int *iperm, int n);

}  // namespace naive

#endif
