// Transmission patterns: which code bits a transmitter sends, which it
// leaves out (punctured) and which it fixes to zero and leaves out
// (shortened), and in what order it sends them.
//
// A pattern gives every variable node of a graph, numbered from 0, a state,
// and lists the sent nodes in the order of transmission. A node may be sent
// more than once (rate matching repeats bits when it sends more bits than
// its buffer holds); a receiver then adds the channel LLRs of its copies,
// which is the exact combination of independent observations of one bit.
// Invariant: a node is listed in order exactly when its state is sent.
//
// Puncturing and shortening change only the decoder's input: a punctured
// bit enters with LLR 0 (nothing known) and is still decided; a shortened
// bit enters with the largest LLR the decoder represents (known to be 0) and
// is never in error. Errors are counted over the sent and punctured bits.
//
// Error policy: parsers return false with a message naming the item and what
// is wrong; nothing here prints or exits.
#ifndef LDPC_CODES_TRANSMISSION_H
#define LDPC_CODES_TRANSMISSION_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "qcfile.h"

namespace ldpc {

enum class bitstate : std::uint8_t { sent = 0, punctured = 1, shortened = 2 };

struct transmission {
  std::vector<bitstate> state;  // one per variable node
  std::vector<int> order;       // sent nodes in the order of transmission
  int appended = 0;             // known zero bits sent beside the codeword
                                // that no node stands for (a fill that
                                // extends a code); they count as sent bits
};

// The channel LLR of a shortened bit for the min-sum decoders, whose
// fixed-point input saturates at 1023 eighths: the largest value they take
// (sum-product takes it as a practically certain 0 too).
constexpr double shortenedllr = 1023.0 / 8.0;

// Every one of n nodes sent once, in node order.
transmission sendall(int n);

// The pattern of these states, sent nodes once each in node order.
transmission patternofstates(std::vector<bitstate> state);

// The pattern of a base matrix's flag line: the nodes of a block column
// flagged 0 punctured, every other node sent; without flags, sendall.
transmission qcpattern(const qcmatrix &qc);

// Reads a list of nodes such as "0-767,9000": items separated by commas,
// each a node or an inclusive range A-B with A <= B, every node in 0..n-1.
// Appends the nodes to *nodes in the order written. False with *error
// naming the item ("item 2, \"900-100\": ...") on an empty item, an item
// that is not a number or range, a reversed range or a node outside 0..n-1.
bool parsenodelist(std::string_view text, int n, std::vector<int> *nodes, std::string *error);

// Marks the listed nodes punctured and shortened (either list may be
// empty) in a pattern that sends every node once, and lists the nodes still
// sent in node order. False with *error when a node is in both lists.
bool markpattern(transmission *pattern, const std::vector<int> &punctured,
                 const std::vector<int> &shortened, std::string *error);

// What breaks the invariant of a pattern for a graph of n variable nodes,
// "" when nothing does.
std::string patternfault(const transmission &pattern, int n);

// Bits on the channel: the listed transmissions and the appended zeros.
inline int sentbits(const transmission &pattern) {
  return static_cast<int>(pattern.order.size()) + pattern.appended;
}

// Nodes of each state.
int countstate(const transmission &pattern, bitstate state);

// The decoder's n input LLRs from one frame of channel LLRs, frame[k] for
// the k-th transmitted bit of order (the appended bits carry nothing and
// are not in the frame): a sent node gets the sum over its copies, a
// punctured one 0, a shortened one shortened (the largest value the decoder
// takes, shortenedllr for the fixed-point decoders).
void channeltodecoder(const transmission &pattern, const double *frame, double *llr,
                      double shortened = shortenedllr);

// 1 for every node whose decision counts as an error when wrong (sent and
// punctured ones), 0 for shortened ones.
std::vector<std::uint8_t> countedbits(const transmission &pattern);

// 16 hex digits that tell patterns apart (FNV-1a over the states, the
// order and the appended bits), for records of a run such as its ledger.
std::string patternfingerprint(const transmission &pattern);

}  // namespace ldpc

#endif
