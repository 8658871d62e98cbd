// Cores of the code description file writer and reader.
//
// The file is the library's own commented text format for a code: node
// counts, degree counts, maxima, both degree tables, the edge lists of every
// variable and check node (each edge as the node at its other end and the
// socket there), a "-1" line, the encoder's gap with the matrix iphi, and a
// closing "-1" line. The public savegraph and readgraph print and exit on top
// of these cores; the cores never print or exit, except through allocate
// when memory runs out.
#ifndef LDPC_DESCFILE_H
#define LDPC_DESCFILE_H

#include <string>

#include "graphstruct.h"
#include "outputfile.h"
#include "simulation.h"
#include "textio.h"

namespace ldpc {

// Formats graph and encoder into out, byte for byte as savegraph writes them.
void formatgraph(textwriter *out, const graphs *graph, const encoders *encoder);

// One node's description as formatgraph writes it: the degree ("%3d "),
// then "%7d %7d  " per edge (node, socket), three to a line, continuation
// lines indented by four blanks, and a line feed. formatdegree writes the
// degree alone. Both hold for any buffer size and any int values.
void formatdegree(textwriter *out, int degree);
void formatnode(textwriter *out, int degree, const edge *edgelist);

// Writes the file whole (see outputfile.h). On writefailed, *error says why.
writeoutcome writegraphfile(const graphs *graph, const encoders *encoder, const char *path,
                            std::string *error);

// Reads a code description file from in into graph and encoder. On a
// malformed file returns false with *error saying what is wrong and where,
// and releases everything it allocated (graph and encoder are then
// untouched). Every edge entry names a node and socket in range; with
// checkmirrors false, entries whose mirror does not point back are accepted,
// for tools that list them.
bool parsegraph(textscanner *in, graphs *graph, encoders *encoder, std::string *error,
                bool checkmirrors = true);

}  // namespace ldpc

#endif
