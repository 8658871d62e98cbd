// Properties that every input must keep when it goes through the reading
// core of base-matrix files: shared by the libFuzzer harness and by the test
// suite, which replays the seed corpus and past findings through them.
// Returns "" when every property holds, else what went wrong:
//   - the reader agrees with a plain reference reading of the layout
//     (accepts exactly what it accepts, with the same matrix and flags) and
//     refuses only with a message;
//   - an accepted matrix, written and read again, is the same matrix;
//   - its expansion (when small) keeps the invariants of the graph records
//     and is recognised as the lifting of the same matrix.
#ifndef LDPC_TESTS_FUZZ_QCPROPERTIES_H
#define LDPC_TESTS_FUZZ_QCPROPERTIES_H

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "qcfile.h"
#include "../oracle.h"

namespace fuzzprops {

// The layout read plainly: lines split at line feeds and carriage returns,
// items by white space, integers by their characters.
struct qcreference {
  std::vector<int> shifts;
  std::vector<std::uint8_t> flags;
  int columns = 0, rows = 0, lift = 0;
};

inline bool referenceinteger(const std::string &item, int *value) {
  const bool negative = item[0] == '-';
  std::size_t i = item[0] == '+' || item[0] == '-' ? 1 : 0;
  if (i == item.size()) return false;
  long long x = 0;
  for (std::size_t k = i; k < item.size(); ++k) {
    if (item[k] < '0' || item[k] > '9') return false;
    x = x * 10 + (item[k] - '0');
    if (x > 1LL << 40) return false;
  }
  if (negative) x = -x;
  if (x < INT_MIN || x > INT_MAX) return false;
  *value = static_cast<int>(x);
  return true;
}

inline bool referenceqc(std::string text, qcreference *ref) {
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  std::vector<std::vector<int>> lines;
  bool nonnumber = false;
  std::string line;
  auto flush = [&]() {
    std::istringstream items(line);
    std::vector<int> numbers;
    std::string item;
    bool any = false, bad = false;
    while (items >> item) {
      any = true;
      int value = 0;
      if (!referenceinteger(item, &value)) bad = true;
      numbers.push_back(value);
    }
    nonnumber = nonnumber || bad;
    if (any) lines.push_back(numbers);
    line.clear();
  };
  for (char c : text) {
    if (c == '\n' || c == '\r')
      flush();
    else
      line += c;
  }
  flush();
  // a non-number is refused wherever it stands: in the parts it breaks
  // them, after them any text is refused
  if (nonnumber) return false;
  if (lines.empty() || lines[0].size() != 3) return false;
  ref->columns = lines[0][0];
  ref->rows = lines[0][1];
  ref->lift = lines[0][2];
  if (ref->columns < 1 || ref->rows < 1 || ref->lift < 1) return false;
  if (static_cast<long long>(ref->columns) * ref->lift > INT_MAX ||
      static_cast<long long>(ref->rows) * ref->lift > INT_MAX)
    return false;
  if (static_cast<long long>(lines.size()) < 1LL + ref->rows) return false;
  long long edges = 0;
  for (int r = 1; r <= ref->rows; ++r) {
    if (static_cast<long long>(lines[static_cast<std::size_t>(r)].size()) != ref->columns)
      return false;
    for (int s : lines[static_cast<std::size_t>(r)]) {
      if (s < -1 || s >= ref->lift) return false;
      ref->shifts.push_back(s);
      if (s >= 0) edges += ref->lift;
    }
  }
  if (edges > INT_MAX) return false;
  const std::size_t after = static_cast<std::size_t>(ref->rows) + 1;
  if (lines.size() > after + 1) return false;
  if (lines.size() == after + 1) {
    if (static_cast<long long>(lines[after].size()) != ref->columns) return false;
    for (int f : lines[after]) {
      if (f != 0 && f != 1) return false;
      ref->flags.push_back(static_cast<std::uint8_t>(f));
    }
  }
  return true;
}

// Expansions beyond this many edges are not built here.
constexpr long long qcedgelimit = 20000;

inline std::string checkqcfile(const std::uint8_t *data, std::size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  ldpc::qcmatrix qc;
  std::string error;
  const bool ok = ldpc::parseqc(text, &qc, &error);
  qcreference ref;
  const bool refok = referenceqc(text, &ref);
  if (!ok && error.empty()) return "refused without a message";
  if (ok != refok)
    return ok ? "accepted; the reference reading refuses"
              : "refused (" + error + "); the reference reading accepts";
  if (!ok) return "";
  if (qc.shifts != ref.shifts || qc.transmitted != ref.flags || qc.columns != ref.columns ||
      qc.rows != ref.rows || qc.lift != ref.lift)
    return "the matrix differs from the reference reading";

  // written and read again
  std::string written;
  ldpc::textwriter out;
  ldpc::writetomemory(&out, &written, 4096);
  ldpc::formatqc(&out, qc);
  ldpc::writeclose(&out);
  ldpc::qcmatrix again;
  if (!ldpc::parseqc(written, &again, &error)) return "its own text is refused: " + error;
  if (again.shifts != qc.shifts || again.transmitted != qc.transmitted) return "round trip differs";

  // the expansion, when small
  long long edges = 0;
  for (int s : qc.shifts) edges += s >= 0 ? qc.lift : 0;
  if (edges > qcedgelimit || static_cast<long long>(qc.columns) * qc.lift > qcedgelimit ||
      static_cast<long long>(qc.rows) * qc.lift > qcedgelimit)
    return "";
  ldpc::graphs *g = ldpc::expandqc(qc, &error);
  if (g == nullptr) return "";  // more distinct degrees than a table holds
  std::string fault = oracle::checkgraph(g, oracle::tablesexact);
  ldpc::qcmatrix back;
  std::string why;
  if (fault.empty() && !ldpc::qcofgraph(g, qc.lift, &back, &why)) fault = "not recognised: " + why;
  if (fault.empty() && back.shifts != qc.shifts) fault = "recognised as another matrix";
  ldpc::freegraph(g);
  std::free(g);
  return fault;
}

}  // namespace fuzzprops

#endif
