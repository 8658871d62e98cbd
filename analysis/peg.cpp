// Progressive edge growth: edges placed one at a time, each to a check node
// as far as possible from its variable node.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "degreetable.h"
#include "randomstream.h"
#include "peg.h"

namespace ldpc {

namespace {

// Counts over check numbers 0..n-1 with prefix sums and a search for the
// k-th counted check in O(log n) (a Fenwick tree).
class indexcounts {
 public:
  explicit indexcounts(int n) : tree_(static_cast<std::size_t>(n) + 1, 0) {
    top_ = 1;
    while (top_ * 2 <= static_cast<std::size_t>(n)) top_ *= 2;
  }
  void add(int index, int delta) {
    total_ += delta;
    for (std::size_t i = static_cast<std::size_t>(index) + 1; i < tree_.size(); i += i & (~i + 1))
      tree_[i] += delta;
  }
  int total() const { return total_; }
  // The counted index with k counted indices below it (0 <= k < total).
  int find(int k) const {
    std::size_t position = 0;
    for (std::size_t step = top_; step > 0; step /= 2)
      if (position + step < tree_.size() && tree_[position + step] <= k) {
        position += step;
        k -= tree_[position];
      }
    return static_cast<int>(position);
  }

 private:
  std::vector<int> tree_;
  std::size_t top_;
  int total_ = 0;
};

// The growing graph: checks of each variable node in order of placement,
// variable nodes of each check node likewise (in one pool, where a list that
// outgrows its room moves to the end with twice the room), the degree of
// each check and per degree the checks of that degree.
struct peggraph {
  std::vector<std::int64_t> vfirst;  // node v's checks at vchecks[vfirst[v]..]
  std::vector<int> vfilled;
  std::vector<int> vchecks;
  std::vector<std::int64_t> cfirst;  // check c's nodes at pool[cfirst[c]..]
  std::vector<int> cfilled, croom;
  std::vector<int> pool;
  std::vector<int> cdegree;
  std::vector<indexcounts> bydegree;  // bydegree[d]: the checks of degree d

  peggraph(const std::vector<int> &vdegrees, std::int64_t edges, int cnodenum) {
    const int vnodes = static_cast<int>(vdegrees.size());
    vfirst.assign(static_cast<std::size_t>(vnodes) + 1, 0);
    for (int v = 0; v < vnodes; ++v) vfirst[v + 1] = vfirst[v] + vdegrees[v];
    vfilled.assign(vnodes, 0);
    vchecks.assign(static_cast<std::size_t>(edges), -1);
    const int room = static_cast<int>(edges / cnodenum) + 2;
    cfirst.resize(cnodenum);
    for (int c = 0; c < cnodenum; ++c) cfirst[c] = static_cast<std::int64_t>(c) * room;
    cfilled.assign(cnodenum, 0);
    croom.assign(cnodenum, room);
    pool.assign(static_cast<std::size_t>(cnodenum) * room, 0);
    cdegree.assign(cnodenum, 0);
    bydegree.emplace_back(cnodenum);
    for (int c = 0; c < cnodenum; ++c) bydegree[0].add(c, 1);
  }

  void addtocheck(int c, int v) {
    if (cfilled[c] == croom[c]) {
      const std::int64_t moved = static_cast<std::int64_t>(pool.size());
      pool.resize(pool.size() + 2 * static_cast<std::size_t>(croom[c]));
      std::copy(pool.begin() + cfirst[c], pool.begin() + cfirst[c] + cfilled[c],
                pool.begin() + moved);
      cfirst[c] = moved;
      croom[c] *= 2;
    }
    pool[cfirst[c] + cfilled[c]++] = v;
  }

  // The edge between variable node v and check c, and c one degree up.
  void place(int v, int c) {
    vchecks[vfirst[v] + vfilled[v]++] = c;
    addtocheck(c, v);
    const int d = cdegree[c]++;
    bydegree[d].add(c, -1);
    if (static_cast<std::size_t>(d + 1) == bydegree.size())
      bydegree.emplace_back(static_cast<int>(cdegree.size()));
    bydegree[d + 1].add(c, 1);
  }
};

// Breadth-first search from a variable node, one level of check nodes at a
// time, until a level reaches no new check (the rest are unreachable) or the
// last unreached check (then the candidates are that level's new checks).
// Stamps mark the nodes reached by the current search; reached[0..nreached)
// lists the checks reached, level by level, the last level from levelstart.
// The loops append every neighbour and advance the count only for a new one,
// which spares a branch that no predictor gets right.
struct pegsearch {
  std::vector<std::uint32_t> vstamp, cstamp;
  std::uint32_t epoch = 0;
  std::vector<int> reached;
  std::vector<int> vfrontier, nextfrontier;
  std::size_t nreached = 0, levelstart = 0;
  bool allreached = false;

  pegsearch(int vnodes, int cnodenum, int vmax)
      : vstamp(vnodes, 0),
        cstamp(cnodenum, 0),
        reached(static_cast<std::size_t>(cnodenum) + vmax),
        vfrontier(static_cast<std::size_t>(vnodes) + 1),
        nextfrontier(vfrontier.size()) {}

  void run(const peggraph &g, int v) {
    const int cnodenum = static_cast<int>(cstamp.size());
    ++epoch;
    vstamp[v] = epoch;
    vfrontier[0] = v;
    std::size_t nfrontier = 1;
    nreached = 0;
    levelstart = 0;
    allreached = false;
    while (nfrontier > 0) {
      levelstart = nreached;
      // the level stops at the last unreached check: the rest of it
      // cannot add a candidate
      for (std::size_t f = 0; f < nfrontier; ++f) {
        const int u = vfrontier[f];
        const int *checks = g.vchecks.data() + g.vfirst[u];
        for (int i = 0; i < g.vfilled[u]; ++i) {
          const int c = checks[i];
          reached[nreached] = c;
          nreached += cstamp[c] != epoch;
          cstamp[c] = epoch;
        }
        if (static_cast<int>(nreached) == cnodenum) {
          allreached = true;
          break;
        }
      }
      if (nreached == levelstart || allreached) break;
      std::size_t nnext = 0;
      for (std::size_t i = levelstart; i < nreached; ++i) {
        const int c = reached[i];
        const int *nodes = g.pool.data() + g.cfirst[c];
        for (int j = 0; j < g.cfilled[c]; ++j) {
          const int u = nodes[j];
          nextfrontier[nnext] = u;
          nnext += vstamp[u] != epoch;
          vstamp[u] = epoch;
        }
      }
      vfrontier.swap(nextfrontier);
      nfrontier = nnext;
    }
  }
};

// The check for the next edge after a search: among the unreached checks
// when some are left, else among the last level's new ones; the lowest
// degree among them, then floor(u * count) in increasing check number.
int choosecheck(peggraph &g, const pegsearch &search, std::vector<int> *candidates) {
  if (!search.allreached) {
    // Unreached checks of the lowest degree: the reached ones are taken
    // out of the per-degree counts for the moment.
    for (std::size_t i = 0; i < search.nreached; ++i)
      g.bydegree[g.cdegree[search.reached[i]]].add(search.reached[i], -1);
    std::size_t d = 0;
    while (g.bydegree[d].total() == 0) ++d;
    const int count = g.bydegree[d].total();
    const int pick = static_cast<int>(drawfrom(graphsimrand) * count);
    const int chosen = g.bydegree[d].find(pick);
    for (std::size_t i = 0; i < search.nreached; ++i)
      g.bydegree[g.cdegree[search.reached[i]]].add(search.reached[i], 1);
    return chosen;
  }
  int lowest = INT_MAX;
  for (std::size_t i = search.levelstart; i < search.nreached; ++i)
    lowest = std::min(lowest, g.cdegree[search.reached[i]]);
  candidates->clear();
  for (std::size_t i = search.levelstart; i < search.nreached; ++i)
    if (g.cdegree[search.reached[i]] == lowest) candidates->push_back(search.reached[i]);
  std::sort(candidates->begin(), candidates->end());
  const int pick =
      static_cast<int>(drawfrom(graphsimrand) * static_cast<double>(candidates->size()));
  return (*candidates)[pick];
}

// What makes the degrees unusable for a graph of cnodenum check nodes, ""
// when nothing does; *edges is their sum.
std::string pegrefusal(const std::vector<int> &vdegrees, int cnodenum, std::int64_t *edges) {
  if (vdegrees.empty() || vdegrees.size() > static_cast<std::size_t>(INT_MAX))
    return "the number of variable nodes must lie in 1.." + std::to_string(INT_MAX);
  if (cnodenum < 1) return "the number of check nodes must be at least 1";
  *edges = 0;
  for (std::size_t v = 0; v < vdegrees.size(); ++v) {
    if (vdegrees[v] < 1 || vdegrees[v] > cnodenum)
      return "variable node " + std::to_string(v) + " has degree " + std::to_string(vdegrees[v]) +
             "; degrees must lie in 1.." + std::to_string(cnodenum) +
             " (the number of check nodes)";
    *edges += vdegrees[v];
  }
  if (*edges > INT_MAX)
    return "the degrees add up to " + std::to_string(*edges) + " edges; at most " +
           std::to_string(INT_MAX) + " fit";
  return "";
}

// The graph record of the grown graph: sockets in order of placement (all
// edges of node v are placed before those of v + 1). False, nothing kept,
// when a side has more distinct degrees than a degree table holds.
bool writepegrecord(graphs *graph, const peggraph &g, const std::vector<int> &vdegrees,
                    std::string *error) {
  const int vnodes = static_cast<int>(vdegrees.size());
  const int cnodenum = static_cast<int>(g.cdegree.size());
  graph->vnodenum = vnodes;
  graph->cnodenum = cnodenum;
  graph->rate = 1.0 - static_cast<double>(cnodenum) / vnodes;
  graph->vnodelist = allocatearray<vnode>(vnodes);
  graph->cnodelist = allocatearray<cnode>(cnodenum);
  for (int c = 0; c < cnodenum; ++c)
    graph->cnodelist[c] = {0, 0.0, allocatearray<edge>(g.cdegree[c])};
  for (int v = 0; v < vnodes; ++v) {
    graph->vnodelist[v] = {vdegrees[v], 0.0, allocatearray<edge>(vdegrees[v])};
    for (int s = 0; s < vdegrees[v]; ++s) {
      const int c = g.vchecks[g.vfirst[v] + s];
      cnode &check = graph->cnodelist[c];
      graph->vnodelist[v].edgelist[s] = {c, check.degree, 0.0};
      check.edgelist[check.degree++] = {v, s, 0.0};
    }
  }
  const char *side = "";
  if (!tabulategraphdegrees(graph, &side)) {
    freegraph(graph);
    *graph = graphs{};
    *error = std::string("the graph has more than ") + std::to_string(maxdegreesnum) +
             " distinct " + side + " degrees";
    return false;
  }
  return true;
}

}  // namespace

namespace {

// The node count of each entry of degrees: round(length * fraction), the
// rounding remainders given to the largest fractional parts.
std::vector<long long> pegcounts(const std::vector<double> &fractions, int length) {
  // Largest remainders: floors first, then one more node for the entries
  // with the largest fractional parts (earlier entries first on a tie).
  const std::size_t n = fractions.size();
  std::vector<long long> counts(n);
  std::vector<std::pair<double, std::size_t>> parts;
  long long assigned = 0;
  for (std::size_t k = 0; k < n; ++k) {
    const double exact = length * fractions[k];
    counts[k] = static_cast<long long>(std::floor(exact));
    assigned += counts[k];
    parts.push_back({exact - std::floor(exact), k});
  }
  std::stable_sort(parts.begin(), parts.end(),
                   [](const auto &a, const auto &b) { return a.first > b.first; });
  for (std::size_t i = 0; assigned < length && i < n; ++i, ++assigned) ++counts[parts[i].second];
  return counts;
}

}  // namespace

std::string pegdistributionfault(const std::vector<int> &degrees,
                                 const std::vector<double> &fractions, int length, int cnodenum) {
  if (length < 1) return "the number of variable nodes must be at least 1";
  if (cnodenum < 1) return "the number of check nodes must be at least 1";
  const std::vector<long long> counts = pegcounts(fractions, length);
  long double edges = 0;
  for (std::size_t k = 0; k < degrees.size(); ++k) {
    if (counts[k] > 0 && (degrees[k] < 1 || degrees[k] > cnodenum))
      return "degrees must lie in 1.." + std::to_string(cnodenum) +
             " (the number of check nodes), not " + std::to_string(degrees[k]);
    edges += static_cast<long double>(counts[k]) * degrees[k];
  }
  if (edges > INT_MAX)
    return std::to_string(length) + " variable nodes of these degrees have " +
           std::to_string(static_cast<long long>(edges)) + " edges; at most " +
           std::to_string(INT_MAX) + " fit";
  return "";
}

std::vector<int> pegdegrees(const std::vector<int> &degrees, const std::vector<double> &fractions,
                            int length) {
  const std::size_t n = degrees.size();
  const std::vector<long long> counts = pegcounts(fractions, length);
  std::vector<std::size_t> order(n);
  for (std::size_t k = 0; k < n; ++k) order[k] = k;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return degrees[a] < degrees[b]; });
  std::vector<int> result;
  for (std::size_t k : order)
    result.insert(result.end(), static_cast<std::size_t>(counts[k]), degrees[k]);
  return result;
}

bool constructpeg(graphs *graph, const std::vector<int> &vdegrees, int cnodenum, std::string *error,
                  progressfunction progress) {
  std::int64_t edges = 0;
  *error = pegrefusal(vdegrees, cnodenum, &edges);
  if (!error->empty()) return false;
  const int vnodes = static_cast<int>(vdegrees.size());
  peggraph g(vdegrees, edges, cnodenum);
  pegsearch search(vnodes, cnodenum, *std::max_element(vdegrees.begin(), vdegrees.end()));
  std::vector<int> candidates;
  for (int v = 0; v < vnodes; ++v) {
    if (progress != nullptr && (v & 255) == 0) progress(v, vnodes, "progressive edge growth");
    for (int k = 0; k < vdegrees[v]; ++k) {
      search.run(g, v);
      g.place(v, choosecheck(g, search, &candidates));
    }
  }
  return writepegrecord(graph, g, vdegrees, error);
}

}  // namespace ldpc
