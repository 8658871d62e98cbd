// The approximate lower-triangular form: greedy triangulation, the gap
// part's echelon form, the reordered graph and the encoder from a file.
#include "triangular.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "randomstream.h"

namespace ldpc {

namespace {

// The triangle: rows and their diagonal variables in order, and which
// variables were declared known (every variable that is not a diagonal).
struct triangulation {
  std::vector<int> rows, diagonals;
  std::vector<char> diagonal;  // per variable
  std::vector<int> gaprows;    // checks never used, increasing
};

// Greedy triangulation as erasure decoding (see the header).
class triangulator {
 public:
  explicit triangulator(const sparsechecks &checks) : h(checks) {
    transposechecks(h, &colstart, &colrows);
    unknowns.resize(h.m);
    used.assign(h.m, 0);
    known.assign(h.n, 0);
    open.resize(h.n);
    int longest = 0;
    for (int c = 0; c < h.m; ++c) {
      unknowns[c] = h.rowlength(c);
      longest = std::max(longest, unknowns[c]);
    }
    for (int v = 0; v < h.n; ++v) open[v] = colstart[v + 1] - colstart[v];
    buckets.resize(longest + 1);
    for (int c = 0; c < h.m; ++c) file(c);
  }

  triangulation run() {
    triangulation out;
    out.diagonal.assign(h.n, 0);
    for (;;) {
      while (!ready.empty()) {
        const int c = ready.back();
        ready.pop_back();
        if (used[c] || unknowns[c] != 1) continue;
        const int *row = h.row(c);
        int v = -1;
        for (int e = 0; e < h.rowlength(c); ++e)
          if (!known[row[e]]) v = row[e];
        use(c);
        out.rows.push_back(c);
        out.diagonals.push_back(v);
        out.diagonal[v] = 1;
        learn(v);
      }
      const int c = fewestunknowns();
      if (c < 0) break;
      declareallbutone(c);
    }
    for (int c = 0; c < h.m; ++c)
      if (!used[c]) out.gaprows.push_back(c);
    return out;
  }

 private:
  // Files check c under its number of unknowns (stale entries are skipped
  // when they come up).
  void file(int c) {
    if (unknowns[c] == 1) {
      ready.push_back(c);
    } else if (unknowns[c] >= 2) {
      buckets[unknowns[c]].push_back(c);
      lowest = std::min(lowest, unknowns[c]);
    }
  }

  void use(int c) {
    used[c] = 1;
    const int *row = h.row(c);
    for (int e = 0; e < h.rowlength(c); ++e) --open[row[e]];
  }

  void learn(int v) {
    known[v] = 1;
    for (int e = colstart[v]; e < colstart[v + 1]; ++e) {
      const int c = colrows[e];
      if (used[c]) continue;
      --unknowns[c];
      file(c);
    }
  }

  int fewestunknowns() {
    for (; lowest < static_cast<int>(buckets.size()); ++lowest) {
      std::vector<int> &bucket = buckets[lowest];
      while (!bucket.empty()) {
        const int c = bucket.back();
        if (!used[c] && unknowns[c] == lowest) return c;
        bucket.pop_back();
      }
    }
    return -1;
  }

  // Declares every unknown variable of check c known but the one in fewest
  // unprocessed checks, which c then takes as its diagonal.
  void declareallbutone(int c) {
    std::vector<int> candidates;
    const int *row = h.row(c);
    for (int e = 0; e < h.rowlength(c); ++e)
      if (!known[row[e]]) candidates.push_back(row[e]);
    std::stable_sort(candidates.begin(), candidates.end(),
                     [&](int a, int b) { return open[a] > open[b]; });
    for (std::size_t i = 0; i + 1 < candidates.size(); ++i) learn(candidates[i]);
  }

  const sparsechecks &h;
  std::vector<int> colstart, colrows;
  std::vector<int> unknowns;  // per check: variables not yet known
  std::vector<char> used;     // per check: in the triangle
  std::vector<char> known;    // per variable
  std::vector<int> open;      // per variable: unused checks that hold it
  std::vector<int> ready;     // checks with one unknown
  std::vector<std::vector<int>> buckets;
  int lowest = 2;
};

// The gap rows with the triangle eliminated, over the declared variables
// (column j is variable declared[j]): 64 rows at a time, the bit of a row
// in a word per variable, the triangle's rows added from the last one up.
bitmatrix reducedgaprows(const sparsechecks &h, const triangulation &tri,
                         const std::vector<int> &declared) {
  const int rows = static_cast<int>(tri.gaprows.size());
  bitmatrix w = zerobitmatrix(rows, static_cast<int>(declared.size()));
  std::vector<std::uint64_t> mask(h.n);
  for (int first = 0; first < rows; first += 64) {
    std::fill(mask.begin(), mask.end(), 0);
    const int block = std::min(64, rows - first);
    for (int b = 0; b < block; ++b) {
      const int c = tri.gaprows[first + b];
      for (int e = h.start[c]; e < h.start[c + 1]; ++e) mask[h.vars[e]] ^= std::uint64_t{1} << b;
    }
    for (int i = static_cast<int>(tri.rows.size()) - 1; i >= 0; --i) {
      const std::uint64_t bits = mask[tri.diagonals[i]];
      if (bits == 0) continue;
      const int c = tri.rows[i];
      for (int e = h.start[c]; e < h.start[c + 1]; ++e) mask[h.vars[e]] ^= bits;
    }
    for (std::size_t j = 0; j < declared.size(); ++j)
      for (std::uint64_t bits = mask[declared[j]]; bits != 0; bits &= bits - 1)
        w.set(first + std::countr_zero(bits), static_cast<int>(j));
  }
  return w;
}

// Echelon form of w row by row: each row is reduced by the pivot rows found
// before it, in the order found, and takes its lowest remaining column as
// pivot; a row reduced to zero is redundant.
void echelon(bitmatrix w, std::vector<int> *pivotrows, std::vector<int> *pivotcols,
             std::vector<int> *zerorows) {
  for (int r = 0; r < w.rows; ++r) {
    std::uint64_t *row = w.row(r);
    for (std::size_t p = 0; p < pivotrows->size(); ++p) {
      const int c = (*pivotcols)[p];
      if ((row[c >> 6] >> (c & 63)) & 1) addwords(row, w.row((*pivotrows)[p]), w.words);
    }
    int pivot = -1;
    for (int word = 0; word < w.words && pivot < 0; ++word)
      if (row[word] != 0) pivot = word * 64 + std::countr_zero(row[word]);
    if (pivot < 0) {
      zerorows->push_back(r);
    } else {
      pivotrows->push_back(r);
      pivotcols->push_back(pivot);
    }
  }
}

// Bytes the gap part holds at most: the reduced rows twice (kept and in
// echelon), phi, its inverse and the inverse's work matrix.
std::int64_t gapbytes(std::int64_t rows, std::int64_t cols) {
  return 2 * bitmatrixbytes(rows, cols) + 4 * bitmatrixbytes(rows, rows);
}

// Every variable entry of graph in range.
bool variablesinrange(const graphs *graph, std::string *error) {
  if (graph->vnodenum > 0 && graph->vnodelist == nullptr) {
    *error = "the graph record has no variable node array";
    return false;
  }
  for (int v = 0; v < graph->vnodenum; ++v) {
    const vnode &node = graph->vnodelist[v];
    if (node.degree < 0 || (node.degree > 0 && node.edgelist == nullptr)) {
      *error = "variable node " + std::to_string(v) + " has no valid edge list";
      return false;
    }
    for (int s = 0; s < node.degree; ++s)
      if (node.edgelist[s].dest < 0 || node.edgelist[s].dest >= graph->cnodenum) {
        *error = "variable node " + std::to_string(v) + " socket " + std::to_string(s) +
                 " names check node " + std::to_string(node.edgelist[s].dest) +
                 "; check nodes are numbered 0.." + std::to_string(graph->cnodenum - 1);
        return false;
      }
  }
  return true;
}

// The triangle's rows and the gap rows of a graph already in the form
// (rows 0..t-1 with diagonals k+g+i, rows t..t+g-1 for phi's columns k..).
encoder encoderinform(const sparsechecks &h, int gap, int triangle) {
  encoder enc;
  enc.kind = encoderkind::triangular;
  enc.n = h.n;
  enc.m = h.m;
  enc.rank = gap + triangle;
  enc.k = h.n - enc.rank;
  for (int j = 0; j < enc.k; ++j) enc.positions.push_back(j);
  for (int i = 0; i < triangle; ++i) {
    const int diagonal = enc.k + gap + i;
    for (int e = h.start[i]; e < h.start[i + 1]; ++e)
      if (h.vars[e] != diagonal) enc.triangle.vars.push_back(h.vars[e]);
    enc.triangle.pivot.push_back(diagonal);
    enc.triangle.start.push_back(static_cast<int>(enc.triangle.vars.size()));
  }
  for (int b = 0; b < gap; ++b) {
    const int c = triangle + b;
    enc.gaprows.vars.insert(enc.gaprows.vars.end(), h.row(c), h.row(c) + h.rowlength(c));
    enc.gaprows.pivot.push_back(enc.k + b);
    enc.gaprows.start.push_back(static_cast<int>(enc.gaprows.vars.size()));
  }
  return enc;
}

// The number of checks that fail for some of 64 pseudo-random words, and
// the first of them in *failed. The words come from a fixed state of the
// library's generator, so that the check does not depend on (or move) any
// stream.
int failingchecks(const sparsechecks &h, const encoder &enc, int *failed) {
  std::vector<std::uint64_t> x(h.n, 0);
  std::uint64_t state = 0x1234ABCD330EULL;
  for (int j = 0; j < enc.k; ++j) {
    nextdraw(&state);
    const std::uint64_t high = state >> 16;
    nextdraw(&state);
    x[enc.positions[j]] = high << 32 | (state >> 16 & 0xFFFFFFFFULL);
  }
  encodelanes(enc, x.data());
  int count = 0;
  for (int c = 0; c < h.m; ++c) {
    std::uint64_t sum = 0;
    for (int e = h.start[c]; e < h.start[c + 1]; ++e) sum ^= x[h.vars[e]];
    if (sum != 0 && count++ == 0) *failed = c;
  }
  return count;
}

}  // namespace

bool findtriangularform(const sparsechecks &h, triangularform *form, std::string *error,
                        const encoderoptions &options) {
  const triangulation tri = triangulator(h).run();
  std::vector<int> declared;
  for (int v = 0; v < h.n; ++v)
    if (!tri.diagonal[v]) declared.push_back(v);
  const std::int64_t rows = static_cast<std::int64_t>(tri.gaprows.size());
  const std::int64_t need = gapbytes(rows, static_cast<std::int64_t>(declared.size()));
  if (need > options.memorylimit) {
    *error = "the triangular form leaves " + std::to_string(rows) + " of " + std::to_string(h.m) +
             " checks outside its triangle, over " + std::to_string(declared.size()) +
             " variables, which need " + bytestext(need) + "; the memory allowed is " +
             bytestext(options.memorylimit);
    return false;
  }
  const bitmatrix w = reducedgaprows(h, tri, declared);
  std::vector<int> pivotrows, pivotcols, zerorows;
  echelon(w, &pivotrows, &pivotcols, &zerorows);
  const int g = static_cast<int>(pivotrows.size());
  bitmatrix phi = zerobitmatrix(g, g);
  for (int i = 0; i < g; ++i)
    for (int j = 0; j < g; ++j)
      if (w.get(pivotrows[i], pivotcols[j])) phi.set(i, j);

  triangularform out;
  out.n = h.n;
  out.m = h.m;
  out.gap = g;
  out.triangle = static_cast<int>(tri.rows.size());
  out.redundant = static_cast<int>(zerorows.size());
  // An echelon form's pivot rows at their pivot columns make an invertible
  // (upper unitriangular, then transformed) matrix; a failure here would be
  // a fault of this module, reported rather than encoded wrongly.
  if (!invertbitmatrix(phi, &out.iphi)) {
    *error = "internal fault: phi of gap " + std::to_string(g) + " is singular";
    return false;
  }
  std::vector<char> isgap(declared.size(), 0);
  for (int j : pivotcols) isgap[j] = 1;
  for (std::size_t j = 0; j < declared.size(); ++j)
    if (!isgap[j]) out.vorder.push_back(declared[j]);
  for (int j : pivotcols) out.vorder.push_back(declared[j]);
  out.vorder.insert(out.vorder.end(), tri.diagonals.begin(), tri.diagonals.end());
  out.corder = tri.rows;
  for (int r : pivotrows) out.corder.push_back(tri.gaprows[r]);
  for (int r : zerorows) out.corder.push_back(tri.gaprows[r]);
  *form = std::move(out);
  return true;
}

encoder triangularencoder(const sparsechecks &h, const triangularform &form) {
  // The matrix in the form's order, then the encoder there, its positions
  // carried back to the graph's numbering.
  sparsechecks r;
  r.n = h.n;
  r.m = h.m;
  r.start.push_back(0);
  std::vector<int> vinverse(h.n);
  for (int j = 0; j < h.n; ++j) vinverse[form.vorder[j]] = j;
  for (int i = 0; i < h.m; ++i) {
    const int c = form.corder[i];
    for (int e = h.start[c]; e < h.start[c + 1]; ++e) r.vars.push_back(vinverse[h.vars[e]]);
    std::sort(r.vars.begin() + r.start.back(), r.vars.end());
    r.start.push_back(static_cast<int>(r.vars.size()));
  }
  encoder enc = encoderinform(r, form.gap, form.triangle);
  enc.iphi = form.iphi;
  for (int &v : enc.positions) v = form.vorder[v];
  for (int &v : enc.triangle.vars) v = form.vorder[v];
  for (int &v : enc.triangle.pivot) v = form.vorder[v];
  for (int &v : enc.gaprows.vars) v = form.vorder[v];
  for (int &v : enc.gaprows.pivot) v = form.vorder[v];
  // Information variables were placed in increasing order of number.
  return enc;
}

bool maketriangularencoder(const graphs *graph, encoder *out, std::string *error,
                           const encoderoptions &options) {
  sparsechecks checks;
  if (!readchecks(graph, &checks, error)) return false;
  triangularform form;
  if (!findtriangularform(checks, &form, error, options)) return false;
  *out = triangularencoder(checks, form);
  return true;
}

void reordergraph(const graphs *graph, const std::vector<int> &vorder,
                  const std::vector<int> &corder, graphs *reordered) {
  const int n = graph->vnodenum;
  const int m = graph->cnodenum;
  std::vector<int> vinverse(n), cinverse(m);
  for (int j = 0; j < n; ++j) vinverse[vorder[j]] = j;
  for (int i = 0; i < m; ++i) cinverse[corder[i]] = i;
  graphs g = *graph;
  g.vnodelist = allocatearray<vnode>(n);
  g.cnodelist = allocatearray<cnode>(m);
  for (int j = 0; j < n; ++j) {
    const vnode &old = graph->vnodelist[vorder[j]];
    g.vnodelist[j] = {old.degree, 0.0, allocatearray<edge>(old.degree)};
    for (int s = 0; s < old.degree; ++s)
      g.vnodelist[j].edgelist[s] = {cinverse[old.edgelist[s].dest], old.edgelist[s].socket, 0.0};
  }
  for (int i = 0; i < m; ++i) {
    const cnode &old = graph->cnodelist[corder[i]];
    g.cnodelist[i] = {old.degree, 0.0, allocatearray<edge>(old.degree)};
    for (int s = 0; s < old.degree; ++s)
      g.cnodelist[i].edgelist[s] = {vinverse[old.edgelist[s].dest], old.edgelist[s].socket, 0.0};
  }
  g.vdegreelist = allocatearray<degreelist>(1);
  g.cdegreelist = allocatearray<degreelist>(1);
  std::memcpy(g.vdegreelist, graph->vdegreelist, sizeof(degreelist));
  std::memcpy(g.cdegreelist, graph->cdegreelist, sizeof(degreelist));
  *reordered = g;
}

bool computeencoderinformation(const graphs *graph, graphs *reordered, encoders *info,
                               std::string *error, const encoderoptions &options,
                               std::vector<int> *vorder, std::vector<int> *corder) {
  sparsechecks checks;
  if (!readchecks(graph, &checks, error) || !variablesinrange(graph, error)) return false;
  if (graph->vdegreelist == nullptr || graph->cdegreelist == nullptr) {
    *error = "the graph record has no degree tables";
    return false;
  }
  triangularform form;
  if (!findtriangularform(checks, &form, error, options)) return false;
  const std::int64_t entries = static_cast<std::int64_t>(form.gap) * form.gap;
  if (entries * static_cast<std::int64_t>(sizeof(int)) > options.memorylimit) {
    *error = "iphi of gap " + std::to_string(form.gap) + " needs " +
             bytestext(entries * static_cast<std::int64_t>(sizeof(int))) +
             " as integers; the memory allowed is " + bytestext(options.memorylimit);
    return false;
  }
  reordergraph(graph, form.vorder, form.corder, reordered);
  int *iphi = allocatearray<int>(entries);
  for (int r = 0; r < form.gap; ++r)
    for (int c = 0; c < form.gap; ++c)
      iphi[static_cast<std::int64_t>(r) * form.gap + c] = form.iphi.get(r, c) ? 1 : 0;
  info->gap = form.gap;
  info->iphi = iphi;
  if (vorder != nullptr) *vorder = form.vorder;
  if (corder != nullptr) *corder = form.corder;
  return true;
}

bool makeencoderfromrecord(const graphs *graph, const encoders *info, encoder *out,
                           std::string *error) {
  sparsechecks h;
  if (!readchecks(graph, &h, error)) return false;
  const int g = info->gap;
  if (g < 0 || g > h.n || g > h.m) {
    *error = "the encoder information has gap " + std::to_string(g) + "; a code of " +
             std::to_string(h.n) + " variables and " + std::to_string(h.m) +
             " checks has a gap of 0.." + std::to_string(std::min(h.n, h.m));
    return false;
  }
  // The triangle's size from check 0, which ends at variable n - t.
  const int t = h.m == 0 || h.rowlength(0) == 0 ? 0 : h.n - h.row(0)[h.rowlength(0) - 1];
  if (t + g > h.m || t + g > h.n) {
    *error = "check 0 ends at variable " + std::to_string(h.n - t) + ", a triangle of " +
             std::to_string(t) + " rows, which with gap " + std::to_string(g) + " exceeds the " +
             std::to_string(std::min(h.n, h.m)) + " the graph allows";
    return false;
  }
  const int k = h.n - g - t;
  for (int i = 0; i < t; ++i) {
    const int last = h.rowlength(i) == 0 ? -1 : h.row(i)[h.rowlength(i) - 1];
    if (last != k + g + i) {
      *error = "the graph is not in the triangular form of its encoder information: check " +
               std::to_string(i) + " ends at variable " + std::to_string(last) +
               ", its diagonal would be variable " + std::to_string(k + g + i);
      return false;
    }
  }
  encoder enc = encoderinform(h, g, t);
  enc.iphi = zerobitmatrix(g, g);
  for (std::int64_t e = 0; e < static_cast<std::int64_t>(g) * g; ++e) {
    const int value = info->iphi[e];
    if (value != 0 && value != 1) {
      *error = "row " + std::to_string(e / g) + ", column " + std::to_string(e % g) +
               " of iphi is " + std::to_string(value) + "; entries are 0 or 1";
      return false;
    }
    if (value) enc.iphi.set(static_cast<int>(e / g), static_cast<int>(e % g));
  }
  int failed = -1;
  const int failing = failingchecks(h, enc, &failed);
  if (failing > 0) {
    *error = "the encoder information does not fit the graph: its codewords fail " +
             std::to_string(failing) + " checks, the first check " + std::to_string(failed) +
             " (gap " + std::to_string(g) + ", triangle of " + std::to_string(t) + " rows)";
    return false;
  }
  *out = std::move(enc);
  return true;
}

}  // namespace ldpc
