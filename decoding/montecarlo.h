// The Monte-Carlo loop of a decoding simulation: frame error rate, bit error
// rate and iterations of a decoder over a list of channel points, for one
// code or for an ensemble whose graphs are drawn afresh as the frames go.
//
// Counts are a function of the seed alone. Frame f of point p draws its
// noise from streamstate(seed, p, f) (channel.h). Frames are tallied in
// blocks of blockframes in frame order; a point stops after the first block
// that brings its frame errors to maxerrors or its frames to maxframes, so
// the thread count changes which frames are decoded in vain, never which
// ones count. Blocks are handed out in frame order, and none after the
// point's wall-clock limit (maxseconds) has passed: a point stopped by time
// counts every block handed out, frames 0 .. frames - 1, so how many frames
// it has depends on the machine, but its counts are still those of its
// frames alone (run again with that --max-frames and no time limit, the
// point gives the same counts). For an ensemble the graph stream (the library's graphsimrand)
// is set to streamstate(seed, p, -1) at the start of point p, and the
// construction driver draws graph k of the point, used for frames
// k * framespergraph .. (k + 1) * framespergraph - 1, from where graph k - 1
// left the stream. Every graph's starting state is recorded, so any graph
// can be built again (tanner construct --seed).
//
// A run can be cancelled (simulationcallbacks::cancelled, asked on the
// calling thread between blocks): the blocks in flight finish, the point
// they belong to is dropped, and the points finished before it are
// returned.
//
// The all-zero codeword is sent. A frame error is a frame with a bit error,
// an undecided bit counting as an error; it is undetected when the decision
// nevertheless satisfies every check (another codeword).
//
// Error policy: the decoder's exceptions (std::invalid_argument) pass
// through, and so do std::bad_alloc and what a callback throws, on the
// calling thread once every worker has stopped; the construction driver
// ends the process on its own failures.
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

// The defaults are those of tanner simulate and of the Python package: a
// point ends at 100 frame errors, 10^6 frames or 60 seconds, and the sweep
// after the first point without frame errors, so that a sweep of a long code
// ends in minutes.
struct simulationsettings {
  channeltype channel = channeltype::awgn;
  std::vector<double> parameters;  // per point: sigma, erasure or crossover
  std::vector<double> ebn0;        // awgn: Eb/N0 (dB) per point, for the report
  decoderoptions decoder;
  std::int64_t maxerrors = 100;
  std::int64_t maxframes = 1000000;
  double maxseconds = 60.0;   // wall clock per point; 0: no limit
  double minfer = 0.0;        // stop the sweep after a point below this FER
  bool stopwithouterrors = true;  // stop the sweep after a point without frame errors
  int framespergraph = 1000;  // ensemble: frames decoded on each graph
  int threads = 1;
  std::uint64_t seed = 1;
};

// Why a point stopped: its frame errors reached maxerrors, its frames
// maxframes, or its time maxseconds.
enum class pointstop { errors, frames, seconds };
// "errors", "frames", "time".
const char *pointstopname(pointstop reason);

// Why a sweep ended: after its last point, after a point below minfer, after
// a point without frame errors (stopwithouterrors), or cancelled.
enum class sweepend { lastpoint, minfer, noerrors, cancelled };

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
  pointstop stopped = pointstop::frames;
  double seconds = 0.0;     // wall clock of the point so far
};

// Where a graph of an ensemble came from.
struct graphrecord {
  int point;
  std::int64_t firstframe;  // first frame of the point decoded on it
  unsigned short state[3];  // graph stream state it was built from
};

// The Wilson score interval of k successes in n trials at 95% (z = 1.959964).
void wilsoninterval(std::int64_t k, std::int64_t n, double *low, double *high);

// Called on the thread that called runsimulation. progress comes at most
// every 100 ms with the frames, frame errors and seconds of the point so
// far (blocks in any order: for display only); cancelled is asked before
// every block that thread decodes and before every graph is drawn.
struct simulationcallbacks {
  std::function<void(const pointresult &)> pointdone;  // a point finished
  std::function<void(const pointresult &)> progress;   // counts so far
  std::function<void(const graphrecord &)> graphdrawn;
  std::function<bool()> cancelled;                     // true ends the run
};

// Runs the points in order; returns the finished points, and in *end why
// the sweep ended when end is not null.
std::vector<pointresult> runsimulation(const simulationsettings &settings, const codesupply &code,
                                       const simulationcallbacks &callbacks = {},
                                       sweepend *end = nullptr);

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
