// The dense encoder, the choice among the encoders, and encoding.
#include "encoder.h"

#include <bit>

#include "paritycheck.h"
#include "structured.h"
#include "triangular.h"

namespace ldpc {

namespace {

const char *const kindnames[] = {"dense", "triangular", "staircase", "dualdiagonal"};

// The pivot order of the options, checked: every entry a column, none twice.
bool parityorder(const encoderoptions &options, int n, std::vector<int> *order,
                 std::string *error) {
  if (options.parityorder.empty()) {
    order->resize(n);
    for (int c = 0; c < n; ++c) (*order)[c] = n - 1 - c;
    return true;
  }
  std::vector<char> seen(n, 0);
  for (std::size_t i = 0; i < options.parityorder.size(); ++i) {
    const int c = options.parityorder[i];
    if (c < 0 || c >= n || seen[c]) {
      *error = "entry " + std::to_string(i) + " of the parity order is " + std::to_string(c) +
               (c >= 0 && c < n ? ", listed before"
                                : "; columns are numbered 0.." + std::to_string(n - 1));
      return false;
    }
    seen[c] = 1;
  }
  *order = options.parityorder;
  return true;
}

// x[pivot[i]] = sum of the listed entries, for each row in turn.
void solve(const substitution &s, std::uint64_t *x) {
  const int *vars = s.vars.data();
  for (int i = 0, rows = s.rows(); i < rows; ++i) {
    std::uint64_t sum = 0;
    for (int e = s.start[i]; e < s.start[i + 1]; ++e) sum ^= x[vars[e]];
    x[s.pivot[i]] = sum;
  }
}

void encodetriangular(const encoder &enc, std::uint64_t *x) {
  solve(enc.triangle, x);
  const int g = enc.gap();
  if (g == 0) return;
  // The gap rows' sums with p1 = 0, times iphi, give p1; the triangle
  // then runs again with p1 in place.
  std::vector<std::uint64_t> z(g), p(g, 0);
  for (int b = 0; b < g; ++b) {
    std::uint64_t sum = 0;
    for (int e = enc.gaprows.start[b]; e < enc.gaprows.start[b + 1]; ++e)
      sum ^= x[enc.gaprows.vars[e]];
    z[b] = sum;
  }
  for (int r = 0; r < g; ++r) {
    const std::uint64_t *row = enc.iphi.row(r);
    std::uint64_t sum = 0;
    for (int w = 0; w < enc.iphi.words; ++w)
      for (std::uint64_t bits = row[w]; bits != 0; bits &= bits - 1)
        sum ^= z[w * 64 + std::countr_zero(bits)];
    p[r] = sum;
  }
  for (int r = 0; r < g; ++r) x[enc.gaprows.pivot[r]] = p[r];
  solve(enc.triangle, x);
}

void encodedenselanes(const encoder &enc, std::uint64_t *x) {
  for (int i = 0; i < enc.rank; ++i) {
    const std::uint64_t *row = enc.parity.row(i);
    std::uint64_t sum = 0;
    for (int w = 0; w < enc.parity.words; ++w)
      for (std::uint64_t bits = row[w]; bits != 0; bits &= bits - 1)
        sum ^= x[enc.positions[w * 64 + std::countr_zero(bits)]];
    x[enc.paritypositions[i]] = sum;
  }
}

// One frame at a time: the word packed into 64-bit words, each parity bit
// the parity of a population count.
void encodedense(const encoder &enc, const std::uint8_t *words, int frames,
                 std::uint8_t *codewords) {
  std::vector<std::uint64_t> packed(enc.parity.words);
  for (int f = 0; f < frames; ++f) {
    const std::uint8_t *u = words + static_cast<std::int64_t>(f) * enc.k;
    std::uint8_t *c = codewords + static_cast<std::int64_t>(f) * enc.n;
    std::fill(packed.begin(), packed.end(), 0);
    for (int j = 0; j < enc.k; ++j) {
      const std::uint8_t bit = u[j] != 0;
      packed[j >> 6] |= static_cast<std::uint64_t>(bit) << (j & 63);
      c[enc.positions[j]] = bit;
    }
    // The parity of a sum of population counts is that of the count of the
    // words' exclusive or: one count per row.
    for (int i = 0; i < enc.rank; ++i) {
      const std::uint64_t *row = enc.parity.row(i);
      std::uint64_t sum = 0;
      for (int w = 0; w < enc.parity.words; ++w) sum ^= row[w] & packed[w];
      c[enc.paritypositions[i]] = static_cast<std::uint8_t>(std::popcount(sum) & 1);
    }
  }
}

}  // namespace

const char *encodername(encoderkind kind) { return kindnames[static_cast<int>(kind)]; }

bool makedenseencoder(const graphs *graph, encoder *out, std::string *error,
                      const encoderoptions &options) {
  sparsechecks checks;
  if (!readchecks(graph, &checks, error)) return false;
  const int n = checks.n;
  const int m = checks.m;
  std::vector<int> order;
  if (!parityorder(options, n, &order, error)) return false;
  // The matrix and, at most, a parity part of the same size.
  const std::int64_t need = 2 * bitmatrixbytes(m, n);
  if (need > options.memorylimit) {
    *error = "the dense encoder of a " + std::to_string(m) + " x " + std::to_string(n) +
             " parity-check matrix needs " + bytestext(need) + "; the memory allowed is " +
             bytestext(options.memorylimit);
    return false;
  }
  bitmatrix h = zerobitmatrix(m, n);
  for (int c = 0; c < m; ++c)
    for (int e = checks.start[c]; e < checks.start[c + 1]; ++e) h.set(c, checks.vars[e]);
  std::vector<int> pivots;
  const int rank = reducerows(&h, order, &pivots);

  encoder enc;
  enc.kind = encoderkind::dense;
  enc.n = n;
  enc.m = m;
  enc.rank = rank;
  enc.k = n - rank;
  std::vector<char> ispivot(n, 0);
  for (int c : pivots) ispivot[c] = 1;
  for (int c = 0; c < n; ++c)
    if (!ispivot[c]) enc.positions.push_back(c);
  enc.paritypositions = pivots;
  // Row i of the reduced matrix is 1 at its pivot and nowhere at the other
  // pivots, so its entries at the information positions give parity bit i.
  enc.parity = zerobitmatrix(rank, enc.k);
  for (int i = 0; i < rank; ++i)
    for (int j = 0; j < enc.k; ++j)
      if (h.get(i, enc.positions[j])) enc.parity.set(i, j);
  *out = std::move(enc);
  return true;
}

bool makeencoder(const graphs *graph, const encoders *info, encoder *out, std::string *error,
                 const encoderoptions &options) {
  if (info != nullptr && info->gap >= 0) return makeencoderfromrecord(graph, info, out, error);
  sparsechecks checks;
  if (!readchecks(graph, &checks, error)) return false;
  if (findstaircase(checks, out) || finddualdiagonal(checks, out)) return true;
  triangularform form;
  if (!findtriangularform(checks, &form, error, options)) return false;
  *out = triangularencoder(checks, form);
  return true;
}

void encodelanes(const encoder &enc, std::uint64_t *x) {
  switch (enc.kind) {
    case encoderkind::dense:
      encodedenselanes(enc, x);
      return;
    case encoderkind::triangular:
      encodetriangular(enc, x);
      return;
    case encoderkind::staircase: {
      const substitution &a = enc.accumulator;
      std::uint64_t sum = 0;
      for (int j = 0, rows = a.rows(); j < rows; ++j) {
        for (int e = a.start[j]; e < a.start[j + 1]; ++e) sum ^= x[a.vars[e]];
        x[a.pivot[j]] = sum;
      }
      return;
    }
    case encoderkind::dualdiagonal:
      solve(enc.firstblock, x);
      solve(enc.triangle, x);
      return;
  }
}

void encode(const encoder &enc, const std::uint8_t *words, int frames, std::uint8_t *codewords) {
  if (enc.kind == encoderkind::dense) {
    encodedense(enc, words, frames, codewords);
    return;
  }
  std::vector<std::uint64_t> x(enc.n), info(enc.k);
  for (int first = 0; first < frames; first += 64) {
    const int group = frames - first < 64 ? frames - first : 64;
    // Frames into the bits of words in the order of the word's bits (a loop
    // the compiler vectorises), then to their positions.
    std::fill(x.begin(), x.end(), 0);
    std::fill(info.begin(), info.end(), 0);
    for (int f = 0; f < group; ++f) {
      const std::uint8_t *u = words + static_cast<std::int64_t>(first + f) * enc.k;
      for (int j = 0; j < enc.k; ++j) info[j] |= static_cast<std::uint64_t>(u[j] != 0) << f;
    }
    for (int j = 0; j < enc.k; ++j) x[enc.positions[j]] = info[j];
    encodelanes(enc, x.data());
    for (int f = 0; f < group; ++f) {
      std::uint8_t *c = codewords + static_cast<std::int64_t>(first + f) * enc.n;
      for (int i = 0; i < enc.n; ++i) c[i] = static_cast<std::uint8_t>((x[i] >> f) & 1);
    }
  }
}

}  // namespace ldpc
