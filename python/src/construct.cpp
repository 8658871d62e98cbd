// Random constructions with seeds as `tanner construct` takes them; each
// returns the graph and the graph-stream state it started from.
#include <functional>
#include <memory>
#include <vector>

#include "bindings.h"
#include "graphfile.h"
#include "irregular.h"
#include "randomstream.h"

namespace ldpcpython {

#ifndef LDPC_PYTHON_SHORTCYCLES
// Without the cycle removal (src/shortcycles.cpp) girth= is refused.
void checkgirth(int girth) {
  if (girth != 0) throw py::value_error("girth needs a build with the cycle removal");
}
void conditiongirth(ldpc::graphs *, int) {}
#endif

namespace {

[[noreturn]] void badseed(const std::string &text) {
  throw py::value_error("seed takes W0,W1,W2 (each 0..65535) or an integer below 2^48, not '" +
                        text + "'");
}

}  // namespace

ldpc::simulations irregularrecord(int length, std::vector<int> &vdeg, std::vector<double> &vfrac,
                                  std::vector<int> &cdeg, std::vector<double> &cfrac,
                                  bool edgefractions) {
  std::string fault = ldpc::irregularinputfault(vdeg, vfrac, cdeg, cfrac, length, "");
  if (!fault.empty()) throw py::value_error(fault);
  ldpc::simulations simulation =
      ldpc::irregularsimulation(length, vdeg, vfrac, cdeg, cfrac, edgefractions);
  // What the balancing cannot close is refused as tanner refuses it.
  std::string refusal = ldpc::refuseirregular(simulation);
  if (!refusal.empty()) throw py::value_error(refusal);
  return simulation;
}

py::tuple withstream(const unsigned short seed[3],
                     const std::function<void(ldpc::graphs *)> &construct) {
  auto target = std::make_unique<graph>();
  {
    py::gil_scoped_release unlocked;
    std::lock_guard<std::mutex> hold(streamlock());
    for (int k = 0; k < 3; ++k) ldpc::graphsimrand[k] = seed[k];
    construct(&target->record);
  }
  return py::make_tuple(py::cast(std::move(target)), seedtuple(seed));
}

void seedwords(const py::handle &seed, unsigned short words[3]) {
  if (py::isinstance<py::str>(seed)) {
    std::string text = py::str(seed);
    if (!ldpc::parsestreamstate(text.c_str(), words)) badseed(text);
    return;
  }
  // Integers as Python takes them: int and numpy integers (__index__).
  if (!py::isinstance<py::bool_>(seed) && PyIndex_Check(seed.ptr()) != 0) {
    py::int_ value = py::reinterpret_steal<py::int_>(PyNumber_Index(seed.ptr()));
    if (!value) throw py::error_already_set();
    if (value < py::int_(0) || value >= py::int_(1ULL << 48)) badseed(py::str(seed));
    ldpc::storestate(words, value.cast<std::uint64_t>());
    return;
  }
  if (py::isinstance<py::sequence>(seed) && py::len(seed) == 3) {
    py::sequence parts = py::reinterpret_borrow<py::sequence>(seed);
    for (int k = 0; k < 3; ++k) {
      py::object part = parts[k];
      if (py::isinstance<py::bool_>(part) || PyIndex_Check(part.ptr()) == 0) badseed(py::str(seed));
      py::int_ value = py::reinterpret_steal<py::int_>(PyNumber_Index(part.ptr()));
      if (!value) throw py::error_already_set();
      if (value < py::int_(0) || value > py::int_(65535)) badseed(py::str(seed));
      words[k] = value.cast<unsigned short>();
    }
    return;
  }
  badseed(py::str(seed));
}

py::tuple seedtuple(const unsigned short words[3]) {
  return py::make_tuple(words[0], words[1], words[2]);
}

void bindconstruct(py::module_ &m) {
  m.def(
      "construct_irregular",
      [](std::vector<int> vdeg, std::vector<double> vfrac, std::vector<int> cdeg,
         std::vector<double> cfrac, int length, bool edgefractions, int girth,
         const py::object &seed) {
        unsigned short words[3];
        seedwords(seed, words);
        checkgirth(girth);
        ldpc::simulations simulation =
            irregularrecord(length, vdeg, vfrac, cdeg, cfrac, edgefractions);
        return withstream(words, [&](ldpc::graphs *record) {
          ldpc::constructirregulargraph(record, &simulation);
          conditiongirth(record, girth);
        });
      },
      py::arg("vdeg"), py::arg("vfrac"), py::arg("cdeg"), py::arg("cfrac"), py::arg("length"),
      py::arg("edge_fractions") = false, py::arg("girth") = 0, py::arg("seed") = 0,
      R"(A random graph of the irregular ensemble, as `tanner construct irregular`.

Degrees of each side increasing, one fraction each (of nodes, or of edges
with edge_fractions); length is the number of variable nodes asked for.
seed: the graph-stream state, an integer 0 <= S < 2^48, "W0,W1,W2" or a
tuple of three 16-bit words. girth: remove cycles shorter than girth
afterwards, as --girth does. Returns (graph, seed words).)");

  m.def(
      "construct_proto",
      [](const py::object &protopath, int lift, int girth, const py::object &seed) {
        unsigned short words[3];
        seedwords(seed, words);
        if (lift < 1) throw py::value_error("lift must be at least 1");
        checkgirth(girth);
        std::string path = pathstring(protopath);
        protoholder protograph;
        {
          py::gil_scoped_release unlocked;
          protograph = readproto(path);
        }
        std::string unusable = ldpc::unliftable(protograph.get(), lift);
        if (!unusable.empty()) throw inputerror(path + ": " + unusable);
        ldpc::simulations simulation{};
        simulation.protograph = protograph.get();
        simulation.length = lift;
        simulation.ensemble = 1;
        return withstream(words, [&](ldpc::graphs *record) {
          ldpc::constructprotograph(record, &simulation);
          conditiongirth(record, girth);
        });
      },
      py::arg("protofile"), py::arg("lift"), py::arg("girth") = 0, py::arg("seed") = 0,
      R"(A random lifting of the protograph in protofile by the factor lift, as
`tanner construct proto` (girth as --girth). Returns (graph, seed words).)");
}

}  // namespace ldpcpython
