// The Monte-Carlo loop: points, blocks of frames over threads, the stopping
// rule, ensembles through the construction driver, and replays.
#include "montecarlo.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <exception>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "enumnames.h"
#include "partialgraph.h"

namespace ldpc {

namespace {

struct tally {
  std::int64_t frames = 0, frameerrors = 0, biterrors = 0, undetected = 0, iterations = 0;
  std::int64_t infobiterrors = 0;
  void add(const tally &other) {
    infobiterrors += other.infobiterrors;
    frames += other.frames;
    frameerrors += other.frameerrors;
    biterrors += other.biterrors;
    undetected += other.undetected;
    iterations += other.iterations;
  }
};

// A block's working memory, one per thread.
struct blockbuffers {
  std::vector<double> llr, channel;
  std::vector<std::uint8_t> decisions, satisfied, sent;
  std::vector<std::int32_t> iterations, undecided;
  std::vector<float> posteriors;
  void size(std::size_t n, std::size_t frames) {
    llr.resize(n * frames);
    decisions.resize(n * frames);
    satisfied.resize(frames);
    iterations.resize(frames);
    undecided.resize(frames);
  }
};

// The decoder's n inputs of frame state: the channel LLRs themselves, or
// through map the ones its sent bits give.
void drawframe(const simulationsettings &s, const framemap *map, int point, std::uint64_t state,
               int n, double *llr, std::vector<double> *channel) {
  if (map == nullptr) {
    channelframe(s.channel, s.parameters[point], state, n, llr);
    return;
  }
  channel->resize(static_cast<std::size_t>(std::max(1, map->channelbits)));
  channelframe(s.channel, s.parameters[point], state, map->channelbits, channel->data());
  map->todecoder(channel->data(), llr);
}

// The bits of one frame's decisions that count as errors.
std::int64_t countbiterrors(const framemap *map, const std::uint8_t *decisions, std::size_t n) {
  std::int64_t errors = 0;
  if (map == nullptr) {
    for (std::size_t i = 0; i < n; ++i) errors += decisions[i];
  } else {
    for (std::size_t i = 0; i < n; ++i) errors += decisions[i] & map->counted[i];
  }
  return errors;
}

// The bit errors of frame j against the codeword the frame source sent: a
// decision that differs or a posterior of exactly 0; those in information
// bits into *info.
std::int64_t senterrors(const simulationsettings &s, const blockbuffers &b, std::size_t n, int j,
                        std::int64_t *info) {
  const std::uint8_t *sent = b.sent.data() + j * n, *decided = b.decisions.data() + j * n;
  const float *posterior = b.posteriors.data() + j * n;
  auto wrong = [&](std::size_t i) { return decided[i] != sent[i] || posterior[i] == 0.0f; };
  std::int64_t errors = 0;
  for (std::size_t i = 0; i < n; ++i) errors += wrong(i);
  for (int i : s.infopositions) *info += wrong(i);
  return errors;
}

// Draws and decodes frames first .. first + count - 1 of a point.
tally decodeblock(const simulationsettings &s, const decoder &dec, const framemap *map, int point,
                  std::int64_t first, int count, blockbuffers *b) {
  const std::size_t n = dec.length();
  b->size(n, count);
  const bool source = static_cast<bool>(s.framesource);
  if (source) {
    b->sent.resize(n * count);
    b->posteriors.resize(n * count);
  }
  for (int j = 0; j < count; ++j) {
    const std::uint64_t state = streamstate(s.seed, point, first + j);
    if (source)
      s.framesource(point, state, b->llr.data() + j * n, b->sent.data() + j * n);
    else
      drawframe(s, map, point, state, static_cast<int>(n), b->llr.data() + j * n, &b->channel);
  }
  decodeoutputs out;
  out.decisions = b->decisions.data();
  out.satisfied = b->satisfied.data();
  out.iterations = b->iterations.data();
  out.undecided = b->undecided.data();
  if (source) out.posteriors = b->posteriors.data();
  if (s.framedecoder)
    s.framedecoder(b->llr.data(), count, out);
  else
    dec.decode(b->llr.data(), count, out, 1);
  tally t;
  t.frames = count;
  for (int j = 0; j < count; ++j) {
    const std::int64_t errors =
        source ? senterrors(s, *b, n, j, &t.infobiterrors)
               : b->undecided[j] + countbiterrors(map, b->decisions.data() + j * n, n);
    t.biterrors += errors;
    t.frameerrors += errors > 0;
    t.undetected += errors > 0 && b->satisfied[j] != 0;
    t.iterations += b->iterations[j];
  }
  return t;
}

// The graphs of an ensemble, drawn one after another through the driver.
class graphsource {
 public:
  explicit graphsource(simulations *ensemble) : ensemble_(ensemble) {
    // An empty record that is not marked "no graph" (-1): the driver then
    // takes every call as a re-construction from the stream as it stands,
    // and never reads the configuration's file names.
    graph_.vnodenum = 0;
  }
  ~graphsource() { freegraph(&graph_); }
  graphsource(const graphsource &) = delete;
  graphsource &operator=(const graphsource &) = delete;

  void startpoint(std::uint64_t seed, int point) {
    storestate48(graphsimrand, streamstate(seed, point, -1));
    drawn_ = 0;
  }
  const graphs *next(int point, std::int64_t firstframe, graphrecord *record) {
    // The previous graph goes first, its pointers cleared, so that a
    // construction cut short (std::bad_alloc in a host whose allocations
    // throw) leaves only lists of its own for the destructor; the driver's
    // own release then finds nothing.
    releasepartialgraph(&graph_, graph_.vnodenum, graph_.cnodenum);
    randomizes randomize{};
    encoders encoder{};
    encoder.gap = -1;
    reruns rerun{};
    constructgraph(ensemble_, &graph_, &randomize, &encoder, &rerun, drawn_++, 1);
    record->point = point;
    record->firstframe = firstframe;
    std::copy(randomize.graphsimrand, randomize.graphsimrand + 3, record->state);
    return &graph_;
  }

 private:
  static void storestate48(unsigned short words[3], std::uint64_t state) {
    for (int k = 0; k < 3; ++k) words[k] = static_cast<unsigned short>(state >> (16 * k));
  }
  simulations *ensemble_;
  graphs graph_{};
  int drawn_ = 0;
};

pointresult summarise(const simulationsettings &s, int point, const tally &t, double seconds,
                      std::int64_t decoded, int n, std::int64_t counted) {
  pointresult r;
  r.point = point;
  r.ebn0 = point < static_cast<int>(s.ebn0.size()) ? s.ebn0[point] : std::nan("");
  r.parameter = s.parameters[point];
  r.frames = t.frames;
  r.frameerrors = t.frameerrors;
  r.biterrors = t.biterrors;
  r.undetected = t.undetected;
  r.fer = t.frames > 0 ? static_cast<double>(t.frameerrors) / t.frames : 0.0;
  wilsoninterval(t.frameerrors, t.frames, &r.ferlow, &r.ferhigh);
  r.ber = t.frames > 0 && counted > 0
              ? static_cast<double>(t.biterrors) / (static_cast<double>(t.frames) * counted)
              : 0.0;
  r.infobiterrors = t.infobiterrors;
  const double infobits = static_cast<double>(t.frames) * s.infopositions.size();
  r.infober = infobits > 0 ? static_cast<double>(t.infobiterrors) / infobits : 0.0;
  r.iterations = t.frames > 0 ? static_cast<double>(t.iterations) / t.frames : 0.0;
  r.mbps = seconds > 0 ? static_cast<double>(decoded) * n / seconds / 1e6 : 0.0;
  return r;
}

}  // namespace

void wilsoninterval(std::int64_t k, std::int64_t n, double *low, double *high) {
  if (n <= 0) {
    *low = 0.0;
    *high = 1.0;
    return;
  }
  const double z = 1.959963984540054;
  const double p = static_cast<double>(k) / n, nn = static_cast<double>(n);
  const double denominator = 1 + z * z / nn;
  const double centre = (p + z * z / (2 * nn)) / denominator;
  const double half = z / denominator * std::sqrt(p * (1 - p) / nn + z * z / (4 * nn * nn));
  // The bounds at k = 0 and k = n are exactly 0 and 1; rounding would leave
  // a few ulps there.
  *low = k == 0 ? 0.0 : std::max(0.0, centre - half);
  *high = k == n ? 1.0 : std::min(1.0, centre + half);
}

const char *pointstopname(pointstop reason) {
  static const char *const names[] = {"errors", "frames", "time"};
  return enumname(names, reason);
}

namespace {

using clock = std::chrono::steady_clock;

double secondssince(clock::time_point start) {
  return std::chrono::duration<double>(clock::now() - start).count();
}

// One point as it runs: the blocks counted so far in frame order, the
// frames decoded in all, and why it stopped.
struct pointrun {
  int point = 0;
  clock::time_point start;
  tally total;
  std::int64_t frame = 0, decoded = 0;
  std::int64_t blocks = 0;    // blocks passed: counted, or not owned by a shard
  std::int64_t givenup = -1;  // the block an earlier run gave the point up at
  bool stop = false, cancelled = false;
  pointstop reason = pointstop::frames;
  clock::time_point lastprogress;
};

// Shared by the workers of one segment.
struct segmentblock {
  std::int64_t first = 0;  // first frame
  int count = 0;           // frames
  std::int64_t index = 0;  // block number in the point
};

struct segmentwork {
  std::vector<segmentblock> blocks;
  std::int64_t endframe = 0, endindex = 0;  // where the segment's range ends
  std::vector<tally> tallies;
  std::vector<std::uint8_t> known;  // counts taken from the hooks, not decoded
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> absent{SIZE_MAX};  // the first block the hooks have not
  std::atomic<bool> halt{false};
  std::atomic<std::int64_t> frames{0}, frameerrors{0};  // for progress only
  std::mutex faultlock;
  std::exception_ptr fault;
};

// The point's counts so far for progress: the counted blocks and those of
// the segment decoded so far, in whatever order they finished.
void reportprogress(const simulationsettings &s, const simulationcallbacks &callbacks,
                    pointrun *run, const segmentwork &work, int n) {
  if (!callbacks.progress) return;
  tally sofar = run->total;
  sofar.frames += work.frames.load();
  sofar.frameerrors += work.frameerrors.load();
  pointresult r = summarise(s, run->point, sofar, 0.0, 0, n, n);
  r.seconds = secondssince(run->start);
  run->lastprogress = clock::now();
  callbacks.progress(r);
}

tally fromcounts(const blockcounts &c) {
  return {c.frames, c.frameerrors, c.biterrors, c.undetected, c.iterations, c.infobiterrors};
}

// Block k of the segment: known from the hooks, or decoded (and handed to
// them); false when the hooks have it absent.
bool takeblock(const simulationsettings &s, const decoder &dec, const framemap *map,
               const blockhooks &hooks, int point, std::size_t k, blockbuffers *buffers,
               segmentwork *work) {
  const segmentblock &b = work->blocks[k];
  blockcounts counts;
  const blockorigin origin =
      hooks.lookup ? hooks.lookup(point, b.index, &counts) : blockorigin::decode;
  if (origin == blockorigin::absent) {
    std::size_t seen = work->absent.load();
    while (k < seen && !work->absent.compare_exchange_weak(seen, k)) {
    }
    work->halt = true;
    return false;
  }
  if (origin == blockorigin::known) {
    work->tallies[k] = fromcounts(counts);
    work->known[k] = 1;
    return true;
  }
  const clock::time_point start = clock::now();
  const tally t = decodeblock(s, dec, map, point, b.first, b.count, buffers);
  work->tallies[k] = t;
  if (hooks.decoded)
    hooks.decoded(point, b.index,
                  {t.frames, t.frameerrors, t.biterrors, t.undetected, t.iterations,
                   secondssince(start), t.infobiterrors});
  return true;
}

// Decodes the segment's blocks over the threads. Blocks are handed out in
// order, and none once the run is cancelled or the point's time is up
// (except the point's first), so that the blocks decoded are always the
// first work.next of the segment. The calling thread is worker 0: it alone
// asks cancelled and reports progress. A fault in any worker stops the
// others and is rethrown here once all have stopped.
void runsegment(const simulationsettings &s, const decoder &dec, const framemap *map,
                const simulationcallbacks &callbacks, std::vector<blockbuffers> *buffers,
                pointrun *run, segmentwork *work) {
  const bool first = run->frame == 0;
  auto worker = [&](int t) {
    try {
      for (;;) {
        if (t == 0 && callbacks.cancelled && callbacks.cancelled()) {
          run->cancelled = true;
          work->halt = true;
        }
        const bool timeup = s.maxseconds > 0 && secondssince(run->start) >= s.maxseconds &&
                            !(first && work->next.load() == 0);
        if (timeup) work->halt = true;
        if (work->halt) break;
        const std::size_t k = work->next++;
        if (k >= work->blocks.size()) break;
        if (!takeblock(s, dec, map, callbacks.blocks, run->point, k, &(*buffers)[t], work)) break;
        work->frames += work->tallies[k].frames;
        work->frameerrors += work->tallies[k].frameerrors;
        if (t == 0 && clock::now() - run->lastprogress >= std::chrono::milliseconds(100))
          reportprogress(s, callbacks, run, *work, dec.length());
      }
    } catch (...) {
      std::lock_guard<std::mutex> hold(work->faultlock);
      if (!work->fault) work->fault = std::current_exception();
      work->halt = true;
    }
  };
  const int used =
      std::min<int>(static_cast<int>(buffers->size()), static_cast<int>(work->blocks.size()));
  std::vector<std::thread> pool;
  for (int t = 1; t < used; ++t) pool.emplace_back(worker, t);
  worker(0);
  for (std::thread &thread : pool) thread.join();
  if (work->fault) std::rethrow_exception(work->fault);
}

// The stopping rule over the blocks decoded, block by block in frame order;
// then the time limit, and an earlier run's give-up.
void countsegment(const simulationsettings &s, const segmentwork &work, pointrun *run) {
  const std::size_t decoded = std::min({work.next.load(), work.blocks.size(), work.absent.load()});
  for (std::size_t k = 0; k < decoded; ++k) {
    if (!work.known[k]) run->decoded += work.blocks[k].count;
    if (run->stop) continue;
    run->total.add(work.tallies[k]);
    run->frame = work.blocks[k].first + work.blocks[k].count;
    run->blocks = work.blocks[k].index + 1;
    if (run->total.frameerrors >= s.maxerrors) {
      run->stop = true;
      run->reason = pointstop::errors;
    } else if (run->total.frames >= s.maxframes) {
      run->stop = true;
      run->reason = pointstop::frames;
    }
  }
  if (!run->stop && decoded == work.blocks.size()) {
    run->frame = work.endframe;
    run->blocks = work.endindex;
  }
  if (!run->stop && s.maxseconds > 0 && secondssince(run->start) >= s.maxseconds) {
    run->stop = true;
    run->reason = pointstop::seconds;
  }
  if (!run->stop && run->givenup >= 0 && run->blocks >= run->givenup) {
    run->stop = true;
    run->reason = pointstop::seconds;
  }
  if (!run->stop && decoded == work.absent.load())
    throw std::runtime_error("block " + std::to_string(work.blocks[decoded].index) + " of point " +
                             std::to_string(run->point) + " is needed and not known");
}

// The segment's blocks: up to segmentblocks blocks (those a shard owns) from
// run->frame, not past limit nor an earlier run's give-up.
void plansegment(const blockhooks &hooks, int segmentblocks, std::int64_t limit, pointrun *run,
                 segmentwork *work) {
  std::int64_t f = run->frame, index = run->blocks;
  while (static_cast<int>(work->blocks.size()) < segmentblocks && f < limit) {
    if (run->givenup < 0 && hooks.givenup && hooks.givenup(run->point, index)) run->givenup = index;
    if (run->givenup >= 0 && index >= run->givenup) break;
    const int count = static_cast<int>(std::min<std::int64_t>(blockframes, limit - f));
    if (!hooks.owns || hooks.owns(index)) work->blocks.push_back({f, count, index});
    f += count;
    ++index;
  }
  work->endframe = f;
  work->endindex = index;
  work->tallies.resize(work->blocks.size());
  work->known.assign(work->blocks.size(), 0);
}

// Runs one point; false when the run was cancelled during it.
bool runpoint(const simulationsettings &s, const decoder *fixed, const framemap *map,
              graphsource *source, const simulationcallbacks &callbacks,
              std::vector<blockbuffers> *buffers, int point, pointresult *result) {
  pointrun run;
  run.point = point;
  run.start = run.lastprogress = clock::now();
  if (source) source->startpoint(s.seed, point);
  std::unique_ptr<decoder> drawn;
  const decoder *dec = fixed;
  std::int64_t graphend = 0;
  int graphcount = 0, segmentblocks = 1;
  const blockhooks &hooks = callbacks.blocks;
  while (!run.stop) {
    if (run.givenup < 0 && hooks.givenup && hooks.givenup(point, run.blocks))
      run.givenup = run.blocks;
    if (run.givenup >= 0 && run.blocks >= run.givenup) {
      run.stop = true;
      run.reason = pointstop::seconds;
      break;
    }
    // A fresh graph every framespergraph frames.
    if (source && run.frame >= graphend) {
      if (callbacks.cancelled && callbacks.cancelled()) return false;
      graphrecord record;
      const graphs *graph = source->next(point, run.frame, &record);
      drawn = std::make_unique<decoder>(graph, s.decoder);
      dec = drawn.get();
      graphend = run.frame + std::max(1, s.framespergraph);
      ++graphcount;
      if (callbacks.graphdrawn) callbacks.graphdrawn(record);
    }
    // The segment: up to segmentblocks blocks, not past the graph or
    // maxframes; it doubles up to 64 blocks, so that points that stop soon
    // decode little in vain.
    const std::int64_t limit = source ? std::min(s.maxframes, graphend) : s.maxframes;
    segmentwork work;
    plansegment(hooks, segmentblocks, limit, &run, &work);
    if (run.givenup >= 0 && run.blocks >= run.givenup) {
      run.stop = true;
      run.reason = pointstop::seconds;
      break;
    }
    if (work.endframe == run.frame) break;  // a shard past its last block
    segmentblocks = std::min(2 * segmentblocks, 64);
    if (!work.blocks.empty())
      runsegment(s, *dec, source ? nullptr : map, callbacks, buffers, &run, &work);
    if (run.cancelled) return false;
    countsegment(s, work, &run);
    reportprogress(s, callbacks, &run, segmentwork{}, dec->length());
  }
  if (run.reason == pointstop::seconds && run.givenup < 0 && hooks.timedout)
    hooks.timedout(point, run.blocks);
  const int n = dec != nullptr ? dec->length() : 0;
  const std::int64_t counted = map != nullptr && source == nullptr ? countedbits(*map) : n;
  *result = summarise(s, point, run.total, secondssince(run.start), run.decoded, n, counted);
  result->graphs = graphcount;
  result->stopped = run.reason;
  result->seconds = secondssince(run.start);
  return true;
}

}  // namespace

std::vector<pointresult> runsimulation(const simulationsettings &s, const codesupply &code,
                                       const simulationcallbacks &callbacks, sweepend *end) {
  std::vector<pointresult> results;
  std::unique_ptr<decoder> fixed;
  if (code.graph != nullptr) fixed = std::make_unique<decoder>(code.graph, s.decoder);
  std::unique_ptr<graphsource> source;
  if (code.ensemble != nullptr) source = std::make_unique<graphsource>(code.ensemble);
  std::vector<blockbuffers> buffers(std::max(1, s.threads));
  sweepend ending = sweepend::lastpoint;
  for (int point = 0; point < static_cast<int>(s.parameters.size()); ++point) {
    pointresult r;
    if (!runpoint(s, fixed.get(), code.map, source.get(), callbacks, &buffers, point, &r)) {
      ending = sweepend::cancelled;
      break;
    }
    results.push_back(r);
    if (callbacks.pointdone) callbacks.pointdone(r);
    if (r.fer < s.minfer) {
      ending = sweepend::minfer;
      break;
    }
    if (s.stopwithouterrors && r.frameerrors == 0) {
      ending = sweepend::noerrors;
      break;
    }
  }
  // The last point's stop ends the sweep as well; it is not a reason of its
  // own when no point follows.
  if (ending != sweepend::cancelled && results.size() == s.parameters.size())
    ending = sweepend::lastpoint;
  if (end != nullptr) *end = ending;
  return results;
}

replayresult replayframe(const simulationsettings &s, const codesupply &code, int point,
                         std::int64_t frame) {
  replayresult r;
  const graphs *graph = code.graph;
  std::unique_ptr<graphsource> source;
  if (code.ensemble != nullptr) {
    // The point's graphs up to the one that served this frame.
    source = std::make_unique<graphsource>(code.ensemble);
    source->startpoint(s.seed, point);
    const int per = std::max(1, s.framespergraph);
    for (std::int64_t k = 0; k <= frame / per; ++k) graph = source->next(point, k * per, &r.graph);
  }
  decoder dec(graph, s.decoder);
  const int n = dec.length();
  r.llr.resize(n);
  r.decision.resize(n);
  const framemap *map = code.ensemble == nullptr ? code.map : nullptr;
  std::vector<double> channel;
  std::vector<std::uint8_t> sent(n, 0);
  std::vector<float> posteriors(n);
  const std::uint64_t state = streamstate(s.seed, point, frame);
  if (s.framesource)
    s.framesource(point, state, r.llr.data(), sent.data());
  else
    drawframe(s, map, point, state, n, r.llr.data(), &channel);
  std::uint8_t satisfied = 0;
  std::int32_t iterations = 0, undecided = 0;
  decodeoutputs out;
  out.decisions = r.decision.data();
  out.satisfied = &satisfied;
  out.iterations = &iterations;
  out.undecided = &undecided;
  out.posteriors = posteriors.data();
  r.unsatisfied = dec.trace(r.llr.data(), out);
  r.satisfied = satisfied != 0;
  r.iterations = iterations;
  r.undecided = undecided;
  if (s.framesource) {
    r.biterrors = 0;
    for (int i = 0; i < n; ++i) r.biterrors += r.decision[i] != sent[i] || posteriors[i] == 0.0f;
  } else {
    r.biterrors = undecided + countbiterrors(map, r.decision.data(), r.decision.size());
  }
  return r;
}

blockcounts decodeblockframes(const simulationsettings &settings, const decoder &dec,
                              const framemap *map, int point, std::int64_t first, int count) {
  thread_local blockbuffers buffers;
  const tally t = decodeblock(settings, dec, map, point, first, count, &buffers);
  return {t.frames, t.frameerrors, t.biterrors, t.undetected, t.iterations, 0.0, t.infobiterrors};
}

pointresult summarisepoint(const simulationsettings &settings, int point, const blockcounts &total,
                           double seconds, std::int64_t decoded, int length, std::int64_t counted) {
  return summarise(settings, point, fromcounts(total), seconds, decoded, length, counted);
}

std::int64_t countedbits(const framemap &map) {
  return std::count(map.counted.begin(), map.counted.end(), std::uint8_t{1});
}

}  // namespace ldpc
