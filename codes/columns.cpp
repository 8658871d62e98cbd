// Graph records from column lists.
#include "columns.h"

#include <algorithm>
#include <cstdlib>

#include "degreetable.h"

namespace ldpc {

columns emptycolumns(int vnodenum, int cnodenum) {
  columns matrix;
  matrix.vnodenum = vnodenum;
  matrix.cnodenum = cnodenum;
  matrix.columnstart.reserve(static_cast<std::size_t>(vnodenum) + 1);
  matrix.columnstart.push_back(0);
  return matrix;
}

void appendcolumn(columns *matrix, std::vector<int> entries, bool modtwo) {
  std::sort(entries.begin(), entries.end());
  if (modtwo) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entries.size();) {
      std::size_t j = i;
      while (j < entries.size() && entries[j] == entries[i]) ++j;
      if ((j - i) % 2 == 1) entries[kept++] = entries[i];
      i = j;
    }
    entries.resize(kept);
  }
  matrix->rows.insert(matrix->rows.end(), entries.begin(), entries.end());
  matrix->columnstart.push_back(static_cast<int>(matrix->rows.size()));
}

graphs *graphofcolumns(const columns &matrix, std::string *error) {
  const int n = matrix.vnodenum, m = matrix.cnodenum;
  graphs *graph = allocatezeroedarray<graphs>(1);
  graph->vnodenum = n;
  graph->cnodenum = m;
  graph->rate = n > 0 ? 1.0 - static_cast<double>(m) / n : 0.0;
  graph->vnodelist = allocatearray<vnode>(n);
  graph->cnodelist = allocatearray<cnode>(m);

  // Check degrees first, so that every edge list is allocated once.
  std::vector<int> cdegree(static_cast<std::size_t>(m), 0);
  for (int r : matrix.rows) ++cdegree[static_cast<std::size_t>(r)];
  for (int c = 0; c < m; ++c) {
    graph->cnodelist[c].degree = cdegree[static_cast<std::size_t>(c)];
    graph->cnodelist[c].value = 0.0;
    graph->cnodelist[c].edgelist = allocatearray<edge>(cdegree[static_cast<std::size_t>(c)]);
  }

  // Both ends of every edge: check sockets in order of appearance.
  std::vector<int> filled(static_cast<std::size_t>(m), 0);
  for (int v = 0; v < n; ++v) {
    const int first = matrix.columnstart[static_cast<std::size_t>(v)];
    const int degree = matrix.columnstart[static_cast<std::size_t>(v) + 1] - first;
    vnode *node = &graph->vnodelist[v];
    node->degree = degree;
    node->value = 0.0;
    node->edgelist = allocatearray<edge>(degree);
    for (int s = 0; s < degree; ++s) {
      const int c = matrix.rows[static_cast<std::size_t>(first + s)];
      const int t = filled[static_cast<std::size_t>(c)]++;
      node->edgelist[s] = {c, t, 0.0};
      graph->cnodelist[c].edgelist[t] = {v, s, 0.0};
    }
  }

  const char *side = nullptr;
  if (!tabulategraphdegrees(graph, &side)) {
    *error = std::string("more than ") + std::to_string(maxdegreesnum) + " distinct " + side +
             " node degrees";
    freegraph(graph);
    std::free(graph);
    return nullptr;
  }
  return graph;
}

}  // namespace ldpc
