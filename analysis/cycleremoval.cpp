// Cycle removal by exchanging check ends of edges, the local girth of every
// variable node, and the construction driver's hook.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cyclesearch.h"
#include "graphstats.h"
#include "randomstream.h"
#include "cycleremoval.h"

namespace ldpc {

cycleremoval removeshortcycles(graphs *graph, int target, int attemptlimit,
                               progressfunction progress) {
  cycleremoval result;
  result.target = target;
  if (target < 4 || target % 2 != 0) {
    result.message = "target girth " + std::to_string(target) + "; it must be even and at least 4";
    return result;
  }

  // Edge number k (variable node, then socket) belongs to node owner[k].
  const int vnodes = graph->vnodenum;
  std::vector<std::int64_t> first(static_cast<std::size_t>(vnodes) + 1, 0);
  for (int v = 0; v < vnodes; ++v) first[v + 1] = first[v] + graph->vnodelist[v].degree;
  const std::int64_t edges = first[vnodes];
  std::vector<int> owner(static_cast<std::size_t>(edges));
  for (int v = 0; v < vnodes; ++v)
    for (std::int64_t k = first[v]; k < first[v + 1]; ++k) owner[k] = v;

  // One pass: each edge on a short cycle is exchanged until it is not; kept
  // exchanges create no short cycle, so examined edges stay clean.
  cyclesearch search(graph);
  for (int v = 0; v < vnodes; ++v) {
    if (progress != nullptr && (v & 1023) == 0) progress(v, vnodes, "cycle removal");
    for (int s = 0; s < graph->vnodelist[v].degree; ++s) {
      const int c = graph->vnodelist[v].edgelist[s].dest;
      if (!search.onshortcycle(v, s, c, target)) continue;
      ++result.offending;
      int rejected = 0;
      for (;;) {
        if (rejected >= attemptlimit) {
          result.message = "girth " + std::to_string(target) + " not reached: variable node " +
                           std::to_string(v) + " socket " + std::to_string(s) + " (check node " +
                           std::to_string(c) + ") is still on a shorter cycle after " +
                           std::to_string(attemptlimit) +
                           " exchanges tried; the graph may be too small or too dense for it";
          result.girth = static_cast<int>(girth(graph));
          return result;
        }
        const std::int64_t k = static_cast<std::int64_t>(drawfrom(graphsimrand) * edges);
        const int w = owner[k];
        const int t = static_cast<int>(k - first[w]);
        const int d = graph->vnodelist[w].edgelist[t].dest;
        ++result.attempts;
        ++rejected;
        // A partner at the same check or of the same node changes nothing.
        if (d == c || w == v) continue;
        switchedges(graph, v, s, w, t);
        if (!search.onshortcycle(v, s, d, target) && !search.onshortcycle(w, t, c, target)) {
          ++result.exchanges;
          break;
        }
        switchedges(graph, v, s, w, t);
      }
    }
  }
  result.reached = true;
  result.girth = static_cast<int>(girth(graph));
  return result;
}

namespace {

int conditiontarget = 0;

void conditiongraph(graphs *graph, simulations *simulation) {
  cycleremoval result = removeshortcycles(graph, conditiontarget);
  if (!result.reached) {
    std::fflush(stdout);
    std::fprintf(stderr, "constructgraph: %s\n", result.message.c_str());
    std::exit(1);
  }
  if (simulation->verbose > 0)
    std::printf("cycle removal: girth %d reached with %lld exchanges (%lld tried)\n", result.girth,
                static_cast<long long>(result.exchanges), static_cast<long long>(result.attempts));
}

}  // namespace

void conditionconstructions(int target) {
  conditiontarget = target;
  setconstructionhook(target > 0 ? conditiongraph : nullptr);
}

std::vector<int> localgirths(const graphs *graph, progressfunction progress) {
  // Nodes 0..V-1 are variable nodes, V..V+C-1 check nodes. branch[x] is the
  // root socket whose subtree holds x; a non-tree edge between two branches
  // closes a cycle through the root of length dist[x] + dist[y] + 1.
  const int vnodes = graph->vnodenum;
  const std::size_t total = static_cast<std::size_t>(vnodes) + graph->cnodenum;
  std::vector<int> dist(total, -1), branch(total, -1), via(total, -1), queue;
  std::vector<int> result(static_cast<std::size_t>(vnodes), 0);
  for (int root = 0; root < vnodes; ++root) {
    if (progress != nullptr && (root & 1023) == 0) progress(root, vnodes, "local girth");
    int best = INT_MAX;
    queue.clear();
    queue.push_back(root);
    dist[root] = 0;
    for (std::size_t head = 0; head < queue.size(); ++head) {
      const int x = queue[head];
      if (2 * dist[x] >= best) break;
      const edge *edges;
      int degree, offset;
      nodeedges(graph, x, &edges, &degree, &offset);
      for (int k = 0; k < degree; ++k) {
        if (k == via[x]) continue;  // the tree edge x was reached by
        const int y = edges[k].dest + offset;
        if (dist[y] < 0) {
          dist[y] = dist[x] + 1;
          branch[y] = x == root ? k : branch[x];
          via[y] = edges[k].socket;
          queue.push_back(y);
        } else if (branch[y] != branch[x] || y == root) {
          const int length = dist[x] + dist[y] + 1;
          if (length < best) best = length;
        }
      }
    }
    for (int x : queue) dist[x] = branch[x] = via[x] = -1;
    result[root] = best == INT_MAX ? 0 : best;
  }
  return result;
}

}  // namespace ldpc
