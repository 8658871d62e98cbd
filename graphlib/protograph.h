// Protographs: the small Tanner graph from which the protograph ensemble
// lifts its graphs, and the reading core of the proto-file that holds one.
//
// A proto-file is text: a comment, a second comment, the numbers V of
// variable nodes and C of check nodes, a third comment, then for each
// variable node v = 0..V-1 in file order its degree d and d pairs
// (check node, check socket). A comment is everything up to and including
// the next "*/" and one line feed directly behind it; integers are read as
// by "%d". Pair s of node v becomes socket s of v; the check side is derived
// from the pairs, each edge at the check socket that its pair names.
//
// A protograph record carries only node counts, node degrees and both sides
// of its edges; its degree tables, maxima and rate are left empty (null
// tables, zero counts). Nodes and sockets count from 0.
#ifndef LDPC_PROTOGRAPH_H
#define LDPC_PROTOGRAPH_H

#include <string>

#include "graphstruct.h"
#include "textio.h"

namespace ldpc {

// Reads a proto-file from in. On success stores a fresh protograph (the
// record and its lists from allocate) in *protograph and returns true. The
// file must be consistent: every number present, counts and degrees not
// negative, every check node in 0..C-1, and for each check node the sockets
// named for it exactly 0..k-1, each once, where k is the number of pairs
// that name it. Otherwise returns false with *error naming the node and what
// is wrong, allocating nothing that outlives the call. Never prints or exits,
// except through allocate when memory runs out.
bool parseprotograph(textscanner *in, graphs **protograph, std::string *error);

}  // namespace ldpc

#endif
