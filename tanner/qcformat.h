// The quasi-cyclic base-matrix layout in the commands of tanner: reading a
// graph from a .qc file (by its name, or any name with --format qc),
// writing one with export --qc.
//
// Error policy: as the rest of tanner, a file that cannot be read or
// written ends the process with status 1 and a message naming it (for a
// malformed file also the line and the entry); a misused option is a usage
// error (status 2).
#ifndef TANNER_QCFORMAT_H
#define TANNER_QCFORMAT_H

#include <string>
#include <vector>

#include "graphstruct.h"
#include "qcfile.h"
#include "transmission.h"

namespace tanner {

// Takes "--format F" out of the arguments of a command that reads graphs
// (F is qc: every graph file is a base-matrix file) and returns the others
// in order. A value other than qc, a missing value or the option given
// twice is a usage error of command.
std::vector<char *> takeformatoption(const std::string &command, std::vector<char *> args);

// Whether --format qc was given.
bool formatforced();

// Whether path is read as a base-matrix file: --format qc, or a name that
// ends in ".qc".
bool readsasqc(const std::string &path);

// Reads the base-matrix file at path; ends the process with status 1 and
// "PATH: line L, entry E: ..." when it is malformed.
ldpc::qcmatrix loadqcmatrix(const std::string &path);

// The expanded graph of the base-matrix file at path (release with
// freegraph and free); the process ends as loadqcmatrix says.
ldpc::graphs *loadqcgraph(const std::string &path);

// export --qc: writes graph as a base-matrix file with lifting size lift,
// or with 0 the largest one it has. A graph that is no lifting with that
// size ends the process with status 1 and the block that is not a
// circulant; with lift 0 a graph whose largest lifting size is 1 (any graph
// is a lifting of 1 x 1 blocks) is refused too, unless asked for by lift 1.
// The flag line of source (the base matrix the graph was read from, or an
// empty record) is kept when it has the size written. Returns the lifting
// size written.
int writeqcgraph(const ldpc::graphs *graph, const std::string &input, const std::string &path,
                 int lift, const ldpc::qcmatrix &source = {});

}  // namespace tanner

#endif
