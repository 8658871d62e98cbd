// Quasi-cyclic base-matrix files: the common text layout in which
// quasi-cyclic LDPC codes are exchanged, its reading core, its expansion
// into a graph record, the recognition of a graph as a lifting of
// circulants and the writer.
//
// The file is text in lines: a header "COLUMNS ROWS Z", then ROWS lines of
// COLUMNS entries, each -1 for an all-zero Z x Z block or a shift 0..Z-1 of
// the identity, then optionally one line of COLUMNS flags, 1 for a block
// column that is transmitted and 0 for one that is punctured. Blank lines
// anywhere are passed over; entries are decimal integers separated by
// blanks or tabs (a carriage return ends a line like a line feed).
//
// Numbering, from 0: the entry s of block row r and block column c joins
// check node r * Z + i to variable node c * Z + (i + s) mod Z for
// i = 0..Z-1, so row i of the block has its one in column (i + s) mod Z.
// The expanded graph numbers its sockets as the alist reader numbers those
// of the expanded matrix: variable sockets by increasing check node, check
// sockets in order of appearance by variable node, so that a base-matrix
// file and the alist file of its expansion give the same record.
//
// Error policy: the reading core returns false with a message naming the
// line, the entry, what was expected and what was found; readqcfile puts the
// file name before it. Nothing here prints or exits, except through
// allocate when memory runs out.
#ifndef LDPC_CODES_QCFILE_H
#define LDPC_CODES_QCFILE_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "graphfile.h"
#include "graphstruct.h"
#include "outputfile.h"
#include "textio.h"

namespace ldpc {

struct qcmatrix {
  int columns = 0;                        // block columns, at least 1
  int rows = 0;                           // block rows, at least 1
  int lift = 0;                           // Z, at least 1
  std::vector<int> shifts;                // rows x columns, row by row; -1 or 0..lift-1
  std::vector<std::uint8_t> transmitted;  // empty, or one flag per block
                                          // column: 1 sent, 0 punctured
};

// The entry of block row r, block column c.
inline int qcshift(const qcmatrix &qc, int r, int c) {
  return qc.shifts[static_cast<std::size_t>(r) * static_cast<std::size_t>(qc.columns) +
                   static_cast<std::size_t>(c)];
}

// Reads the text of a base-matrix file. False with *error ("line L, entry
// E: ...", "line L: ...") on: a header that is not three numbers, a count
// below 1, an expansion beyond an int (nodes or edges), a row with too few
// or too many entries, an entry that is not a number or a shift outside
// -1..Z-1, a pattern line of the wrong length or a flag other than 0 and 1,
// rows missing, text after the pattern line.
bool parseqc(std::string_view text, qcmatrix *qc, std::string *error);

// Reads the file at path whole and parses it. readopenfailed: errno says
// why; readmalformed: *error is "PATH: " and the fault.
readoutcome readqcfile(const char *path, qcmatrix *qc, std::string *error);

// A fresh graph record (release with freegraph and free) of the expanded
// matrix, degree tables included; null with *error saying why when a side
// has more distinct degrees than a degree table holds.
graphs *expandqc(const qcmatrix &qc, std::string *error);

// Whether graph is the expansion of a base matrix with lifting size lift:
// node counts multiples of lift, and every Z x Z block of its matrix either
// empty or one circulant permutation (Z edges, one per row and column, all
// of one shift). On success fills *qc (without flags). Otherwise *why names
// the first block that is not: one with two shifts (a block of weight 2 or
// more, such as two circulants in one block) or with parallel edges (the
// same shift twice, which a base matrix cannot hold), or a block that is
// not a whole permutation. Cost: one pass over the edges.
bool qcofgraph(const graphs *graph, int lift, qcmatrix *qc, std::string *why);

// The largest lifting size Z for which qcofgraph succeeds, trying the
// divisors of both node counts from the largest down; 1 for a graph without
// parallel edges that is no lifting, 0 when even that fails (parallel
// edges, or an empty side).
int findqclift(const graphs *graph);

// The text of a base-matrix file: the header, the rows with entries
// right-aligned to the widest, the flag line when qc has flags.
void formatqc(textwriter *out, const qcmatrix &qc);

// Writes the file whole (see outputfile.h).
writeoutcome writeqcfile(const qcmatrix &qc, const char *path, std::string *error);

}  // namespace ldpc

#endif
