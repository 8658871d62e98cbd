// Channels of modulated symbols, and one frame from code bits to LLRs.
//
// Symbols have unit average energy; noise is complex Gaussian, n0 = E|n|^2
// (n0 / 2 per part). Fading is Rayleigh with perfect channel knowledge at
// the receiver: gains h = (g1 + j g2) / sqrt(2), E|h|^2 = 1, either a new
// gain per symbol (fast) or one per block of L symbols (block).
//
// Every draw comes from a 48-bit state of the library's generator (the
// erand48 step, randomstream.h), Gaussian values in pairs from the polar
// method exactly as the library's nextgausspair draws them: two uniforms
// u, v in (-1, 1) until w = u^2 + v^2 < 1, then u f and v f with
// f = sqrt(-2 ln w / w). Give each frame its own state (decoding's
// streamstate) and its draws do not depend on threads or on other frames.
//
// Error policy: nothing here prints or exits; channelfault names what
// makes a setup unusable, and transmitframe takes only usable setups.
#ifndef LDPC_SYMBOLCHANNEL_H
#define LDPC_SYMBOLCHANNEL_H

#include <complex>
#include <cstdint>
#include <string>
#include <vector>

#include "constellation.h"
#include "demapper.h"

namespace ldpc {

enum class fadingkind { none, fast, block };
enum class interleaving { none, random, nr };

// "none", "fast", "block"; "none", "random", "nr".
const char *fadingname(fadingkind kind);
const char *interleavingname(interleaving kind);

// One polar pair of standard Gaussian values from *state.
void gausspair(std::uint64_t *state, double pair[2]);

// Adds noise of variance n0 to count symbols: one pair per symbol, the
// first value to the real part.
void addnoise(std::uint64_t *state, double n0, std::complex<double> *y, int count);

// Gains of count symbols: fast, one pair per symbol; block, one pair per
// blocklength symbols, starting with the first; none, all 1 (no draws).
void fadinggains(std::uint64_t *state, fadingkind kind, int blocklength, std::complex<double> *h,
                 int count);

struct channelsetup {
  modulationkind modulation = modulationkind::bpsk;
  demapperkind demapper = demapperkind::exact;
  fadingkind fading = fadingkind::none;
  int blocklength = 1;  // block fading: symbols per gain
  interleaving interleave = interleaving::none;
  double n0 = 1.0;  // complex noise variance
};

// What makes setup unusable for frames of n code bits, "" when nothing:
// n0 positive and finite, a block length of at least 1, for the NR
// interleaver a multiple of the bits per symbol.
std::string channelfault(const channelsetup &setup, int n);

// k information bits of a frame, one draw each: 1 when the draw is at
// least 1/2. A frame that draws its word first hands the advanced state to
// transmitframe.
void drawword(std::uint64_t *state, int k, std::uint8_t *bits);

// Buffers that transmitframe reuses from frame to frame.
struct framebuffers {
  std::vector<int> perm;
  std::vector<std::uint8_t> bits;
  std::vector<std::complex<double>> symbols, gains;
  std::vector<double> llr;
};

// One frame of n code bits through the channel, the decoder's LLRs (in the
// order of the code bits) into llr. In this order: the random interleaver
// draws its n values; the bits, interleaved, are padded with 0 to whole
// symbols and mapped; then for each symbol in turn its gain pair (fast
// fading; block fading at the first symbol of each block) and its noise
// pair; the symbols are demapped with the known gains and n0, the padding's
// LLRs dropped and the rest deinterleaved. state is the frame's own.
//
// BPSK without fading is sent as the real signal 1 - 2c with noise of
// variance sigma^2 = n0 / 2 drawn as decoding's AWGN channel draws it (one
// polar pair for two bits, channelframe in channel.h), LLR 2 y / sigma^2:
// the same law as the complex point (1 - 2c)(1 + j) / sqrt(2), and for the
// all-zero word the very LLRs of channelframe(awgn, sigma) from the same
// state, so that a simulation of random codewords sees the noise of the
// all-zero one. With n0 = 2 sigma^2 the sigma is recovered exactly.
void transmitframe(const channelsetup &setup, const std::uint8_t *codeword, int n,
                   std::uint64_t state, double *llr, framebuffers *buffers);

}  // namespace ldpc

#endif
