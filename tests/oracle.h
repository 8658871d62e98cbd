// The invariants of a graph record, checked by brute force for the tests and
// the fuzz harnesses. Header-only and free of any test framework, so that
// the harnesses need not link the test support; written apart from the
// library's checker (which follows every entry to its mirror) so that the
// two can be held against each other.
//
// Every entry of either side is turned into the edge it claims, written as
// (variable node, variable socket, check node, check socket); the graph keeps
// its mirror entries exactly when the two sides claim the same multiset of
// edges. No entry is followed, so a corrupt record is read safely. Degree
// tables are recounted from the node degrees.
#ifndef LDPC_TESTS_ORACLE_H
#define LDPC_TESTS_ORACLE_H

#include <algorithm>
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "graphstruct.h"

namespace oracle {

// How far the degree tables are held to the node degrees.
enum tablerule {
  notables,     // not looked at (a protograph has none)
  tablesfit,    // present and within capacity, taken as they stand
  tablesmatch,  // and, per degree, the counts listed add up to the nodes of that degree
  tablesexact,  // and one entry per degree that occurs, increasing, none for the others
};

namespace detail {

typedef std::array<long long, 4> claim;  // variable, its socket, check, its socket

inline std::string describe(const claim &c) {
  return "variable " + std::to_string(c[0]) + " socket " + std::to_string(c[1]) + " ~ check " +
         std::to_string(c[2]) + " socket " + std::to_string(c[3]);
}

// The node's own fields, before any of its entries is read.
template <typename node>
std::string nodefault(const char *side, const node *nodes, int count) {
  if (count < 0) return std::string(side) + " node count is negative";
  if (count > 0 && nodes == nullptr) return std::string(side) + " node array is missing";
  for (int i = 0; i < count; ++i) {
    if (nodes[i].degree < 0)
      return std::string(side) + " node " + std::to_string(i) + " has a negative degree";
    if (nodes[i].degree > 0 && nodes[i].edgelist == nullptr)
      return std::string(side) + " node " + std::to_string(i) + " has no edge list";
  }
  return "";
}

// (degree, number of nodes) for every degree that occurs, increasing.
template <typename node>
std::vector<std::pair<long long, long long>> recount(const node *nodes, int count) {
  std::vector<long long> degrees;
  for (int i = 0; i < count; ++i) degrees.push_back(nodes[i].degree);
  std::sort(degrees.begin(), degrees.end());
  std::vector<std::pair<long long, long long>> runs;
  for (long long d : degrees) {
    if (runs.empty() || runs.back().first != d) runs.emplace_back(d, 0);
    ++runs.back().second;
  }
  return runs;
}

template <typename node>
std::string tablefault(const char *side, const node *nodes, int count,
                       const ldpc::degreelist *table, int entries, tablerule rule) {
  const std::string where = std::string(side) + " degree table: ";
  if (table == nullptr) return where + "missing";
  if (entries < 0 || entries > ldpc::maxdegreesnum)
    return where + std::to_string(entries) + " entries";
  if (rule == tablesfit) return "";
  std::vector<std::pair<long long, long long>> listed;
  for (int k = 0; k < entries; ++k) listed.emplace_back(table->degree[k], table->numofnodes[k]);
  const std::vector<std::pair<long long, long long>> wanted = recount(nodes, count);
  if (rule == tablesmatch) {
    // the same degree may stand in several entries, and a count may be 0
    std::sort(listed.begin(), listed.end());
    std::vector<std::pair<long long, long long>> merged;
    for (const auto &entry : listed) {
      if (!merged.empty() && merged.back().first == entry.first)
        merged.back().second += entry.second;
      else
        merged.push_back(entry);
    }
    listed.clear();
    for (const auto &entry : merged)
      if (entry.second != 0) listed.push_back(entry);
  }
  if (listed == wanted) return "";
  // nodes x degree, one pair after another (appended piece by piece, which
  // keeps a false -Wrestrict of GCC 12 away)
  auto spell = [](const std::vector<std::pair<long long, long long>> &pairs) {
    std::string text;
    for (const auto &[degree, number] : pairs) {
      text += ' ';
      text += std::to_string(number);
      text += 'x';
      text += std::to_string(degree);
    }
    return text;
  };
  return where + "lists" + spell(listed) + "; the nodes have" + spell(wanted);
}

}  // namespace detail

// "" when the graph keeps its invariants: both sides claim the same edges
// (every entry in range and mirrored), the degrees of both sides add up to
// the same number, and the degree tables hold by rule. Else the first fault
// found.
inline std::string checkgraph(const ldpc::graphs *g, tablerule rule) {
  std::string fault = detail::nodefault("variable", g->vnodelist, g->vnodenum);
  if (fault.empty()) fault = detail::nodefault("check", g->cnodelist, g->cnodenum);
  if (!fault.empty()) return fault;

  std::vector<detail::claim> fromv, fromc;
  for (int v = 0; v < g->vnodenum; ++v)
    for (int s = 0; s < g->vnodelist[v].degree; ++s) {
      const ldpc::edge &e = g->vnodelist[v].edgelist[s];
      fromv.push_back({v, s, e.dest, e.socket});
    }
  for (int c = 0; c < g->cnodenum; ++c)
    for (int t = 0; t < g->cnodelist[c].degree; ++t) {
      const ldpc::edge &e = g->cnodelist[c].edgelist[t];
      fromc.push_back({e.dest, e.socket, c, t});
    }
  if (fromv.size() != fromc.size())
    return "the variable degrees add up to " + std::to_string(fromv.size()) +
           ", the check degrees to " + std::to_string(fromc.size());
  std::sort(fromv.begin(), fromv.end());
  std::sort(fromc.begin(), fromc.end());
  auto differ = std::mismatch(fromv.begin(), fromv.end(), fromc.begin());
  if (differ.first != fromv.end()) {
    if (*differ.first < *differ.second)
      return "the variable side claims " + detail::describe(*differ.first) +
             "; the check side does not";
    return "the check side claims " + detail::describe(*differ.second) +
           "; the variable side does not";
  }

  if (rule == notables) return "";
  fault = detail::tablefault("variable", g->vnodelist, g->vnodenum, g->vdegreelist, g->vdegreesnum,
                             rule);
  if (fault.empty())
    fault = detail::tablefault("check", g->cnodelist, g->cnodenum, g->cdegreelist, g->cdegreesnum,
                               rule);
  return fault;
}

// "" when vmaxdegree and cmaxdegree are the largest degrees of their sides
// (0 for a side without nodes). Needs only the node degrees.
inline std::string checkmaxima(const ldpc::graphs *g) {
  int vmax = 0, cmax = 0;
  for (int v = 0; v < g->vnodenum; ++v) vmax = std::max(vmax, g->vnodelist[v].degree);
  for (int c = 0; c < g->cnodenum; ++c) cmax = std::max(cmax, g->cnodelist[c].degree);
  if (g->vmaxdegree != vmax)
    return "vmaxdegree " + std::to_string(g->vmaxdegree) + ", largest " + std::to_string(vmax);
  if (g->cmaxdegree != cmax)
    return "cmaxdegree " + std::to_string(g->cmaxdegree) + ", largest " + std::to_string(cmax);
  return "";
}

}  // namespace oracle

#endif
