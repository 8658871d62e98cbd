// Shared pieces of the Python bindings: the graph object that Python holds,
// the errors that cross into Python, and the registration of each library's
// bindings.
#ifndef LDPC_PYTHON_BINDINGS_H
#define LDPC_PYTHON_BINDINGS_H

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "decoder.h"
#include "graphstruct.h"
#include "simulation.h"

namespace ldpcpython {

namespace py = pybind11;

// A graph owned by Python: the library's record and the encoder information
// that travels with it in a code description file.
struct graph {
  ldpc::graphs record{};
  ldpc::encoders encoder{};

  graph() { encoder.gap = -1; }
  graph(const graph &) = delete;
  graph &operator=(const graph &) = delete;
  ~graph() {
    ldpc::freegraph(&record);
    if (encoder.gap >= 0) std::free(encoder.iphi);
  }
};

// A file that cannot be opened or written: OSError in Python, with the
// program's message ("PATH: reason") and errno.
struct fileerror : std::runtime_error {
  int number;
  fileerror(const std::string &message, int number) : std::runtime_error(message), number(number) {}
};

// Throws the fileerror of a failed open of path (errno as it stands).
[[noreturn]] void throwopen(const std::string &path);

// Malformed input (a file, a proto-file, a distribution the construction
// refuses): ldpcgraph.FormatError / ValueError with the program's message.
struct inputerror : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Ctrl-C during a long call made with the interpreter lock released: the
// call's callbacks (between blocks, bisection steps, nodes) ask interrupted,
// which takes the lock back briefly, at most every 50 ms, and runs the
// signal handlers; true once one has raised (KeyboardInterrupt), whose error
// is then set. checkinterrupt throws interruption instead, which crosses
// into Python as that error.
bool interrupted();
struct interruption : std::exception {};
void checkinterrupt();
// checkinterrupt as the progress function of the graph algorithms.
void pollinterrupt(std::int64_t done, std::int64_t total, const char *what);

// The random streams are process-wide; constructions and simulations hold
// this while they draw, with the interpreter lock released.
std::mutex &streamlock();

// Reads a code description file or an alist file, recognised from the
// content; throws fileerror or inputerror.
void readgraph(graph *target, const std::string &path);

// A protograph read from a proto-file; throws fileerror or inputerror.
struct protodeleter {
  void operator()(ldpc::graphs *protograph) const;
};
using protoholder = std::unique_ptr<ldpc::graphs, protodeleter>;
protoholder readproto(const std::string &path);

// A path given as str, bytes or os.PathLike, as the bytes the system sees.
std::string pathstring(const py::handle &path);

// Numbers given as Python would take them: an integer is an int or any
// object with __index__ (numpy integers), never a bool; a number also a
// float or an object with __float__. Otherwise TypeError naming the
// keyword; an integer beyond 64 bits is a ValueError. pycount is an int
// (32 bits) of at least 1, as tanner's counts are.
std::int64_t pyint(const py::handle &value, const std::string &name);
int pycount(const py::handle &value, const std::string &name);
// An integer that fits an int (32 bits), its range checked by the caller.
int pyint32(const py::handle &value, const std::string &name);
double pynumber(const py::handle &value, const std::string &name);

// The (48-bit) graph-stream state named by a Python seed: an integer
// 0 <= S < 2^48, a string "W0,W1,W2" or "S", or a sequence of three words.
void seedwords(const py::handle &seed, unsigned short words[3]);
py::tuple seedtuple(const unsigned short words[3]);

// Runs construct on a fresh graph with the graph stream started at seed,
// holding streamlock with the interpreter lock released; returns (graph,
// seed words).
py::tuple withstream(const unsigned short seed[3],
                     const std::function<void(ldpc::graphs *)> &construct);

// The record of the irregular ensemble of these lists (which must outlive
// it), as ldpc::irregularsimulation fills it; ValueError with tanner's
// message for options it refuses or a distribution it cannot build.
ldpc::simulations irregularrecord(int length, std::vector<int> &vdeg, std::vector<double> &vfrac,
                                  std::vector<int> &cdeg, std::vector<double> &cfrac,
                                  bool edgefractions);

// The registration of each library's bindings (src/FEATURE.cpp): module.cpp
// registers the graph and its constructions always, and every other feature
// when it is built (LDPC_PYTHON_FEATURE defined).
void bindgraph(py::module_ &m);
void bindconstruct(py::module_ &m);
void binddecoding(py::module_ &m);
void bindfloors(py::module_ &m);
void bindshortcycles(py::module_ &m);
void bindthreshold(py::module_ &m);
void bindencoding(py::module_ &m);
void bindmodulation(py::module_ &m);

// The decoder settings of keywords (alpha and beta None when not given),
// checked as tanner checks them (ValueError); src/decoding.cpp.
ldpc::decoderoptions decoderoptions(const std::string &algorithm, const std::string &schedule,
                                    const py::handle &iterations, bool earlystop,
                                    const py::handle &alpha, const py::handle &beta,
                                    const py::handle &quantization,
                                    const std::string &approximation = "exact");
// Sum-product's approximation of its name (ValueError).
ldpc::spaapproximation spaapproximation(const std::string &name);

// girth= of the constructions: 0 (none) or even and at least 4; a fresh
// graph is then rid of shorter cycles, drawing on from the graph stream as
// `tanner construct --girth` does (src/shortcycles.cpp; without it,
// construct.cpp refuses girth= other than 0).
void checkgirth(int girth);
void conditiongirth(ldpc::graphs *record, int girth);

}  // namespace ldpcpython

#endif
