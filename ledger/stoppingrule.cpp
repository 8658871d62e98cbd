// The stopping rule: block layout, counting a point block by block, and the
// verdict over known blocks with gaps.
#include "stoppingrule.h"

#include <algorithm>

#include "enumnames.h"

namespace ldpc {

bool samecounts(const blocktally &a, const blocktally &b) {
  return a.frames == b.frames && a.frameerrors == b.frameerrors && a.biterrors == b.biterrors &&
         a.undetected == b.undetected && a.iterations == b.iterations &&
         a.infobiterrors == b.infobiterrors;
}

void addtally(blocktally *sum, const blocktally &block) {
  sum->frames += block.frames;
  sum->frameerrors += block.frameerrors;
  sum->biterrors += block.biterrors;
  sum->undetected += block.undetected;
  sum->iterations += block.iterations;
  sum->seconds += block.seconds;
  sum->infobiterrors += block.infobiterrors;
}

namespace {

std::int64_t ceildiv(std::int64_t a, std::int64_t b) { return a <= 0 ? 0 : (a - 1) / b + 1; }

}  // namespace

std::int64_t blockcount(const stoppingrule &rule) {
  const std::int64_t size = std::max(1, rule.blockframes);
  if (rule.maxframes <= 0) return 0;
  if (rule.graphframes <= 0) return ceildiv(rule.maxframes, size);
  // Whole graphs, then the graph that maxframes cuts.
  const std::int64_t graphs = ceildiv(rule.maxframes, rule.graphframes);
  const std::int64_t last = rule.maxframes - (graphs - 1) * rule.graphframes;
  return (graphs - 1) * ceildiv(rule.graphframes, size) + ceildiv(last, size);
}

framespan blockspan(const stoppingrule &rule, std::int64_t block) {
  if (block < 0 || block >= blockcount(rule)) return {};
  const std::int64_t size = std::max(1, rule.blockframes);
  framespan span;
  std::int64_t end = rule.maxframes;
  if (rule.graphframes <= 0) {
    span.first = block * size;
  } else {
    const std::int64_t pergraph = ceildiv(rule.graphframes, size);
    const std::int64_t graph = block / pergraph, within = block % pergraph;
    span.first = graph * rule.graphframes + within * size;
    end = std::min(end, (graph + 1) * rule.graphframes);
  }
  span.count = static_cast<int>(std::min(size, end - span.first));
  return span;
}

const char *pointendname(pointend end) {
  static const char *const names[] = {"running", "maxerrors", "maxframes", "givenup"};
  return enumname(names, end, "running");
}

bool countblock(const stoppingrule &rule, pointstate *state, const blocktally &block) {
  if (state->end != pointend::running) return true;
  addtally(&state->total, block);
  ++state->blocks;
  // Errors first, as the loop has always tested them: a block that reaches
  // both ends the point on its errors.
  if (state->total.frameerrors >= rule.maxerrors)
    state->end = pointend::maxerrors;
  else if (state->total.frames >= rule.maxframes)
    state->end = pointend::maxframes;
  return state->end != pointend::running;
}

void giveuppoint(pointstate *state) {
  if (state->end == pointend::running) state->end = pointend::givenup;
}

double pointfer(const pointstate &state) {
  return state.total.frames > 0 ? static_cast<double>(state.total.frameerrors) /
                                      static_cast<double>(state.total.frames)
                                : 0.0;
}

bool sweepgoeson(const stoppingrule &rule, const pointstate &state) {
  return !(pointfer(state) < rule.minfer);
}

std::int64_t advancepoint(const stoppingrule &rule, int point, pointstate *state,
                          const blocklookup &blockat, const givenupblocks &givenup) {
  while (state->end == pointend::running) {
    const std::int64_t next = state->blocks;
    if (givenup && givenup(point, next)) {
      giveuppoint(state);
      break;
    }
    const blocktally *block = blockat(next);
    if (block == nullptr) return next;
    countblock(rule, state, *block);
  }
  return -1;
}

pointverdict decidepoint(const stoppingrule &rule, int point, std::span<const numberedblock> blocks,
                         const givenupblocks &givenup) {
  pointverdict verdict;
  // Blocks are asked for in increasing order: a cursor finds them.
  std::size_t k = 0;
  auto blockat = [&](std::int64_t block) -> const blocktally * {
    while (k < blocks.size() && blocks[k].block < block) ++k;
    return k < blocks.size() && blocks[k].block == block ? &blocks[k].tally : nullptr;
  };
  verdict.needed = advancepoint(rule, point, &verdict.state, blockat, givenup);
  return verdict;
}

sweepverdict decidesweep(const stoppingrule &rule, int points,
                         const std::function<std::span<const numberedblock>(int)> &blocksof,
                         const givenupblocks &givenup) {
  sweepverdict sweep;
  for (int point = 0; point < points; ++point) {
    sweep.points.push_back(decidepoint(rule, point, blocksof(point), givenup));
    const pointstate &state = sweep.points.back().state;
    if (state.end == pointend::running) return sweep;
    if (!sweepgoeson(rule, state)) break;
  }
  sweep.complete = true;
  return sweep;
}

}  // namespace ldpc
