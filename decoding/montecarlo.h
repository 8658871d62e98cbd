// The Monte-Carlo loop of a decoding simulation: frame error rate, bit error
// rate and iterations of a decoder over a list of channel points, for one
// code or for an ensemble whose graphs are drawn afresh as the frames go.
//
// Counts are a function of the seed alone. Frame f of point p draws its
// noise from streamstate(seed, p, f) (channel.h). Frames are tallied in
// blocks of blockframes in frame order; a point stops after the first block
// that brings its frame errors to maxerrors or its frames to maxframes, so
// the thread count changes which frames are decoded in vain, never which
// ones count. For an ensemble the graph stream (the library's graphsimrand)
// is set to streamstate(seed, p, -1) at the start of point p, and the
// construction driver draws graph k of the point, used for frames
// k * framespergraph .. (k + 1) * framespergraph - 1, from where graph k - 1
// left the stream. Every graph's starting state is recorded, so any graph
// can be built again (tanner construct --seed).
//
// The all-zero codeword is sent. A frame error is a frame with a bit error,
// an undecided bit counting as an error; it is undetected when the decision
// nevertheless satisfies every check (another codeword).
//
// Error policy: the decoder's exceptions (std::invalid_argument) pass
// through; the construction driver ends the process on its own failures.
#ifndef LDPC_MONTECARLO_H
#define LDPC_MONTECARLO_H

#include <cstdint>
#include <functional>
#include <vector>

#include "channel.h"
#include "decoder.h"
#include "simulation.h"

namespace ldpc {

constexpr int blockframes = 64;

struct simulationsettings {
  channeltype channel = channeltype::awgn;
  std::vector<double> parameters;  // per point: sigma, erasure or crossover
  std::vector<double> ebn0;        // awgn: Eb/N0 (dB) per point, for the report
  decoderoptions decoder;
  std::int64_t maxerrors = 100;
  std::int64_t maxframes = 1000000;
  double minfer = 0.0;        // stop the sweep after a point below this FER
  int framespergraph = 1000;  // ensemble: frames decoded on each graph
  int threads = 1;
  std::uint64_t seed = 1;
};

// The code: a fixed graph, or an ensemble drawn through the construction
// driver from a configured simulations record (newgraph 1,
// constructgraphonce 0; for a protograph, protograph already read).
struct codesupply {
  const graphs *graph = nullptr;
  simulations *ensemble = nullptr;
};

// One point's result, as the table, JSON and CSV report it.
struct pointresult {
  int point = 0;
  double ebn0 = 0.0;       // awgn (NaN when not known)
  double parameter = 0.0;  // sigma, erasure or crossover
  std::int64_t frames = 0, frameerrors = 0, biterrors = 0, undetected = 0;
  double fer = 0.0, ferlow = 0.0, ferhigh = 0.0;  // Wilson score interval, 95%
  double ber = 0.0;
  double iterations = 0.0;  // average per frame
  double mbps = 0.0;        // coded bits decoded (noise drawn) per microsecond of wall clock
  int graphs = 0;           // ensemble: graphs drawn for the point
};

// Where a graph of an ensemble came from.
struct graphrecord {
  int point;
  std::int64_t firstframe;  // first frame of the point decoded on it
  unsigned short state[3];  // graph stream state it was built from
};

// The Wilson score interval of k successes in n trials at 95% (z = 1.959964).
void wilsoninterval(std::int64_t k, std::int64_t n, double *low, double *high);

struct simulationcallbacks {
  std::function<void(const pointresult &)> pointdone;  // a point finished
  std::function<void(const pointresult &)> progress;   // counts so far
  std::function<void(const graphrecord &)> graphdrawn;
};

// Runs the points in order; returns the finished points (the sweep stops
// after a point with FER below minfer).
std::vector<pointresult> runsimulation(const simulationsettings &settings, const codesupply &code,
                                       const simulationcallbacks &callbacks = {});

// A single frame drawn again: its channel LLRs, the unsatisfied checks per
// iteration (decoder::trace) and its decision.
struct replayresult {
  std::vector<double> llr;
  std::vector<int> unsatisfied;
  std::vector<std::uint8_t> decision;
  bool satisfied = false;
  int iterations = 0;
  int undecided = 0;
  std::int64_t biterrors = 0;
  graphrecord graph{};  // ensemble: the graph it was decoded on
};
replayresult replayframe(const simulationsettings &settings, const codesupply &code, int point,
                         std::int64_t frame);

}  // namespace ldpc

#endif
