// The transmit chain of a simulation: a frame's information bits, its
// codeword, the modulation and the channel, as the frame source of the
// Monte-Carlo loop (montecarlo.h).
//
// Frame f of point p draws everything from its own stream state
// streamstate(seed, p, f), in this order: with random codewords the K
// information bits (drawword, one draw a bit), encoded systematically
// (encoder.h); then the channel from where the word left the state:
// - AWGN: transmitframe (symbolchannel.h), with n0 = 2 sigma^2 / q for the
//   point's sigma (sigma as channelframe takes it from Eb/N0 and the rate,
//   so that Es/N0 = Eb/N0 + 10 log10(R q)); BPSK without fading is then
//   drawn as channelframe draws the all-zero word, bit for bit.
// - BEC and BSC: channelframe's LLRs of the all-zero word, their signs
//   turned for the bits sent as 1 (both channels are symmetric).
// With zero codewords no word is drawn and nothing is encoded.
//
// Error policy: never prints or exits. transmitfault names what makes a
// chain unusable (no encoder for random words, a modulation or fading on a
// channel other than AWGN, a channel setup refused by channelfault), ""
// when it is usable; framesource takes only usable chains.
#ifndef LDPC_TRANSMITCHAIN_H
#define LDPC_TRANSMITCHAIN_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "channel.h"
#include "encoder.h"
#include "montecarlo.h"
#include "symbolchannel.h"
#include "transmission.h"

namespace ldpc {

enum class codewordkind { zero, random };

// "zero", "random"; the parser returns false on another name.
const char *codewordname(codewordkind kind);
bool parsecodeword(const std::string &name, codewordkind *kind);

struct transmitchain {
  codewordkind codeword = codewordkind::zero;
  encoder enc;  // random codewords: the code's encoder
  channeltype channel = channeltype::awgn;
  channelsetup setup;              // modulation, demapper, fading, interleaver (n0 unused)
  std::vector<double> parameters;  // per point: sigma, erasure or crossover
  int n = 0;                       // code length
  // A code that does not send each bit once (punctured, shortened or
  // repeated bits): the codeword's bits go out in pattern->order, and the
  // decoder takes channeltodecoder of their LLRs; null sends every bit once
  // in node order. With random codewords the information bits of shortened
  // nodes are 0.
  std::shared_ptr<const transmission> pattern;
  std::vector<int> zeroinfo;     // information bits held at 0 (shortened nodes)
  std::vector<int> infocounted;  // the codeword positions of the other information bits
};

// Whether a zero codeword gives the curve of every codeword: the channel
// and demapper treat all codewords alike only for BPSK and QPSK (each bit
// on a dimension of its own) without a random interleaver's effect on
// them; 16-QAM and above do not.
bool zerowordsymmetric(const channelsetup &setup);

std::string transmitfault(const transmitchain &chain);

// The codeword kind named (zero, random), or for "" the default: random
// where the zero word would give a wrong curve (not zerowordsymmetric) and
// with fading, else zero. false for another name.
bool chosencodeword(const std::string &name, const channelsetup &setup, codewordkind *kind);
// Why the zero word cannot be sent with setup ("" when it can).
std::string zerowordfault(const channelsetup &setup);

// The chain of a code (its encoder from the encoder information info when
// that is given and usable) over channel at the points' parameters:
// false with *error when no encoder can be built or transmitfault refuses
// it. *active is false when the chain is the all-zero word over BPSK, which
// the Monte-Carlo loop draws by itself; nothing is built then.
bool plantransmitchain(codewordkind codeword, const channelsetup &setup, channeltype channel,
                       const std::vector<double> &parameters, const graphs *graph,
                       const encoders *info, transmitchain *chain, bool *active,
                       std::string *error);

// Sends the chain's codewords through pattern (see transmitchain::pattern):
// false with *error when random codewords would put a 1 on a shortened node
// (a shortened node that is not an information bit of the encoder) or the
// pattern is not of the chain's code.
bool setchainpattern(std::shared_ptr<const transmission> pattern, transmitchain *chain,
                     std::string *error);

// The Monte-Carlo loop's frame map of a pattern (the all-zero word over
// BPSK sent in its order; errors counted over its sent and punctured nodes).
framemap patternmap(std::shared_ptr<const transmission> pattern);

// The codeword positions whose errors count as information-bit errors:
// the encoder's information positions, less the shortened ones.
const std::vector<int> &countedinfo(const transmitchain &chain);

// The frame source of chain for simulationsettings::framesource (the chain
// is shared by the copies of the function); the information positions of
// the code go to settings::infopositions with random codewords.
std::function<void(int, std::uint64_t, double *, std::uint8_t *)> framesource(
    std::shared_ptr<const transmitchain> chain);

// One frame by the rule above, with buffers of the caller.
struct framescratch {
  std::vector<std::uint8_t> word, bits;
  std::vector<double> llr;
  framebuffers channel;
};
void transmitchainframe(const transmitchain &chain, int point, std::uint64_t state, double *llr,
                        std::uint8_t *sent, framescratch *scratch);

}  // namespace ldpc

#endif
