// Oracles for the stopping rule, the ledger, the merge and the cluster
// engine: blocks decoded as the Monte-Carlo loop decodes them, written out
// again here; block tallies made up from a hash of (seed, point, block);
// and the sweep written as a plain loop over all blocks in frame order.
#ifndef LDPC_TESTS_BLOCKORACLE_H
#define LDPC_TESTS_BLOCKORACLE_H

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "channel.h"
#include "decoder.h"
#include "montecarlo.h"
#include "randomstream.h"
#include "simulation.h"
#include "stoppingrule.h"

namespace testsupport {

// A block layout and stopping rule.
inline ldpc::stoppingrule makerule(std::int64_t maxerrors, std::int64_t maxframes, double minfer,
                                   std::int64_t graphframes = 0, int blockframes = 64) {
  return {.maxerrors = maxerrors,
          .maxframes = maxframes,
          .minfer = minfer,
          .graphframes = graphframes,
          .blockframes = blockframes};
}

// The (3,6) ensemble of the irregular construction with n variable nodes,
// and a graph of it built on demand (released with the object).
struct regular36 {
  int vdeg[1] = {3}, cdeg[1] = {6};
  double vfrac[1] = {1.0}, cfrac[1] = {1.0};
  ldpc::simulations sim{};
  ldpc::graphs graph{};
  explicit regular36(int n) {
    sim.newgraph = 1;
    sim.length = n;
    sim.vdegreesnum = sim.cdegreesnum = 1;
    sim.vdegreelist = vdeg;
    sim.cdegreelist = cdeg;
    sim.vpercentagelist = vfrac;
    sim.cpercentagelist = cfrac;
  }
  ~regular36() { ldpc::freegraph(&graph); }
  regular36(const regular36 &) = delete;
  regular36 &operator=(const regular36 &) = delete;
  // The graph drawn from the graph stream set to state.
  ldpc::graphs *build(std::uint64_t state) {
    ldpc::freegraph(&graph);
    graph = ldpc::graphs{};
    ldpc::storestate(ldpc::graphsimrand, state);
    ldpc::constructirregulargraph(&graph, &sim);
    return &graph;
  }
};

// Frames first .. first + count - 1 of a point decoded on dec and counted:
// a frame error is a frame with a wrong or undecided bit, undetected when
// the decision satisfies every check.
inline ldpc::blocktally decodeframes(const ldpc::simulationsettings &s, const ldpc::decoder &dec,
                                     int point, std::int64_t first, int count) {
  const std::size_t n = dec.length();
  std::vector<double> llr(n * count);
  std::vector<std::uint8_t> decisions(n * count), satisfied(count);
  std::vector<std::int32_t> iterations(count), undecided(count);
  for (int j = 0; j < count; ++j)
    ldpc::channelframe(s.channel, s.parameters[point], ldpc::streamstate(s.seed, point, first + j),
                       static_cast<int>(n), llr.data() + j * n);
  ldpc::decodeoutputs out;
  out.decisions = decisions.data();
  out.satisfied = satisfied.data();
  out.iterations = iterations.data();
  out.undecided = undecided.data();
  dec.decode(llr.data(), count, out, 1);
  ldpc::blocktally t;
  t.frames = count;
  for (int j = 0; j < count; ++j) {
    std::int64_t wrong = undecided[j];
    for (std::size_t i = 0; i < n; ++i) wrong += decisions[j * n + i];
    t.biterrors += wrong;
    t.frameerrors += wrong > 0;
    t.undetected += wrong > 0 && satisfied[j] != 0;
    t.iterations += iterations[j];
  }
  return t;
}

// The rule of a run of runsimulation on a fixed code.
inline ldpc::stoppingrule ruleof(const ldpc::simulationsettings &s) {
  return makerule(s.maxerrors, s.maxframes, s.minfer, 0, ldpc::blockframes);
}

// 64-bit mix of three numbers (the finaliser of splitmix64).
inline std::uint64_t mix3(std::uint64_t a, std::uint64_t b, std::uint64_t c) {
  std::uint64_t z = a * 0x9E3779B97F4A7C15ULL ^
                    (b + 0x632BE59BD9B4E019ULL) * 0xBF58476D1CE4E5B9ULL ^
                    (c + 0x8CB92BA72F3D8DD7ULL) * 0x94D049BB133111EBULL;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

// A made-up block of the layout of rule: each frame fails with probability
// fer (drawn from a hash of seed, point and frame), with 1 .. 8 bit errors
// of which none, or one frame in four, undetected; 1 .. 20 iterations.
inline ldpc::blocktally madeupblock(const ldpc::stoppingrule &rule, std::uint64_t seed, int point,
                                    std::int64_t block, double fer) {
  const ldpc::framespan span = ldpc::blockspan(rule, block);
  ldpc::blocktally t;
  t.frames = span.count;
  for (std::int64_t f = span.first; f < span.first + span.count; ++f) {
    const std::uint64_t h =
        mix3(seed, static_cast<std::uint64_t>(point), static_cast<std::uint64_t>(f));
    const double u = static_cast<double>(h >> 11) * (1.0 / 9007199254740992.0);
    t.iterations += 1 + static_cast<std::int64_t>(h % 20);
    if (u < fer) {
      t.frameerrors += 1;
      t.biterrors += 1 + static_cast<std::int64_t>((h >> 5) % 8);
      t.undetected += (h >> 9) % 4 == 0;
    }
  }
  t.seconds = 1e-4;
  return t;
}

// The sweep as a plain loop: points in order, blocks in frame order until
// the errors or the frames are reached, the sweep ended by a point below
// minfer. Returns each point's (totals, blocks).
struct plainpoint {
  ldpc::blocktally total;
  std::int64_t blocks = 0;
  bool byerrors = false;
};
inline std::vector<plainpoint> plainsweep(
    const ldpc::stoppingrule &rule, int points,
    const std::function<ldpc::blocktally(int, std::int64_t)> &block) {
  std::vector<plainpoint> result;
  for (int p = 0; p < points; ++p) {
    plainpoint r;
    for (std::int64_t b = 0;; ++b) {
      ldpc::blocktally t = block(p, b);
      r.total.frames += t.frames;
      r.total.frameerrors += t.frameerrors;
      r.total.biterrors += t.biterrors;
      r.total.undetected += t.undetected;
      r.total.iterations += t.iterations;
      r.blocks = b + 1;
      if (r.total.frameerrors >= rule.maxerrors) {
        r.byerrors = true;
        break;
      }
      if (r.total.frames >= rule.maxframes) break;
    }
    result.push_back(r);
    const double fer =
        static_cast<double>(r.total.frameerrors) / static_cast<double>(r.total.frames);
    if (fer < rule.minfer) break;
  }
  return result;
}

}  // namespace testsupport

#endif
