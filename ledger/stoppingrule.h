// The stopping rule of a Monte-Carlo sweep as a pure function of block
// tallies, so that one process, a resumed run, a merge of shards and the
// coordinator of a cluster run all decide with the same code.
//
// Blocks: the frames of a point are cut into blocks numbered from 0 in frame
// order. For a fixed code block b holds frames b * blockframes ..
// (b + 1) * blockframes - 1, the last block cut at maxframes. For an
// ensemble that draws a fresh graph every graphframes frames, blocks never
// straddle two graphs: the frames of each graph are cut into
// ceil(graphframes / blockframes) blocks, the last one cut at the graph's
// end, and the point's last block at maxframes. A block is a unit of work
// whose tally (frames, frame errors, bit errors, undetected errors,
// iterations) is a function of (seed, point, block) alone.
//
// The rule: a point counts its blocks in frame order and ends after the
// first block that brings its frame errors to maxerrors or its frames to
// maxframes; blocks after it are decoded in vain and never count. A point
// may also end by being given up at a block (a time limit, say): it then
// counts the blocks before that one. The sweep ends after a point whose
// frame error rate (frame errors / frames, 0 without frames) is below
// minfer.
//
// Error policy: nothing here fails, prints or exits. Inputs out of the
// documented ranges give unspecified (but memory-safe) answers.
#ifndef LDPC_STOPPINGRULE_H
#define LDPC_STOPPINGRULE_H

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace ldpc {

// What one block, or a sum of blocks, counted.
struct blocktally {
  std::int64_t frames = 0, frameerrors = 0, biterrors = 0, undetected = 0, iterations = 0;
  double seconds = 0.0;            // wall clock spent decoding; reported, never decides anything
  std::int64_t infobiterrors = 0;  // errors in information bits (0 where a run counts none)
};

// The counts alike (seconds not compared).
bool samecounts(const blocktally &a, const blocktally &b);
// Adds the counts and seconds of block to sum.
void addtally(blocktally *sum, const blocktally &block);

// The block layout and the stopping rule of a sweep. maxerrors, maxframes
// and blockframes are at least 1; graphframes is 0 for a fixed code.
struct stoppingrule {
  std::int64_t maxerrors = 100;
  std::int64_t maxframes = 1000000;
  double minfer = 0.0;
  std::int64_t graphframes = 0;  // ensemble: frames decoded on each graph
  int blockframes = 64;
};

// Blocks of a point up to maxframes.
std::int64_t blockcount(const stoppingrule &rule);

// The frames of a block: the first frame and how many; count 0 for a
// block outside 0 .. blockcount - 1.
struct framespan {
  std::int64_t first = 0;
  int count = 0;
};
framespan blockspan(const stoppingrule &rule, std::int64_t block);

// How a point ended.
enum class pointend {
  running,    // not ended: more blocks are needed
  maxerrors,  // its frame errors reached maxerrors
  maxframes,  // its frames reached maxframes
  givenup,    // given up before either (see giveuppoint)
};
const char *pointendname(pointend end);  // "running", "maxerrors", "maxframes", "givenup"

// A point's blocks counted so far: blocks 0 .. blocks - 1, summed.
struct pointstate {
  blocktally total;
  std::int64_t blocks = 0;
  pointend end = pointend::running;
};

// Counts the point's next block (number state->blocks) and returns true
// when the point ends with it. A point that has ended counts nothing more
// (returns true, state unchanged).
bool countblock(const stoppingrule &rule, pointstate *state, const blocktally &block);

// Ends a running point where it stands: the blocks counted so far are the
// point's.
void giveuppoint(pointstate *state);

// Frame errors / frames of the point, 0 without frames.
double pointfer(const pointstate &state);

// Whether the sweep goes on after a point that has ended: false when the
// point's FER is below minfer.
bool sweepgoeson(const stoppingrule &rule, const pointstate &state);

// Counts, from where state stands, the blocks that blockat gives (null for
// a block not known) in frame order, until the point ends or a block is
// missing; returns the first missing block, -1 when the point ended. The
// point ends given up at the first block that givenup names, whether it is
// known or not (so that blocks finished after a point was given up never
// count). decidepoint and the cluster's coordinator both count this way.
using blocklookup = std::function<const blocktally *(std::int64_t block)>;
// Whether the block (of the point) will never come: the process that owns
// it gave it up. Null: every block may still come.
using givenupblocks = std::function<bool(int point, std::int64_t block)>;
std::int64_t advancepoint(const stoppingrule &rule, int point, pointstate *state,
                          const blocklookup &blockat, const givenupblocks &givenup = nullptr);

// One block of a point with its number.
struct numberedblock {
  std::int64_t block = 0;
  blocktally tally;
};

// What a point's known blocks decide: advancepoint from the start over
// blocks, sorted by number, each number once. A missing block that is not
// given up leaves the point running, with needed naming the block the rule
// waits for.
struct pointverdict {
  pointstate state;
  std::int64_t needed = -1;  // state.end == running: the first block missing
};
pointverdict decidepoint(const stoppingrule &rule, int point, std::span<const numberedblock> blocks,
                         const givenupblocks &givenup = nullptr);

// The rule over a sweep of points points, with blocksof(p) the known
// blocks of point p as decidepoint takes them. points holds the verdict of
// every point the sweep reaches, in order; complete tells that the sweep's
// result is known: every point in points has ended, and either the last
// one ends the sweep (minfer) or it is the last point. When not complete
// the last entry of points is the running point.
struct sweepverdict {
  std::vector<pointverdict> points;
  bool complete = false;
};
sweepverdict decidesweep(const stoppingrule &rule, int points,
                         const std::function<std::span<const numberedblock>(int)> &blocksof,
                         const givenupblocks &givenup = nullptr);

}  // namespace ldpc

#endif
