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
// The all-zero codeword is sent, unless a frame source is given: it draws
// each frame's channel LLRs and the codeword sent from the frame's state
// (a real codeword, another modulation, fading), and errors are counted
// against that codeword, information bits (infopositions) apart. A frame
// error is a frame with a bit error, an undecided bit counting as an error;
// it is undetected when the decision nevertheless satisfies every check
// (another codeword).
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
  double maxseconds = 60.0;       // wall clock per point; 0: no limit
  double minfer = 0.0;            // stop the sweep after a point below this FER
  bool stopwithouterrors = true;  // stop the sweep after a point without frame errors
  int framespergraph = 1000;      // ensemble: frames decoded on each graph
  int threads = 1;
  std::uint64_t seed = 1;
  // The frame source, empty for the all-zero word through channelframe:
  // framesource(point, state, llr, sent) fills the n LLRs and the n bytes
  // of the codeword sent (0 or 1) of the frame whose state is given. Called
  // from every worker thread at once. Fixed codes only.
  std::function<void(int, std::uint64_t, double *, std::uint8_t *)> framesource;
  std::vector<int> infopositions;  // with a frame source: the information bits
  // Decodes the frames of a fixed code in place of decoder::decode, filling
  // what it fills (such as the one-frame decoder of quasi-cyclic codes,
  // whose results equal the batched layered decoder's); called from every
  // worker thread at once. Empty: the decoder of the run's options. The
  // decoder is built all the same (its length and checks serve the run).
  std::function<void(const double *llr, int frames, const decodeoutputs &out)> framedecoder;
};

// Why a point stopped: its frame errors reached maxerrors, its frames
// maxframes, or its time maxseconds.
enum class pointstop { errors, frames, seconds };
// "errors", "frames", "time".
const char *pointstopname(pointstop reason);

// Why a sweep ended: after its last point, after a point below minfer, after
// a point without frame errors (stopwithouterrors), or cancelled.
enum class sweepend { lastpoint, minfer, noerrors, cancelled };

// How the bits on the channel reach the decoder of a code that does not
// send each of its bits once (punctured, shortened or repeated bits):
// channelbits channel LLRs are drawn per frame, todecoder makes the
// decoder's n inputs of them (called from every worker thread at once, so it
// must not change shared state), and counted[i] is 1 for each node whose
// wrong decision counts as a bit error (errors are counted over those, and
// the bit error rate is per counted bit).
struct framemap {
  int channelbits = 0;
  std::function<void(const double *channel, double *llr)> todecoder;
  std::vector<std::uint8_t> counted;
};

// The code: a fixed graph, or an ensemble drawn through the construction
// driver from a configured simulations record (newgraph 1,
// constructgraphonce 0; for a protograph, protograph already read). map,
// for a fixed graph only: how its bits are sent; null sends each bit once,
// in node order.
struct codesupply {
  const graphs *graph = nullptr;
  simulations *ensemble = nullptr;
  const framemap *map = nullptr;
};

// One point's result, as the table, JSON and CSV report it.
struct pointresult {
  int point = 0;
  double ebn0 = 0.0;       // awgn (NaN when not known)
  double parameter = 0.0;  // sigma, erasure or crossover
  std::int64_t frames = 0, frameerrors = 0, biterrors = 0, undetected = 0;
  double fer = 0.0, ferlow = 0.0, ferhigh = 0.0;  // Wilson score interval, 95%
  double ber = 0.0;
  std::int64_t infobiterrors = 0;  // with a frame source: errors in information bits
  double infober = 0.0;
  double iterations = 0.0;  // average per frame
  double mbps = 0.0;        // coded bits decoded (noise drawn) per microsecond of wall clock
  int graphs = 0;           // ensemble: graphs drawn for the point
  pointstop stopped = pointstop::frames;
  double seconds = 0.0;  // wall clock of the point so far
};

// Where a graph of an ensemble came from.
struct graphrecord {
  int point;
  std::int64_t firstframe;  // first frame of the point decoded on it
  unsigned short state[3];  // graph stream state it was built from
};

// The Wilson score interval of k successes in n trials at 95% (z = 1.959964).
void wilsoninterval(std::int64_t k, std::int64_t n, double *low, double *high);

// The counts of one block of a point and the seconds its decoding took.
// Blocks are numbered from 0 in frame order: blockframes frames each, for
// an ensemble cut at every graph's end, the point's last one at maxframes.
struct blockcounts {
  std::int64_t frames = 0, frameerrors = 0, biterrors = 0, undetected = 0, iterations = 0;
  double seconds = 0.0;
  std::int64_t infobiterrors = 0;  // with a frame source: errors in information bits
};

// How a block's counts are had: decoded, known from an earlier run (not
// decoded again), or absent (never decoded: the run fails with
// std::runtime_error when the stopping rule needs it).
enum class blockorigin { decode, known, absent };

// Hooks for a record of the run block by block (a ledger), all optional.
// With owns set the run is a shard: only the blocks it owns are decoded and
// counted, and a point stops when their frame errors reach maxerrors, at
// its last owned block before maxframes, or by time; the results are the
// owned blocks' counts (the sweep's rules still apply: a caller that needs
// every point sets them off).
struct blockhooks {
  // Asked on a worker thread before a block is decoded; known fills *counts.
  std::function<blockorigin(int point, std::int64_t block, blockcounts *counts)> lookup;
  // Whether an earlier run gave the point up at block (its time limit): the
  // point then stops by time at the first block so named. Calling thread.
  std::function<bool(int point, std::int64_t block)> givenup;
  // Each block decoded, as it finishes, on the worker thread that decoded
  // it; blocks decoded past the point's end too.
  std::function<void(int point, std::int64_t block, const blockcounts &counts)> decoded;
  // The point stopped by time before block: blocks 0 .. block - 1 count.
  std::function<void(int point, std::int64_t block)> timedout;
  std::function<bool(std::int64_t block)> owns;
};

// Called on the thread that called runsimulation. progress comes at most
// every 100 ms with the frames, frame errors and seconds of the point so
// far (blocks in any order: for display only); cancelled is asked before
// every block that thread decodes and before every graph is drawn.
struct simulationcallbacks {
  std::function<void(const pointresult &)> pointdone;  // a point finished
  std::function<void(const pointresult &)> progress;   // counts so far
  std::function<void(const graphrecord &)> graphdrawn;
  std::function<bool()> cancelled;  // true ends the run
  blockhooks blocks;
};

// Runs the points in order; returns the finished points, and in *end why
// the sweep ended when end is not null.
std::vector<pointresult> runsimulation(const simulationsettings &settings, const codesupply &code,
                                       const simulationcallbacks &callbacks = {},
                                       sweepend *end = nullptr);

// A single frame drawn again: its channel LLRs as the decoder takes them
// (through the code's map, when it has one), the unsatisfied checks per
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

// For engines that hand out blocks themselves (several processes): frames
// first .. first + count - 1 of point decoded on dec (its bits sent through
// map, or each once when null) and counted as the loop counts a block; safe
// to call from several threads on one decoder.
blockcounts decodeblockframes(const simulationsettings &settings, const decoder &dec,
                              const framemap *map, int point, std::int64_t first, int count);
// A point's result from its counted blocks as the loop reports it; mbps
// from the frames decoded (counted or not) of length bits over seconds of
// wall clock, the BER per counted bit (counted per frame).
pointresult summarisepoint(const simulationsettings &settings, int point, const blockcounts &total,
                           double seconds, std::int64_t decoded, int length, std::int64_t counted);

// The bits per frame whose errors count (map.counted set).
std::int64_t countedbits(const framemap &map);

}  // namespace ldpc

#endif
