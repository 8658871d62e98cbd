// Properties that every input must keep when it goes through a reading core:
// shared by the libFuzzer harnesses and by the test suite, which replays the
// seed corpora and the inputs of past findings through them. No test
// framework here; each check returns "" when the property holds, else what
// went wrong.
//
// For every core:
//   - reading from memory and reading from a descriptor in tiny chunks give
//     the same outcome, the same message and the same graph, so that nothing
//     depends on where the chunk boundaries fall;
//   - an accepted input gives a graph that keeps the invariants of the graph
//     records (mirror entries both ways, degree sums; degree tables within
//     their capacity and, where the producer builds them, adding up to the
//     node counts and listing exactly the degrees that occur);
//   - a refused input leaves nothing allocated (LeakSanitizer watches that).
// Per core, in addition: the alist reader agrees with a plain reference
// reading of its dialect rule; a code description file, written and read
// again, gives the same bytes; the proto-file reader agrees with a plain
// reference reading of the format.
#ifndef LDPC_TESTS_FUZZ_PROPERTIES_H
#define LDPC_TESTS_FUZZ_PROPERTIES_H

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "alist.h"
#include "descfile.h"
#include "graphstruct.h"
#include "protograph.h"
#include "simulation.h"
#include "textio.h"
#include "../oracle.h"

namespace fuzzprops {

// --- scanners -----------------------------------------------------------------

// A descriptor holding data, for reading through the chunked path. Returns -1
// when it cannot be made.
inline int memoryfile(const std::uint8_t *data, std::size_t size) {
  int fd = memfd_create("fuzzinput", MFD_CLOEXEC);
  if (fd < 0) return -1;
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) {
      close(fd);
      return -1;
    }
    done += static_cast<std::size_t>(n);
  }
  lseek(fd, 0, SEEK_SET);
  return fd;
}

// Chunk length for the chunked reading: small, and varying with the input so
// that boundaries fall everywhere across a run; no shorter than the 20
// characters that a message quotes of a token that is not a number.
inline std::size_t chunkfor(const std::uint8_t *data, std::size_t size) {
  unsigned h = static_cast<unsigned>(size);
  for (std::size_t i = 0; i < size && i < 64; ++i) h = h * 31 + data[i];
  return 20 + h % 61;
}

// Runs read(scanner) once from memory and once from a descriptor in small
// chunks.
template <typename reader>
bool bothways(const std::uint8_t *data, std::size_t size, reader read, std::string *fault) {
  ldpc::textscanner in;
  ldpc::scanfrommemory(&in, reinterpret_cast<const char *>(data), size);
  read(&in, 0);
  int fd = memoryfile(data, size);
  if (fd < 0) {
    *fault = "cannot make a memory file";
    return false;
  }
  // scanfromfd with a small buffer in place of its megabyte: the chunk
  // length, and a fuzzing run that is not spent mapping megabytes per input
  ldpc::scanfromfd(&in, fd, chunkfor(data, size));
  read(&in, 1);
  ldpc::scanclose(&in);
  close(fd);
  return true;
}

// What the two readings of one input (0 from memory, 1 in chunks) gave:
// accepted or not, the message, what was read written out; and the first
// broken property that either reading found.
struct readings {
  bool ok[2] = {false, false};
  std::string error[2], text[2];
  std::string fault;
  void note(const std::string &f) {
    if (!f.empty() && fault.empty()) fault = f;
  }
};

// Runs read(scanner, way) both ways, the reader filling in r; returns the
// first fault, or how the two readings differ, or "" when they agree.
template <typename reader>
std::string readbothways(const std::uint8_t *data, std::size_t size, readings &r, reader read) {
  if (!bothways(data, size, read, &r.fault)) return r.fault;
  if (!r.fault.empty()) return r.fault;
  if (r.ok[0] != r.ok[1] || r.error[0] != r.error[1] || r.text[0] != r.text[1])
    return "memory and chunked readings differ: \"" + r.error[0] + "\" / \"" + r.error[1] + "\"";
  return "";
}

// --- graphs -------------------------------------------------------------------

inline std::string format(const ldpc::graphs *g, const ldpc::encoders *encoder) {
  std::string text;
  ldpc::textwriter out;
  // a small buffer, as for the chunked reading
  ldpc::writetomemory(&out, &text, 4096);
  ldpc::formatgraph(&out, g, encoder);
  ldpc::writeclose(&out);
  return text;
}

inline std::string format(const ldpc::graphs *g) {
  ldpc::encoders none{};
  none.gap = -1;
  return format(g, &none);
}

inline bool samedouble(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

// --- reference tokeniser --------------------------------------------------------

// The integer that "%d" reads at data[*at] (blanks passed over already):
// an optional sign and decimal digits. False when there is none or it does
// not fit an int.
inline bool referenceint(const std::uint8_t *data, std::size_t size, std::size_t *at, int *value) {
  std::size_t i = *at;
  bool negative = false;
  if (i < size && (data[i] == '+' || data[i] == '-')) negative = data[i++] == '-';
  if (i == size || data[i] < '0' || data[i] > '9') return false;
  long long magnitude = 0;
  for (; i < size && data[i] >= '0' && data[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (data[i] - '0');
    if (magnitude > 2147483648LL) return false;
  }
  if (!negative && magnitude > 2147483647LL) return false;
  *value = static_cast<int>(negative ? -magnitude : magnitude);
  *at = i;
  return true;
}

// The integers of a text as "%d" reads them one after another, up to the
// first item that is not a number or does not fit an int. With hashcomments,
// a line whose first non-blank character is '#' is passed over.
inline std::vector<int> referenceintegers(const std::uint8_t *data, std::size_t size,
                                          bool hashcomments) {
  std::vector<int> values;
  bool linestart = true;
  std::size_t i = 0;
  auto blank = [](std::uint8_t c) {
    return c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
  };
  for (;;) {
    while (i < size && (blank(data[i]) || (hashcomments && linestart && data[i] == '#'))) {
      if (data[i] == '#') {
        while (i < size && data[i] != '\n') ++i;
        continue;
      }
      if (data[i] == '\n') linestart = true;
      ++i;
    }
    int value;
    if (!referenceint(data, size, &i, &value)) return values;
    values.push_back(value);
    linestart = false;
  }
}

// --- alist reader ---------------------------------------------------------------

// The alist dialect rule, read plainly from the integers: the columns (rows
// from 0) of the reading it takes, or false when it refuses the file.
struct alistreference {
  int n = 0, m = 0, vmax = 0, cmax = 0;
  std::vector<std::vector<int>> columns;
};

inline bool referencealist(const std::uint8_t *data, std::size_t size, alistreference *ref) {
  // a byte order mark at the start is passed over
  if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
    data += 3;
    size -= 3;
  }
  std::vector<int> x = referenceintegers(data, size, true);
  auto have = [&](long long count) { return static_cast<long long>(x.size()) >= count; };
  if (!have(4)) return false;
  for (int k = 0; k < 4; ++k)
    if (x[k] < 0) return false;
  ref->n = x[0];
  ref->m = x[1];
  ref->vmax = x[2];
  ref->cmax = x[3];
  const long long n = ref->n, m = ref->m, vmax = ref->vmax;
  if (!have(4 + n + m)) return false;
  for (long long k = 4; k < 4 + n + m; ++k)
    if (x[k] < 0) return false;
  const long long base = 4 + n + m;
  auto weight = [&](long long v) { return x[4 + v]; };

  // padded: vmax entries per column, fillers behind the weight
  bool padded = have(base + n * vmax);
  bool zerofillers = true;
  for (long long v = 0; v < n && padded; ++v) {
    if (weight(v) > vmax) padded = false;
    for (long long s = 0; s < vmax && padded; ++s) {
      int r = x[base + v * vmax + s];
      if (s < weight(v) && (r < 1 || r > m)) padded = false;
      if (s >= weight(v) && r != 0) zerofillers = false;
    }
  }

  // unpadded: exactly weight entries per column; row counts must match
  long long need = 0;
  for (long long v = 0; v < n; ++v) need += weight(v);
  bool unpadded = have(base + need);
  bool matches = unpadded;
  if (unpadded) {
    std::vector<long long> rowcount(static_cast<std::size_t>(m), 0);
    for (long long p = 0; p < need && unpadded; ++p) {
      int r = x[base + p];
      if (r < 1 || r > m)
        unpadded = false;
      else
        ++rowcount[r - 1];
    }
    matches = unpadded;
    for (long long r = 0; r < m && matches; ++r) matches = rowcount[r] == x[4 + n + r];
  }

  bool usepadded;
  if (padded && zerofillers)
    usepadded = true;
  else if (matches)
    usepadded = false;
  else if (padded)
    usepadded = true;
  else
    return false;

  ref->columns.assign(static_cast<std::size_t>(n), {});
  long long p = base;
  std::map<int, int> cdegree;
  for (long long v = 0; v < n; ++v) {
    for (long long s = 0; s < weight(v); ++s) {
      int row = x[(usepadded ? base + v * vmax + s : p++)] - 1;
      ref->columns[v].push_back(row);
    }
  }
  std::vector<int> rowdegree(static_cast<std::size_t>(m), 0);
  std::set<int> vdegrees, cdegrees;
  for (const auto &column : ref->columns) {
    vdegrees.insert(static_cast<int>(column.size()));
    for (int r : column) ++rowdegree[r];
  }
  for (int d : rowdegree) cdegrees.insert(d);
  return vdegrees.size() <= 100 && cdegrees.size() <= 100;
}

// Every property of the alist reader on one input.
inline std::string checkalist(const std::uint8_t *data, std::size_t size) {
  readings r;
  const std::string fault = readbothways(data, size, r, [&](ldpc::textscanner *in, int way) {
    ldpc::graphs g{};
    r.ok[way] = ldpc::readalist(in, &g, &r.error[way]);
    if (!r.ok[way]) {
      if (r.error[way].empty()) r.note("refused without a message");
      return;
    }
    r.text[way] = format(&g);
    if (way == 0) {
      std::string f = oracle::checkgraph(&g, oracle::tablesexact);
      // check sockets in order of appearance: by variable node, then socket
      for (int c = 0; c < g.cnodenum && f.empty(); ++c)
        for (int t = 1; t < g.cnodelist[c].degree && f.empty(); ++t) {
          const ldpc::edge &a = g.cnodelist[c].edgelist[t - 1], &b = g.cnodelist[c].edgelist[t];
          if (a.dest > b.dest || (a.dest == b.dest && a.socket >= b.socket))
            f = "cnode " + std::to_string(c) + " sockets out of order of appearance";
        }
      for (int v = 0; v < g.vnodenum && f.empty(); ++v)
        for (int s = 0; s < g.vnodelist[v].degree && f.empty(); ++s)
          if (g.vnodelist[v].edgelist[s].message != 0.0) f = "message not zero";
      alistreference ref;
      if (f.empty() && !referencealist(data, size, &ref))
        f = "accepted; the reference reading refuses";
      if (f.empty() && (g.vnodenum != ref.n || g.cnodenum != ref.m || g.vmaxdegree != ref.vmax ||
                        g.cmaxdegree != ref.cmax))
        f = "header differs from the reference reading";
      if (f.empty() && !samedouble(g.rate, 1.0 - static_cast<double>(ref.m) / ref.n))
        f = "rate is not 1 - M/N";
      for (int v = 0; v < g.vnodenum && f.empty(); ++v) {
        const ldpc::vnode &node = g.vnodelist[v];
        bool same = node.degree == static_cast<int>(ref.columns[v].size());
        for (int s = 0; s < node.degree && same; ++s)
          same = node.edgelist[s].dest == ref.columns[v][s];
        if (!same) f = "column " + std::to_string(v + 1) + " differs from the reference reading";
      }
      r.note(f);
    }
    ldpc::freegraph(&g);
  });
  if (!fault.empty()) return fault;
  if (!r.ok[0]) {
    alistreference ref;
    if (referencealist(data, size, &ref))
      return "refused (" + r.error[0] + "); the reference reading accepts";
  }
  return "";
}

// --- code description reader ----------------------------------------------------

// Every property of the code description reader on one input.
inline std::string checkdescfile(const std::uint8_t *data, std::size_t size) {
  readings r;
  int sentinel = 0;
  return readbothways(data, size, r, [&](ldpc::textscanner *in, int way) {
    ldpc::graphs g{};
    ldpc::encoders encoder{};
    encoder.gap = -7;
    encoder.iphi = &sentinel;
    r.ok[way] = ldpc::parsegraph(in, &g, &encoder, &r.error[way]);
    if (!r.ok[way]) {
      if (r.error[way].empty()) r.note("refused without a message");
      if (encoder.iphi != &sentinel) r.note("refused, but iphi was replaced");
      return;
    }
    r.text[way] = format(&g, &encoder);
    if (way == 0) {
      std::string f = oracle::checkgraph(&g, oracle::tablesfit);
      if (f.empty() && !samedouble(g.rate, 1.0 - static_cast<double>(g.cnodenum) / g.vnodenum))
        f = "rate is not 1 - cnodenum / vnodenum";
      if (f.empty() && encoder.gap < 0 && encoder.iphi != &sentinel)
        f = "negative gap, but iphi was replaced";
      if (f.empty() && encoder.gap >= 0 && encoder.iphi == &sentinel) f = "gap without iphi";
      // written and read again: the same bytes
      if (f.empty()) {
        ldpc::textscanner again;
        ldpc::scanfrommemory(&again, r.text[0].data(), r.text[0].size());
        ldpc::graphs g2{};
        ldpc::encoders encoder2{};
        encoder2.iphi = &sentinel;
        std::string error2;
        if (!ldpc::parsegraph(&again, &g2, &encoder2, &error2)) {
          f = "its own writing is refused: " + error2;
        } else {
          if (format(&g2, &encoder2) != r.text[0])
            f = "written, read and written again: the bytes differ";
          ldpc::freegraph(&g2);
          if (encoder2.gap >= 0) std::free(encoder2.iphi);
        }
      }
      r.note(f);
    }
    ldpc::freegraph(&g);
    if (encoder.gap >= 0 && encoder.iphi != &sentinel) std::free(encoder.iphi);
  });
}

// --- proto-file reader ------------------------------------------------------------

// A proto-file read plainly: the pairs (check node, check socket) of each
// variable node, or false when the file breaks the format or its rules.
struct protoreference {
  int vnodenum = 0, cnodenum = 0;
  std::vector<std::vector<std::pair<int, int>>> pairs;
};

inline bool referenceproto(const std::uint8_t *data, std::size_t size, protoreference *ref) {
  std::size_t i = 0;
  // everything up to and including "*/" (only the character directly before
  // the slash counts) and one line feed behind it
  auto skipcomment = [&] {
    int previous = ' ';
    while (i < size) {
      int c = data[i++];
      if (c == '/' && previous == '*') {
        if (i < size && data[i] == '\n') ++i;
        return;
      }
      previous = c;
    }
  };
  auto readint = [&](int *value) {
    while (i < size && (data[i] == ' ' || data[i] == '\n' || data[i] == '\t' || data[i] == '\r' ||
                        data[i] == '\v' || data[i] == '\f'))
      ++i;
    return referenceint(data, size, &i, value);
  };

  skipcomment();
  skipcomment();
  if (!readint(&ref->vnodenum) || !readint(&ref->cnodenum)) return false;
  if (ref->vnodenum < 0 || ref->cnodenum < 0) return false;
  skipcomment();
  std::map<int, std::set<int>> sockets;
  std::map<int, int> named;
  for (int v = 0; v < ref->vnodenum; ++v) {
    int degree;
    if (!readint(&degree) || degree < 0) return false;
    ref->pairs.emplace_back();
    for (int s = 0; s < degree; ++s) {
      int c, t;
      if (!readint(&c) || c < 0 || c >= ref->cnodenum || !readint(&t)) return false;
      ref->pairs.back().emplace_back(c, t);
      sockets[c].insert(t);
      ++named[c];
    }
  }
  // the sockets named for each check node are exactly 0..k-1, each once
  for (const auto &[c, k] : named)
    if (static_cast<int>(sockets[c].size()) != k || *sockets[c].begin() != 0 ||
        *sockets[c].rbegin() != k - 1)
      return false;
  return true;
}

// The largest check-node count that the proto-file harness exercises: the
// check array takes address space by the count in the file (resident memory
// only for the check nodes that pairs name), and the written-out protograph
// a line per check node; larger counts would only measure those.
constexpr int protocnodelimit = 1 << 12;

// Every property of the proto-file reader on one input.
inline std::string checkprotofile(const std::uint8_t *data, std::size_t size) {
  protoreference ref;
  bool refaccepts = referenceproto(data, size, &ref);
  if (ref.cnodenum > protocnodelimit) return "";
  readings r;
  const std::string fault = readbothways(data, size, r, [&](ldpc::textscanner *in, int way) {
    ldpc::graphs *p = nullptr;
    r.ok[way] = ldpc::parseprotograph(in, &p, &r.error[way]);
    if (!r.ok[way]) {
      if (r.error[way].empty()) r.note("refused without a message");
      return;
    }
    if (p == nullptr) {
      r.note("accepted without a protograph");
      return;
    }
    r.text[way] = format(p);
    if (way == 0) {
      std::string f = oracle::checkgraph(p, oracle::notables);
      if (f.empty() && !refaccepts) f = "accepted; the reference reading refuses";
      if (f.empty() && (p->vnodenum != ref.vnodenum || p->cnodenum != ref.cnodenum))
        f = "node counts differ from the reference reading";
      for (int v = 0; v < p->vnodenum && f.empty(); ++v) {
        const ldpc::vnode &node = p->vnodelist[v];
        bool same = node.degree == static_cast<int>(ref.pairs[v].size());
        for (int s = 0; s < node.degree && same; ++s)
          same = node.edgelist[s].dest == ref.pairs[v][s].first &&
                 node.edgelist[s].socket == ref.pairs[v][s].second;
        if (!same) f = "variable node " + std::to_string(v) + " differs from the reference reading";
      }
      r.note(f);
    }
    ldpc::freegraph(p);
    std::free(p);
  });
  if (!fault.empty()) return fault;
  if (!r.ok[0] && refaccepts) return "refused (" + r.error[0] + "); the reference reading accepts";
  return "";
}

// --- text writer ------------------------------------------------------------------

// A sequence of writes decoded from the input, made through a writer whose
// buffer size the input chooses too (64 bytes up), must give exactly what
// printf-style formatting gives. The writes: text, single characters,
// integers of any 64-bit value and field width (wider than the buffer
// included), node degrees of any int value ("%3d ", 10^7 and more at every
// offset in the buffer) and whole nodes of up to 200 edges with int values
// of any size. Byte 0-1: buffer size; then per write one byte of kind and
// its operands.
inline std::string checktextwriter(const std::uint8_t *data, std::size_t size) {
  std::size_t i = 0;
  auto byte = [&]() -> unsigned { return i < size ? data[i++] : 0u; };
  auto word = [&](int bytes) {
    std::uint64_t w = 0;
    for (int k = 0; k < bytes; ++k) w |= static_cast<std::uint64_t>(byte()) << (8 * k);
    return w;
  };
  std::size_t capacity = 64 + word(2) % 1024;
  std::string written, expected;
  ldpc::textwriter out;
  ldpc::writetomemory(&out, &written, capacity);
  char field[160];
  std::vector<ldpc::edge> edges;
  while (i < size) {
    unsigned kind = byte() % 6;
    if (kind == 0) {  // text
      std::size_t length = byte() % 80;
      std::string text;
      for (std::size_t k = 0; k < length && i < size; ++k) text += static_cast<char>(byte());
      ldpc::writetext(&out, text.data(), text.size());
      expected += text;
    } else if (kind == 1) {
      char c = static_cast<char>(byte());
      ldpc::writechar(&out, c);
      expected += c;
    } else if (kind == 2) {  // an integer in a field of width 0..99
      std::int64_t value = static_cast<std::int64_t>(word(8));
      int width = static_cast<int>(byte() % 100);
      ldpc::writeint(&out, value, width);
      std::snprintf(field, sizeof field, "%*lld", width, static_cast<long long>(value));
      expected += field;
    } else if (kind == 3 || kind == 4) {  // a degree: any int, or 10^7 and more
      int degree = static_cast<int>(static_cast<std::uint32_t>(word(4)));
      if (kind == 4)
        degree = 10000000 + static_cast<int>(static_cast<unsigned>(degree) % 2137483647u);
      ldpc::formatdegree(&out, degree);
      std::snprintf(field, sizeof field, "%3d ", degree);
      expected += field;
    } else {  // a whole node
      int degree = static_cast<int>(byte() % 201);
      std::uint64_t state = word(8);
      edges.assign(static_cast<std::size_t>(degree), ldpc::edge{0, 0, 0.0});
      std::snprintf(field, sizeof field, "%3d ", degree);
      expected += field;
      for (int s = 0; s < degree; ++s) {
        // values of every width, negative ones included
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        int shift = static_cast<int>(state >> 59);
        edges[s].dest = static_cast<int>(static_cast<std::uint32_t>(state >> 32) >> shift);
        edges[s].socket = static_cast<int>(static_cast<std::uint32_t>(state) >> (31 - shift % 32));
        if (s > 0 && s % 3 == 0) expected += "\n    ";
        std::snprintf(field, sizeof field, "%7d %7d  ", edges[s].dest, edges[s].socket);
        expected += field;
      }
      expected += '\n';
      ldpc::formatnode(&out, degree, edges.data());
    }
  }
  ldpc::writeclose(&out);
  if (out.writeerror != 0) return "the writer failed";
  if (written != expected) {
    std::size_t at = 0;
    while (at < written.size() && at < expected.size() && written[at] == expected[at]) ++at;
    return "buffer of " + std::to_string(capacity) + " bytes: the output differs from byte " +
           std::to_string(at) + " on (" + std::to_string(written.size()) + " written, " +
           std::to_string(expected.size()) + " expected)";
  }
  return "";
}

}  // namespace fuzzprops

#endif
