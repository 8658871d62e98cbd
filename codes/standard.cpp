// Standard codes: the lookup of a request and the construction of each
// family from its tables.
#include "standard.h"

#include <algorithm>
#include <cstdlib>

#include "columns.h"
#include "nrratematch.h"
#include "tables.h"

namespace ldpc {

namespace {

std::string joined(const std::vector<std::string> &items) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) text += (i > 0 ? ", " : "") + items[i];
  return text;
}

std::string joined(const std::vector<int> &items) {
  std::vector<std::string> text;
  for (int x : items) text.push_back(std::to_string(x));
  return joined(text);
}

const std::vector<std::string> wifirates = {"1/2", "2/3", "3/4", "5/6"};
const std::vector<std::string> wimaxrates = {"1/2", "2/3A", "2/3B", "3/4A", "3/4B", "5/6"};
const std::vector<std::string> dvbrates = {"1/4", "1/3", "2/5", "1/2", "3/5", "2/3",
                                           "3/4", "4/5", "5/6", "8/9", "9/10"};
const std::vector<std::string> ar4jarates = {"1/2", "2/3", "4/5"};

std::vector<int> steps(int first, int last, int step) {
  std::vector<int> values;
  for (int x = first; x <= last; x += step) values.push_back(x);
  return values;
}

// Index of what in choices, or -1 with *error listing the choices.
int choose(const std::string &family, const char *what, const std::string &given,
           const std::vector<std::string> &choices, std::string *error) {
  for (std::size_t i = 0; i < choices.size(); ++i)
    if (choices[i] == given) return static_cast<int>(i);
  *error = family +
           (given.empty() ? std::string(": no ") + what + " given"
                          : ": " + std::string(what) + " " + given + " is not defined") +
           "; the standard defines " + what + "s " + joined(choices);
  return -1;
}

int choose(const std::string &family, const char *what, int given, const std::vector<int> &choices,
           std::string *error) {
  for (std::size_t i = 0; i < choices.size(); ++i)
    if (choices[i] == given) return static_cast<int>(i);
  *error =
      family +
      (given == 0 ? std::string(": no ") + what + " given"
                  : ": " + std::string(what) + " " + std::to_string(given) + " is not defined") +
      "; the standard defines " + what + "s " + joined(choices);
  return -1;
}

// The options a family does not take, named as the request's fields.
bool refuseoptions(const standardrequest &r, bool rate, bool length, bool lift, bool info,
                   std::string *error) {
  const char *extra = !rate && !r.rate.empty()   ? "rate"
                      : !length && r.length != 0 ? "length"
                      : !lift && r.lift != 0     ? "lifting size"
                      : !info && r.info != 0     ? "information length"
                      : r.family != "nr" && (r.rv != 0 || r.tbslbrm != 0)
                          ? "redundancy version or limited buffer"
                          : nullptr;
  if (extra == nullptr) return true;
  *error = r.family + " takes no " + extra + "; it is chosen by " + [&] {
    for (const standardfamily &f : standardfamilies())
      if (f.name == r.family) return f.options;
    return std::string();
  }();
  return false;
}

bool finish(standardcode *code, const columns &matrix, std::string *error) {
  code->graph = graphofcolumns(matrix, error);
  return code->graph != nullptr;
}

bool finishqc(standardcode *code, std::string *error) {
  code->graph = expandqc(code->base, error);
  code->lift = code->base.lift;
  return code->graph != nullptr;
}

// --- 5G NR ---------------------------------------------------------------------

qcmatrix nrbase(const nrcode &nr) {
  qcmatrix qc;
  qc.columns = nr.columns;
  qc.rows = nr.rows;
  qc.lift = nr.lift;
  qc.shifts.assign(static_cast<std::size_t>(qc.rows) * static_cast<std::size_t>(qc.columns), -1);
  const tables::nrentry *entries = nr.basegraph == 1 ? tables::nrbasegraph1 : tables::nrbasegraph2;
  const int count = nr.basegraph == 1 ? 316 : 197;
  // shifts reduced mod Zc (clause 5.3.2)
  for (int e = 0; e < count; ++e)
    qc.shifts[static_cast<std::size_t>(entries[e].row) * static_cast<std::size_t>(qc.columns) +
              static_cast<std::size_t>(entries[e].column)] =
        entries[e].shift[nr.setindex] % nr.lift;
  return qc;
}

bool buildnrcode(const nrcode &nr, standardcode *code, std::string *error) {
  code->base = nrbase(nr);
  code->info = nr.info;
  code->source = "3GPP TS 38.212 clause 5.3.2, base graph " + std::to_string(nr.basegraph);
  return finishqc(code, error);
}

bool buildnrgraph(const standardrequest &r, int basegraph, standardcode *code, std::string *error) {
  if (!refuseoptions(r, false, false, true, true, error)) return false;
  nrcode nr;
  if ((r.lift == 0) == (r.info == 0)) {
    *error = r.family + ": give a lifting size (one of " + joined(nrliftsizes()) +
             ") or an information length (1.." + std::to_string(nrmaxinfo(basegraph)) + ")";
    return false;
  }
  if (r.lift != 0 ? !nrcodeforlift(basegraph, r.lift, &nr, error)
                  : !nrcodeforinfo(basegraph, r.info, &nr, error)) {
    *error = r.family + ": " + *error;
    return false;
  }
  if (!buildnrcode(nr, code, error)) return false;
  code->length = nr.columns * nr.lift;
  code->pattern = nrmothercode(nr);
  return true;
}

bool buildnrmatched(const standardrequest &r, standardcode *code, std::string *error) {
  if (!refuseoptions(r, false, true, false, true, error)) return false;
  if (r.info < 1 || r.length < 1) {
    *error =
        "nr: give the information length (--info K, 1..8448) and the number of sent bits "
        "(--length E)";
    return false;
  }
  const int basegraph = nrbasegraph(r.info, static_cast<double>(r.info) / r.length);
  nrcode nr;
  if (!nrcodeforinfo(basegraph, r.info, &nr, error)) {
    *error = "nr: " + *error;
    return false;
  }
  transmission pattern;
  if (!nrratematch(nr, r.length, r.rv, nrbufferlength(nr, r.tbslbrm), &pattern, error)) {
    *error = "nr: " + *error;
    return false;
  }
  if (!buildnrcode(nr, code, error)) return false;
  code->source += ", rate matching clause 5.4.2.1";
  code->length = r.length;
  code->pattern = std::move(pattern);
  return true;
}

// --- IEEE 802.11n/ac and 802.16e ------------------------------------------------

qcmatrix ieeebase(const tables::basematrix &table, int lift, bool scaled, bool modulo) {
  qcmatrix qc;
  qc.columns = 24;
  qc.rows = table.rows;
  qc.lift = lift;
  qc.shifts.assign(table.entries, table.entries + 24 * table.rows);
  // 802.16e scaling: floor(p z / z0), or p mod z for rate 2/3A
  if (scaled)
    for (int &p : qc.shifts)
      if (p > 0) p = modulo ? p % lift : p * lift / table.lift;
  return qc;
}

int lengthorlift(const standardrequest &r) { return r.length != 0 ? r.length : 24 * r.lift; }

bool buildwifi(const standardrequest &r, standardcode *code, std::string *error) {
  if (!refuseoptions(r, true, true, true, false, error)) return false;
  const int rate = choose(r.family, "rate", r.rate, wifirates, error);
  if (rate < 0) return false;
  const int length = choose(r.family, "length", lengthorlift(r), {648, 1296, 1944}, error);
  if (length < 0) return false;
  const tables::basematrix &table = tables::wifimatrices[rate * 3 + length];
  code->base = ieeebase(table, table.lift, false, false);
  code->length = table.length;
  code->info = table.length - table.rows * table.lift;
  code->source = "IEEE Std 802.11-2016 clause 19.3.11.7, Annex F";
  code->pattern = sendall(table.length);
  return finishqc(code, error);
}

bool buildwimax(const standardrequest &r, standardcode *code, std::string *error) {
  if (!refuseoptions(r, true, true, true, false, error)) return false;
  const int rate = choose(r.family, "rate", r.rate, wimaxrates, error);
  if (rate < 0) return false;
  const int length = choose(r.family, "length", lengthorlift(r), steps(576, 2304, 96), error);
  if (length < 0) return false;
  const int n = 576 + 96 * length, z = n / 24;
  const tables::basematrix &table = tables::wimaxmatrices[rate];
  code->base = ieeebase(table, z, true, r.rate == "2/3A");
  code->length = n;
  code->info = n - table.rows * z;
  code->source = "IEEE Std 802.16e-2005 clause 8.4.9.2.5";
  code->pattern = sendall(n);
  return finishqc(code, error);
}

// --- DVB-S2 ---------------------------------------------------------------------

bool builddvbs2(const standardrequest &r, bool shortframe, standardcode *code, std::string *error) {
  if (!refuseoptions(r, true, true, false, false, error)) return false;
  const std::vector<std::string> rates(dvbrates.begin(), dvbrates.end() - (shortframe ? 1 : 0));
  const int rate = choose(r.family, "rate", r.rate, rates, error);
  if (rate < 0) return false;
  const int n = shortframe ? 16200 : 64800;
  if (r.length != 0 && choose(r.family, "length", r.length, {n}, error) < 0) return false;
  const tables::addresstable &table = tables::dvbs2tables[(shortframe ? 11 : 0) + rate];
  const int m = table.n - table.k;
  columns matrix = emptycolumns(table.n, m);
  std::vector<int> entries;
  // information bit 360 g + w meets the checks (x + w q) mod (n - k) of row g
  for (int g = 0; g < table.groups; ++g)
    for (int w = 0; w < 360; ++w) {
      entries.clear();
      for (int a = table.start[g]; a < table.start[g + 1]; ++a)
        entries.push_back(
            static_cast<int>((table.addresses[a] + static_cast<long long>(w) * table.q) % m));
      appendcolumn(&matrix, entries, false);
    }
  // the staircase: parity bit j meets checks j and j + 1
  for (int j = 0; j < m; ++j) {
    entries.assign(1, j);
    if (j + 1 < m) entries.push_back(j + 1);
    appendcolumn(&matrix, entries, false);
  }
  code->length = table.n;
  code->info = table.k;
  code->source = "ETSI EN 302 307-1 clause 5.3.2, Annex " + std::string(shortframe ? "C" : "B");
  code->pattern = sendall(table.n);
  return finish(code, matrix, error);
}

// --- CCSDS AR4JA and C2 ----------------------------------------------------------

// One M x M block of an AR4JA matrix: the sum of the identity (k = 0) and
// the permutations Pi_k it lists.
struct ar4jablock {
  int row, column;
  std::vector<int> permutations;
};

// pi_k(i) of clause 7.4.2.4, M a power of two from 128 on.
int ar4japi(int k, int i, int m, int mindex) {
  const int quarter = m / 4, j = 4 * i / m;
  return quarter * ((tables::ar4jatheta[k - 1] + j) % 4) +
         (tables::ar4japhi[j][k - 1][mindex] + i) % quarter;
}

std::vector<ar4jablock> ar4jablocks(int rate) {
  // H_1/2, placed after the 2 (rate 2/3) or 6 (rate 4/5) extra block columns
  const int e = rate == 0 ? 0 : rate == 1 ? 2 : 6;
  std::vector<ar4jablock> blocks = {{0, e + 2, {0}}, {0, e + 4, {0, 1}}, {1, e + 0, {0}},
                                    {1, e + 1, {0}}, {1, e + 3, {0}},    {1, e + 4, {2, 3, 4}},
                                    {2, e + 0, {0}}, {2, e + 1, {5, 6}}, {2, e + 3, {7, 8}},
                                    {2, e + 4, {0}}};
  if (rate >= 1) {
    const int x = rate == 1 ? 0 : 4;
    blocks.insert(
        blocks.end(),
        {{1, x + 0, {9, 10, 11}}, {1, x + 1, {0}}, {2, x + 0, {0}}, {2, x + 1, {12, 13, 14}}});
  }
  if (rate == 2)
    blocks.insert(blocks.end(), {{1, 0, {21, 22, 23}},
                                 {1, 1, {0}},
                                 {1, 2, {15, 16, 17}},
                                 {1, 3, {0}},
                                 {2, 0, {0}},
                                 {2, 1, {24, 25, 26}},
                                 {2, 2, {0}},
                                 {2, 3, {18, 19, 20}}});
  return blocks;
}

bool buildar4ja(const standardrequest &r, standardcode *code, std::string *error) {
  if (!refuseoptions(r, true, true, false, true, error)) return false;
  const int rate = choose(r.family, "rate", r.rate, ar4jarates, error);
  if (rate < 0) return false;
  // Table 7-5: transmitted lengths n = k (K + 2) / K for K = 2, 4, 8
  const int kblocks = rate == 0 ? 2 : rate == 1 ? 4 : 8;
  std::vector<int> lengths;
  for (int k : {1024, 4096, 16384}) lengths.push_back(k * (kblocks + 2) / kblocks);
  int size;
  if (r.info != 0) {
    size = choose(r.family, "information length", r.info, {1024, 4096, 16384}, error);
    if (size >= 0 && r.length != 0 && r.length != lengths[static_cast<std::size_t>(size)]) {
      *error = r.family + ": rate " + r.rate + " with k = " + std::to_string(r.info) +
               " is sent in " + std::to_string(lengths[static_cast<std::size_t>(size)]) +
               " bits, not " + std::to_string(r.length);
      return false;
    }
  } else {
    size = choose(r.family, "length", r.length, lengths, error);
  }
  if (size < 0) return false;
  const int info = 1024 << (2 * size);
  // Table 7-2: M = k / K
  const int m = info / kblocks, mindex = __builtin_ctz(static_cast<unsigned>(m)) - 7;
  const int blockcolumns = kblocks + 3;
  std::vector<std::vector<int>> cols(static_cast<std::size_t>(blockcolumns * m));
  for (const ar4jablock &b : ar4jablocks(rate))
    for (int k : b.permutations)
      for (int i = 0; i < m; ++i) {
        const int column = b.column * m + (k == 0 ? i : ar4japi(k, i, m, mindex));
        cols[static_cast<std::size_t>(column)].push_back(b.row * m + i);
      }
  columns matrix = emptycolumns(blockcolumns * m, 3 * m);
  for (auto &c : cols) appendcolumn(&matrix, std::move(c), true);
  std::vector<bitstate> state(static_cast<std::size_t>(blockcolumns * m), bitstate::sent);
  std::fill(state.end() - m, state.end(), bitstate::punctured);
  code->length = lengths[static_cast<std::size_t>(size)];
  code->info = info;
  code->source = "CCSDS 131.0-B clause 7.4";
  code->pattern = patternofstates(std::move(state));
  return finish(code, matrix, error);
}

bool buildc2(const standardrequest &r, standardcode *code, std::string *error) {
  if (!refuseoptions(r, false, true, false, false, error)) return false;
  const int length = r.length == 0 ? 8176 : r.length;
  if (choose(r.family, "length", length, {8176, 8160}, error) < 0) return false;
  const int z = 511;
  columns matrix = emptycolumns(16 * z, 2 * z);
  std::vector<int> entries;
  // row i of circulant A(r, c) has its ones at (i + p) mod 511
  for (int c = 0; c < 16; ++c)
    for (int j = 0; j < z; ++j) {
      entries.clear();
      for (int row = 0; row < 2; ++row)
        for (int p : tables::c2circulants[row][c]) entries.push_back(row * z + (j - p + z) % z);
      appendcolumn(&matrix, entries, true);
    }
  code->lift = z;
  code->source = "CCSDS 131.0-B clause 7.3";
  code->pattern = sendall(16 * z);
  code->length = length;
  code->info = 7156;
  if (length == 8160) {
    // 18 leading information bits fixed to zero and not sent, two zeros
    // appended (clause 7.3.5); the expurgated dimensions leave 7136
    std::string unused;
    std::vector<int> leading;
    for (int v = 0; v < 18; ++v) leading.push_back(v);
    markpattern(&code->pattern, {}, leading, &unused);
    code->pattern.appended = 2;
    code->info = 7136;
  }
  return finish(code, matrix, error);
}

}  // namespace

bool buildtengbaset(const standardrequest &r, standardcode *code, std::string *error);

bool buildstandard(const standardrequest &request, standardcode *code, std::string *error) {
  *code = standardcode{};
  code->family = request.family;
  code->rate = request.rate;
  const std::string &f = request.family;
  if (f == "nr-bg1" || f == "nr-bg2")
    return buildnrgraph(request, f == "nr-bg1" ? 1 : 2, code, error);
  if (f == "nr") return buildnrmatched(request, code, error);
  if (f == "wifi") return buildwifi(request, code, error);
  if (f == "wimax") return buildwimax(request, code, error);
  if (f == "dvbs2" || f == "dvbs2-short")
    return builddvbs2(request, f == "dvbs2-short", code, error);
  if (f == "ar4ja") return buildar4ja(request, code, error);
  if (f == "ccsds-c2") return buildc2(request, code, error);
  if (f == "10gbase-t") return buildtengbaset(request, code, error);
  std::vector<std::string> names;
  for (const standardfamily &family : standardfamilies()) names.push_back(family.name);
  *error = "no standard code family \"" + f + "\"; the families are " + joined(names);
  return false;
}

void freestandard(standardcode *code) {
  if (code->graph != nullptr) {
    freegraph(code->graph);
    std::free(code->graph);
  }
  code->graph = nullptr;
}

const std::vector<standardfamily> &standardfamilies() {
  static const std::vector<standardfamily> families = [] {
    std::vector<int> nrinfo1 = {1, 8448}, nrinfo2 = {1, 3840};
    std::vector<standardfamily> f = {
        {"nr-bg1",
         "5G NR LDPC base graph 1 (68 x 46 blocks)",
         "3GPP TS 38.212 clause 5.3.2, Table 5.3.2-2",
         {},
         {},
         nrliftsizes(),
         nrinfo1,
         "--lift Z, or --info K (1..8448) for the lifting size and filler bits of clause 5.2.2"},
        {"nr-bg2",
         "5G NR LDPC base graph 2 (52 x 42 blocks)",
         "3GPP TS 38.212 clause 5.3.2, Table 5.3.2-3",
         {},
         {},
         nrliftsizes(),
         nrinfo2,
         "--lift Z, or --info K (1..3840) for the lifting size and filler bits of clause 5.2.2"},
        {"nr",
         "5G NR code block with rate matching",
         "3GPP TS 38.212 clauses 5.2.2, 5.3.2, 5.4.2.1, 6.2.2/7.2.2",
         {},
         {},
         nrliftsizes(),
         nrinfo1,
         "--info K --length E [--rv 0..3] [--lbrm TBS]: base graph, lifting size, fillers and "
         "bit selection as the standard says"},
        {"wifi",
         "IEEE 802.11n/ac LDPC",
         "IEEE Std 802.11-2016 clause 19.3.11.7, Annex F",
         wifirates,
         {648, 1296, 1944},
         {27, 54, 81},
         {},
         "--rate R --length N (or --lift Z)"},
        {"wimax",
         "IEEE 802.16e LDPC",
         "IEEE Std 802.16e-2005 clause 8.4.9.2.5",
         wimaxrates,
         steps(576, 2304, 96),
         steps(24, 96, 4),
         {},
         "--rate R --length N (or --lift Z)"},
        {"dvbs2",
         "DVB-S2 normal frame",
         "ETSI EN 302 307-1 clause 5.3.2, Annex B",
         dvbrates,
         {64800},
         {},
         {},
         "--rate R"},
        {"dvbs2-short",
         "DVB-S2 short frame",
         "ETSI EN 302 307-1 clause 5.3.2, Annex C",
         std::vector<std::string>(dvbrates.begin(), dvbrates.end() - 1),
         {16200},
         {},
         {},
         "--rate R"},
        {"ar4ja",
         "CCSDS AR4JA (last M nodes punctured)",
         "CCSDS 131.0-B clause 7.4, Tables 7-2 to 7-5",
         ar4jarates,
         {1280, 1536, 2048, 5120, 6144, 8192, 20480, 24576, 32768},
         {},
         {1024, 4096, 16384},
         "--rate R --info K (or --length N, the transmitted length)"},
        {"ccsds-c2",
         "CCSDS near-earth C2 (8176, 7156); shortened (8160, 7136)",
         "CCSDS 131.0-B clause 7.3, Table 7-1",
         {},
         {8176, 8160},
         {511},
         {},
         "[--length 8176|8160]"},
        {"10gbase-t",
         "IEEE 802.3an 10GBASE-T (2048, 1723)",
         "IEEE Std 802.3 clause 55.3.2.2 (Reed-Solomon based construction)",
         {},
         {2048},
         {64},
         {},
         "no options"},
    };
    return f;
  }();
  return families;
}

}  // namespace ldpc
