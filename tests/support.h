// Helpers shared by the tests: temporary directories, files, running the
// real programs, and graph comparison.
#ifndef LDPC_TESTS_SUPPORT_H
#define LDPC_TESTS_SUPPORT_H

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "graphstruct.h"
#include "randomstream.h"
#include "simulation.h"

namespace testsupport {

// What a program prints on standard output when memory runs out, written
// out here rather than taken from the library.
inline const std::string memorybanner =
    "/***********************************/"
    "/*    W   A   R   N   I   N   G    */"
    "/***********************************/"
    "/*      Not sufficient memory!     */"
    "/***********************************/";

// The state of the graph stream as one 48-bit number, and setting it.
inline std::uint64_t streamstate() { return ldpc::loadstate(ldpc::graphsimrand); }
inline void setstream(std::uint64_t state) { ldpc::storestate(ldpc::graphsimrand, state); }

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
struct tempdir {
  std::string path;
  tempdir();
  ~tempdir();
  std::string file(const std::string &name) const { return path + "/" + name; }
};

std::string readfile(const std::string &path);
void writefile(const std::string &path, const std::string &contents);
bool fileexists(const std::string &path);

struct runresult {
  int status;       // exit status, or 128 + signal
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs program with args (no shell), standard input from /dev/null.
runresult run(const std::string &program, const std::vector<std::string> &args);

// Limits set in the child between fork and exec; -1 leaves a limit as it is.
struct runlimits {
  long long addressspace = -1;  // RLIMIT_AS, bytes
  long long filesize = -1;      // RLIMIT_FSIZE, bytes; SIGXFSZ is ignored, so
                                // writes beyond it fail with EFBIG
  std::string stdoutto;         // standard output to this file (out stays empty)
  bool closestdout = false;     // standard output closed
  bool pipestdout = false;      // standard output a pipe, read as it comes
  int signal = 0;               // sent to the child signaldelay seconds after the start
  double signaldelay = 0;
};

// Like run, under the given limits.
runresult runlimited(const std::string &program, const std::vector<std::string> &args,
                     const runlimits &limits);

// A full graph built from the checks of each variable node; check sockets in
// order of appearance, degree tables of the degrees that occur. Hold it in
// an ownedgraph, or release it with ldpc::freegraph and free().
ldpc::graphs *makegraph(int cnodenum, const std::vector<std::vector<int>> &vchecks);

// Owns a graph record from makegraph (or any record and lists from
// allocate): freegraph and free when it goes or takes another, so that a
// failed ASSERT leaks nothing. Converts to the pointer it holds.
class ownedgraph {
 public:
  ownedgraph(ldpc::graphs *graph = nullptr) : held(graph) {}  // NOLINT: implicit by design
  ownedgraph(const ownedgraph &) = delete;
  ownedgraph &operator=(const ownedgraph &) = delete;
  ownedgraph &operator=(ldpc::graphs *graph) {
    release();
    held = graph;
    return *this;
  }
  ~ownedgraph() { release(); }
  operator ldpc::graphs *() const { return held; }
  ldpc::graphs *operator->() const { return held; }

 private:
  void release() {
    if (held != nullptr) {
      ldpc::freegraph(held);
      std::free(held);
    }
    held = nullptr;
  }
  ldpc::graphs *held;
};

// A graph record held in place, for the functions that fill a record the
// caller provides (readers, constructions): starts zeroed and releases its
// lists through freegraph when it goes, so that a failed ASSERT leaks
// nothing. A record whose lists were never made frees nothing.
struct ownedrecord : ldpc::graphs {
  ownedrecord() : ldpc::graphs{} {}
  ownedrecord(const ownedrecord &) = delete;
  ownedrecord &operator=(const ownedrecord &) = delete;
  ~ownedrecord() { ldpc::freegraph(this); }
};

// The sizes of a record: vnodenum, cnodenum, vdegreesnum, cdegreesnum,
// vmaxdegree, cmaxdegree.
inline std::vector<int> sizes(const ldpc::graphs &g) {
  return {g.vnodenum, g.cnodenum, g.vdegreesnum, g.cdegreesnum, g.vmaxdegree, g.cmaxdegree};
}

// The code description file that the converter writes for an alist text,
// computed in this process; "error: ..." when the reader refuses it.
std::string convertinmemory(const std::string &alist);

// The graph as text through the in-memory writer, for comparisons.
std::string describe(const ldpc::graphs *graph, int gap = -1);

// The programs under test and the examples folder, as the build places them;
// inline, so that they are set before any constant of a test file that
// includes this header is built from them.
inline const std::string tanner = TANNER_PATH;
inline const std::string alistconv = ALISTCONV_PATH;
inline const std::string simulate = SIMULATE_PATH;
inline const std::string examples = EXAMPLES_DIR;

}  // namespace testsupport

#endif
