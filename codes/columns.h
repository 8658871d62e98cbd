// Sparse parity-check matrices held by columns, and the graph records built
// from them: the common last step of every construction of this library.
//
// A columns record lists, for each variable node v, the check nodes of its
// edges in columnstart[v] .. columnstart[v + 1] - 1 of rows; numbering from
// 0. The graph built from it numbers sockets as the alist reader numbers
// those of the same matrix written as an alist file: variable socket s is
// the s-th entry of the column, and each check node takes its sockets in
// order of appearance, column by column. Never prints or exits, except
// through allocate when memory runs out.
#ifndef LDPC_CODES_COLUMNS_H
#define LDPC_CODES_COLUMNS_H

#include <string>
#include <vector>

#include "graphstruct.h"

namespace ldpc {

struct columns {
  int vnodenum = 0;
  int cnodenum = 0;
  std::vector<int> columnstart;  // vnodenum + 1 entries, from 0
  std::vector<int> rows;         // check node of each entry
};

// An empty matrix of that size, to be filled column by column with
// appendcolumn.
columns emptycolumns(int vnodenum, int cnodenum);

// Appends the next column (variable node columnstart.size() - 1), its
// entries in increasing order (the order of an alist column). With modtwo,
// entries that occur an even number of times cancel and the others occur
// once (a sum of permutation matrices over GF(2)); without it repeats stay
// (parallel edges).
void appendcolumn(columns *matrix, std::vector<int> entries, bool modtwo);

// A fresh graph record (release with freegraph and free) of the matrix,
// degree tables included. Returns null with *error saying why when a side
// has more distinct degrees than a degree table holds.
graphs *graphofcolumns(const columns &matrix, std::string *error);

}  // namespace ldpc

#endif
