// Encoder: systematic encoding of a graph's code for Python.
#include <string>
#include <vector>

#include "bindings.h"
#include "encoder.h"

namespace ldpcpython {

namespace {

// The encoder of a graph, built once, with the graph's size for the checks
// of encode.
struct pyencoder {
  ldpc::encoder enc;
};

pyencoder makepyencoder(const graph &g, std::int64_t memorylimit) {
  if (memorylimit < 1) throw py::value_error("memory_limit must be at least 1 byte");
  pyencoder out;
  ldpc::encoderoptions options;
  options.memorylimit = memorylimit;
  std::string error;
  bool made;
  {
    py::gil_scoped_release released;
    made = ldpc::makeencoder(&g.record, &g.encoder, &out.enc, &error, options);
  }
  if (!made) throw py::value_error(error);
  return out;
}

// frames x K bytes of 0 and 1 to frames x N; a 1-D word gives one row.
py::array_t<std::uint8_t> encodewords(const pyencoder &self, const py::array &given) {
  py::array_t<std::int64_t, py::array::c_style | py::array::forcecast> words(given);
  const int k = self.enc.k, n = self.enc.n;
  if (words.ndim() < 1 || words.ndim() > 2)
    throw py::value_error("the words must be a frames x K array (K = " + std::to_string(k) + ")");
  const py::ssize_t frames = words.ndim() == 2 ? words.shape(0) : 1;
  const py::ssize_t width = words.shape(words.ndim() - 1);
  if (width != k)
    throw py::value_error("the words have " + std::to_string(width) +
                          " bits; the code has K = " + std::to_string(k));
  std::vector<std::uint8_t> bits(static_cast<std::size_t>(frames) * k);
  const std::int64_t *in = words.data();
  for (std::size_t i = 0; i < bits.size(); ++i) {
    if (in[i] != 0 && in[i] != 1)
      throw py::value_error("word " + std::to_string(i / (k ? k : 1)) + ", bit " +
                            std::to_string(i % (k ? k : 1)) + ": " + std::to_string(in[i]) +
                            " is not 0 or 1");
    bits[i] = static_cast<std::uint8_t>(in[i]);
  }
  py::array_t<std::uint8_t> out({frames, static_cast<py::ssize_t>(n)});
  {
    py::gil_scoped_release released;
    ldpc::encode(self.enc, bits.data(), static_cast<int>(frames), out.mutable_data());
  }
  return out;
}

}  // namespace

void bindencoding(py::module_ &m) {
  py::class_<pyencoder>(m, "Encoder", R"(A systematic encoder of a graph's code.

Encoder(graph) finds the information positions and the way to compute the
parity bits: from the graph's encoder information when it carries some (a
file written by tanner construct or convert with --encoder), else from a
staircase or dual-diagonal parity part, else from the approximate
lower-triangular form of the parity-check matrix. k is N minus the rank;
bit i of a word goes to codeword bit positions[i]. ValueError when the
matrix needs more memory than memory_limit bytes or the encoder information
does not fit the graph.)")
      .def(py::init([](const graph &g, std::int64_t memorylimit) {
             return makepyencoder(g, memorylimit);
           }),
           py::arg("graph"), py::arg("memory_limit") = std::int64_t{256} << 20)
      .def_property_readonly("n", [](const pyencoder &e) { return e.enc.n; })
      .def_property_readonly("k", [](const pyencoder &e) { return e.enc.k; })
      .def_property_readonly("rank", [](const pyencoder &e) { return e.enc.rank; })
      .def_property_readonly("gap", [](const pyencoder &e) { return e.enc.gap(); })
      .def_property_readonly(
          "kind", [](const pyencoder &e) { return std::string(ldpc::encodername(e.enc.kind)); })
      .def_property_readonly("positions",
                             [](const pyencoder &e) {
                               return py::array_t<std::int32_t>(
                                   static_cast<py::ssize_t>(e.enc.positions.size()),
                                   e.enc.positions.data());
                             })
      .def("encode", &encodewords, py::arg("u"),
           "Codewords (frames x N, uint8) of the information words u (frames x K, or one\n"
           "word of K); ValueError for another width or a bit other than 0 or 1.")
      .def("__repr__", [](const pyencoder &e) {
        return "<ldpcgraph.Encoder: " + std::string(ldpc::encodername(e.enc.kind)) + ", N " +
               std::to_string(e.enc.n) + ", K " + std::to_string(e.enc.k) + ">";
      });
}

}  // namespace ldpcpython
