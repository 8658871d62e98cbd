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
bool readweights(textscanner *in, int count, const char *item, const char *what,
                 intlist *list, std::string *error) {
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

  // The padded reading needs every weight within the column-list length.
  std::string paddedfault;
  std::int64_t unpaddedneed = 0;
  for (int v = 0; v < n; ++v) {
    if (colweights.items[v] > vmax && paddedfault.empty())
      paddedfault = "item 5 (column weights), column " + number(v + 1) + ": weight " +
                    number(colweights.items[v]) + " exceeds the column-list length " +
                    number(vmax) + " of item 3";
    unpaddedneed += colweights.items[v];
  }
  bool paddedalive = paddedfault.empty();
  bool unpaddedalive = true;
  const std::int64_t paddedneed = static_cast<std::int64_t>(n) * vmax;

  // Each reading needs one integer per entry, and integers take at least two
  // characters each but the last. When the rest of the input cannot hold
  // what either reading needs, no edge list is allocated and item 7 is only
  // scanned for the padded reading's first fault: a short file that claims
  // huge weights is refused as short instead of exhausting memory. Where
  // the size is unknown (a pipe), the input is read ahead as far as the
  // smaller need, so that memory follows what the input holds there too.
  std::int64_t smallerneed = unpaddedneed;
  if (paddedalive && paddedneed < smallerneed) smallerneed = paddedneed;
  const std::int64_t remaining =
      scanlookahead(in, smallerneed < INT64_MAX / 2 ? 2 * smallerneed - 1 : INT64_MAX);
  const std::int64_t room = remaining < 0 ? INT64_MAX : (remaining + 1) / 2;
  const bool store = (paddedalive && paddedneed <= room) || unpaddedneed <= room;

  // Nodes and variable edge lists.
  graph->vnodelist = allocatearray<vnode>(n);
  int allocatedvnodes = 0;
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
    node->edgelist = store ? allocatearray<edge>(node->degree)
                           : nullptr;
    ++allocatedvnodes;
  }
  std::free(colweights.items);

  // Item 7, read once for both dialects. Position p of the integer sequence
  // is, padded, entry p % vmax of column p / vmax and, unpadded, an entry of
  // the column whose weights before it sum to at most p. The padded row goes
  // into dest, the unpadded row into socket of the same edge lists.
  bool nonzerofiller = false;
  std::string unpaddedfault;
  int pv = 0, ps = 0;  // padded column and entry of position p
  int uv = 0, us = 0;  // unpadded column and entry of position p
  while (uv < n && graph->vnodelist[uv].degree == 0) ++uv;
  for (std::int64_t p = 0;; ++p) {
    bool paddedwants = paddedalive && p < paddedneed;
    bool unpaddedwants = unpaddedalive && p < unpaddedneed;
    if (!paddedwants && !unpaddedwants) break;
    int x;
    scanresult result = scanint(in, &x);
    if (result != scanned) {
      std::string fault = describescanfault(in, result);
      if (paddedwants)
        paddedfault = std::string(item7) + ", column " + number(pv + 1) + ": " + fault;
      paddedalive = paddedalive && !paddedwants;
      unpaddedalive = unpaddedalive && !unpaddedwants;
      break;
    }
    if (paddedwants) {
      if (ps < graph->vnodelist[pv].degree) {
        if (x < 1 || x > m) {
          paddedfault = std::string(item7) + ", column " + number(pv + 1) + ", entry " +
                        number(ps + 1) + ": row " + number(x) + " is outside 1.." + number(m);
          paddedalive = false;
        } else if (store) {
          graph->vnodelist[pv].edgelist[ps].dest = x - 1;
        }
      } else if (x != 0) {
        nonzerofiller = true;
      }
      if (++ps == vmax) {
        ps = 0;
        ++pv;
      }
    }
    if (unpaddedwants) {
      if (x < 1 || x > m) {
        unpaddedalive = false;
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
  if (!store && (paddedalive || unpaddedalive)) {
    paddedfault = std::string(item7) + ": the file grew while it was read";
    paddedalive = unpaddedalive = false;
  }

  // Choose the reading. The unpadded reading's rows are counted only when
  // it may be needed: the counting is a random access per edge. A compact
  // array of counts stays in cache far better than the check nodes.
  int *counts = allocatearray<int>(m);
  std::memset(counts, 0, static_cast<std::size_t>(m) * sizeof(int));
  bool usepadded = paddedalive && !nonzerofiller;
  if (!usepadded) {
    bool unpaddedmatches = unpaddedalive;
    if (unpaddedmatches) {
      for (int v = 0; v < n; ++v) {
        const vnode *node = &graph->vnodelist[v];
        for (int s = 0; s < node->degree; ++s) ++counts[node->edgelist[s].socket];
      }
      for (int c = 0; c < m && unpaddedmatches; ++c)
        unpaddedmatches = counts[c] == rowweights.items[c];
      std::memset(counts, 0, static_cast<std::size_t>(m) * sizeof(int));
    }
    if (!unpaddedmatches && !paddedalive) {
      *error = paddedfault;
      std::free(counts);
      std::free(rowweights.items);
      releasepartialgraph(graph, allocatedvnodes, graph->cnodenum);
      return false;
    }
    usepadded = !unpaddedmatches;
  }
  std::free(rowweights.items);

  // Check sockets in order of appearance: by variable node, then socket.
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
  std::free(counts);

  // Check edge lists and mirror entries.
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

  // Degree tables: every degree that occurs, increasing.
  graph->vdegreelist = allocatearray<degreelist>(1);
  graph->cdegreelist = allocatearray<degreelist>(1);
  std::memset(graph->vdegreelist, 0, sizeof(degreelist));
  std::memset(graph->cdegreelist, 0, sizeof(degreelist));
  if (!tabulatedegrees(graph->vnodelist, n, 1, graph->vdegreelist, &graph->vdegreesnum)) {
    *error = "item 5 (column weights): more than " + number(maxdegreesnum) +
             " distinct column weights";
    releasepartialgraph(graph, allocatedvnodes, graph->cnodenum);
    return false;
  }
  if (!tabulatedegrees(graph->cnodelist, m, 1, graph->cdegreelist, &graph->cdegreesnum)) {
    *error = std::string(item7) + ": more than " + number(maxdegreesnum) +
             " distinct row weights";
    releasepartialgraph(graph, allocatedvnodes, graph->cnodenum);
    return false;
  }
  return true;
}

}  // namespace ldpc
