// The approximate lower-triangular form of a parity-check matrix
// (Richardson and Urbanke, "Efficient encoding of low-density parity-check
// codes", 2001), the encoder that uses it, and the encoder information of
// the code description file (gap and iphi of an encoders record).
//
// The form reorders variables and checks (nothing else changes) into
//
//            s (k)   p1 (g)   p2 (t)
//   t rows [   A       B        T   ]    T lower triangular, 1s on its diagonal
//   g rows [   C       D        E   ]    phi = E T^-1 B + D invertible
//   d rows [   sums of the rows above ]  (only when the rank is below m)
//
// with k = n - g - t information bits, g the gap and d = m - g - t. In the
// reordered graph, variable j < k is information bit j, variables k..k+g-1
// are p1 and k+g+i is the diagonal of check i for i < t: check i has no
// variable above k+g+i. The checks t..t+g-1 are the rows of phi, and the
// last d checks are redundant. iphi is phi^-1, row by row. An encoder then
// computes, with sparse forward substitution through T,
//   p1 = iphi (E T^-1 A s + C s),   p2 = T^-1 (A s + B p1),
// in about 2 E + g^2 / 2 bit operations per word for E edges: linear in the
// length for a gap that stays small. So that a file carries the form, the
// encoder record holds g and iphi, and the graph written with it is the
// reordered one; t is read back from the graph itself: check 0 ends at
// variable k + g = n - t (t = 0 only when every check is empty).
//
// Finding the form: greedy triangulation, as erasure decoding: a check with
// one unknown variable left makes that variable the next diagonal entry;
// when none is left, the unprocessed check of fewest unknowns has all of
// them but one declared known (those of most unprocessed checks first).
// Declared variables and the checks never used are the gap part: their
// reduced rows (the checks' rows with T eliminated, 64 at a time in the
// bits of a word) are brought to echelon form, whose pivot columns become
// p1 and whose zero rows the redundant checks. Cost: O(E) for the
// triangulation, O(E g' / 64) for the reduced rows (g' = m - t), about
// g'^2 (n - t) / 128 word operations for the echelon form and g^3 / 64 for
// the inverse.
//
// Error policy: never prints or exits; false with *error when the graph
// cannot be read, the gap part exceeds the memory allowed, or encoder
// information does not fit its graph.
#ifndef LDPC_TRIANGULAR_H
#define LDPC_TRIANGULAR_H

#include <string>
#include <vector>

#include "bitmatrix.h"
#include "encoder.h"
#include "graphstruct.h"
#include "paritycheck.h"
#include "simulation.h"

namespace ldpc {

// The form in the graph's own numbering: vorder[j] is the variable placed
// at position j (s, then p1, then p2 in triangle order) and corder[i] the
// check placed at row i (triangle, phi rows, redundant rows).
struct triangularform {
  int n = 0;
  int m = 0;
  int gap = 0;        // g
  int triangle = 0;   // t
  int redundant = 0;  // d
  std::vector<int> vorder;
  std::vector<int> corder;
  bitmatrix iphi;  // g x g
};

bool findtriangularform(const sparsechecks &checks, triangularform *form, std::string *error,
                        const encoderoptions &options = {});

// The encoder of a form, in the numbering of the graph the form was found
// in: information positions are the variables vorder[0..k-1], sorted.
encoder triangularencoder(const sparsechecks &checks, const triangularform &form);

// findtriangularform and triangularencoder on graph.
bool maketriangularencoder(const graphs *graph, encoder *out, std::string *error,
                           const encoderoptions &options = {});

// A copy of graph with its nodes in the order vorder (new variable j is
// old variable vorder[j]) and corder: each node keeps its edge list and
// sockets, the entries renumbered, the degree tables and maxima copied.
// Memory from allocate; the caller releases it with freegraph.
void reordergraph(const graphs *graph, const std::vector<int> &vorder,
                  const std::vector<int> &corder, graphs *reordered);

// Encoder information for a code description file: the reordered graph
// (in *reordered, to be released with freegraph) and gap and iphi in
// *info (iphi from allocate, gap x gap ints of 0 and 1, owned by the
// caller; useencoder and fpinput are left alone). vorder and corder, when
// not null, receive the form's orders (the old node of each new one).
bool computeencoderinformation(const graphs *graph, graphs *reordered, encoders *info,
                               std::string *error, const encoderoptions &options = {},
                               std::vector<int> *vorder = nullptr,
                               std::vector<int> *corder = nullptr);

// The triangular encoder of a graph that is already in the form, given its
// gap and iphi (info->gap >= 0), without elimination. Checks that the graph
// has the triangle the form requires and that iphi is 0/1, then encodes 64
// random words and refuses the information when one of them fails a check
// (so a wrong iphi or a check that is not the sum of others is found but
// with probability 2^-64). Information positions are 0..k-1.
bool makeencoderfromrecord(const graphs *graph, const encoders *info, encoder *out,
                           std::string *error);

}  // namespace ldpc

#endif
