// modulate and demodulate: the constellations and the demapper for Python.
#include <cmath>
#include <complex>
#include <string>

#include "bindings.h"
#include "constellation.h"
#include "demapper.h"

namespace ldpcpython {

namespace {

ldpc::modulationkind modulationnamed(const std::string &name) {
  ldpc::modulationkind kind;
  if (!ldpc::parsemodulation(name, &kind))
    throw py::value_error("modulation takes bpsk, qpsk, 16qam, 64qam or 256qam, not '" + name +
                          "'");
  return kind;
}

py::array_t<std::complex<double>> modulatebits(const py::array &given, const std::string &name) {
  const ldpc::modulationkind kind = modulationnamed(name);
  py::array_t<std::int64_t, py::array::c_style | py::array::forcecast> bits(given);
  if (bits.ndim() != 2) throw py::value_error("bits must be a frames x n array");
  const py::ssize_t frames = bits.shape(0), n = bits.shape(1);
  const int q = ldpc::bitspersymbol(kind);
  if (n % q != 0)
    throw py::value_error(std::to_string(n) + " bits are not a whole number of " + name +
                          " symbols of " + std::to_string(q) + " bits");
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(frames * n));
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::int64_t b = bits.data()[i];
    if (b != 0 && b != 1)
      throw py::value_error("frame " + std::to_string(i / n) + ", bit " + std::to_string(i % n) +
                            ": " + std::to_string(b) + " is not 0 or 1");
    bytes[i] = static_cast<std::uint8_t>(b);
  }
  py::array_t<std::complex<double>> out({frames, n / q});
  std::string error;
  for (py::ssize_t f = 0; f < frames; ++f)
    ldpc::modulate(kind, bytes.data() + f * n, static_cast<int>(n),
                   out.mutable_data() + f * (n / q), &error);
  return out;
}

py::array_t<double> demodulatesymbols(const py::array &given, double n0, const std::string &name,
                                      const std::string &demapper, const py::object &gains) {
  const ldpc::modulationkind kind = modulationnamed(name);
  ldpc::demapperkind how;
  if (!ldpc::parsedemapper(demapper, &how))
    throw py::value_error("demapper takes exact or maxlog, not '" + demapper + "'");
  if (!(n0 > 0) || !std::isfinite(n0)) throw py::value_error("n0 must be positive and finite");
  py::array_t<std::complex<double>, py::array::c_style | py::array::forcecast> y(given);
  if (y.ndim() != 2) throw py::value_error("symbols must be a frames x s array");
  py::array_t<std::complex<double>, py::array::c_style | py::array::forcecast> h;
  if (!gains.is_none()) {
    h = py::array_t<std::complex<double>, py::array::c_style | py::array::forcecast>(gains);
    if (h.ndim() != 2 || h.shape(0) != y.shape(0) || h.shape(1) != y.shape(1))
      throw py::value_error("gains must have the shape of the symbols");
  }
  const py::ssize_t frames = y.shape(0), s = y.shape(1);
  const int q = ldpc::bitspersymbol(kind);
  py::array_t<double> llr({frames, s * q});
  const std::complex<double> *hp = gains.is_none() ? nullptr : h.data();
  {
    py::gil_scoped_release released;
    ldpc::demodulate(kind, how, y.data(), hp, static_cast<int>(frames * s), n0, llr.mutable_data());
  }
  return llr;
}

}  // namespace

void bindmodulation(py::module_ &m) {
  m.def("modulate", &modulatebits, py::arg("bits"), py::arg("name"),
        R"(Symbols (frames x n/q, complex) of bits (frames x n of 0 and 1) in the Gray
constellations of 5G NR: bpsk, qpsk, 16qam, 64qam, 256qam (q = 1, 2, 4, 6, 8
bits per symbol, unit average energy); n must be a multiple of q.)");
  m.def("demodulate", &demodulatesymbols, py::arg("symbols"), py::arg("n0"), py::arg("name"),
        py::arg("demapper") = "exact", py::arg("gains") = py::none(),
        R"(Bit LLRs log P(b = 0) / P(b = 1) (frames x s*q) of received symbols
(frames x s) with complex noise variance n0 = E|n|^2, in the constellation's
bit order; demapper "exact" (log-sum-exp) or "maxlog"; gains: the known
complex channel gains of each symbol (fading), or None.)");
}

}  // namespace ldpcpython
