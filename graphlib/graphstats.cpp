#include "graphstats.h"

#include <algorithm>
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
  for (int v = 0; v < graph->vnodenum; ++v) {
    const vnode &node = graph->vnodelist[v];
    vsum += node.degree;
    vmax = std::max(vmax, node.degree);
    for (int s = 0; s < node.degree; ++s) {
      const edge &e = node.edgelist[s];
      // the place is spelled out only for a fault: no string per edge
      auto where = [&] {
        return "variable node " + std::to_string(v) + " socket " + std::to_string(s);
      };
      if (e.dest < 0 || e.dest >= graph->cnodenum) {
        report(where() + " leads to check node " + std::to_string(e.dest) + ", outside 0.." +
               std::to_string(graph->cnodenum - 1));
      } else if (e.socket < 0 || e.socket >= graph->cnodelist[e.dest].degree) {
        report(where() + " leads to socket " + std::to_string(e.socket) + " of check node " +
               std::to_string(e.dest) + ", which has degree " +
               std::to_string(graph->cnodelist[e.dest].degree));
      } else {
        const edge &m = graph->cnodelist[e.dest].edgelist[e.socket];
        if (m.dest != v || m.socket != s)
          report(where() + " leads to check node " + std::to_string(e.dest) + " socket " +
                 std::to_string(e.socket) + ", which leads back to variable node " +
                 std::to_string(m.dest) + " socket " + std::to_string(m.socket));
      }
    }
  }
  for (int c = 0; c < graph->cnodenum; ++c) {
    const cnode &node = graph->cnodelist[c];
    csum += node.degree;
    cmax = std::max(cmax, node.degree);
    for (int t = 0; t < node.degree; ++t) {
      const edge &e = node.edgelist[t];
      auto where = [&] {
        return "check node " + std::to_string(c) + " socket " + std::to_string(t);
      };
      if (e.dest < 0 || e.dest >= graph->vnodenum) {
        report(where() + " leads to variable node " + std::to_string(e.dest) + ", outside 0.." +
               std::to_string(graph->vnodenum - 1));
      } else if (e.socket < 0 || e.socket >= graph->vnodelist[e.dest].degree) {
        report(where() + " leads to socket " + std::to_string(e.socket) + " of variable node " +
               std::to_string(e.dest) + ", which has degree " +
               std::to_string(graph->vnodelist[e.dest].degree));
      } else {
        const edge &m = graph->vnodelist[e.dest].edgelist[e.socket];
        if (m.dest != c || m.socket != t)
          report(where() + " leads to variable node " + std::to_string(e.dest) + " socket " +
                 std::to_string(e.socket) + ", which leads back to check node " +
                 std::to_string(m.dest) + " socket " + std::to_string(m.socket));
      }
    }
  }
  if (vsum != csum)
    report("the variable degrees sum to " + std::to_string(vsum) + ", the check degrees to " +
           std::to_string(csum));

  std::vector<std::string> tablefaults;
  checktable("variable", graph->vdegreelist, graph->vdegreesnum, graph->vnodelist,
             graph->vnodenum, &tablefaults);
  checktable("check", graph->cdegreelist, graph->cdegreesnum, graph->cnodelist,
             graph->cnodenum, &tablefaults);
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

std::int64_t countfourcycles(const graphs *graph, progressfunction progress) {
  // For a variable node u, a later variable node w and a check c, a(c) is the
  // number of ways from u through c to w: edges u-c times edges c-w. A 4-cycle
  // through u and w takes two different checks, so u and w close
  // ((sum a)^2 - sum a^2) / 2 of them.
  const int n = graph->vnodenum;
  std::vector<std::int64_t> sum(n, 0), sumsquares(n, 0);
  std::vector<int> perpair(n, 0);  // edges c-w of the current check
  std::vector<int> touched, incheck, checks;
  std::int64_t cycles = 0;
  for (int u = 0; u < n; ++u) {
    const vnode &node = graph->vnodelist[u];
    checks.clear();
    for (int s = 0; s < node.degree; ++s) checks.push_back(node.edgelist[s].dest);
    std::sort(checks.begin(), checks.end());
    for (std::size_t i = 0; i < checks.size();) {
      const int c = checks[i];
      std::size_t j = i;
      while (j < checks.size() && checks[j] == c) ++j;
      const std::int64_t fromu = static_cast<std::int64_t>(j - i);
      i = j;
      const cnode &check = graph->cnodelist[c];
      for (int t = 0; t < check.degree; ++t) {
        int w = check.edgelist[t].dest;
        if (w <= u) continue;
        if (perpair[w]++ == 0) incheck.push_back(w);
      }
      for (int w : incheck) {
        std::int64_t a = fromu * perpair[w];
        if (sum[w] == 0) touched.push_back(w);
        sum[w] += a;
        sumsquares[w] += a * a;
        perpair[w] = 0;
      }
      incheck.clear();
    }
    for (int w : touched) {
      cycles += (sum[w] * sum[w] - sumsquares[w]) / 2;
      sum[w] = 0;
      sumsquares[w] = 0;
    }
    touched.clear();
    if (progress != nullptr && (u & 4095) == 0) progress(u, n, "4-cycles");
  }
  return cycles;
}

int girth(const graphs *graph, progressfunction progress) {
  if (countparalleledges(graph) > 0) return 2;
  // Nodes 0..V-1 are variable nodes, V..V+C-1 check nodes.
  const int v = graph->vnodenum;
  const int total = v + graph->cnodenum;
  auto neighbours = [&](int x, const edge **edges, int *degree, int *offset) {
    if (x < v) {
      *edges = graph->vnodelist[x].edgelist;
      *degree = graph->vnodelist[x].degree;
      *offset = v;
    } else {
      *edges = graph->cnodelist[x - v].edgelist;
      *degree = graph->cnodelist[x - v].degree;
      *offset = 0;
    }
  };

  // Every cycle lies in the 2-core: peel off nodes of degree 0 or 1 until
  // none is left, so that trees and the trees hanging off cycles cost one
  // pass instead of a search from each of their nodes.
  std::vector<int> remaining(total);
  std::vector<char> peeled(total, 0);
  std::vector<int> queue;
  queue.reserve(total);
  for (int x = 0; x < total; ++x) {
    const edge *edges;
    int degree, offset;
    neighbours(x, &edges, &degree, &offset);
    remaining[x] = degree;
    if (degree <= 1) {
      peeled[x] = 1;
      queue.push_back(x);
    }
  }
  for (std::size_t head = 0; head < queue.size(); ++head) {
    const edge *edges;
    int degree, offset;
    neighbours(queue[head], &edges, &degree, &offset);
    for (int s = 0; s < degree; ++s) {
      int y = edges[s].dest + offset;
      if (!peeled[y] && --remaining[y] <= 1) {
        peeled[y] = 1;
        queue.push_back(y);
      }
    }
  }

  // A core component whose nodes all keep two edges is a single cycle as
  // long as the component; it needs no search (and would make the search
  // quadratic in its length).
  int best = 0;  // 0: no cycle found yet
  std::vector<char> plaincycle(total, 0);
  {
    std::vector<int> component;
    std::vector<char> seen(total, 0);
    for (int start = 0; start < total; ++start) {
      if (peeled[start] || seen[start]) continue;
      component.clear();
      component.push_back(start);
      seen[start] = 1;
      bool allpairs = true;
      for (std::size_t head = 0; head < component.size(); ++head) {
        int x = component[head];
        if (remaining[x] != 2) allpairs = false;
        const edge *edges;
        int degree, offset;
        neighbours(x, &edges, &degree, &offset);
        for (int s = 0; s < degree; ++s) {
          int y = edges[s].dest + offset;
          if (!peeled[y] && !seen[y]) {
            seen[y] = 1;
            component.push_back(y);
          }
        }
      }
      if (!allpairs) continue;
      int length = static_cast<int>(component.size());
      if (best == 0 || length < best) best = length;
      for (int x : component) plaincycle[x] = 1;
    }
  }

  // Breadth-first search from each variable node of the core; the shortest
  // cycle through the root closes at the first non-tree edge, and no search
  // needs to go deeper than half the best length found so far.
  std::vector<int> dist(total, -1), parent(total, -1);
  for (int root = 0; root < v; ++root) {
    if (peeled[root] || plaincycle[root]) continue;
    queue.clear();
    queue.push_back(root);
    dist[root] = 0;
    parent[root] = -1;
    for (std::size_t head = 0; head < queue.size(); ++head) {
      int x = queue[head];
      if (best != 0 && 2 * dist[x] + 1 >= best) break;
      const edge *edges;
      int degree, offset;
      neighbours(x, &edges, &degree, &offset);
      for (int s = 0; s < degree; ++s) {
        int y = edges[s].dest + offset;
        if (peeled[y]) continue;
        if (dist[y] < 0) {
          dist[y] = dist[x] + 1;
          parent[y] = x;
          queue.push_back(y);
        } else if (y != parent[x]) {
          int length = dist[x] + dist[y] + 1;
          if (best == 0 || length < best) best = length;
        }
      }
    }
    for (int x : queue) dist[x] = -1;
    if (best == 4) break;  // the shortest possible without doubled edges
    if (progress != nullptr && (root & 1023) == 0) progress(root, v, "girth");
  }
  return best;
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
  return mix(sum ^ mix(static_cast<std::uint64_t>(static_cast<std::uint32_t>(graph->vnodenum)) << 32 |
                       static_cast<std::uint32_t>(graph->cnodenum)));
}

}  // namespace ldpc
