// The constellations of the 5G NR modulation mapper.
#include "constellation.h"
#include "enumnames.h"

#include <cmath>

namespace ldpc {

namespace {

const char *const names[] = {"bpsk", "qpsk", "16qam", "64qam", "256qam"};
const int bits[] = {1, 2, 4, 6, 8};

// The amplitude of one dimension from its bits c0 .. c(p-1) (c0 first), as
// the formulas of TS 38.211 clauses 5.1.3 to 5.1.6 nest them:
//   QPSK    (1 - 2 c0)                                        / sqrt(2)
//   16QAM   (1 - 2 c0)[2 - (1 - 2 c1)]                        / sqrt(10)
//   64QAM   (1 - 2 c0)[4 - (1 - 2 c1)[2 - (1 - 2 c2)]]        / sqrt(42)
//   256QAM  (1 - 2 c0)[8 - (1 - 2 c1)[4 - (1 - 2 c2)[2 - (1 - 2 c3)]]] / sqrt(170)
// with (c0, c1, ...) = (b(qi), b(qi+2), ...) for the real part and
// (b(qi+1), b(qi+3), ...) for the imaginary part of symbol i. The divisors
// are 2 (4^p - 1) / 3, which makes the average energy 1.
double amplitude(int level, int p) {
  double value = 1 - 2 * ((level >> 0) & 1);  // the last bit, innermost
  for (int t = 1; t < p; ++t) {
    const int c = (level >> t) & 1;
    value = (1 - 2 * c) * ((1 << t) - value);
  }
  return value / std::sqrt(2.0 * ((1 << (2 * p)) - 1) / 3.0);
}

}  // namespace

const char *modulationname(modulationkind kind) { return names[static_cast<int>(kind)]; }

bool parsemodulation(const std::string &name, modulationkind *kind) {
  return parseenumname(names, name, kind);
}

int bitspersymbol(modulationkind kind) { return bits[static_cast<int>(kind)]; }

std::vector<double> dimensionlevels(modulationkind kind) {
  const int p = kind == modulationkind::bpsk ? 1 : bitspersymbol(kind) / 2;
  std::vector<double> levels(1 << p);
  for (int l = 0; l < (1 << p); ++l) levels[l] = amplitude(l, p);
  return levels;
}

std::vector<std::complex<double>> constellationpoints(modulationkind kind) {
  const int q = bitspersymbol(kind);
  const std::vector<double> levels = dimensionlevels(kind);
  std::vector<std::complex<double>> points(1 << q);
  if (kind == modulationkind::bpsk) {
    // TS 38.211 clause 5.1.2: d(i) = [(1 - 2 b(i)) + j (1 - 2 b(i))] / sqrt(2)
    points[0] = {levels[0], levels[0]};
    points[1] = {levels[1], levels[1]};
    return points;
  }
  // Bit b(2t) of the symbol (t = 0 most significant) is bit p - 1 - t of
  // the real part's level, b(2t + 1) the same of the imaginary part's.
  const int p = q / 2;
  for (int index = 0; index < (1 << q); ++index) {
    int re = 0, im = 0;
    for (int t = 0; t < p; ++t) {
      re = re << 1 | ((index >> (q - 1 - 2 * t)) & 1);
      im = im << 1 | ((index >> (q - 2 - 2 * t)) & 1);
    }
    points[index] = {levels[re], levels[im]};
  }
  return points;
}

bool modulate(modulationkind kind, const std::uint8_t *bitsin, int nbits,
              std::complex<double> *symbols, std::string *error) {
  const int q = bitspersymbol(kind);
  if (nbits < 0 || nbits % q != 0) {
    *error = std::to_string(nbits) + " bits are not a whole number of " + modulationname(kind) +
             " symbols of " + std::to_string(q) + " bits";
    return false;
  }
  const std::vector<std::complex<double>> points = constellationpoints(kind);
  for (int s = 0; s < nbits / q; ++s) {
    int index = 0;
    for (int b = 0; b < q; ++b) index = index << 1 | (bitsin[s * q + b] != 0);
    symbols[s] = points[index];
  }
  return true;
}

double esn0fromebn0(double ebn0db, double rate, int bitspersymbol) {
  return ebn0db + 10.0 * std::log10(rate * bitspersymbol);
}

double n0fromesn0(double esn0db) { return std::pow(10.0, -esn0db / 10.0); }

double n0fromebn0(double ebn0db, double rate, int bitspersymbol) {
  return n0fromesn0(esn0fromebn0(ebn0db, rate, bitspersymbol));
}

}  // namespace ldpc
