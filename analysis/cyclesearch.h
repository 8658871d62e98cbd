// The bounded search behind cycle removal and circulant liftings: does an
// edge lie on a cycle shorter than a target girth?
#ifndef LDPC_CYCLESEARCH_H
#define LDPC_CYCLESEARCH_H

#include <algorithm>
#include <cstdint>
#include <vector>

#include "graphstruct.h"

namespace ldpc {

// The edge list of node x of the combined numbering (variable nodes
// 0..V-1, then check nodes V..), and the offset that turns its dest
// entries into that numbering.
inline void nodeedges(const graphs *graph, int x, const edge **edges, int *degree, int *offset) {
  const int vnodes = graph->vnodenum;
  if (x < vnodes) {
    *edges = graph->vnodelist[x].edgelist;
    *degree = graph->vnodelist[x].degree;
    *offset = vnodes;
  } else {
    *edges = graph->cnodelist[x - vnodes].edgelist;
    *degree = graph->cnodelist[x - vnodes].degree;
    *offset = 0;
  }
}

class cyclesearch {
 public:
  explicit cyclesearch(const graphs *graph)
      : graph_(graph),
        vnodes_(graph->vnodenum),
        stamp_(static_cast<std::size_t>(graph->vnodenum) + graph->cnodenum, 0) {}

  // Whether socket s of variable node v, whose check end is c, lies on a
  // cycle shorter than target: whether c is reached from v within target - 3
  // steps without that edge. Entries whose dest is negative (edges not yet
  // placed) are passed over. Visits only the ball of that radius around v.
  bool onshortcycle(int v, int s, int c, int target) {
    const int radius = target - 3;
    if (radius < 1) return false;
    if (++epoch_ == 0) {  // wrapped: every old stamp must be forgotten
      std::fill(stamp_.begin(), stamp_.end(), 0);
      epoch_ = 1;
    }
    const int goal = vnodes_ + c;
    queue_.clear();
    queue_.push_back(v);
    stamp_[v] = epoch_;
    // Level by level: nodes at depth d are queue_[levelstart..levelend).
    std::size_t levelstart = 0;
    for (int depth = 0; depth < radius; ++depth) {
      const std::size_t levelend = queue_.size();
      if (levelstart == levelend) return false;
      for (std::size_t i = levelstart; i < levelend; ++i) {
        const int x = queue_[i];
        const edge *edges;
        int degree, offset;
        nodeedges(graph_, x, &edges, &degree, &offset);
        for (int k = 0; k < degree; ++k) {
          if (x == v && k == s) continue;
          if (edges[k].dest < 0) continue;
          const int y = edges[k].dest + offset;
          if (y == goal) return true;
          if (stamp_[y] == epoch_) continue;
          stamp_[y] = epoch_;
          queue_.push_back(y);
        }
      }
      levelstart = levelend;
    }
    return false;
  }

 private:
  const graphs *graph_;
  int vnodes_;
  std::vector<std::uint32_t> stamp_;
  std::uint32_t epoch_ = 0;
  std::vector<int> queue_;
};

}  // namespace ldpc

#endif
