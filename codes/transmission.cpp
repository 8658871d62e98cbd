// Transmission patterns: construction, node lists, and the decoder's input.
#include "transmission.h"

#include <climits>

#include "fnv1a.h"

namespace ldpc {

namespace {

void listsent(transmission *pattern) {
  pattern->order.clear();
  for (std::size_t v = 0; v < pattern->state.size(); ++v)
    if (pattern->state[v] == bitstate::sent) pattern->order.push_back(static_cast<int>(v));
}

// A node number: decimal digits that fit an int.
bool parsenode(std::string_view text, int *value) {
  if (text.empty()) return false;
  long long x = 0;
  for (char ch : text) {
    if (ch < '0' || ch > '9') return false;
    x = x * 10 + (ch - '0');
    if (x > INT_MAX) return false;
  }
  *value = static_cast<int>(x);
  return true;
}

}  // namespace

transmission sendall(int n) {
  return patternofstates(std::vector<bitstate>(static_cast<std::size_t>(n), bitstate::sent));
}

transmission patternofstates(std::vector<bitstate> state) {
  transmission pattern;
  pattern.state = std::move(state);
  listsent(&pattern);
  return pattern;
}

transmission qcpattern(const qcmatrix &qc) {
  std::vector<bitstate> state(
      static_cast<std::size_t>(qc.columns) * static_cast<std::size_t>(qc.lift), bitstate::sent);
  for (std::size_t c = 0; c < qc.transmitted.size(); ++c)
    if (qc.transmitted[c] == 0)
      for (int i = 0; i < qc.lift; ++i)
        state[c * static_cast<std::size_t>(qc.lift) + static_cast<std::size_t>(i)] =
            bitstate::punctured;
  return patternofstates(std::move(state));
}

bool parsenodelist(std::string_view text, int n, std::vector<int> *nodes, std::string *error) {
  std::size_t start = 0;
  for (int item = 1;; ++item) {
    const std::size_t comma = text.find(',', start);
    const std::string_view piece = text.substr(
        start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    const std::string name = "item " + std::to_string(item) + ", \"" + std::string(piece) + "\"";
    if (piece.empty()) {
      *error = "item " + std::to_string(item) + " is empty; expected a node or a range A-B";
      return false;
    }
    const std::size_t dash = piece.find('-');
    int first, last;
    if (dash == std::string_view::npos) {
      if (!parsenode(piece, &first)) {
        *error = name + ": not a node number or a range A-B";
        return false;
      }
      last = first;
    } else if (!parsenode(piece.substr(0, dash), &first) ||
               !parsenode(piece.substr(dash + 1), &last)) {
      *error = name + ": not a node number or a range A-B";
      return false;
    }
    if (first > last) {
      *error = name + ": the range runs backwards; write the smaller node first";
      return false;
    }
    if (last >= n) {
      *error = name + ": node " + std::to_string(last) + " is outside 0.." + std::to_string(n - 1);
      return false;
    }
    for (int v = first; v <= last; ++v) nodes->push_back(v);
    if (comma == std::string_view::npos) return true;
    start = comma + 1;
  }
}

bool markpattern(transmission *pattern, const std::vector<int> &punctured,
                 const std::vector<int> &shortened, std::string *error) {
  std::vector<bitstate> state = pattern->state;
  for (int v : punctured) state[static_cast<std::size_t>(v)] = bitstate::punctured;
  for (int v : shortened) {
    if (state[static_cast<std::size_t>(v)] == bitstate::punctured) {
      *error = "node " + std::to_string(v) + " is both punctured and shortened";
      return false;
    }
    state[static_cast<std::size_t>(v)] = bitstate::shortened;
  }
  pattern->state = std::move(state);
  listsent(pattern);
  return true;
}

std::string patternfault(const transmission &pattern, int n) {
  if (static_cast<std::int64_t>(pattern.state.size()) != n)
    return "the pattern has " + std::to_string(pattern.state.size()) + " states for " +
           std::to_string(n) + " nodes";
  std::vector<char> listed(static_cast<std::size_t>(n), 0);
  for (std::size_t k = 0; k < pattern.order.size(); ++k) {
    const int v = pattern.order[k];
    if (v < 0 || v >= n)
      return "transmission " + std::to_string(k) + " names node " + std::to_string(v) +
             ", outside 0.." + std::to_string(n - 1);
    if (pattern.state[static_cast<std::size_t>(v)] != bitstate::sent)
      return "transmission " + std::to_string(k) + " sends node " + std::to_string(v) +
             ", which is not in the sent state";
    listed[static_cast<std::size_t>(v)] = 1;
  }
  for (int v = 0; v < n; ++v)
    if (pattern.state[static_cast<std::size_t>(v)] == bitstate::sent &&
        !listed[static_cast<std::size_t>(v)])
      return "node " + std::to_string(v) + " is in the sent state but never sent";
  if (pattern.appended < 0) return "a negative count of appended bits";
  return "";
}

int countstate(const transmission &pattern, bitstate state) {
  int count = 0;
  for (bitstate s : pattern.state) count += s == state;
  return count;
}

void channeltodecoder(const transmission &pattern, const double *frame, double *llr,
                      double shortened) {
  for (std::size_t v = 0; v < pattern.state.size(); ++v)
    llr[v] = pattern.state[v] == bitstate::shortened ? shortened : 0.0;
  for (std::size_t k = 0; k < pattern.order.size(); ++k) llr[pattern.order[k]] += frame[k];
}

std::vector<std::uint8_t> countedbits(const transmission &pattern) {
  std::vector<std::uint8_t> counted(pattern.state.size());
  for (std::size_t v = 0; v < pattern.state.size(); ++v)
    counted[v] = pattern.state[v] != bitstate::shortened;
  return counted;
}

std::string patternfingerprint(const transmission &pattern) {
  fnv1a64 h;
  for (bitstate b : pattern.state) h.addword(static_cast<std::uint64_t>(b));
  h.addword(pattern.state.size());
  for (int node : pattern.order) h.addword(static_cast<std::uint64_t>(node));
  h.addword(pattern.order.size());
  h.addword(static_cast<std::uint64_t>(pattern.appended));
  return hex16(h.value);
}

}  // namespace ldpc
