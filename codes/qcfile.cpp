// Quasi-cyclic base-matrix files: reading, expansion, recognition, writing.
#include "qcfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <numeric>

#include "columns.h"

namespace ldpc {

namespace {

// One line of the file cut into its blank-separated items.
struct textline {
  std::int64_t number = 0;  // from 1
  std::vector<std::string_view> items;
};

// The next line that holds an item, from *at on; false at the end.
bool nextline(std::string_view text, std::size_t *at, std::int64_t *line, textline *out) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; };
  while (*at < text.size()) {
    std::size_t end = *at;
    while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
    ++*line;
    out->number = *line;
    out->items.clear();
    for (std::size_t i = *at; i < end;) {
      while (i < end && blank(text[i])) ++i;
      std::size_t j = i;
      while (j < end && !blank(text[j])) ++j;
      if (j > i) out->items.push_back(text.substr(i, j - i));
      i = j;
    }
    // "\r\n" ends one line, not two
    *at = end + (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n' ? 2 : 1);
    if (!out->items.empty()) return true;
  }
  return false;
}

// An optional sign and decimal digits that fit an int.
bool parseint(std::string_view item, int *value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < item.size() && (item[i] == '+' || item[i] == '-')) negative = item[i++] == '-';
  if (i == item.size()) return false;
  long long magnitude = 0;
  for (; i < item.size(); ++i) {
    if (item[i] < '0' || item[i] > '9') return false;
    magnitude = magnitude * 10 + (item[i] - '0');
    if (magnitude > 2147483648LL) return false;
  }
  if (!negative && magnitude > 2147483647LL) return false;
  *value = static_cast<int>(negative ? -magnitude : magnitude);
  return true;
}

std::string where(const textline &line) { return "line " + number(line.number); }

std::string where(const textline &line, std::size_t entry) {
  return where(line) + ", entry " + number(static_cast<std::int64_t>(entry) + 1);
}

// The numbers of a line, or the first item that is not one.
bool linenumbers(const textline &line, std::vector<int> *values, std::string *error) {
  values->clear();
  for (std::size_t e = 0; e < line.items.size(); ++e) {
    int value;
    if (!parseint(line.items[e], &value)) {
      std::string_view item = line.items[e].substr(0, 20);
      *error = where(line, e) + ": \"" + std::string(item) +
               (line.items[e].size() > 20 ? "..." : "") + "\" is not a number";
      return false;
    }
    values->push_back(value);
  }
  return true;
}

bool parseheader(const textline &line, qcmatrix *qc, std::string *error) {
  std::vector<int> values;
  if (!linenumbers(line, &values, error)) return false;
  if (values.size() != 3) {
    *error = where(line) + ": the header has " + number(static_cast<std::int64_t>(values.size())) +
             " numbers; expected three, COLUMNS ROWS Z";
    return false;
  }
  const char *names[3] = {"COLUMNS", "ROWS", "Z"};
  for (int k = 0; k < 3; ++k)
    if (values[static_cast<std::size_t>(k)] < 1) {
      *error = where(line, static_cast<std::size_t>(k)) + ": " + names[k] + " is " +
               number(values[static_cast<std::size_t>(k)]) + "; it must be at least 1";
      return false;
    }
  qc->columns = values[0];
  qc->rows = values[1];
  qc->lift = values[2];
  const std::int64_t vnodes = static_cast<std::int64_t>(qc->columns) * qc->lift;
  const std::int64_t cnodes = static_cast<std::int64_t>(qc->rows) * qc->lift;
  if (vnodes > INT_MAX || cnodes > INT_MAX) {
    *error = where(line) + ": the expansion has " + number(vnodes) + " variable and " +
             number(cnodes) + " check nodes; at most " + number(INT_MAX) + " each";
    return false;
  }
  return true;
}

// The numbers of a line that holds one per block column, or the message
// that what has so many units (a count other than COLUMNS), then note.
bool columnnumbers(const textline &line, const qcmatrix &qc, const std::string &what,
                   const char *units, const char *note, std::vector<int> *values,
                   std::string *error) {
  if (!linenumbers(line, values, error)) return false;
  if (static_cast<std::int64_t>(values->size()) == qc.columns) return true;
  *error = where(line) + ": " + what + " has " + number(static_cast<std::int64_t>(values->size())) +
           " " + units + "; expected " + number(qc.columns) + note;
  return false;
}

bool parserow(const textline &line, int r, qcmatrix *qc, std::string *error) {
  std::vector<int> values;
  if (!columnnumbers(line, *qc, "block row " + number(r), "entries", " (COLUMNS)", &values, error))
    return false;
  for (std::size_t e = 0; e < values.size(); ++e)
    if (values[e] < -1 || values[e] >= qc->lift) {
      *error = where(line, e) + ": shift " + number(values[e]) + " is outside -1.." +
               number(qc->lift - 1);
      return false;
    }
  qc->shifts.insert(qc->shifts.end(), values.begin(), values.end());
  return true;
}

bool parseflags(const textline &line, qcmatrix *qc, std::string *error) {
  std::vector<int> values;
  if (!columnnumbers(line, *qc, "the pattern line", "flags",
                     ", one per block column (or no pattern line)", &values, error))
    return false;
  for (std::size_t e = 0; e < values.size(); ++e) {
    if (values[e] != 0 && values[e] != 1) {
      *error = where(line, e) + ": flag " + number(values[e]) +
               "; a flag is 1 (transmitted) or 0 (punctured)";
      return false;
    }
    qc->transmitted.push_back(static_cast<std::uint8_t>(values[e]));
  }
  return true;
}

}  // namespace

bool parseqc(std::string_view text, qcmatrix *qc, std::string *error) {
  *qc = qcmatrix{};
  // Files saved by some editors begin with a byte order mark.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::size_t at = 0;
  std::int64_t lines = 0;
  textline line;
  if (!nextline(text, &at, &lines, &line)) {
    *error = "the file holds no header; expected COLUMNS ROWS Z";
    return false;
  }
  if (!parseheader(line, qc, error)) return false;

  // The rows, one per line; the matrix grows with the text that holds it.
  for (int r = 0; r < qc->rows; ++r) {
    if (!nextline(text, &at, &lines, &line)) {
      *error = "the file ends after " + number(r) + " of " + number(qc->rows) + " block rows";
      return false;
    }
    if (!parserow(line, r, qc, error)) return false;
  }
  std::int64_t edges = 0;
  for (int s : qc->shifts) edges += s >= 0 ? qc->lift : 0;
  if (edges > INT_MAX) {
    *error = "the expansion has " + number(edges) + " edges; at most " + number(INT_MAX);
    return false;
  }

  // The optional pattern line, then nothing.
  if (nextline(text, &at, &lines, &line) && !parseflags(line, qc, error)) return false;
  if (nextline(text, &at, &lines, &line)) {
    *error = where(line) + ": unexpected text after the " +
             (qc->transmitted.empty() ? std::string("block rows") : std::string("pattern line"));
    return false;
  }
  return true;
}

readoutcome readqcfile(const char *path, qcmatrix *qc, std::string *error) {
  int fd = openforreading(path);
  if (fd < 0) return readopenfailed;
  std::string text;
  char buffer[1 << 16];
  for (;;) {
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      int reason = errno;
      close(fd);
      *error = std::string(path) + ": cannot be read: " + std::strerror(reason);
      return readmalformed;
    }
    if (got == 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  close(fd);
  if (!parseqc(text, qc, error)) {
    *error = std::string(path) + ": " + *error;
    return readmalformed;
  }
  return readok;
}

graphs *expandqc(const qcmatrix &qc, std::string *error) {
  const int z = qc.lift;
  columns matrix = emptycolumns(qc.columns * z, qc.rows * z);
  std::vector<int> entries;
  for (int c = 0; c < qc.columns; ++c)
    for (int j = 0; j < z; ++j) {
      // variable c*Z + j meets row i of block (r, c) where (i + s) mod Z = j
      entries.clear();
      for (int r = 0; r < qc.rows; ++r) {
        const int s = qcshift(qc, r, c);
        if (s >= 0) entries.push_back(r * z + (j - s + z) % z);
      }
      appendcolumn(&matrix, entries, false);
    }
  return graphofcolumns(matrix, error);
}

bool qcofgraph(const graphs *graph, int lift, qcmatrix *qc, std::string *why) {
  const int n = graph->vnodenum, m = graph->cnodenum;
  if (lift < 1 || n % lift != 0 || m % lift != 0 || n == 0 || m == 0) {
    *why = "lifting size " + number(lift) + " does not divide both node counts (" + number(n) +
           " variable, " + number(m) + " check nodes)";
    return false;
  }
  qcmatrix found;
  found.columns = n / lift;
  found.rows = m / lift;
  found.lift = lift;
  const std::size_t blocks =
      static_cast<std::size_t>(found.rows) * static_cast<std::size_t>(found.columns);
  found.shifts.assign(blocks, -1);
  std::vector<int> count(blocks, 0);
  std::vector<int> lastvariable(static_cast<std::size_t>(found.rows), -1);
  auto block = [&](int r, int c) {
    return "block row " + number(r) + ", block column " + number(c);
  };
  for (int v = 0; v < n; ++v) {
    const int c = v / lift, j = v % lift;
    const vnode *node = &graph->vnodelist[v];
    for (int s = 0; s < node->degree; ++s) {
      const int check = node->edgelist[s].dest;
      const int r = check / lift, i = check % lift;
      const int shift = (j - i + lift) % lift;
      const std::size_t b = static_cast<std::size_t>(r) * static_cast<std::size_t>(found.columns) +
                            static_cast<std::size_t>(c);
      if (found.shifts[b] >= 0 && found.shifts[b] != shift) {
        *why = block(r, c) + " holds more than one circulant (shifts " + number(found.shifts[b]) +
               " and " + number(shift) + "); a base-matrix entry is a single shift";
        return false;
      }
      if (lastvariable[static_cast<std::size_t>(r)] == v) {
        *why = block(r, c) + ": variable node " + number(v) + " has parallel edges to check node " +
               number(check) + "; a base matrix cannot hold them";
        return false;
      }
      lastvariable[static_cast<std::size_t>(r)] = v;
      found.shifts[b] = shift;
      ++count[b];
    }
  }
  for (std::size_t b = 0; b < blocks; ++b)
    if (found.shifts[b] >= 0 && count[b] != lift) {
      const int r = static_cast<int>(b / static_cast<std::size_t>(found.columns));
      const int c = static_cast<int>(b % static_cast<std::size_t>(found.columns));
      *why = block(r, c) + " has " + number(count[b]) + " of the " + number(lift) +
             " edges of a circulant";
      return false;
    }
  *qc = std::move(found);
  return true;
}

int findqclift(const graphs *graph) {
  if (graph->vnodenum <= 0 || graph->cnodenum <= 0) return 0;
  const int g = std::gcd(graph->vnodenum, graph->cnodenum);
  std::vector<int> divisors;
  for (int d = 1; static_cast<std::int64_t>(d) * d <= g; ++d)
    if (g % d == 0) {
      divisors.push_back(d);
      if (d != g / d) divisors.push_back(g / d);
    }
  std::sort(divisors.begin(), divisors.end(), [](int a, int b) { return a > b; });
  qcmatrix qc;
  std::string why;
  for (int d : divisors)
    if (qcofgraph(graph, d, &qc, &why)) return d;
  return 0;
}

void formatqc(textwriter *out, const qcmatrix &qc) {
  int width = 1;
  for (int s : qc.shifts) width = std::max(width, static_cast<int>(intwidth(s, 0)));
  writeint(out, qc.columns, 0);
  writechar(out, ' ');
  writeint(out, qc.rows, 0);
  writechar(out, ' ');
  writeint(out, qc.lift, 0);
  writechar(out, '\n');
  for (int r = 0; r < qc.rows; ++r) {
    for (int c = 0; c < qc.columns; ++c) {
      if (c > 0) writechar(out, ' ');
      writeint(out, qcshift(qc, r, c), width);
    }
    writechar(out, '\n');
  }
  if (!qc.transmitted.empty()) {
    for (std::size_t c = 0; c < qc.transmitted.size(); ++c) {
      if (c > 0) writechar(out, ' ');
      writeint(out, qc.transmitted[c], width);
    }
    writechar(out, '\n');
  }
}

writeoutcome writeqcfile(const qcmatrix &qc, const char *path, std::string *error) {
  return writewhole(
      path, [&](textwriter *out) { formatqc(out, qc); }, error);
}

}  // namespace ldpc
