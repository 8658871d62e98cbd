// Sparse parity-check rows of a graph.
#include "paritycheck.h"

#include <algorithm>

namespace ldpc {

bool readchecks(const graphs *graph, sparsechecks *checks, std::string *error) {
  if (graph == nullptr || graph->vnodenum < 0 || graph->cnodenum < 0) {
    *error = "the graph record holds no graph";
    return false;
  }
  if (graph->cnodenum > 0 && graph->cnodelist == nullptr) {
    *error = "the graph record has " + std::to_string(graph->cnodenum) +
             " check nodes but no check node array";
    return false;
  }
  const int n = graph->vnodenum;
  const int m = graph->cnodenum;
  sparsechecks out;
  out.n = n;
  out.m = m;
  out.start.assign(m + 1, 0);
  std::vector<int> row;
  for (int c = 0; c < m; ++c) {
    const cnode &node = graph->cnodelist[c];
    if (node.degree < 0 || (node.degree > 0 && node.edgelist == nullptr)) {
      *error = "check node " + std::to_string(c) + " has degree " + std::to_string(node.degree) +
               (node.degree < 0 ? "" : " but no edge list");
      return false;
    }
    row.clear();
    for (int s = 0; s < node.degree; ++s) {
      const int v = node.edgelist[s].dest;
      if (v < 0 || v >= n) {
        *error = "check node " + std::to_string(c) + " socket " + std::to_string(s) +
                 " names variable node " + std::to_string(v) + "; variable nodes are numbered 0.." +
                 std::to_string(n - 1);
        return false;
      }
      row.push_back(v);
    }
    // Sort, then keep the variables that occur an odd number of times.
    std::sort(row.begin(), row.end());
    for (std::size_t i = 0; i < row.size();) {
      std::size_t j = i;
      while (j < row.size() && row[j] == row[i]) ++j;
      if ((j - i) & 1) out.vars.push_back(row[i]);
      i = j;
    }
    out.start[c + 1] = static_cast<int>(out.vars.size());
  }
  *checks = std::move(out);
  return true;
}

void transposechecks(const sparsechecks &checks, std::vector<int> *start, std::vector<int> *rows) {
  start->assign(checks.n + 1, 0);
  for (int v : checks.vars) ++(*start)[v + 1];
  for (int v = 0; v < checks.n; ++v) (*start)[v + 1] += (*start)[v];
  rows->assign(checks.vars.size(), 0);
  std::vector<int> fill(start->begin(), start->end() - 1);
  for (int c = 0; c < checks.m; ++c)
    for (int i = checks.start[c]; i < checks.start[c + 1]; ++i) (*rows)[fill[checks.vars[i]]++] = c;
}

int unsatisfiedchecks(const sparsechecks &checks, const std::uint8_t *word) {
  int unsatisfied = 0;
  for (int c = 0; c < checks.m; ++c) {
    int parity = 0;
    for (int i = checks.start[c]; i < checks.start[c + 1]; ++i) parity ^= word[checks.vars[i]] != 0;
    unsatisfied += parity;
  }
  return unsatisfied;
}

bool iscodeword(const sparsechecks &checks, const std::uint8_t *word) {
  return unsatisfiedchecks(checks, word) == 0;
}

}  // namespace ldpc
