// Graphs read and written for the subcommands, and the files named on the
// command line told apart.
#ifndef TANNER_GRAPHIO_H
#define TANNER_GRAPHIO_H

#include <string>
#include <vector>

#include "graphstruct.h"
#include "outputfile.h"
#include "simulation.h"

namespace tanner {

// A file named on the command line and what it is there ("--json", "the
// code").
struct namedfile {
  std::string role;
  std::string path;
};
// A usage error of command when an output is the same file as an input or
// as an output before it. Files are compared by device and inode, so links
// and other spellings of one path are caught; a path that does not exist
// yet by its directory and name. Empty output paths are skipped.
void checkdistinctfiles(const std::string &command, const std::vector<namedfile> &inputs,
                        const std::vector<namedfile> &outputs);

// Reads a graph into a fresh record (release with freegraph and free):
// a code description file when the content opens with "/*" (after optional
// whitespace), else an alist file. A file that cannot be opened or is
// malformed ends the process with status 1 and a message naming it; a
// proto-file is named as such, with protohint (the command to type) or
// else the construction that makes a code of it. With checkmirrors false,
// edge entries of a code description file that do not point back are
// accepted, so that `check` can list them.
ldpc::graphs *loadcodefile(const std::string &path, bool checkmirrors = true,
                           ldpc::encoders *encoder = nullptr, const std::string &protohint = "");

// Reads the proto-file at path (any length) and checks that lifting it by
// lift gives a usable graph; ends the process with status 1 and a message
// naming the file otherwise. Release with freegraph and free.
ldpc::graphs *loadprotograph(const std::string &path, int lift);

// Writes graph to path whole: a code description file without encoder
// information, or an alist file (padded or not) when alist is set. A failure
// ends the process with status 1 and a message naming the path and reason.
// With encoder (a code description file only), its gap and iphi are
// written with the graph.
void writegraph(const ldpc::graphs *graph, const std::string &path, bool alist, bool padded,
                const ldpc::encoders *encoder = nullptr);

// encode.cpp: the encoder information of graph (--encoder of construct and
// convert): the graph with its nodes in the order of the approximate
// lower-triangular form, into a fresh record (release with freegraph and
// free), and gap and iphi into *info (iphi released with free). Ends the
// process with status 1 and a message naming what when it cannot be found.
ldpc::graphs *encoderinformation(const ldpc::graphs *graph, ldpc::encoders *info,
                                 const std::string &what);
// Ends the process as writegraph does unless outcome is writeok: the
// path's open error (errno as the writer left it), or error.
void endonwritefault(ldpc::writeoutcome outcome, const std::string &path, const std::string &error);
// Writes contents to path whole, or ends the process as writegraph does.
void writetextfile(const std::string &path, const std::string &contents);
// Ends the process as writegraph does when path cannot be opened for
// writing; tested without creating or emptying anything.
void checkwritable(const std::string &path);

}  // namespace tanner

#endif
