#include "graphstats.h"

#include <algorithm>
#include <functional>
#include <map>

namespace ldpc {

namespace {

template <typename node>
std::vector<degreeshare> distribution(const node *nodes, int count, std::int64_t edges) {
  std::map<int, std::int64_t> histogram;
  for (int i = 0; i < count; ++i) ++histogram[nodes[i].degree];
  std::vector<degreeshare> shares;
  for (const auto &[degree, number] : histogram) {
    degreeshare share;
    share.degree = degree;
    share.nodes = number;
    share.nodefraction = count > 0 ? static_cast<double>(number) / count : 0.0;
    share.edgefraction =
        edges > 0 ? static_cast<double>(degree) * static_cast<double>(number) / edges : 0.0;
    shares.push_back(share);
  }
  return shares;
}

// Compares one degree table with the degrees that the nodes have.
template <typename node>
void checktable(const char *side, const degreelist *table, int entries, const node *nodes,
                int count, std::vector<std::string> *faults) {
  std::map<int, std::int64_t> actual;
  for (int i = 0; i < count; ++i) ++actual[nodes[i].degree];
  std::map<int, std::int64_t> listed;
  std::int64_t total = 0;
  for (int k = 0; k < entries; ++k) {
    listed[table->degree[k]] += table->numofnodes[k];
    total += table->numofnodes[k];
  }
  if (total != count)
    faults->push_back(std::string(side) + " degree table counts " + std::to_string(total) +
                      " nodes; the graph has " + std::to_string(count));
  for (const auto &[degree, number] : actual) {
    auto it = listed.find(degree);
    std::int64_t inlist = it == listed.end() ? 0 : it->second;
    if (inlist != number)
      faults->push_back(std::string(side) + " degree table lists " + std::to_string(inlist) +
                        " nodes of degree " + std::to_string(degree) + "; the graph has " +
                        std::to_string(number));
  }
  for (const auto &[degree, number] : listed)
    if (number != 0 && actual.find(degree) == actual.end())
      faults->push_back(std::string(side) + " degree table lists " + std::to_string(number) +
                        " nodes of degree " + std::to_string(degree) + "; the graph has none");
}

inline std::uint64_t mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

}  // namespace

std::int64_t countedges(const graphs *graph) {
  std::int64_t edges = 0;
  for (int v = 0; v < graph->vnodenum; ++v) edges += graph->vnodelist[v].degree;
  return edges;
}

std::vector<degreeshare> vdistribution(const graphs *graph) {
  return distribution(graph->vnodelist, graph->vnodenum, countedges(graph));
}

std::vector<degreeshare> cdistribution(const graphs *graph) {
  return distribution(graph->cnodelist, graph->cnodenum, countedges(graph));
}

namespace {

// Checks the entries of one side: each in range of the other side and
// mirrored by the entry it leads to; adds up the degrees and their largest.
template <typename node, typename othernode, typename reporter>
void checkside(const node *nodes, int count, const char *side, const othernode *others,
               int othercount, const char *otherside, const reporter &report, std::int64_t *sum,
               int *largest) {
  const std::string name = std::string(side) + " node ";
  const std::string othername = std::string(otherside) + " node ";
  for (int n = 0; n < count; ++n) {
    const node &at = nodes[n];
    *sum += at.degree;
    *largest = std::max(*largest, at.degree);
    for (int s = 0; s < at.degree; ++s) {
      const edge &e = at.edgelist[s];
      // the place is spelled out only for a fault: no string per edge
      auto where = [&] { return name + std::to_string(n) + " socket " + std::to_string(s); };
      if (e.dest < 0 || e.dest >= othercount) {
        report(where() + " leads to " + othername + std::to_string(e.dest) + ", outside 0.." +
               std::to_string(othercount - 1));
      } else if (e.socket < 0 || e.socket >= others[e.dest].degree) {
        report(where() + " leads to socket " + std::to_string(e.socket) + " of " + othername +
               std::to_string(e.dest) + ", which has degree " +
               std::to_string(others[e.dest].degree));
      } else {
        const edge &m = others[e.dest].edgelist[e.socket];
        if (m.dest != n || m.socket != s)
          report(where() + " leads to " + othername + std::to_string(e.dest) + " socket " +
                 std::to_string(e.socket) + ", which leads back to " + name +
                 std::to_string(m.dest) + " socket " + std::to_string(m.socket));
      }
    }
  }
}

}  // namespace

std::vector<std::string> checkinvariants(const graphs *graph, std::vector<std::string> *notes,
                                         int limit) {
  std::vector<std::string> faults;
  std::int64_t suppressed = 0;
  auto report = [&](const std::string &fault) {
    if (static_cast<int>(faults.size()) < limit)
      faults.push_back(fault);
    else
      ++suppressed;
  };

  // Every entry on either side must be in range and mirrored by the other end.
  std::int64_t vsum = 0, csum = 0;
  int vmax = 0, cmax = 0;
  checkside(graph->vnodelist, graph->vnodenum, "variable", graph->cnodelist, graph->cnodenum,
            "check", report, &vsum, &vmax);
  checkside(graph->cnodelist, graph->cnodenum, "check", graph->vnodelist, graph->vnodenum,
            "variable", report, &csum, &cmax);
  if (vsum != csum)
    report("the variable degrees sum to " + std::to_string(vsum) + ", the check degrees to " +
           std::to_string(csum));

  std::vector<std::string> tablefaults;
  checktable("variable", graph->vdegreelist, graph->vdegreesnum, graph->vnodelist, graph->vnodenum,
             &tablefaults);
  checktable("check", graph->cdegreelist, graph->cdegreesnum, graph->cnodelist, graph->cnodenum,
             &tablefaults);
  for (const std::string &fault : tablefaults) report(fault);
  if (suppressed > 0)
    faults.push_back("... and " + std::to_string(suppressed) + " more violations");

  if (notes != nullptr) {
    if (graph->vmaxdegree != vmax)
      notes->push_back("vmaxdegree is " + std::to_string(graph->vmaxdegree) +
                       "; the largest variable degree is " + std::to_string(vmax));
    if (graph->cmaxdegree != cmax)
      notes->push_back("cmaxdegree is " + std::to_string(graph->cmaxdegree) +
                       "; the largest check degree is " + std::to_string(cmax));
  }
  return faults;
}

std::int64_t countparalleledges(const graphs *graph) {
  // Per variable node, sort its check ends and count repeats.
  std::int64_t parallel = 0;
  std::vector<int> ends;
  for (int v = 0; v < graph->vnodenum; ++v) {
    const vnode &node = graph->vnodelist[v];
    ends.assign(node.degree, 0);
    for (int s = 0; s < node.degree; ++s) ends[s] = node.edgelist[s].dest;
    std::sort(ends.begin(), ends.end());
    for (int s = 1; s < node.degree; ++s)
      if (ends[s] == ends[s - 1]) ++parallel;
  }
  return parallel;
}

namespace {

// Every node of both sides with its distinct neighbours and the number of
// edges to each: nodes 0..V-1 are variable nodes, V..V+C-1 check nodes.
struct multigraph {
  std::vector<std::int64_t> first;  // neighbours of x: first[x] .. first[x+1]-1
  std::vector<int> other;
  std::vector<int> count;
};

multigraph distinctneighbours(const graphs *graph) {
  const int v = graph->vnodenum;
  const std::int64_t total = static_cast<std::int64_t>(v) + graph->cnodenum;
  multigraph g;
  g.first.assign(total + 1, 0);
  std::vector<int> ends;
  for (std::int64_t x = 0; x < total; ++x) {
    const edge *edges = x < v ? graph->vnodelist[x].edgelist : graph->cnodelist[x - v].edgelist;
    const int degree = x < v ? graph->vnodelist[x].degree : graph->cnodelist[x - v].degree;
    const int offset = x < v ? v : 0;
    ends.resize(degree);
    for (int s = 0; s < degree; ++s) ends[s] = edges[s].dest + offset;
    std::sort(ends.begin(), ends.end());
    for (int s = 0; s < degree; ++s) {
      if (s > 0 && ends[s] == ends[s - 1]) {
        ++g.count.back();
      } else {
        g.other.push_back(ends[s]);
        g.count.push_back(1);
      }
    }
    g.first[x + 1] = static_cast<std::int64_t>(g.other.size());
  }
  return g;
}

// The nodes renumbered by rank, the number of distinct neighbours and then
// the node number, each neighbour list in increasing rank, so that a walk
// stops at the first neighbour that ranks too high. *simple: no edge is
// doubled.
multigraph rankedbydegree(const graphs *graph, bool *simple) {
  const multigraph g = distinctneighbours(graph);
  const std::int64_t total = static_cast<std::int64_t>(g.first.size()) - 1;
  std::vector<std::int64_t> order(total), rank(total);
  for (std::int64_t x = 0; x < total; ++x) order[x] = x;
  std::sort(order.begin(), order.end(), [&](std::int64_t a, std::int64_t b) {
    std::int64_t da = g.first[a + 1] - g.first[a], db = g.first[b + 1] - g.first[b];
    return da != db ? da < db : a < b;
  });
  for (std::int64_t r = 0; r < total; ++r) rank[order[r]] = r;
  multigraph ranked;
  ranked.first.assign(total + 1, 0);
  ranked.other.resize(g.other.size());
  ranked.count.resize(g.count.size());
  *simple = true;
  std::vector<std::pair<int, int>> byrank;
  for (std::int64_t r = 0; r < total; ++r) {
    const std::int64_t x = order[r];
    byrank.clear();
    for (std::int64_t i = g.first[x]; i < g.first[x + 1]; ++i) {
      byrank.push_back({static_cast<int>(rank[g.other[i]]), g.count[i]});
      *simple = *simple && g.count[i] == 1;
    }
    std::sort(byrank.begin(), byrank.end());
    const std::int64_t at = ranked.first[r];
    for (std::size_t i = 0; i < byrank.size(); ++i) {
      ranked.other[at + static_cast<std::int64_t>(i)] = byrank[i].first;
      ranked.count[at + static_cast<std::int64_t>(i)] = byrank[i].second;
    }
    ranked.first[r + 1] = at + static_cast<std::int64_t>(byrank.size());
  }
  return ranked;
}

}  // namespace

std::string decimal(widecount value) {
  if (value == 0) return "0";
  std::string digits;
  while (value > 0) {
    digits += static_cast<char>('0' + static_cast<int>(value % 10));
    value /= 10;
  }
  return std::string(digits.rbegin(), digits.rend());
}

widecount countfourcycles(const graphs *graph, progressfunction progress) {
  // Butterfly counting with a degree order. Nodes of both sides are ranked
  // by their number of distinct neighbours. Every 4-cycle u-a-w-b is counted
  // once, from its highest-ranked node u: the wedges u-a-w whose middle a
  // and far end w rank below u are summed per far end w, each weighing
  // a(w) = (edges u-a) * (edges a-w), and two wedges to the same w through
  // different middles close (choices of edges included) their product of
  // cycles. A wedge starts from the higher end of an edge and goes on only
  // through neighbours below that end, so the cost is about the sum over
  // edges of the smaller degree of their ends, not the sum of squares.
  bool simple = true;
  const multigraph ranked = rankedbydegree(graph, &simple);
  const std::int64_t total = static_cast<std::int64_t>(ranked.first.size()) - 1;

  // A wedge weighs below 2^62 and the wedges of one (u, w) below 2^62 in
  // all (at most deg u * deg w), so each product below fits 124 bits; the
  // total is at most (wedges)^2 / 2, which fits 128 bits for every graph of
  // fewer than 2^34 edges. Beyond that the sum saturates. Without parallel
  // edges every wedge weighs 1 and k wedges to one w close k(k-1)/2 cycles.
  std::vector<std::uint64_t> sum(total, 0);
  std::vector<int> touched;
  widecount cycles = 0;
  bool saturated = false;
  for (int u = 0; u < total; ++u) {
    for (std::int64_t i = ranked.first[u]; i < ranked.first[u + 1]; ++i) {
      const int a = ranked.other[i];
      if (a >= u) break;
      const std::uint64_t fromu = static_cast<std::uint64_t>(ranked.count[i]);
      for (std::int64_t j = ranked.first[a]; j < ranked.first[a + 1]; ++j) {
        const int w = ranked.other[j];
        if (w >= u) break;
        if (sum[w] == 0) touched.push_back(w);
        if (simple) {
          ++sum[w];
        } else {
          const std::uint64_t weight = fromu * static_cast<std::uint64_t>(ranked.count[j]);
          widecount closed = static_cast<widecount>(weight) * sum[w];
          saturated |= __builtin_add_overflow(cycles, closed, &cycles);
          sum[w] += weight;
        }
      }
    }
    for (int w : touched) {
      if (simple) {
        widecount k = sum[w];
        saturated |= __builtin_add_overflow(cycles, k * (k - 1) / 2, &cycles);
      }
      sum[w] = 0;
    }
    touched.clear();
    if (progress != nullptr && (u & 4095) == 0) progress(u, total, "4-cycles");
  }
  return saturated ? ~widecount{0} : cycles;
}

namespace {

// Both sides of a graph under one numbering: variable nodes 0..V-1, check
// nodes V..V+C-1.
struct tannernodes {
  const graphs *graph;
  int v;
  int total;

  explicit tannernodes(const graphs *g)
      : graph(g), v(g->vnodenum), total(g->vnodenum + g->cnodenum) {}

  // The edges of node x; edges[s].dest + offset numbers the other end.
  struct ends {
    const edge *edges;
    int degree;
    int offset;
  };
  ends of(int x) const {
    if (x < v) return {graph->vnodelist[x].edgelist, graph->vnodelist[x].degree, v};
    return {graph->cnodelist[x - v].edgelist, graph->cnodelist[x - v].degree, 0};
  }
};

// The 2-core: the nodes left after peeling off nodes of degree 0 or 1 until
// none is left. Every cycle lies in it, so trees and the trees hanging off
// cycles cost one pass instead of a search from each of their nodes.
struct twocore {
  std::vector<char> peeled;    // outside the core
  std::vector<int> remaining;  // edges within the core, for core nodes
};

twocore peeltwocore(const tannernodes &nodes) {
  twocore core{std::vector<char>(nodes.total, 0), std::vector<int>(nodes.total)};
  std::vector<int> queue;
  queue.reserve(nodes.total);
  for (int x = 0; x < nodes.total; ++x) {
    core.remaining[x] = nodes.of(x).degree;
    if (core.remaining[x] <= 1) {
      core.peeled[x] = 1;
      queue.push_back(x);
    }
  }
  for (std::size_t head = 0; head < queue.size(); ++head) {
    const tannernodes::ends e = nodes.of(queue[head]);
    for (int s = 0; s < e.degree; ++s) {
      int y = e.edges[s].dest + e.offset;
      if (!core.peeled[y] && --core.remaining[y] <= 1) {
        core.peeled[y] = 1;
        queue.push_back(y);
      }
    }
  }
  return core;
}

// A chain of the core between two branch nodes, as a weighted link.
struct link {
  int to;
  std::int64_t length;
  std::int64_t id;  // the chain; both directions share it
};

// The core with its chains contracted: branch nodes (three or more core
// edges) joined by links weighing the length of the chain of nodes with two
// core edges between them. Cycles that need no search are measured on the
// way: a chain back to its own start (a loop) and a core component without
// branch nodes (a plain cycle); shortest is the shortest of them, 0 if none.
struct contractedcore {
  std::vector<std::vector<link>> links;  // per branch node
  std::int64_t shortest = 0;

  void found(std::int64_t length) {
    if (shortest == 0 || length < shortest) shortest = length;
  }
};

// Walks the chain that leaves branch node start towards x, marking its
// nodes walked; returns the branch node it ends at (as a node number) and
// the length of the chain in edges.
std::pair<int, std::int64_t> walkchain(const tannernodes &nodes, const twocore &core,
                                       const std::vector<int> &branchof, std::vector<char> &walked,
                                       int start, int x) {
  int previous = start;
  std::int64_t length = 1;
  while (branchof[x] < 0) {
    walked[x] = 1;
    const tannernodes::ends e = nodes.of(x);
    int y = -1;
    for (int t = 0; t < e.degree && y < 0; ++t) {
      int z = e.edges[t].dest + e.offset;
      if (!core.peeled[z] && z != previous) y = z;
    }
    previous = x;
    x = y;
    ++length;
  }
  return {x, length};
}

// The length of the shortest plain cycle: a component of the core that no
// chain walk reached, all of whose nodes have two core edges; 0 if none.
std::int64_t shortestplaincycle(const tannernodes &nodes, const twocore &core,
                                const std::vector<int> &branchof, std::vector<char> &walked) {
  std::int64_t shortest = 0;
  std::vector<int> component;
  for (int start = 0; start < nodes.total; ++start) {
    if (core.peeled[start] || walked[start] || branchof[start] >= 0) continue;
    component.clear();
    component.push_back(start);
    walked[start] = 1;
    for (std::size_t head = 0; head < component.size(); ++head) {
      const tannernodes::ends e = nodes.of(component[head]);
      for (int s = 0; s < e.degree; ++s) {
        int y = e.edges[s].dest + e.offset;
        if (!core.peeled[y] && !walked[y]) {
          walked[y] = 1;
          component.push_back(y);
        }
      }
    }
    const auto length = static_cast<std::int64_t>(component.size());
    if (shortest == 0 || length < shortest) shortest = length;
  }
  return shortest;
}

// Long chains (a theta graph of girth 40,000) cost their length once here
// instead of a search from each of their nodes.
contractedcore contractchains(const tannernodes &nodes, const twocore &core) {
  std::vector<int> branchof(nodes.total, -1);  // index among the branch nodes
  std::vector<int> branches;
  for (int x = 0; x < nodes.total; ++x)
    if (!core.peeled[x] && core.remaining[x] >= 3) {
      branchof[x] = static_cast<int>(branches.size());
      branches.push_back(x);
    }
  contractedcore contracted;
  contracted.links.resize(branches.size());
  std::vector<char> walked(nodes.total, 0);  // chain nodes already contracted
  std::int64_t chains = 0;
  for (std::size_t b = 0; b < branches.size(); ++b) {
    const int start = branches[b];
    const tannernodes::ends e = nodes.of(start);
    for (int s = 0; s < e.degree; ++s) {
      const int x = e.edges[s].dest + e.offset;
      if (core.peeled[x]) continue;
      if (branchof[x] < 0 && walked[x]) continue;   // contracted from its other end
      if (branchof[x] >= 0 && x < start) continue;  // a direct edge, taken from its lower end
      const auto [endnode, length] = walkchain(nodes, core, branchof, walked, start, x);
      const int end = branchof[endnode];
      if (end == static_cast<int>(b)) {
        contracted.found(length);  // a loop: a chain back to its start
        continue;
      }
      contracted.links[b].push_back({end, length, chains});
      contracted.links[end].push_back({static_cast<int>(b), length, chains});
      ++chains;
    }
  }
  const std::int64_t plain = shortestplaincycle(nodes, core, branchof, walked);
  if (plain > 0) contracted.found(plain);
  return contracted;
}

// A shortest-path search from each branch node; the shortest cycle through
// the root closes at the first link between two reached nodes that is not
// the tree link of either, and no search goes on once half the best length
// found is reached. A root that has been searched lies on no shorter cycle
// than the best, so later searches leave it out. Returns the shortest
// cycle, best if none is shorter (0: none at all).
std::int64_t searchshortestcycle(const std::vector<std::vector<link>> &links, std::int64_t best,
                                 progressfunction progress) {
  const int nb = static_cast<int>(links.size());
  bool unit = true;
  for (const auto &list : links)
    for (const link &l : list) unit = unit && l.length == 1;
  std::vector<std::int64_t> dist(nb, -1), treeedge(nb, -1);
  std::vector<char> settled(nb, 0), done(nb, 0);
  std::vector<int> reached;
  using entry = std::pair<std::int64_t, int>;  // (distance, node)
  std::vector<entry> heap;
  for (int root = 0; root < nb; ++root) {
    if (best == 4) break;  // the shortest possible without doubled edges
    reached.clear();
    heap.clear();
    dist[root] = 0;
    reached.push_back(root);
    heap.push_back({0, root});
    // breadth first when every link has length 1, else Dijkstra's order
    for (std::size_t head = 0; unit ? head < heap.size() : !heap.empty();) {
      entry top;
      if (unit) {
        top = heap[head++];
      } else {
        std::pop_heap(heap.begin(), heap.end(), std::greater<entry>());
        top = heap.back();
        heap.pop_back();
      }
      const int x = top.second;
      if (settled[x] || top.first != dist[x]) continue;
      if (best != 0 && 2 * dist[x] >= best) break;
      settled[x] = 1;
      for (const link &l : links[x]) {
        if (done[l.to] || l.id == treeedge[x]) continue;
        const std::int64_t through = dist[x] + l.length;
        if (dist[l.to] < 0 || through < dist[l.to]) {
          if (dist[l.to] < 0) reached.push_back(l.to);
          dist[l.to] = through;
          treeedge[l.to] = l.id;
          heap.push_back({through, l.to});
          if (!unit) std::push_heap(heap.begin(), heap.end(), std::greater<entry>());
        } else if (best == 0 || through + dist[l.to] < best) {
          best = through + dist[l.to];
        }
      }
    }
    for (int x : reached) {
      dist[x] = -1;
      treeedge[x] = -1;
      settled[x] = 0;
    }
    done[root] = 1;
    if (progress != nullptr && (root & 1023) == 0) progress(root, nb, "girth");
  }
  return best;
}

}  // namespace

std::int64_t girth(const graphs *graph, progressfunction progress) {
  if (countparalleledges(graph) > 0) return 2;
  const tannernodes nodes(graph);
  const contractedcore contracted = contractchains(nodes, peeltwocore(nodes));
  return searchshortestcycle(contracted.links, contracted.shortest, progress);
}

std::uint64_t fingerprint(const graphs *graph) {
  // A sum of mixed edge keys does not depend on the order of the edges.
  std::uint64_t sum = 0;
  for (int v = 0; v < graph->vnodenum; ++v) {
    const vnode &node = graph->vnodelist[v];
    for (int s = 0; s < node.degree; ++s)
      sum += mix(static_cast<std::uint64_t>(static_cast<std::uint32_t>(v)) << 32 |
                 static_cast<std::uint32_t>(node.edgelist[s].dest));
  }
  return mix(sum ^
             mix(static_cast<std::uint64_t>(static_cast<std::uint32_t>(graph->vnodenum)) << 32 |
                 static_cast<std::uint32_t>(graph->cnodenum)));
}

}  // namespace ldpc
