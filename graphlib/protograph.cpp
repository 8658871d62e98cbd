// Proto-file reader and protograph lifting.
#include "protograph.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "degreetable.h"
#include "randomstream.h"
#include "intlist.h"
#include "simulation.h"

namespace ldpc {

namespace {

std::string nodesocket(int v, int s) {
  return "variable node " + number(v) + ", socket " + number(s);
}

// Reads one integer; on failure says what was expected and what was found.
// commentclosed is false when the comment before the item ran to the end of
// the file, which is then the likelier cause.
bool readinteger(textscanner *in, int *value, const std::string &what, bool commentclosed,
                 std::string *error) {
  scanresult result = scanint(in, value);
  if (result == scanned) return true;
  *error = what + ": " + describescanfault(in, result);
  if (!commentclosed) *error += " (a comment before it has no closing \"*/\")";
  return false;
}

// Builds the protograph from the degrees and pairs read, deriving the check
// side; fails on check sockets that are not exactly 0..k-1 for a check node.
bool buildprotograph(int vnodenum, int cnodenum, const intlist *degrees, const intlist *pairs,
                     graphs **result, std::string *error) {
  graphs *g = allocatearray<graphs>(1);
  std::memset(g, 0, sizeof(graphs));
  g->vnodenum = vnodenum;
  g->cnodenum = cnodenum;
  g->vnodelist = allocatearray<vnode>(vnodenum);
  // Check nodes start as {degree 0, value 0, no edge list}: all zero bytes,
  // so that a file declaring many check nodes costs memory only for those
  // that its pairs name; a check node that no pair names keeps degree 0 and
  // an empty (null) edge list.
  g->cnodelist = allocatezeroedarray<cnode>(cnodenum);

  // Variable side as in the file; the check degrees count the pairs.
  const int *pair = pairs->items;
  for (int v = 0; v < vnodenum; ++v) {
    vnode *node = &g->vnodelist[v];
    node->degree = degrees->items[v];
    node->value = 0.0;
    node->edgelist = allocatearray<edge>(node->degree);
    for (int s = 0; s < node->degree; ++s, pair += 2) {
      node->edgelist[s] = {pair[0], pair[1], 0.0};
      ++g->cnodelist[pair[0]].degree;
    }
  }

  // Check side at the sockets the pairs name; dest -1 marks a free socket.
  for (int v = 0; v < vnodenum; ++v) {
    const vnode *node = &g->vnodelist[v];
    for (int s = 0; s < node->degree; ++s) {
      cnode *check = &g->cnodelist[node->edgelist[s].dest];
      if (check->edgelist != nullptr) continue;
      check->edgelist = allocatearray<edge>(check->degree);
      for (int t = 0; t < check->degree; ++t) check->edgelist[t] = {-1, -1, 0.0};
    }
  }
  for (int v = 0; v < vnodenum; ++v) {
    const vnode *node = &g->vnodelist[v];
    for (int s = 0; s < node->degree; ++s) {
      const int c = node->edgelist[s].dest;
      const int t = node->edgelist[s].socket;
      cnode *check = &g->cnodelist[c];
      if (t < 0 || t >= check->degree) {
        *error = nodesocket(v, s) + " names socket " + number(t) + " of check node " + number(c) +
                 "; " + number(check->degree) + " pairs name check node " + number(c) +
                 ", so its sockets are 0.." + number(check->degree - 1) + ", each named once";
      } else if (check->edgelist[t].dest != -1) {
        *error = nodesocket(v, s) + " names socket " + number(t) + " of check node " + number(c) +
                 ", which " + nodesocket(check->edgelist[t].dest, check->edgelist[t].socket) +
                 " names already; each socket of a check node is named once";
      } else {
        check->edgelist[t] = {v, s, 0.0};
        continue;
      }
      freegraph(g);
      std::free(g);
      return false;
    }
  }
  *result = g;
  return true;
}

}  // namespace

bool parseprotograph(textscanner *in, graphs **protograph, std::string *error) {
  *protograph = nullptr;

  // Two comments, V and C, a third comment.
  bool closed = scanskipcomment(in);
  closed = scanskipcomment(in) && closed;
  int vnodenum, cnodenum;
  if (!readinteger(in, &vnodenum, "the number of variable nodes", closed, error) ||
      !readinteger(in, &cnodenum, "the number of check nodes", closed, error))
    return false;
  if (vnodenum < 0 || cnodenum < 0) {
    *error = "the numbers of variable and check nodes are " + number(vnodenum) + " and " +
             number(cnodenum) + "; they must not be negative";
    return false;
  }
  closed = scanskipcomment(in);

  // The node section: per variable node its degree and its pairs.
  intlist degrees = {nullptr, 0, 0};
  intlist pairs = {nullptr, 0, 0};
  bool ok = true;
  for (int v = 0; v < vnodenum && ok; ++v) {
    int degree;
    ok = readinteger(in, &degree, "variable node " + number(v) + ": degree", closed, error);
    if (ok && degree < 0) {
      *error = "variable node " + number(v) + ": degree " + number(degree) + " is negative";
      ok = false;
    }
    if (ok && pairs.count / 2 + degree > INT_MAX) {
      *error = "variable node " + number(v) + ": more than " + number(INT_MAX) + " edges in all";
      ok = false;
    }
    if (ok) append(&degrees, degree);
    for (int s = 0; s < degree && ok; ++s) {
      int tonode, tosocket;
      ok = readinteger(in, &tonode, nodesocket(v, s) + ": check node", closed, error);
      if (ok && (tonode < 0 || tonode >= cnodenum)) {
        *error = nodesocket(v, s) + ": check node " + number(tonode) +
                 (cnodenum > 0 ? " is outside 0.." + number(cnodenum - 1)
                               : " does not exist; the protograph has no check nodes");
        ok = false;
      }
      if (ok) ok = readinteger(in, &tosocket, nodesocket(v, s) + ": check socket", closed, error);
      if (ok) {
        append(&pairs, tonode);
        append(&pairs, tosocket);
      }
    }
  }
  if (ok) ok = buildprotograph(vnodenum, cnodenum, &degrees, &pairs, protograph, error);
  std::free(degrees.items);
  std::free(pairs.items);
  return ok;
}

void readprotograph(simulations *simulation) {
  // The name field need not hold its terminating zero; never read past it.
  const std::string name(simulation->protofile,
                         strnlen(simulation->protofile, sizeof simulation->protofile));
  int fd = openforreading(name.c_str());
  if (fd < 0) {
    std::fflush(stdout);
    std::fputs("I can't open the indicated proto-file.\n", stderr);
    std::exit(1);
  }
  textscanner in;
  scanfromfd(&in, fd);
  graphs *protograph;
  std::string error;
  bool ok = parseprotograph(&in, &protograph, &error);
  scanclose(&in);
  close(fd);
  if (!ok) {
    std::fflush(stdout);
    std::fprintf(stderr, "proto-file %s: %s\n", name.c_str(), error.c_str());
    std::exit(1);
  }
  simulation->protograph = protograph;
}

namespace {

[[noreturn]] void refuselifting(const std::string &why) {
  std::fflush(stdout);
  std::fprintf(stderr, "constructprotograph: %s\n", why.c_str());
  std::exit(1);
}

template <typename node>
int largestdegree(const node *nodes, int count) {
  int largest = 0;
  for (int i = 0; i < count; ++i)
    if (nodes[i].degree > largest) largest = nodes[i].degree;
  return largest;
}

void copytable(degreelist **table, const degreelist *from, int entries) {
  *table = allocatearray<degreelist>(1);
  std::memset(*table, 0, sizeof(degreelist));
  std::memcpy((*table)->degree, from->degree, static_cast<std::size_t>(entries) * sizeof(int));
  std::memcpy((*table)->numofnodes, from->numofnodes,
              static_cast<std::size_t>(entries) * sizeof(int));
}

// The refusals of a lifting, before anything is built: no protograph, a
// factor below 1, a lifted graph beyond an int, more distinct degrees than a
// table holds. Fills the lifted degree tables on the way.
void checklifting(const graphs *proto, int lift, degreelist *vtable, int *ventries,
                  degreelist *ctable, int *centries) {
  if (proto == nullptr) refuselifting("no protograph has been read");
  if (lift < 1) refuselifting("lifting factor " + number(lift) + "; it must be at least 1");
  const int protovnodes = proto->vnodenum;
  const int protocnodes = proto->cnodenum;
  std::int64_t protoedges = 0;
  for (int i = 0; i < protovnodes; ++i) protoedges += proto->vnodelist[i].degree;
  if (static_cast<std::int64_t>(protovnodes) * lift > INT_MAX ||
      static_cast<std::int64_t>(protocnodes) * lift > INT_MAX || protoedges * lift > INT_MAX)
    refuselifting("lifting " + number(protovnodes) + " variable nodes, " + number(protocnodes) +
                  " check nodes and " + number(protoedges) + " edges by " + number(lift) +
                  " gives more than " + number(INT_MAX) + " of one of them");
  // Degrees of any size are tabulated; only the number of distinct degrees
  // is bounded by the table.
  if (!tabulatedegrees(proto->vnodelist, protovnodes, lift, vtable, ventries))
    refuselifting("the protograph has more than " + number(maxdegreesnum) +
                  " distinct variable degrees");
  if (!tabulatedegrees(proto->cnodelist, protocnodes, lift, ctable, centries))
    refuselifting("the protograph has more than " + number(maxdegreesnum) +
                  " distinct check degrees");
}

// Counts, maxima, the degree tables and the node copies with their edge
// lists: node i * lift + c is copy c of protograph node i, with its socket
// layout. Check copies start at degree 0 and count their edges as the
// lifting gives them. The lifted graph gets its rate like every other full
// graph.
void liftedrecords(graphs *graph, const graphs *proto, int lift, const degreelist &vtable,
                   int ventries, const degreelist &ctable, int centries) {
  const int protovnodes = proto->vnodenum;
  const int protocnodes = proto->cnodenum;
  graph->vnodenum = protovnodes * lift;
  graph->cnodenum = protocnodes * lift;
  graph->rate = 1.0 - static_cast<double>(graph->cnodenum) / graph->vnodenum;
  graph->vmaxdegree = largestdegree(proto->vnodelist, protovnodes);
  graph->cmaxdegree = largestdegree(proto->cnodelist, protocnodes);
  graph->vdegreesnum = ventries;
  graph->cdegreesnum = centries;
  copytable(&graph->vdegreelist, &vtable, ventries);
  copytable(&graph->cdegreelist, &ctable, centries);
  graph->vnodelist = allocatearray<vnode>(graph->vnodenum);
  graph->cnodelist = allocatearray<cnode>(graph->cnodenum);
  for (int i = 0; i < protovnodes; ++i) {
    const int degree = proto->vnodelist[i].degree;
    vnode *copies = graph->vnodelist + static_cast<std::int64_t>(i) * lift;
    for (int c = 0; c < lift; ++c) copies[c] = {degree, 0.0, allocatearray<edge>(degree)};
  }
  for (int b = 0; b < protocnodes; ++b) {
    const int degree = proto->cnodelist[b].degree;
    cnode *copies = graph->cnodelist + static_cast<std::int64_t>(b) * lift;
    for (int c = 0; c < lift; ++c) copies[c] = {0, 0.0, allocatearray<edge>(degree)};
  }
}

// The copies of protograph edge (variable node i, socket s) to check node
// b at socket t: copy c of the variable node meets copy perm[c] of the check
// node at the same sockets, what the plain
//
//   for (int c = 0; c < lift; ++c) {
//     vcopies[c].edgelist[s] = {b * lift + perm[c], t, 0.0};
//     ccopies[perm[c]].edgelist[t] = {i * lift + c, s, 0.0};
//     ++ccopies[perm[c]].degree;
//   }
//
// does. The mirror entry is written at once, which gives what a separate
// mirror pass over the variable side would give, since every check socket
// of a copy is reached by exactly one protograph edge. The check copies are
// met in random order: each is prefetched a long distance ahead, its edge a
// short distance ahead.
void joincopies(graphs *graph, int lift, int i, int s, int b, int t, const int *perm) {
  constexpr int distance = 8;
  vnode *vcopies = graph->vnodelist + static_cast<std::int64_t>(i) * lift;
  cnode *ccopies = graph->cnodelist + static_cast<std::int64_t>(b) * lift;
  const int vfirst = i * lift;
  const int cfirst = b * lift;
  for (int c = 0; c < lift; ++c) {
    if (c + 2 * distance < lift) __builtin_prefetch(ccopies + perm[c + 2 * distance], 1);
    if (c + distance < lift) __builtin_prefetch(ccopies[perm[c + distance]].edgelist + t, 1);
    cnode *check = &ccopies[perm[c]];
    vcopies[c].edgelist[s] = {cfirst + perm[c], t, 0.0};
    check->edgelist[t] = {vfirst + c, s, 0.0};
    ++check->degree;
  }
}

}  // namespace

void constructprotograph(graphs *graph, simulations *simulation) {
  const graphs *proto = simulation->protograph;
  const int lift = simulation->length;
  degreelist vtable, ctable;
  int ventries, centries;
  checklifting(proto, lift, &vtable, &ventries, &ctable, &centries);
  liftedrecords(graph, proto, lift, vtable, ventries, ctable, centries);

  // One fresh permutation per protograph edge, the edges taken by variable
  // node and then socket, which fixes the order of the draws. The
  // permutation is drawn in place: its inverse is never used.
  int *perm = allocatearray<int>(lift);
  for (int i = 0; i < proto->vnodenum; ++i)
    for (int s = 0; s < proto->vnodelist[i].degree; ++s) {
      drawbackfilled(graphsimrand, perm, lift);
      joincopies(graph, lift, i, s, proto->vnodelist[i].edgelist[s].dest,
                 proto->vnodelist[i].edgelist[s].socket, perm);
    }
  std::free(perm);
}

}  // namespace ldpc
