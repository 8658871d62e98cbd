// The inputs of a decoding simulation checked before it runs, one set of
// rules for tanner simulate and the Python package: what the channel
// points, a given code rate, the decoder settings and the stopping limits
// may be, and which of them mean nothing together. Each check returns the
// message users see, "" when the input is usable, naming options as the
// caller spells them: with prefix "--" an option "max-frames" is
// "--max-frames", with prefix "" it is the keyword "max_frames".
//
// Error policy: nothing here prints, throws or exits.
#ifndef LDPC_SIMULATIONCHECK_H
#define LDPC_SIMULATIONCHECK_H

#include <cstddef>
#include <string>
#include <vector>

#include "channel.h"
#include "decoder.h"
#include "montecarlo.h"

namespace ldpc {

// What the points of a run are: Eb/N0 in dB or sigma (AWGN), erasure
// probability (BEC) or crossover probability (BSC).
enum class pointkind { ebn0, sigma, erasure, crossover };

// "ebn0", "sigma", "erasure", "crossover"; the parser returns false on
// another name.
const char *pointkindname(pointkind kind);
bool parsepointkind(const std::string &name, pointkind *kind);
channeltype pointchannel(pointkind kind);

// The most points one run takes.
constexpr std::size_t maxpoints = 100000;

// name ("max-frames") as the caller spells options.
std::string optionname(const std::string &prefix, const std::string &name);

// What a caller gives beside the settings: the points, and whether the
// options that mean something only in some runs were given.
struct simulationinputs {
  pointkind kind = pointkind::ebn0;
  std::vector<double> points;
  bool hasrate = false;
  double rate = 0.0;
  bool hasalpha = false, hasbeta = false;
};

// 1 to maxpoints points, each in its channel's range: Eb/N0 finite, sigma
// finite and above 0, erasure in [0, 1], crossover in [0, 0.5].
std::string pointsfault(pointkind kind, const std::vector<double> &points,
                        const std::string &prefix);

// iterations at least 0; alpha in (0, 1), given only with nms; beta in
// [0, 4096), given only with oms; quantization 16, or 8 with the min-sum
// family.
std::string decoderfault(const decoderoptions &decoder, bool hasalpha, bool hasbeta,
                         const std::string &prefix);

// The points, a given rate (in (0, 1], and only with Eb/N0 or sigma points),
// the decoder, and the limits: max-errors and max-frames at least 1,
// max-seconds finite and at least 0 (0: none), min-fer in [0, 1],
// frames-per-graph and threads at least 1.
std::string simulationfault(const simulationinputs &inputs, const simulationsettings &settings,
                            const std::string &prefix);

// Puts the points into settings as channel parameters (sigma for Eb/N0,
// with Eb/N0 kept beside them; Eb/N0 beside sigma where the rate gives it)
// and sets the channel. The rate is the given one or else designrate;
// Eb/N0 points need one in (0, 1], and the message says to give it.
std::string setchannelpoints(const simulationinputs &inputs, double designrate,
                             const std::string &prefix, simulationsettings *settings);

}  // namespace ldpc

#endif
