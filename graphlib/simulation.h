// Configuration records through which a simulation program drives the graph
// library, the encoder record that travels with a graph, and the library's
// entry points for files, random streams and graph construction.
//
// Random numbers come from two independent 48-bit streams, each stepped
// exactly like POSIX erand48 on its own three words (word 0 least
// significant): the graph stream, from which every graph construction draws,
// and the channel stream, for the simulation's noise and permutations. Both
// states are process-wide arrays that the program's main module defines:
//
//   unsigned short ldpc::graphsimrand[3];
//   unsigned short ldpc::channelsimrand[3];
//
// Entry points documented as ending the process print a fixed message and
// exit with status 1 on failure; nothing is returned to the caller as an
// error. The others never exit, except through allocate when memory runs
// out. Nothing here is thread-safe.
#ifndef LDPC_SIMULATION_H
#define LDPC_SIMULATION_H

#include <cstdio>

#include "graphstruct.h"

namespace ldpc {

// Encoder side information written with a graph into its code description
// file.
struct encoders {
  int useencoder;  // not read or set by the library
  int gap;         // order g of iphi; any negative value means "no encoder"
  int *iphi;       // g x g matrix, row by row: row r, column c at r * g + c
  char *fpinput;   // not read or set by the library
};

// What graph to use or build, and the caller's decoding settings. The
// library reads it and writes only protograph.
struct simulations {
  char *fpinput;
  int verbose;             // 0 quiet; constructions tell > 0, 0, < 0 apart
  int newgraph;            // 0 read graphfile once, 1 construct, else nothing
  int constructgraphonce;  // 1 construct once and save, 0 re-construct,
                           // else construct once without saving
  char graphfile[25];      // code description file to read or save
  char protofile[25];      // proto-file of the protograph ensemble
  char inputfile[25];
  graphs *protograph;  // set by readprotograph, never freed
  int ensemble;        // 0 irregular, 1 protograph
  int length;          // irregular: variable nodes asked for;
                       // protograph: lifting factor
  int cnodenum;
  int vdegreesnum;          // entries of vdegreelist and vpercentagelist
  int *vdegreelist;         // variable degrees, increasing
  double *vpercentagelist;  // fractions (0.5 is one half)
  int cdegreesnum;
  int *cdegreelist;  // check degrees, increasing
  double *cpercentagelist;
  int typedist;  // 0 fractions of nodes, 1 fractions of edges
  int numloopstype;
  int numloops;
  double alpha;
  int numiterations;
  int decodertype;
  int printoption;
  int printfrequency;
  int computevariance;
};

// Saved states of the two random streams.
struct randomizes {
  int howstartgraph;
  int howstartchannel;
  int chooseloop;
  unsigned short channelsimrand[3];
  unsigned short graphsimrand[3];
};

// Seed rows for repeating a run: seeds[loop] points to six words, the graph
// stream's state (words 0..2) and then the channel stream's (words 3..5).
struct reruns {
  int rerun;  // 2: this run repeats an earlier one from seeds
  int cond[4];
  unsigned short **seeds;
  int action;
};

// The two stream states; defined by the program that links the library.
extern unsigned short graphsimrand[3];
extern unsigned short channelsimrand[3];

// --- code description files -------------------------------------------------

// Writes graph and encoder as a code description file. The file appears
// whole: it is written beside the target and renamed into place (a path that
// is not a regular file, such as /dev/stdout, is written directly). Ends the
// process with status 1 when the file cannot be opened or written.
void savegraph(graphs *graph, encoders *encoder, const char *graphfile, int verbose);

// Reads a code description file into graph (which must hold no lists) and
// encoder. Ends the process with status 1 when the file cannot be opened or
// is malformed.
void readgraph(graphs *graph, encoders *encoder, const char *graphfile, int verbose);

// Passes over everything up to and including the next "*/" and one line feed
// directly behind it; echoes the characters read (not that line feed) to
// standard output when verbose is not 0.
void skip(FILE *fp, int verbose);

// --- random streams ----------------------------------------------------------

// Seeds the shared srand48 state (with the current second when random is 0).
// Neither stream is touched.
void initrandom(int random);
void getchannelsimrand(randomizes *randomize);
void getgraphsimrand(randomizes *randomize);
// When rerun->rerun is 2, load the graph (channel) stream from seed row loop.
void setgraphseeds(int loop, reruns *rerun);
void setchannelseeds(int loop, reruns *rerun);

// Uniform random permutation of 0..n-1 into perm, inverse into iperm; n draws
// from the channel stream, perm filled from the front. Allocates nothing.
void randompermutation(int *perm, int *iperm, int n);
// The same on the graph stream, perm filled from the back.
void graphrandompermutation(int *perm, int *iperm, int n);
// to[perm[i]] = from[i] for i = 0..N-1.
void permute(double *from, double *to, int *perm, int N);
// Two independent standard Gaussian values (polar method, channel stream).
void nextgausspair(double *noise);
// One standard Gaussian value; makes a pair every second call.
double gauss();
// exp(lgamma(n+1) - lgamma(k+1) - lgamma(n-k+1)).
double binomial(int n, int k);

// The state of a stream as text. parsestreamstate takes "W0,W1,W2", three
// words of 0..65535 (word 0 least significant), or one integer S below 2^48
// that is the state itself (W0 = S mod 65536, W1 = S / 65536 mod 65536,
// W2 = S / 2^32); digits and commas only. Returns false, leaving words
// alone, on anything else. formatstreamstate writes "W0,W1,W2".
constexpr int streamstatechars = 18;
bool parsestreamstate(const char *text, unsigned short words[3]);
void formatstreamstate(const unsigned short words[3], char text[streamstatechars]);

// --- graph construction ------------------------------------------------------

// One random graph of the irregular ensemble configured in simulation. Ends
// the process with status 1 (the reason on standard error) on a distribution
// it cannot build, and aborts with an assertion text should a consistency
// condition of the construction fail.
void constructirregulargraph(graphs *graph, simulations *simulation);
// Reads simulation->protofile into simulation->protograph. Ends the process
// with status 1 when the file cannot be opened or is malformed.
void readprotograph(simulations *simulation);
// Lifts simulation->protograph by the factor simulation->length. Ends the
// process with status 1 when the protograph cannot be lifted by it.
void constructprotograph(graphs *graph, simulations *simulation);
// Supplies the graph for one loop of a simulation: reads, constructs, saves
// or re-constructs it as configured. Ends the process with status 1 where
// the steps above do, or (message on standard output) on an ensemble other
// than 0 and 1.
void constructgraph(simulations *simulation, graphs *graph, randomizes *randomize,
                    encoders *encoder, reruns *rerun, int loop, int l);

// A function that constructgraph applies to every graph it has just
// constructed (first construction and re-constructions alike), after the
// construction's draws and before the graph is saved. Null, the default,
// applies nothing. setconstructionhook installs one and returns the previous
// one; libraries beside this one (girth conditioning) install theirs here.
typedef void (*constructionhook)(graphs *graph, simulations *simulation);
constructionhook setconstructionhook(constructionhook hook);

}  // namespace ldpc

#endif
