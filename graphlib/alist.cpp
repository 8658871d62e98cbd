#include "alist.h"

#include <cstdlib>
#include <cstring>

#include "degreetable.h"
#include "intlist.h"
#include "partialgraph.h"

namespace ldpc {

namespace {

// Reads one integer of a header item; on failure describes it.
bool readitem(textscanner *in, int *value, const char *item, std::string *error) {
  scanresult result = scanint(in, value);
  if (result != scanned) {
    *error = std::string(item) + ": " + describescanfault(in, result);
    return false;
  }
  if (*value < 0) {
    *error = std::string(item) + " is " + number(*value) + "; it must not be negative";
    return false;
  }
  return true;
}

// Reads count weights of item 5 or 6 into list.
bool readweights(textscanner *in, int count, const char *item, const char *what, intlist *list,
                 std::string *error) {
  for (int i = 0; i < count; ++i) {
    int weight;
    scanresult result = scanint(in, &weight);
    if (result != scanned) {
      *error = std::string(item) + ", " + what + " " + number(i + 1) + ": " +
               describescanfault(in, result);
      return false;
    }
    if (weight < 0) {
      *error = std::string(item) + ", " + what + " " + number(i + 1) + ": weight " +
               number(weight) + " is negative";
      return false;
    }
    append(list, weight);
  }
  return true;
}

const char *const item7 = "item 7 (column lists)";

// The two readings of the column lists, fed in lockstep by one scan: padded
// to the largest column weight with fillers, or holding exactly the weights.
struct readings {
  std::int64_t paddedneed;    // integers the padded reading takes
  std::int64_t unpaddedneed;  // integers the unpadded reading takes
  bool paddedalive;
  bool unpaddedalive;
  bool nonzerofiller;       // the padded reading met a filler other than 0
  std::string paddedfault;  // why the padded reading failed
};

// The padded reading needs every weight within the column-list length.
readings startreadings(const intlist &colweights, int n, int vmax) {
  readings r{static_cast<std::int64_t>(n) * vmax, 0, true, true, false, {}};
  for (int v = 0; v < n; ++v) {
    if (colweights.items[v] > vmax && r.paddedfault.empty())
      r.paddedfault = "item 5 (column weights), column " + number(v + 1) + ": weight " +
                      number(colweights.items[v]) + " exceeds the column-list length " +
                      number(vmax) + " of item 3";
    r.unpaddedneed += colweights.items[v];
  }
  r.paddedalive = r.paddedfault.empty();
  return r;
}

// Each reading needs one integer per entry, and integers take at least two
// characters each but the last. When the rest of the input cannot hold
// what either reading needs, no edge list is allocated and item 7 is only
// scanned for the padded reading's first fault: a short file that claims
// huge weights is refused as short instead of exhausting memory. Where
// the size is unknown (a pipe), the input is read ahead as far as the
// smaller need, so that memory follows what the input holds there too.
bool roomforentries(textscanner *in, const readings &r) {
  std::int64_t smallerneed = r.unpaddedneed;
  if (r.paddedalive && r.paddedneed < smallerneed) smallerneed = r.paddedneed;
  const std::int64_t remaining =
      scanlookahead(in, smallerneed < INT64_MAX / 2 ? 2 * smallerneed - 1 : INT64_MAX);
  const std::int64_t room = remaining < 0 ? INT64_MAX : (remaining + 1) / 2;
  return (r.paddedalive && r.paddedneed <= room) || r.unpaddedneed <= room;
}

// Nodes with their degrees; variable edge lists when store is set.
void allocatenodes(graphs *graph, const intlist &colweights, bool store) {
  const int n = graph->vnodenum, m = graph->cnodenum;
  graph->vnodelist = allocatearray<vnode>(n);
  graph->cnodelist = allocatearray<cnode>(m);
  for (int c = 0; c < m; ++c) {
    graph->cnodelist[c].degree = 0;
    graph->cnodelist[c].value = 0.0;
    graph->cnodelist[c].edgelist = nullptr;
  }
  for (int v = 0; v < n; ++v) {
    vnode *node = &graph->vnodelist[v];
    node->degree = colweights.items[v];
    node->value = 0.0;
    node->edgelist = store ? allocatearray<edge>(node->degree) : nullptr;
  }
}

// Item 7, read once for both dialects. Position p of the integer sequence
// is, padded, entry p % vmax of column p / vmax and, unpadded, an entry of
// the column whose weights before it sum to at most p. The padded row goes
// into dest, the unpadded row into socket of the same edge lists.
void scancolumnlists(textscanner *in, graphs *graph, int vmax, bool store, readings *r) {
  const int n = graph->vnodenum, m = graph->cnodenum;
  int pv = 0, ps = 0;  // padded column and entry of position p
  int uv = 0, us = 0;  // unpadded column and entry of position p
  while (uv < n && graph->vnodelist[uv].degree == 0) ++uv;
  for (std::int64_t p = 0;; ++p) {
    bool paddedwants = r->paddedalive && p < r->paddedneed;
    bool unpaddedwants = r->unpaddedalive && p < r->unpaddedneed;
    if (!paddedwants && !unpaddedwants) break;
    int x;
    scanresult result = scanint(in, &x);
    if (result != scanned) {
      std::string fault = describescanfault(in, result);
      if (paddedwants)
        r->paddedfault = std::string(item7) + ", column " + number(pv + 1) + ": " + fault;
      r->paddedalive = r->paddedalive && !paddedwants;
      r->unpaddedalive = r->unpaddedalive && !unpaddedwants;
      break;
    }
    if (paddedwants) {
      if (ps < graph->vnodelist[pv].degree) {
        if (x < 1 || x > m) {
          r->paddedfault = std::string(item7) + ", column " + number(pv + 1) + ", entry " +
                           number(ps + 1) + ": row " + number(x) + " is outside 1.." + number(m);
          r->paddedalive = false;
        } else if (store) {
          graph->vnodelist[pv].edgelist[ps].dest = x - 1;
        }
      } else if (x != 0) {
        r->nonzerofiller = true;
      }
      if (++ps == vmax) {
        ps = 0;
        ++pv;
      }
    }
    if (unpaddedwants) {
      if (x < 1 || x > m) {
        r->unpaddedalive = false;
      } else {
        if (store) graph->vnodelist[uv].edgelist[us].socket = x - 1;
        if (++us == graph->vnodelist[uv].degree) {
          us = 0;
          ++uv;
          while (uv < n && graph->vnodelist[uv].degree == 0) ++uv;
        }
      }
    }
  }
  // Without stored entries no reading can be used; one that still succeeded
  // read more than the input held when the bound was taken.
  if (!store && (r->paddedalive || r->unpaddedalive)) {
    r->paddedfault = std::string(item7) + ": the file grew while it was read";
    r->paddedalive = r->unpaddedalive = false;
  }
}

// Chooses the reading: padded when it is valid and every filler is 0, else
// unpadded when it is valid and its row counts equal the row weights, else
// padded with any fillers. Returns false when none is usable. The unpadded
// reading's rows are counted only when it may be needed: the counting is a
// random access per edge, in counts (m zeros, left zero), a compact array
// that stays in cache far better than the check nodes.
bool choosereading(const graphs *graph, const readings &r, const intlist &rowweights, int *counts,
                   bool *usepadded) {
  *usepadded = r.paddedalive && !r.nonzerofiller;
  if (*usepadded) return true;
  const int n = graph->vnodenum, m = graph->cnodenum;
  bool unpaddedmatches = r.unpaddedalive;
  if (unpaddedmatches) {
    for (int v = 0; v < n; ++v) {
      const vnode *node = &graph->vnodelist[v];
      for (int s = 0; s < node->degree; ++s) ++counts[node->edgelist[s].socket];
    }
    for (int c = 0; c < m && unpaddedmatches; ++c)
      unpaddedmatches = counts[c] == rowweights.items[c];
    std::memset(counts, 0, static_cast<std::size_t>(m) * sizeof(int));
  }
  if (!unpaddedmatches && !r.paddedalive) return false;
  *usepadded = !unpaddedmatches;
  return true;
}

// The check side from the chosen reading: check sockets in order of
// appearance (by variable node, then socket), check edge lists and mirror
// entries. counts holds m zeros.
void buildcheckside(graphs *graph, bool usepadded, int *counts) {
  const int n = graph->vnodenum, m = graph->cnodenum;
  for (int v = 0; v < n; ++v) {
    vnode *node = &graph->vnodelist[v];
    for (int s = 0; s < node->degree; ++s) {
      edge *e = &node->edgelist[s];
      if (!usepadded) e->dest = e->socket;
      e->socket = counts[e->dest]++;
      e->message = 0.0;
    }
  }
  for (int c = 0; c < m; ++c) graph->cnodelist[c].degree = counts[c];
  for (int c = 0; c < m; ++c) {
    cnode *node = &graph->cnodelist[c];
    node->edgelist = allocatearray<edge>(node->degree);
  }
  for (int v = 0; v < n; ++v) {
    const vnode *node = &graph->vnodelist[v];
    for (int s = 0; s < node->degree; ++s) {
      const edge *e = &node->edgelist[s];
      edge *mirror = &graph->cnodelist[e->dest].edgelist[e->socket];
      mirror->dest = v;
      mirror->socket = s;
      mirror->message = 0.0;
    }
  }
}

}  // namespace

bool readalist(textscanner *in, graphs *graph, std::string *error) {
  graph->vnodelist = nullptr;
  graph->cnodelist = nullptr;
  graph->vdegreelist = nullptr;
  graph->cdegreelist = nullptr;
  in->hashcomments = true;
  // Files saved by some editors begin with a byte order mark.
  scanskipbom(in);

  // Items 1 to 4: the header.
  int n, m, vmax, cmax;
  if (!readitem(in, &n, "item 1 (number of columns)", error) ||
      !readitem(in, &m, "item 2 (number of rows)", error) ||
      !readitem(in, &vmax, "item 3 (largest column weight)", error) ||
      !readitem(in, &cmax, "item 4 (largest row weight)", error))
    return false;

  // Items 5 and 6: column and row weights.
  intlist colweights = {nullptr, 0, 0};
  intlist rowweights = {nullptr, 0, 0};
  if (!readweights(in, n, "item 5 (column weights)", "column", &colweights, error) ||
      !readweights(in, m, "item 6 (row weights)", "row", &rowweights, error)) {
    std::free(colweights.items);
    std::free(rowweights.items);
    return false;
  }

  graph->vnodenum = n;
  graph->cnodenum = m;
  graph->rate = 1.0 - static_cast<double>(m) / static_cast<double>(n);
  graph->vmaxdegree = vmax;
  graph->cmaxdegree = cmax;

  // Item 7 in both readings, then the choice between them.
  readings r = startreadings(colweights, n, vmax);
  const bool store = roomforentries(in, r);
  allocatenodes(graph, colweights, store);
  std::free(colweights.items);
  scancolumnlists(in, graph, vmax, store, &r);
  int *counts = allocatearray<int>(m);
  std::memset(counts, 0, static_cast<std::size_t>(m) * sizeof(int));
  bool usepadded;
  const bool usable = choosereading(graph, r, rowweights, counts, &usepadded);
  std::free(rowweights.items);
  if (!usable) {
    *error = r.paddedfault;
    std::free(counts);
    releasepartialgraph(graph, n, m);
    return false;
  }
  buildcheckside(graph, usepadded, counts);
  std::free(counts);

  // Degree tables: every degree that occurs, increasing.
  graph->vdegreelist = allocatearray<degreelist>(1);
  graph->cdegreelist = allocatearray<degreelist>(1);
  std::memset(graph->vdegreelist, 0, sizeof(degreelist));
  std::memset(graph->cdegreelist, 0, sizeof(degreelist));
  if (!tabulatedegrees(graph->vnodelist, n, 1, graph->vdegreelist, &graph->vdegreesnum)) {
    *error =
        "item 5 (column weights): more than " + number(maxdegreesnum) + " distinct column weights";
    releasepartialgraph(graph, n, m);
    return false;
  }
  if (!tabulatedegrees(graph->cnodelist, m, 1, graph->cdegreelist, &graph->cdegreesnum)) {
    *error = std::string(item7) + ": more than " + number(maxdegreesnum) + " distinct row weights";
    releasepartialgraph(graph, n, m);
    return false;
  }
  return true;
}

}  // namespace ldpc
