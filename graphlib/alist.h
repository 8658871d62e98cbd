// Reading core of the alist format: the sparse parity-check matrix of a code,
// columns as variable nodes and rows as check nodes.
//
// The file is a sequence of integers: N and M; the largest column and row
// weights; N column weights; M row weights; the column lists; the row lists
// (never read). Column lists come in two dialects, padded with fillers to the
// largest column weight or holding exactly their weight; readalist chooses
// the reading as follows:
//   1. the padded reading, if it is valid and every filler is 0;
//   2. else the unpadded reading, if valid and its check degrees equal the
//      row weights;
//   3. else the padded reading, if valid (fillers of any value);
//   4. else the padded reading's first fault is reported.
// Lines whose first non-blank character is '#' are passed over.
#ifndef LDPC_ALIST_H
#define LDPC_ALIST_H

#include <string>

#include "graphstruct.h"
#include "outputfile.h"
#include "textio.h"

namespace ldpc {

// Reads an alist file from in and fills every field of graph. Check node c
// takes its sockets in order of appearance in the column lists; the maxima
// are the header's values. On a malformed file returns false with *error
// saying what is wrong and where, and releases everything it allocated.
// Never prints or exits, except through allocate when memory runs out.
bool readalist(textscanner *in, graphs *graph, std::string *error);

// The converter's whole run: reads the alist file inputpath and writes its
// code description file to outputpath (whole, or not at all). Prints the
// fixed open-failure messages, or "PROGRAM: FILE: fault" for a malformed
// file, on standard error and returns 1; returns 0 on success. Ends the
// process only where savegraph and allocate do (status 1).
int convertalist(const char *inputpath, const char *outputpath, const char *program);

// Formats graph as an alist file: true maximum degrees, column and row
// weights, then every column's rows and every row's columns (numbered from 1)
// in socket order, padded with zeros to the maximum weight when padded is set.
void formatalist(textwriter *out, const graphs *graph, bool padded);

// Writes the alist file whole (see outputfile.h).
writeoutcome writealistfile(const graphs *graph, const char *path, bool padded, std::string *error);

}  // namespace ldpc

#endif
