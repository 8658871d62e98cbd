// Channels of a decoding simulation and the random state of each frame.
//
// The all-zero codeword is sent, BPSK mapping bit 0 to +1, and every channel
// hands the decoder LLRs log P(y | 0) / P(y | 1) (positive favours 0):
// - awgn, parameter sigma: y = 1 + sigma g, LLR 2 y / sigma^2;
// - bec, parameter the erasure probability e: an erased bit has LLR 0, any
//   other bit certainstate (a value large enough to decide every message);
// - bsc, parameter the crossover probability p: +-log((1 - p) / p), the
//   sign flipped on a crossover (p = 0 gives +-certainstate).
//
// Every frame draws from its own 48-bit state of the library's generator
// (the erand48 step of randomstream.h), derived from the run's seed, the
// point and the frame's index alone by streamstate, so that a frame's noise
// does not depend on which thread or SIMD lane decodes it, and one frame can
// be drawn again by itself. Gaussian values come in pairs from the polar
// method, exactly as the library's nextgausspair draws them from the channel
// stream.
#ifndef LDPC_CHANNEL_H
#define LDPC_CHANNEL_H

#include <cstdint>
#include <string>

namespace ldpc {

enum class channeltype { awgn, bec, bsc };

// "awgn", "bec", "bsc"; the parser returns false on another name.
const char *channelname(channeltype type);
bool parsechannel(const std::string &name, channeltype *type);
// The name of the channel parameter: "sigma", "erasure", "crossover".
const char *parametername(channeltype type);

// The LLR of a bit that the channel delivers without doubt.
constexpr double certainllr = 64.0;

// Mixes (seed, point, index) into a 48-bit state: with
//   mix(z) = the 64-bit finaliser z += 0x9E3779B97F4A7C15,
//            z = (z ^ z >> 30) * 0xBF58476D1CE4E5B9,
//            z = (z ^ z >> 27) * 0x94D049BB133111EB, z ^ z >> 31,
// the state is mix(mix(mix(seed) + point) + index) mod 2^48. Frame f of
// point p draws from index f; the graphs of an ensemble at point p from
// index 2^64 - 1 (that is, -1).
std::uint64_t streamstate(std::uint64_t seed, std::int64_t point, std::int64_t index);

// sigma of BPSK at Eb/N0 (dB) and code rate: sqrt(1 / (2 rate 10^(ebn0/10))),
// and back.
double sigmafromebn0(double ebn0, double rate);
double ebn0fromsigma(double sigma, double rate);

// Channel LLRs of one all-zero frame of n bits drawn from state. AWGN uses
// ceil(n / 2) polar pairs (bit 2k from the first value of pair k, bit 2k+1
// from the second); BEC and BSC one uniform draw per bit, erased or crossed
// when it falls below the parameter.
void channelframe(channeltype type, double parameter, std::uint64_t state, int n, double *llr);

}  // namespace ldpc

#endif
