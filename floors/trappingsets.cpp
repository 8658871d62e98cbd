// Classification of variable-node sets and the collector of failing sets.
#include "trappingsets.h"

#include <algorithm>
#include <numeric>
#include <stdexcept>
#include <string>
#include <tuple>

#include "decoder.h"
#include "degreetable.h"

namespace ldpc {

namespace {

void refuse(const std::string &what) { throw std::invalid_argument("trapping sets: " + what); }

int findroot(std::vector<int> &parent, int x) {
  while (parent[x] != x) x = parent[x] = parent[parent[x]];
  return x;
}

}  // namespace

tannerlists listsofgraph(const graphs *graph) {
  if (graph == nullptr || graph->vnodenum < 0) refuse("the graph record holds no graph");
  tannerlists t;
  t.vnodenum = graph->vnodenum;
  t.cnodenum = graph->cnodenum;
  t.vchecks.resize(t.vnodenum);
  t.cvariables.resize(t.cnodenum);
  for (int v = 0; v < t.vnodenum; ++v) {
    const vnode &node = graph->vnodelist[v];
    for (int s = 0; s < node.degree; ++s) {
      const edge &e = node.edgelist[s];
      if (!hasmirror(graph, v, s))
        refuse("variable node " + std::to_string(v) + ", socket " + std::to_string(s) +
               " has no mirror entry at check node " + std::to_string(e.dest));
      t.vchecks[v].push_back(e.dest);
    }
  }
  for (int c = 0; c < t.cnodenum; ++c) {
    const cnode &node = graph->cnodelist[c];
    for (int s = 0; s < node.degree; ++s) t.cvariables[c].push_back(node.edgelist[s].dest);
  }
  return t;
}

tannerlists listsfromchecks(int cnodenum, const std::vector<std::vector<int>> &vchecks) {
  tannerlists t;
  t.vnodenum = static_cast<int>(vchecks.size());
  t.cnodenum = cnodenum;
  t.vchecks = vchecks;
  t.cvariables.resize(cnodenum);
  for (int v = 0; v < t.vnodenum; ++v)
    for (int c : vchecks[v]) {
      if (c < 0 || c >= cnodenum)
        refuse("variable node " + std::to_string(v) + " names check node " + std::to_string(c) +
               " outside 0.." + std::to_string(cnodenum - 1));
      t.cvariables[c].push_back(v);
    }
  return t;
}

graphs *graphoflists(const tannerlists &t) {
  auto *g = static_cast<graphs *>(allocate(sizeof(graphs)));
  g->vnodenum = t.vnodenum;
  g->cnodenum = t.cnodenum;
  g->rate = t.vnodenum > 0 ? 1.0 - static_cast<double>(t.cnodenum) / t.vnodenum : 0.0;
  g->vnodelist = static_cast<vnode *>(allocate(std::max(1, t.vnodenum) * sizeof(vnode)));
  g->cnodelist = static_cast<cnode *>(allocate(std::max(1, t.cnodenum) * sizeof(cnode)));
  std::vector<int> filled(t.cnodenum, 0);
  g->vmaxdegree = g->cmaxdegree = 0;
  for (int c = 0; c < t.cnodenum; ++c) {
    const int d = static_cast<int>(t.cvariables[c].size());
    g->cnodelist[c] = {d, 0.0, static_cast<edge *>(allocate(std::max(1, d) * sizeof(edge)))};
    g->cmaxdegree = std::max(g->cmaxdegree, d);
  }
  for (int v = 0; v < t.vnodenum; ++v) {
    const int d = static_cast<int>(t.vchecks[v].size());
    g->vnodelist[v] = {d, 0.0, static_cast<edge *>(allocate(std::max(1, d) * sizeof(edge)))};
    g->vmaxdegree = std::max(g->vmaxdegree, d);
    for (int s = 0; s < d; ++s) {
      const int c = t.vchecks[v][s];
      const int socket = filled[c]++;
      g->vnodelist[v].edgelist[s] = {c, socket, 0.0};
      g->cnodelist[c].edgelist[socket] = {v, s, 0.0};
    }
  }
  g->vdegreelist = static_cast<degreelist *>(allocate(sizeof(degreelist)));
  g->cdegreelist = static_cast<degreelist *>(allocate(sizeof(degreelist)));
  tabulatedegrees(g->vnodelist, g->vnodenum, 1, g->vdegreelist, &g->vdegreesnum);
  tabulatedegrees(g->cnodelist, g->cnodenum, 1, g->cdegreelist, &g->cdegreesnum);
  return g;
}

trappingclass classifyset(const tannerlists &g, const std::vector<int> &variables) {
  // Membership and the induced degree of every touched check.
  std::vector<int> index(g.vnodenum, -1);
  for (std::size_t j = 0; j < variables.size(); ++j) {
    const int v = variables[j];
    if (v < 0 || v >= g.vnodenum)
      refuse("variable node " + std::to_string(v) + " lies outside 0.." +
             std::to_string(g.vnodenum - 1));
    if (index[v] >= 0) refuse("variable node " + std::to_string(v) + " is listed twice");
    index[v] = static_cast<int>(j);
  }
  std::vector<int> degree(g.cnodenum, 0), touched;
  for (int v : variables)
    for (int c : g.vchecks[v])
      if (degree[c]++ == 0) touched.push_back(c);
  trappingclass k;
  k.a = static_cast<int>(variables.size());
  k.checks = static_cast<int>(touched.size());
  k.elementary = true;
  for (int c : touched) {
    k.b += degree[c] % 2;
    k.elementary &= degree[c] <= 2;
  }
  // Absorbing: inside, more edges to even checks than to odd ones.
  k.absorbing = true;
  for (int v : variables) {
    int odd = 0;
    for (int c : g.vchecks[v]) odd += degree[c] % 2;
    k.absorbing &= 2 * odd < static_cast<int>(g.vchecks[v].size());
  }
  // Fully absorbing: outside, more edges to checks that are not odd than to
  // odd ones; only variables next to an odd check can fail it.
  k.fullyabsorbing = k.absorbing;
  for (int c : touched) {
    if (!k.fullyabsorbing || degree[c] % 2 == 0) continue;
    for (int u : g.cvariables[c]) {
      if (index[u] >= 0) continue;
      int odd = 0;
      for (int d : g.vchecks[u]) odd += degree[d] % 2;
      k.fullyabsorbing &= 2 * odd < static_cast<int>(g.vchecks[u].size());
    }
  }
  // Components: variables joined through their checks.
  std::vector<int> parent(variables.size()), first(g.cnodenum, -1);
  std::iota(parent.begin(), parent.end(), 0);
  for (std::size_t j = 0; j < variables.size(); ++j)
    for (int c : g.vchecks[variables[j]]) {
      if (first[c] < 0)
        first[c] = static_cast<int>(j);
      else
        parent[findroot(parent, static_cast<int>(j))] = findroot(parent, first[c]);
    }
  for (std::size_t j = 0; j < variables.size(); ++j)
    k.components += findroot(parent, static_cast<int>(j)) == static_cast<int>(j);
  return k;
}

void failurecollector::add(const std::vector<int> &errorset, double weight, bool arrival) {
  std::vector<int> key = errorset;
  std::sort(key.begin(), key.end());
  auto found = sets_.find(key);
  if (found == sets_.end()) {
    failurerecord record;
    record.kind = classifyset(graph_, key);
    record.variables = key;
    found = sets_.emplace(std::move(key), std::move(record)).first;
  }
  failurerecord &record = found->second;
  ++record.samples;
  record.arrivals += arrival;
  record.weight += weight;
  total_ += weight;
}

std::vector<failurerecord> failurecollector::records(std::size_t limit, int maxsize) const {
  std::vector<failurerecord> out;
  for (const auto &entry : sets_) {
    if (maxsize > 0 && entry.second.kind.a > maxsize) continue;
    out.push_back(entry.second);
    out.back().share = total_ > 0 ? out.back().weight / total_ : 0.0;
  }
  std::sort(out.begin(), out.end(), [](const failurerecord &x, const failurerecord &y) {
    if (x.weight != y.weight) return x.weight > y.weight;
    return std::tie(x.kind.a, x.kind.b, x.variables) < std::tie(y.kind.a, y.kind.b, y.variables);
  });
  if (limit > 0 && out.size() > limit) out.resize(limit);
  return out;
}

std::vector<classshare> failurecollector::classes() const {
  std::map<std::tuple<int, int, bool, bool>, classshare> byclass;
  for (const auto &entry : sets_) {
    const failurerecord &r = entry.second;
    classshare &c = byclass[{r.kind.a, r.kind.b, r.kind.elementary, r.kind.absorbing}];
    c.a = r.kind.a;
    c.b = r.kind.b;
    c.elementary = r.kind.elementary;
    c.absorbing = r.kind.absorbing;
    ++c.sets;
    c.samples += r.samples;
    c.share += total_ > 0 ? r.weight / total_ : 0.0;
  }
  std::vector<classshare> out;
  for (const auto &entry : byclass) out.push_back(entry.second);
  std::stable_sort(out.begin(), out.end(),
                   [](const classshare &x, const classshare &y) { return x.share > y.share; });
  return out;
}

}  // namespace ldpc
