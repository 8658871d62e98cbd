// Constellations of the 5G NR modulation mapper (3GPP TS 38.211 clause
// 5.1): BPSK, QPSK, 16-, 64- and 256-QAM with their Gray mappings, unit
// average energy, and the Eb/N0 and Es/N0 of a coded transmission.
//
// A symbol carries q bits b0 .. b(q-1) (q = 1, 2, 4, 6, 8), taken from the
// bit stream in that order; point index p of a table is the bits read as a
// binary number with b0 the most significant. For QAM the even bits
// b0, b2, ... choose the real part and the odd bits b1, b3, ... the
// imaginary part, each through the same Gray-labelled amplitude levels;
// BPSK puts its one bit on both parts, (1 - 2 b0)(1 + j) / sqrt(2).
//
// Error policy: nothing here prints or exits; modulate refuses a bit count
// that is not a whole number of symbols with false and a message.
#ifndef LDPC_CONSTELLATION_H
#define LDPC_CONSTELLATION_H

#include <complex>
#include <cstdint>
#include <string>
#include <vector>

namespace ldpc {

enum class modulationkind { bpsk, qpsk, qam16, qam64, qam256 };

// "bpsk", "qpsk", "16qam", "64qam", "256qam"; the parser returns false on
// another name.
const char *modulationname(modulationkind kind);
bool parsemodulation(const std::string &name, modulationkind *kind);

// q: 1, 2, 4, 6, 8.
int bitspersymbol(modulationkind kind);

// The 2^q points, index as above.
std::vector<std::complex<double>> constellationpoints(modulationkind kind);

// The amplitude levels of one dimension of a QAM constellation (QPSK
// included): 2^(q/2) levels, level l for the dimension's bits read as a
// binary number, its first bit (b0 or b1) the most significant. BPSK has
// the two levels +-1/sqrt(2) of each part.
std::vector<double> dimensionlevels(modulationkind kind);

// Maps nbits bits (bytes, non-zero read as 1) to nbits / q symbols.
bool modulate(modulationkind kind, const std::uint8_t *bits, int nbits,
              std::complex<double> *symbols, std::string *error);

// Es/N0 in dB of a code of rate R carrying q bits per symbol at Eb/N0 in
// dB, counting information bits: Es/N0 = Eb/N0 + 10 log10(R q).
double esn0fromebn0(double ebn0db, double rate, int bitspersymbol);
// The complex noise variance n0 = E|n|^2 of unit-energy symbols at Es/N0
// in dB: 10^(-Es/N0 / 10); and the two steps together.
double n0fromesn0(double esn0db);
double n0fromebn0(double ebn0db, double rate, int bitspersymbol);

}  // namespace ldpc

#endif
