// Exact enumeration of the small absorbing sets of a Tanner graph, and a
// search that ranks sets by how easily the decoder is trapped in them.
//
// The enumeration lists every connected set of at most maxsize variable
// nodes that is elementary and absorbing (trappingsets.h gives the
// definitions); connected means that the induced subgraph is connected, as
// every dominant trapping set is (a union of two absorbing sets is
// absorbing and would be counted again). Connected sets are generated once
// each by the ESU scheme of Wernicke ("Efficient detection of network
// motifs", IEEE/ACM TCBB 3, 2006) over the graph whose vertices are the
// variable nodes, two being adjacent when they share a check; a set with a
// check of induced degree 3 or more is cut with everything grown from it,
// since no superset of it is elementary. The work grows as n (dv (dc - 1))^A
// / A!: small codes or small A.
//
// The impulse search decodes, for each candidate set D, the noiseless frame
// with every bit of D received at a common value y (every other bit at +1)
// and bisects for the largest y at which decoding fails. The noise that
// takes the word there has Euclidean length d = sqrt(|D|) (1 - y), and
// Q(d / sigma) is the probability of noise at least that long in that
// direction: a ranking of the sets by their pull, not a rate.
//
// Error policy: std::invalid_argument for a maxsize below 1, a candidate
// naming a node outside the graph, and the decoder's own refusals; nothing
// prints or exits.
#ifndef LDPC_ABSORBINGSETS_H
#define LDPC_ABSORBINGSETS_H

#include <cstdint>
#include <functional>
#include <vector>

#include "decoder.h"
#include "graphstruct.h"
#include "trappingsets.h"

namespace ldpc {

struct enumerationsettings {
  int maxsize = 6;
  std::int64_t keepsets = 100000;  // sets listed at most (counts go on)
  // Called every 65536 sets examined with the count so far; false stops
  // the enumeration (complete false).
  std::function<bool(std::int64_t examined)> progress;
};

struct absorbingcount {
  int a = 0, b = 0;
  std::int64_t count = 0;  // connected elementary absorbing (a, b) sets
  std::int64_t fully = 0;  // of which fully absorbing
};

struct enumerationresult {
  std::vector<std::vector<int>> sets;  // by (a, b), then the nodes in order
  std::vector<absorbingcount> counts;  // by (a, b)
  std::int64_t examined = 0;           // connected elementary sets examined
  bool complete = true;
};

enumerationresult enumerateabsorbing(const tannerlists &graph, const enumerationsettings &settings);

struct impulsesettings {
  decoderoptions decoder;
  double sigma = 0.5;    // the channel point: LLRs 2 y / sigma^2
  double lowest = -4.0;  // y at which the search starts
  int bisections = 24;
  int threads = 1;
};

struct impulseresult {
  std::vector<int> variables;
  trappingclass kind;
  bool traps = false;        // decoding fails at y = lowest
  double threshold = 0.0;    // largest y found at which decoding fails
  double distance = 0.0;     // sqrt(a) (1 - threshold)
  double log10pull = 0.0;    // log10 Q(distance / sigma)
  std::vector<int> failure;  // bits in error there
  trappingclass failurekind;
};

// Candidates by increasing distance (those that never trap last).
std::vector<impulseresult> impulsesearch(const graphs *graph,
                                         const std::vector<std::vector<int>> &candidates,
                                         const impulsesettings &settings);

}  // namespace ldpc

#endif
