// Writer of alist files.
#include "alist.h"

namespace ldpc {

namespace {

// One column or row list: the node numbers from 1, then zero fillers.
template <typename node>
void formatlist(textwriter *out, const node &n, int width, bool padded) {
  for (int s = 0; s < n.degree; ++s) {
    if (s > 0) writechar(out, ' ');
    writeint(out, static_cast<std::int64_t>(n.edgelist[s].dest) + 1, 0);
  }
  if (padded)
    for (int s = n.degree; s < width; ++s) writetext(out, s > 0 ? " 0" : "0");
  writechar(out, '\n');
}

template <typename node>
void formatweights(textwriter *out, const node *nodes, int count) {
  for (int i = 0; i < count; ++i) {
    if (i > 0) writechar(out, ' ');
    writeint(out, nodes[i].degree, 0);
  }
  writechar(out, '\n');
}

}  // namespace

void formatalist(textwriter *out, const graphs *graph, bool padded) {
  int vmax = 0, cmax = 0;
  for (int v = 0; v < graph->vnodenum; ++v)
    if (graph->vnodelist[v].degree > vmax) vmax = graph->vnodelist[v].degree;
  for (int c = 0; c < graph->cnodenum; ++c)
    if (graph->cnodelist[c].degree > cmax) cmax = graph->cnodelist[c].degree;

  writeint(out, graph->vnodenum, 0);
  writechar(out, ' ');
  writeint(out, graph->cnodenum, 0);
  writechar(out, '\n');
  writeint(out, vmax, 0);
  writechar(out, ' ');
  writeint(out, cmax, 0);
  writechar(out, '\n');
  formatweights(out, graph->vnodelist, graph->vnodenum);
  formatweights(out, graph->cnodelist, graph->cnodenum);
  for (int v = 0; v < graph->vnodenum; ++v) formatlist(out, graph->vnodelist[v], vmax, padded);
  for (int c = 0; c < graph->cnodenum; ++c) formatlist(out, graph->cnodelist[c], cmax, padded);
}

writeoutcome writealistfile(const graphs *graph, const char *path, bool padded,
                            std::string *error) {
  return writewhole(
      path, [&](textwriter *out) { formatalist(out, graph, padded); }, error);
}

}  // namespace ldpc
