// tanner's faces of the base-matrix layout: --format qc, reading .qc files
// and export --qc.
#include "qcformat.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cli.h"
#include "outputfile.h"

namespace tanner {

namespace {

bool forcedqc = false;

bool endswith(const std::string &text, const std::string &tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::vector<char *> takeformatoption(const std::string &command, std::vector<char *> args) {
  std::vector<char *> rest;
  bool given = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == nullptr || std::strcmp(args[i], "--format") != 0) {
      rest.push_back(args[i]);
      continue;
    }
    if (given) usageerror(command, "--format is given twice");
    given = true;
    if (i + 1 >= args.size() || args[i + 1] == nullptr)
      usageerror(command, "--format needs a value");
    const std::string value = args[++i];
    if (value != "qc")
      usageerror(command, "--format takes qc (a base-matrix file), not '" + value +
                              "'; code description and alist files are told apart by content");
    forcedqc = true;
  }
  return rest;
}

bool formatforced() { return forcedqc; }

bool readsasqc(const std::string &path) { return forcedqc || endswith(path, ".qc"); }

ldpc::qcmatrix loadqcmatrix(const std::string &path) {
  ldpc::qcmatrix qc;
  std::string error;
  switch (ldpc::readqcfile(path.c_str(), &qc, &error)) {
    case ldpc::readok:
      break;
    case ldpc::readopenfailed:
      fail(path + ": " + std::strerror(errno));
    case ldpc::readmalformed:
      fail(error);
  }
  return qc;
}

ldpc::graphs *loadqcgraph(const std::string &path) {
  const ldpc::qcmatrix qc = loadqcmatrix(path);
  std::string error;
  ldpc::graphs *graph = ldpc::expandqc(qc, &error);
  if (graph == nullptr) fail(path + ": " + error);
  return graph;
}

int writeqcgraph(const ldpc::graphs *graph, const std::string &input, const std::string &path,
                 int lift, const ldpc::qcmatrix &source) {
  // The size: the one asked for, else the largest, which must be more than
  // the trivial 1 x 1 blocks every graph without parallel edges has.
  int z = lift;
  if (z == 0) {
    z = ldpc::findqclift(graph);
    if (z == 1)
      fail(input +
           ": the graph is no lifting of circulants larger than 1 x 1 (its matrix "
           "itself is the base matrix of lifting size 1: give --lift 1 to write it so)");
  }
  ldpc::qcmatrix qc;
  std::string why;
  if (z == 0) {
    ldpc::qcofgraph(graph, 1, &qc, &why);
    fail(input + ": the graph is no lifting of circulants: " + why);
  }
  if (!ldpc::qcofgraph(graph, z, &qc, &why))
    fail(input + ": the graph is no lifting of circulants of size " + std::to_string(z) + ": " +
         why);
  if (source.lift == z && source.columns == qc.columns) qc.transmitted = source.transmitted;
  std::string error;
  const ldpc::writeoutcome outcome = ldpc::writeqcfile(qc, path.c_str(), &error);
  endonwritefault(outcome, path, error);
  return z;
}

}  // namespace tanner
