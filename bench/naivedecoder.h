// A straightforward decoder to measure the library's against: sum-product in
// double precision, flooding, messages kept in the graph record's own edge
// fields, the check rule as the textbook writes it (for each edge the
// product of tanh(x/2) over the other edges, then 2 atanh; each tanh formed
// once per edge), one frame at a time.
#ifndef LDPC_BENCH_NAIVEDECODER_H
#define LDPC_BENCH_NAIVEDECODER_H

#include <cmath>
#include <vector>

#include "graphstruct.h"

// Decodes one frame in place of the graph's messages; returns the
// iterations run and fills decision.
inline int naivedecode(ldpc::graphs *g, const double *llr, int iterations, bool earlystop,
                       std::vector<int> *decision) {
  decision->assign(g->vnodenum, 0);
  // Variable-to-check messages start as the channel values, at the check
  // ends; check-to-variable messages live at the variable ends.
  for (int v = 0; v < g->vnodenum; ++v)
    for (int s = 0; s < g->vnodelist[v].degree; ++s) {
      ldpc::edge &e = g->vnodelist[v].edgelist[s];
      g->cnodelist[e.dest].edgelist[e.socket].message = llr[v];
      e.message = 0;
    }
  std::vector<double> tanhs;  // tanh(x/2) of a check's incoming messages
  int it = 0;
  while (it < iterations) {
    ++it;
    for (int c = 0; c < g->cnodenum; ++c) {
      ldpc::cnode &node = g->cnodelist[c];
      tanhs.resize(node.degree);
      for (int k = 0; k < node.degree; ++k) tanhs[k] = std::tanh(node.edgelist[k].message / 2);
      for (int t = 0; t < node.degree; ++t) {
        double product = 1.0;
        for (int k = 0; k < node.degree; ++k)
          if (k != t) product *= tanhs[k];
        if (product > 0.999999999999) product = 0.999999999999;
        if (product < -0.999999999999) product = -0.999999999999;
        ldpc::edge &e = node.edgelist[t];
        g->vnodelist[e.dest].edgelist[e.socket].message = 2 * std::atanh(product);
      }
    }
    for (int v = 0; v < g->vnodenum; ++v) {
      ldpc::vnode &node = g->vnodelist[v];
      double total = llr[v];
      for (int s = 0; s < node.degree; ++s) total += node.edgelist[s].message;
      node.value = total;
      (*decision)[v] = total < 0;
      for (int s = 0; s < node.degree; ++s) {
        ldpc::edge &e = node.edgelist[s];
        g->cnodelist[e.dest].edgelist[e.socket].message = total - e.message;
      }
    }
    if (earlystop) {
      bool ok = true;
      for (int c = 0; c < g->cnodenum && ok; ++c) {
        int parity = 0;
        for (int t = 0; t < g->cnodelist[c].degree; ++t)
          parity ^= (*decision)[g->cnodelist[c].edgelist[t].dest];
        ok = parity == 0;
      }
      if (ok) break;
    }
  }
  return it;
}

#endif
