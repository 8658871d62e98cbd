// Reader of code description files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "descfile.h"
#include "partialgraph.h"

namespace ldpc {

namespace {

// Arrays sized by a count of the file start at most this large and double
// as entries are actually read, so that a short file claiming huge counts
// costs no more memory than it holds. Ordinary edge lists fit at once.
constexpr std::int64_t firstnodes = 1 << 16;
constexpr std::int64_t firstedges = 1 << 12;
constexpr std::int64_t firstentries = 1 << 16;

// Sets *error to a fault at the line of the scanner's position.
bool fail(textscanner *in, std::string *error, const std::string &what) {
  *error = "line " + number(in->line) + ": " + what;
  return false;
}

// Reads one integer. item names what should stand there; it is called only
// on a fault, so that the common path builds no strings.
template <typename itemname>
bool readint(textscanner *in, int *value, std::string *error, itemname item) {
  scanresult result = scanint(in, value);
  if (result == scanned) return true;
  if (result == scanend) {
    *error = "the file ends before " + item();
    return false;
  }
  return fail(in, error, item() + ": " + describescanfault(in, result));
}

// Reads a count, which must not be negative.
template <typename itemname>
bool readcount(textscanner *in, int *value, std::string *error, itemname item) {
  if (!readint(in, value, error, item)) return false;
  if (*value < 0)
    return fail(in, error, item() + " is " + number(*value) + "; it must not be negative");
  return true;
}

bool skipcomment(textscanner *in, std::string *error, const char *comment) {
  if (scanskipcomment(in)) return true;
  if (in->readerror != 0) {
    *error = std::string("reading fails (") + std::strerror(in->readerror) + ")";
    return false;
  }
  *error = std::string("the file ends before the closing \"*/\" of ") + comment;
  return false;
}

// "check nodes are numbered 0..4", or that there are none.
std::string numbering(int count, const char *side) {
  if (count == 0) return std::string("the file declares no ") + side + " nodes";
  return std::string(side) + " nodes are numbered 0.." + number(count - 1);
}

// Makes room for at least needed elements in *block, which has room for
// *capacity: the room doubles, but never beyond limit, the count that the
// file claims, so that a complete array ends up exactly that large.
template <typename element>
void reserve(element **block, std::int64_t *capacity, std::int64_t needed, std::int64_t limit) {
  if (needed <= *capacity) return;
  std::int64_t grown = *capacity * 2;
  if (grown > limit) grown = limit;
  if (grown < needed) grown = needed;
  auto *larger = allocatearray<element>(grown);
  if (*capacity > 0)
    std::memcpy(static_cast<void *>(larger), *block,
                static_cast<std::size_t>(*capacity) * sizeof(element));
  std::free(*block);
  *block = larger;
  *capacity = grown;
}

// The node array whole when the rest of the input can hold count node
// descriptions (two characters each at the least), else a first part of it.
template <typename node>
node *allocatenodes(textscanner *in, std::int64_t *capacity, int count) {
  std::int64_t remaining = scanremaining(in);
  bool fits = remaining >= 0 && remaining / 2 >= count;
  *capacity = fits || count < firstnodes ? count : firstnodes;
  return allocatearray<node>(*capacity);
}

// What has been allocated so far, for release on a fault.
struct partialgraph {
  graphs graph;
  int vowned;  // variable nodes whose edgelist is allocated
  int cowned;
};

bool readtable(textscanner *in, degreelist *table, int entries, const char *side,
               std::string *error) {
  for (int k = 0; k < entries; ++k) {
    // Entries are taken at their word: stored files may hold tables that
    // disagree with the node degrees, and the reader sizes nothing by them.
    if (!readint(in, &table->degree[k], error,
                 [&] {
                   return std::string("the degree of entry ") + number(k) + " of the " + side +
                          " degree table";
                 }) ||
        !readint(in, &table->numofnodes[k], error, [&] {
          return std::string("the number of nodes of entry ") + number(k) + " of the " + side +
                 " degree table";
        }))
      return false;
  }
  return true;
}

// Reads count node descriptions of one side into *list (grown as read),
// checking each edge end against the other side's node count. Sockets are
// checked with the mirror entries, once both sides are read.
template <typename node>
bool readnodes(textscanner *in, node **list, int count, int *owned, const char *side,
               const char *otherside, int othercount, std::string *error) {
  std::int64_t capacity = 0;
  *list = allocatenodes<node>(in, &capacity, count);
  for (int i = 0; i < count; ++i) {
    reserve(list, &capacity, static_cast<std::int64_t>(i) + 1, count);
    node *n = &(*list)[i];
    int degree;
    if (!readcount(in, &degree, error,
                   [&] { return std::string("the degree of ") + side + " node " + number(i); }))
      return false;
    n->degree = degree;
    n->value = 0.0;
    std::int64_t edges = degree < firstedges ? degree : firstedges;
    n->edgelist = allocatearray<edge>(edges);
    ++*owned;

    for (int s = 0; s < degree; ++s) {
      reserve(&n->edgelist, &edges, static_cast<std::int64_t>(s) + 1, degree);
      edge *e = &n->edgelist[s];
      e->message = 0.0;
      auto where = [&] {
        return std::string(side) + " node " + number(i) + ", socket " + number(s);
      };
      if (!readint(in, &e->dest, error, [&] { return "the node named by " + where(); }))
        return false;
      if (e->dest < 0 || e->dest >= othercount)
        return fail(in, error,
                    where() + " names " + otherside + " node " + number(e->dest) + "; " +
                        numbering(othercount, otherside));
      if (!readint(in, &e->socket, error, [&] { return "the socket named by " + where(); }))
        return false;
      if (e->socket < 0)
        return fail(in, error,
                    where() + " names socket " + number(e->socket) + " of " + otherside + " node " +
                        number(e->dest) + "; sockets are numbered from 0");
    }
  }
  return true;
}

// Checks the sockets named by the check entries and, with mirrors, that
// each leads back; names the first fault.
bool checkcheckside(const graphs *g, bool mirrors, std::string *error) {
  for (int c = 0; c < g->cnodenum; ++c) {
    const cnode *n = &g->cnodelist[c];
    for (int t = 0; t < n->degree; ++t) {
      const edge *e = &n->edgelist[t];
      const vnode *v = &g->vnodelist[e->dest];
      auto where = [&] { return "check node " + number(c) + ", socket " + number(t); };
      if (e->socket >= v->degree) {
        *error = where() + " names socket " + number(e->socket) + " of variable node " +
                 number(e->dest) + ", which has degree " + number(v->degree);
        return false;
      }
      const edge *m = &v->edgelist[e->socket];
      if (mirrors && (m->dest != c || m->socket != t)) {
        *error = where() + " names variable node " + number(e->dest) + ", socket " +
                 number(e->socket) + ", but that entry names check node " + number(m->dest) +
                 ", socket " + number(m->socket);
        return false;
      }
    }
  }
  return true;
}

// Every socket must lie within the degree of the node it names, and with
// mirrors every edge end must lead to its mirror entry and back. Both sides
// come from the file, so this waits until both are read. When every
// variable entry leads to a check entry that leads back, distinct variable
// entries lead to distinct check entries; if the two sides also hold
// equally many entries, every check entry is such a mirror, so it is in
// range and leads back as well: the check side then needs no pass of its own.
bool checkedges(const graphs *g, bool mirrors, std::string *error) {
  std::int64_t ventries = 0;
  for (int v = 0; v < g->vnodenum; ++v) {
    const vnode *n = &g->vnodelist[v];
    ventries += n->degree;
    for (int s = 0; s < n->degree; ++s) {
      const edge *e = &n->edgelist[s];
      const cnode *c = &g->cnodelist[e->dest];
      auto where = [&] { return "variable node " + number(v) + ", socket " + number(s); };
      if (e->socket >= c->degree) {
        *error = where() + " names socket " + number(e->socket) + " of check node " +
                 number(e->dest) + ", which has degree " + number(c->degree);
        return false;
      }
      const edge *m = &c->edgelist[e->socket];
      if (mirrors && (m->dest != v || m->socket != s)) {
        *error = where() + " names check node " + number(e->dest) + ", socket " +
                 number(e->socket) + ", but that entry names variable node " + number(m->dest) +
                 ", socket " + number(m->socket);
        return false;
      }
    }
  }
  std::int64_t centries = 0;
  for (int c = 0; c < g->cnodenum; ++c) centries += g->cnodelist[c].degree;
  if (mirrors && centries == ventries) return true;
  if (!checkcheckside(g, mirrors, error)) return false;
  if (!mirrors) return true;
  // not reached: with more check entries, one of them cannot lead back
  *error = "the check nodes hold " + number(centries) + " edge ends, the variable nodes " +
           number(ventries);
  return false;
}

// Reads gap and, for a gap of 0 or more, the gap x gap matrix into *iphi.
bool readencoder(textscanner *in, int *gap, int **iphi, std::string *error) {
  if (!readint(in, gap, error, [] { return std::string("the gap"); })) return false;
  if (*gap < 0) return true;
  // 64-bit: a gap of 46341 or more squares beyond int.
  const std::int64_t g = *gap;
  const std::int64_t total = g * g;
  std::int64_t capacity = total < firstentries ? total : firstentries;
  int *matrix = allocatearray<int>(capacity);
  for (std::int64_t i = 0; i < total; ++i) {
    if (i == capacity) reserve(&matrix, &capacity, i + 1, total);
    if (!readint(in, &matrix[i], error, [&] {
          return "row " + number(i / g) + ", column " + number(i % g) + " of iphi (gap " +
                 number(g) + ")";
        })) {
      std::free(matrix);
      return false;
    }
  }
  *iphi = matrix;
  return true;
}

}  // namespace

bool parsegraph(textscanner *in, graphs *graph, encoders *encoder, std::string *error,
                bool checkmirrors) {
  // Everything is built in a record of our own and handed over only when the
  // whole file has been read, so a fault leaves graph and encoder untouched.
  partialgraph p{};
  graphs *g = &p.graph;

  // Counts and maxima. The maxima are taken at their word, like the tables.
  auto named = [](const char *item) { return [item] { return std::string(item); }; };
  if (!skipcomment(in, error, "the header comment") ||
      !skipcomment(in, error, "the comment before the node counts") ||
      !readcount(in, &g->vnodenum, error, named("the number of variable nodes")) ||
      !readcount(in, &g->cnodenum, error, named("the number of check nodes")) ||
      !skipcomment(in, error, "the comment before the degree counts") ||
      !readcount(in, &g->vdegreesnum, error,
                 named("the number of variable degree table entries")) ||
      !readcount(in, &g->cdegreesnum, error, named("the number of check degree table entries")))
    return false;
  // A degreelist record has room for maxdegreesnum entries only.
  if (g->vdegreesnum > maxdegreesnum)
    return fail(in, error,
                "the variable degree table has " + number(g->vdegreesnum) +
                    " entries; a table holds at most " + number(maxdegreesnum));
  if (g->cdegreesnum > maxdegreesnum)
    return fail(in, error,
                "the check degree table has " + number(g->cdegreesnum) +
                    " entries; a table holds at most " + number(maxdegreesnum));
  if (!skipcomment(in, error, "the comment before the maximum degrees") ||
      !readint(in, &g->vmaxdegree, error, named("the largest variable degree")) ||
      !readint(in, &g->cmaxdegree, error, named("the largest check degree")))
    return false;
  g->rate = 1.0 - static_cast<double>(g->cnodenum) / static_cast<double>(g->vnodenum);

  // Degree tables; the unused entries are zeroed so that nothing undefined
  // is ever read from them.
  g->vdegreelist = allocatearray<degreelist>(1);
  g->cdegreelist = allocatearray<degreelist>(1);
  std::memset(g->vdegreelist, 0, sizeof(degreelist));
  std::memset(g->cdegreelist, 0, sizeof(degreelist));
  bool ok = skipcomment(in, error, "the comment before the variable degree table") &&
            readtable(in, g->vdegreelist, g->vdegreesnum, "variable", error) &&
            skipcomment(in, error, "the comment before the check degree table") &&
            readtable(in, g->cdegreelist, g->cdegreesnum, "check", error);

  // Node descriptions, then the mirror entries of both sides.
  ok =
      ok && skipcomment(in, error, "the comment before the variable nodes") &&
      readnodes(in, &g->vnodelist, g->vnodenum, &p.vowned, "variable", "check", g->cnodenum, error);
  ok =
      ok && skipcomment(in, error, "the comment before the check nodes") &&
      readnodes(in, &g->cnodelist, g->cnodenum, &p.cowned, "check", "variable", g->vnodenum, error);
  ok = ok && checkedges(g, checkmirrors, error);

  // Encoder. This comment skip also passes over the "-1" that ends the node
  // lists; with no encoder information the closing "-1" is read as the gap.
  int gap = -1;
  int *iphi = nullptr;
  ok = ok && skipcomment(in, error, "the encoder comment") && readencoder(in, &gap, &iphi, error);
  if (!ok) {
    releasepartialgraph(&p.graph, p.vowned, p.cowned);
    return false;
  }
  *graph = *g;
  encoder->gap = gap;
  if (gap >= 0) encoder->iphi = iphi;
  return true;
}

void readgraph(graphs *graph, encoders *encoder, const char *graphfile, int verbose) {
  int fd = openforreading(graphfile);
  if (fd < 0) {
    std::fflush(stdout);
    std::fputs("I can't open the indicated graph file.\n", stderr);
    std::exit(1);
  }
  if (verbose != 0)
    std::printf(
        "\n************************************\n"
        " read %s file"
        "\n************************************\n",
        graphfile);

  textscanner in;
  scanfromfd(&in, fd);
  std::string error;
  bool ok = parsegraph(&in, graph, encoder, &error);
  scanclose(&in);
  close(fd);
  if (!ok) {
    std::fflush(stdout);
    std::fprintf(stderr, "The graph file %s is malformed: %s\n", graphfile, error.c_str());
    std::exit(1);
  }
}

}  // namespace ldpc
