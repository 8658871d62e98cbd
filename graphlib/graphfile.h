// Graph files by name and the checks of construction inputs, for programs
// and bindings that report faults in their own way: reading either graph
// format (recognised from the content) and proto-files, the message of an
// output that cannot be opened, what makes a distribution or a protograph
// unusable.
#ifndef LDPC_GRAPHFILE_H
#define LDPC_GRAPHFILE_H

#include <optional>
#include <string>
#include <vector>

#include "graphstruct.h"
#include "simulation.h"

namespace ldpc {

enum readoutcome { readok = 0, readopenfailed = 1, readmalformed = 2 };

// Reads the graph in path into graph and encoder: a code description file
// when the content opens with "/*" (after white space and a byte order
// mark), else an alist file (encoder->gap is then -1). readopenfailed: the
// file cannot be opened, errno says why (EISDIR for a directory);
// readmalformed: *error says what is wrong and where. On failure graph and
// encoder hold nothing to release. With checkmirrors false, entries of a
// code description file whose mirror does not point back are accepted.
readoutcome readgraphfile(const char *path, graphs *graph, encoders *encoder, std::string *error,
                          bool checkmirrors = true);

// Reads the proto-file in path into a fresh protograph (release with
// freegraph and free). readopenfailed: errno says why (EISDIR for a
// directory); readmalformed: *error names the node and what is wrong, and
// *protograph is null.
readoutcome readprotofile(const char *path, graphs **protograph, std::string *error);

// "PATH: cannot open for writing: REASON" for an output that could not be
// opened, reason the errno of the attempt (a directory is named as such).
std::string openforwritingmessage(const std::string &path, int reason);

// Whether the fractions of one side of a degree distribution can be used:
// none negative, together 1 (within 1e-9). Otherwise *why says what is wrong:
// "fractions must not be negative" or "fractions must sum to 1, not S".
bool fractionsusable(const std::vector<double> &fractions, std::string *why);

// What makes the options of an irregular ensemble unusable, "" when
// nothing does, in this order: both degree lists given, one fraction per
// degree, the length at least 1 (when the ensemble has one: not for a
// threshold), degrees positive and increasing, at most maxdegreesnum each,
// fractions usable. Options are named with prefix before them ("--" in
// tanner).
std::string irregularinputfault(const std::vector<int> &vdeg, const std::vector<double> &vfrac,
                                const std::vector<int> &cdeg, const std::vector<double> &cfrac,
                                std::optional<int> length, const std::string &prefix);

// The record of the irregular ensemble of these degree lists and length,
// with fractions of nodes, or of edges when edgefractions is set; every
// other field zero. It points into the lists, which must outlive it.
simulations irregularsimulation(int length, std::vector<int> &vdeg, std::vector<double> &vfrac,
                                std::vector<int> &cdeg, std::vector<double> &cfrac,
                                bool edgefractions);

// The design rate of such a record, 1 - (check nodes / variable nodes), from
// its fractions of nodes or of edges.
double irregularrate(const simulations &simulation);

// What makes a protograph unusable with lifting factor lift: a side without
// nodes, no edge, a lifted graph beyond an int, more distinct degrees than a
// degree table holds. "" when it can be lifted.
std::string unliftable(const graphs *protograph, int lift);

}  // namespace ldpc

#endif
