// Staircase and dual-diagonal parity parts.
#include "structured.h"

#include <algorithm>
#include <numeric>

namespace ldpc {

namespace {

// The column of variable v: its checks, increasing.
struct columns {
  std::vector<int> start, rows;
  explicit columns(const sparsechecks &h) { transposechecks(h, &start, &rows); }
  int length(int v) const { return start[v + 1] - start[v]; }
  const int *of(int v) const { return rows.data() + start[v]; }
  bool is(int v, std::initializer_list<int> want) const {
    return length(v) == static_cast<int>(want.size()) &&
           std::equal(want.begin(), want.end(), of(v));
  }
};

encoder structuredshell(const sparsechecks &h, encoderkind kind) {
  encoder enc;
  enc.kind = kind;
  enc.n = h.n;
  enc.m = h.m;
  enc.rank = h.m;
  enc.k = h.n - h.m;
  enc.positions.resize(enc.k);
  std::iota(enc.positions.begin(), enc.positions.end(), 0);
  return enc;
}

// Appends the variables of check c below limit (the information bits) to s.
void appendbelow(const sparsechecks &h, int c, int limit, std::vector<int> *vars) {
  for (int e = h.start[c]; e < h.start[c + 1] && h.vars[e] < limit; ++e) vars->push_back(h.vars[e]);
}

// One Z x Z block of the matrix: block row, shift.
struct block {
  int row;
  int shift;
};

// The blocks of every block column when the matrix is quasi-cyclic with
// circulant size z; false when it is not.
bool circulantblocks(const sparsechecks &h, const columns &cols, int z,
                     std::vector<std::vector<block>> *blocks) {
  const int nb = h.n / z;
  blocks->assign(nb, {});
  std::vector<int> expected;
  for (int j = 0; j < nb; ++j) {
    // Variable j*z meets check i*z + r in a block of shift (0 - r) mod z.
    std::vector<block> &list = (*blocks)[j];
    const int first = j * z;
    for (int e = 0; e < cols.length(first); ++e) {
      const int c = cols.of(first)[e];
      if (!list.empty() && list.back().row == c / z) return false;  // two in one block
      list.push_back({c / z, (z - c % z) % z});
    }
    for (int o = 1; o < z; ++o) {
      const int v = first + o;
      if (cols.length(v) != static_cast<int>(list.size())) return false;
      for (std::size_t b = 0; b < list.size(); ++b)
        if (cols.of(v)[b] != list[b].row * z + (o - list[b].shift + z) % z) return false;
    }
  }
  return true;
}

// The single shift that occurs an odd number of times among the blocks of
// list above row limit, or -1 when there is not exactly one.
int oddshift(const std::vector<block> &list, int limit) {
  std::vector<int> shifts;
  for (const block &b : list)
    if (b.row < limit) shifts.push_back(b.shift);
  std::sort(shifts.begin(), shifts.end());
  int odd = -1;
  for (std::size_t i = 0; i < shifts.size();) {
    std::size_t j = i;
    while (j < shifts.size() && shifts[j] == shifts[i]) ++j;
    if ((j - i) & 1) {
      if (odd >= 0) return -1;
      odd = shifts[i];
    }
    i = j;
  }
  return odd;
}

// The core size c of the dual-diagonal parity part starting at block column
// kb, or -1.
int coresize(const std::vector<std::vector<block>> &blocks, int kb, int mb) {
  for (int c = 2; c <= mb; ++c) {
    if (oddshift(blocks[kb], c) < 0) continue;
    bool fits = true;
    for (int j = 1; j < c && fits; ++j) {
      std::vector<block> core;
      for (const block &b : blocks[kb + j])
        if (b.row < c) core.push_back(b);
      fits = core.size() == 2 && core[0].row == j - 1 && core[1].row == j &&
             core[0].shift == core[1].shift;
    }
    for (int e = 0; c + e < mb && fits; ++e) {
      const std::vector<block> &list = blocks[kb + c + e];
      fits = !list.empty() && list.front().row == c + e;
    }
    if (fits) return c;
  }
  return -1;
}

// The forward-substitution row of check c with pivot variable p: every
// other variable of the check.
void substitutionrow(const sparsechecks &h, int c, int p, substitution *s) {
  for (int e = h.start[c]; e < h.start[c + 1]; ++e)
    if (h.vars[e] != p) s->vars.push_back(h.vars[e]);
  s->pivot.push_back(p);
  s->start.push_back(static_cast<int>(s->vars.size()));
}

// Sorts the variables of the last row of s and drops pairs (they cancel).
void cancelpairs(substitution *s) {
  std::vector<int> &v = s->vars;
  const int from = s->start.back();
  std::sort(v.begin() + from, v.end());
  int kept = from;
  for (int i = from; i < static_cast<int>(v.size());) {
    int j = i;
    while (j < static_cast<int>(v.size()) && v[j] == v[i]) ++j;
    if ((j - i) & 1) v[kept++] = v[i];
    i = j;
  }
  v.resize(kept);
}

encoder dualdiagonalencoder(const sparsechecks &h, const std::vector<std::vector<block>> &blocks,
                            int z, int kb, int c) {
  const int mb = h.m / z;
  encoder enc = structuredshell(h, encoderkind::dualdiagonal);
  enc.lift = z;
  const int s0 = oddshift(blocks[kb], c);
  const int info = kb * z;
  // First parity block: bit (r + s0) mod z is the sum over the core rows
  // r, z + r, ... of their information bits.
  for (int r = 0; r < z; ++r) {
    for (int i = 0; i < c; ++i) appendbelow(h, i * z + r, info, &enc.firstblock.vars);
    cancelpairs(&enc.firstblock);
    enc.firstblock.pivot.push_back(info + (r + s0) % z);
    enc.firstblock.start.push_back(static_cast<int>(enc.firstblock.vars.size()));
  }
  // Core rows 0..c-2 give parity blocks 1..c-1; the last core row is the
  // sum of the others with the first block's equations.
  for (int j = 0; j + 1 < c; ++j) {
    const int a = blocks[kb + j + 1].front().shift;
    for (int r = 0; r < z; ++r)
      substitutionrow(h, j * z + r, (kb + j + 1) * z + (r + a) % z, &enc.triangle);
  }
  for (int e = 0; c + e < mb; ++e) {
    const int a = blocks[kb + c + e].front().shift;
    for (int r = 0; r < z; ++r)
      substitutionrow(h, (c + e) * z + r, (kb + c + e) * z + (r + a) % z, &enc.triangle);
  }
  return enc;
}

}  // namespace

bool findstaircase(const sparsechecks &h, encoder *out) {
  const int m = h.m;
  const int k = h.n - m;
  if (m < 1 || k < 0) return false;
  const columns cols(h);
  bool forward = true, backward = true;
  for (int j = 0; j < m && (forward || backward); ++j) {
    const int v = k + j;
    forward = forward && (j + 1 < m ? cols.is(v, {j, j + 1}) : cols.is(v, {j}));
    backward = backward && (j > 0 ? cols.is(v, {j - 1, j}) : cols.is(v, {j}));
  }
  if (!forward && !backward) return false;
  encoder enc = structuredshell(h, encoderkind::staircase);
  for (int step = 0; step < m; ++step) {
    const int j = forward ? step : m - 1 - step;
    appendbelow(h, j, k, &enc.accumulator.vars);
    enc.accumulator.pivot.push_back(k + j);
    enc.accumulator.start.push_back(static_cast<int>(enc.accumulator.vars.size()));
  }
  *out = std::move(enc);
  return true;
}

bool finddualdiagonal(const sparsechecks &h, encoder *out) {
  if (h.m < 2 || h.n <= h.m) return false;
  const columns cols(h);
  const int common = std::gcd(h.n, h.m);
  std::vector<std::vector<block>> blocks;
  for (int z = common; z >= 1; --z) {
    if (common % z != 0 || h.m / z < 2) continue;
    if (!circulantblocks(h, cols, z, &blocks)) continue;
    const int kb = (h.n - h.m) / z;
    const int c = coresize(blocks, kb, h.m / z);
    if (c < 0) continue;
    *out = dualdiagonalencoder(h, blocks, z, kb, c);
    return true;
  }
  return false;
}

bool makestaircaseencoder(const graphs *graph, encoder *out, std::string *error) {
  sparsechecks h;
  if (!readchecks(graph, &h, error)) return false;
  if (findstaircase(h, out)) return true;
  *error = "the last " + std::to_string(h.m) + " variables do not form a staircase";
  return false;
}

bool makedualdiagonalencoder(const graphs *graph, encoder *out, std::string *error) {
  sparsechecks h;
  if (!readchecks(graph, &h, error)) return false;
  if (finddualdiagonal(h, out)) return true;
  *error = "no circulant size gives a dual-diagonal parity part";
  return false;
}

}  // namespace ldpc
