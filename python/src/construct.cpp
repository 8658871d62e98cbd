// Random constructions with seeds as `tanner construct` takes them; each
// returns the graph and the graph-stream state it started from.
#include <functional>
#include <memory>
#include <vector>

#include "bindings.h"
#include "randomstream.h"

namespace ldpcpython {

namespace {

[[noreturn]] void badseed(const std::string &text) {
  throw py::value_error("seed takes W0,W1,W2 or an integer below 2^48, not '" + text + "'");
}

}  // namespace

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
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;) {
      std::string::size_type comma = text.find(',', start);
      parts.push_back(text.substr(start, comma - start));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    if (parts.size() != 1 && parts.size() != 3) badseed(text);
    std::uint64_t values[3] = {0, 0, 0};
    for (std::size_t k = 0; k < parts.size(); ++k) {
      const std::string &part = parts[k];
      if (part.empty() || part.size() > 15 || part.find_first_not_of("0123456789") != part.npos)
        badseed(text);
      values[k] = std::stoull(part);
      if (parts.size() == 3 && values[k] > 65535) badseed(text);
    }
    if (parts.size() == 1) {
      if (values[0] >= (1ULL << 48)) badseed(text);
      ldpc::storestate(words, values[0]);
    } else {
      for (int k = 0; k < 3; ++k) words[k] = static_cast<unsigned short>(values[k]);
    }
    return;
  }
  if (py::isinstance<py::int_>(seed)) {
    py::int_ value = py::reinterpret_borrow<py::int_>(seed);
    if (value < py::int_(0) || value >= py::int_(1ULL << 48)) badseed(py::str(seed));
    ldpc::storestate(words, value.cast<std::uint64_t>());
    return;
  }
  if (py::isinstance<py::sequence>(seed) && py::len(seed) == 3) {
    py::sequence parts = py::reinterpret_borrow<py::sequence>(seed);
    for (int k = 0; k < 3; ++k) {
      py::object part = parts[k];
      if (!py::isinstance<py::int_>(part) || part < py::int_(0) || part > py::int_(65535))
        badseed(py::str(seed));
      words[k] = part.cast<unsigned short>();
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
         std::vector<double> cfrac, int length, bool edgefractions, const py::object &seed) {
        unsigned short words[3];
        seedwords(seed, words);
        if (vdeg.empty() || cdeg.empty()) throw py::value_error("vdeg and cdeg are required");
        if (vdeg.size() != vfrac.size())
          throw py::value_error("vfrac needs one fraction per degree of vdeg");
        if (cdeg.size() != cfrac.size())
          throw py::value_error("cfrac needs one fraction per degree of cdeg");
        if (length < 1) throw py::value_error("length must be at least 1");
        for (std::size_t k = 0; k < vdeg.size(); ++k)
          if (vdeg[k] < 1 || (k > 0 && vdeg[k] <= vdeg[k - 1]))
            throw py::value_error("vdeg must be positive and increasing");
        for (std::size_t k = 0; k < cdeg.size(); ++k)
          if (cdeg[k] < 1 || (k > 0 && cdeg[k] <= cdeg[k - 1]))
            throw py::value_error("cdeg must be positive and increasing");
        ldpc::simulations simulation{};
        simulation.length = length;
        simulation.vdegreesnum = static_cast<int>(vdeg.size());
        simulation.vdegreelist = vdeg.data();
        simulation.vpercentagelist = vfrac.data();
        simulation.cdegreesnum = static_cast<int>(cdeg.size());
        simulation.cdegreelist = cdeg.data();
        simulation.cpercentagelist = cfrac.data();
        simulation.typedist = edgefractions ? 1 : 0;
        return withstream(words, [&](ldpc::graphs *record) {
          ldpc::constructirregulargraph(record, &simulation);
        });
      },
      py::arg("vdeg"), py::arg("vfrac"), py::arg("cdeg"), py::arg("cfrac"), py::arg("length"),
      py::arg("edge_fractions") = false, py::arg("seed") = 0,
      R"(A random graph of the irregular ensemble, as `tanner construct irregular`.

Degrees of each side increasing, one fraction each (of nodes, or of edges
with edge_fractions); length is the number of variable nodes asked for.
seed: the graph-stream state, an integer 0 <= S < 2^48, "W0,W1,W2" or a
tuple of three 16-bit words. Returns (graph, seed words).)");

  m.def(
      "construct_proto",
      [](const py::object &protopath, int lift, const py::object &seed) {
        unsigned short words[3];
        seedwords(seed, words);
        std::string path = pathstring(protopath);
        protoholder protograph;
        {
          py::gil_scoped_release unlocked;
          protograph = readproto(path);
        }
        if (lift < 1) throw py::value_error("lift must be at least 1");
        ldpc::simulations simulation{};
        simulation.protograph = protograph.get();
        simulation.length = lift;
        simulation.ensemble = 1;
        return withstream(words, [&](ldpc::graphs *record) {
          ldpc::constructprotograph(record, &simulation);
        });
      },
      py::arg("protofile"), py::arg("lift"), py::arg("seed") = 0,
      R"(A random lifting of the protograph in protofile by the factor lift, as
`tanner construct proto`. Returns (graph, seed words).)");
}

}  // namespace ldpcpython
