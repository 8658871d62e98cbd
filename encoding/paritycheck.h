// The parity-check matrix of a Tanner graph as sparse rows over GF(2).
//
// Row c lists the variable nodes that check node c joins an odd number of
// times, in increasing order: two parallel edges between one variable and
// one check add up to 0 over GF(2) and cancel, exactly as a check-node
// parity (or a decoder's syndrome) sees them. Nodes count from 0 as in the
// graph. A word c of n bits is a codeword when every row sums to 0.
//
// Error policy: never prints or exits; a record that holds no graph or an
// entry that names a node out of range comes back as false with *error
// saying which node, which socket and what it names.
#ifndef LDPC_PARITYCHECK_H
#define LDPC_PARITYCHECK_H

#include <cstdint>
#include <string>
#include <vector>

#include "graphstruct.h"

namespace ldpc {

struct sparsechecks {
  int n = 0;               // variable nodes (columns)
  int m = 0;               // check nodes (rows)
  std::vector<int> start;  // m + 1 entries: row c is vars[start[c] .. start[c + 1] - 1]
  std::vector<int> vars;   // increasing within a row, no repeats
  int rowlength(int c) const { return start[c + 1] - start[c]; }
  const int *row(int c) const { return vars.data() + start[c]; }
};

// The rows of graph, read from the check side. Only dest of each check
// entry is read, so a record whose mirror sockets are inconsistent still
// gives the matrix its check side describes.
bool readchecks(const graphs *graph, sparsechecks *checks, std::string *error);

// The columns of the same matrix: column v lists the rows that hold v, in
// increasing order (start has n + 1 entries, indices into rows).
void transposechecks(const sparsechecks &checks, std::vector<int> *start, std::vector<int> *rows);

// Whether the n bytes of word (0 or not 0 per bit) satisfy every check.
bool iscodeword(const sparsechecks &checks, const std::uint8_t *word);

// The number of checks that the word leaves unsatisfied.
int unsatisfiedchecks(const sparsechecks &checks, const std::uint8_t *word);

}  // namespace ldpc

#endif
