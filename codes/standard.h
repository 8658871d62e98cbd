// The LDPC codes of communication standards, built from the standards' own
// tables (see docs/standards.md for the source and the check of each):
//
//   nr-bg1, nr-bg2  3GPP TS 38.212 base graphs 1 and 2, any of the 51 lifting
//                   sizes (--lift) or the lifting size of an information
//                   length (--info, with filler bits)
//   nr              5G NR for K information bits sent in E bits: base graph,
//                   lifting size, fillers and rate matching as TS 38.212 says
//   wifi            IEEE 802.11n/ac, n = 648, 1296, 1944, rates 1/2 .. 5/6
//   wimax           IEEE 802.16e, n = 576..2304 step 96, six rates
//   dvbs2           ETSI EN 302 307-1 normal frames (64800), 11 rates
//   dvbs2-short     the same, short frames (16200), 10 rates
//   ar4ja           CCSDS 131.0-B AR4JA, rates 1/2, 2/3, 4/5, k = 1024,
//                   4096, 16384, the last M nodes punctured
//   ccsds-c2        the near-earth C2 code (8176, 7156) and its shortened
//                   (8160, 7136) form
//   10gbase-t       IEEE 802.3an (2048, 1723), from its Reed-Solomon
//                   construction
//
// A code comes as a graph record, its transmission pattern, and its base
// matrix where the graph is a lifting of circulants. Node numbering is the
// standard's bit order (systematic bits first where the standard puts them
// first). Error policy: buildstandard returns false with a message that
// names the family and the parameter at fault and lists the values the
// standard defines; nothing prints or exits, except through allocate.
#ifndef LDPC_CODES_STANDARD_H
#define LDPC_CODES_STANDARD_H

#include <cstdint>
#include <string>
#include <vector>

#include "graphstruct.h"
#include "qcfile.h"
#include "transmission.h"

namespace ldpc {

// What to build; a field left 0 or empty is not given.
struct standardrequest {
  std::string family;
  std::string rate;          // as the standard writes it: "1/2", "2/3A", "8/9"
  int length = 0;            // codeword length as the standard counts it
  int lift = 0;              // lifting size Z (circulant size)
  int info = 0;              // information bits (5G NR, AR4JA)
  int rv = 0;                // nr: redundancy version 0..3
  std::int64_t tbslbrm = 0;  // nr: TBS_LBRM for limited buffer rate
                             // matching; 0 for a full buffer
};

struct standardcode {
  std::string family;
  std::string rate;         // as the standard writes it, "" where none
  std::string source;       // standard and clause
  int length = 0;           // bits per codeword as the standard counts them
  int info = 0;             // information bits per codeword
  int lift = 0;             // circulant size, 0 when the code is no lifting
  graphs *graph = nullptr;  // owned; release with freestandard
  transmission pattern;
  qcmatrix base;  // base.lift > 0 when the graph is its expansion
};

// Builds the code that request names. False with *error on a family, rate,
// length, lifting size or information length the standard does not define
// (the message lists those it does) or on an option the family does not
// take.
bool buildstandard(const standardrequest &request, standardcode *code, std::string *error);

// Releases the graph of a code; the rest goes with the record.
void freestandard(standardcode *code);

// A family as a listing describes it.
struct standardfamily {
  std::string name;
  std::string title;
  std::string source;  // standard, clause, tables
  std::vector<std::string> rates;
  std::vector<int> lengths;  // codeword lengths as the standard counts them
  std::vector<int> lifts;    // lifting sizes, where the family has them
  std::vector<int> infos;    // information lengths, where it is
                             // parametrised by them
  std::string options;       // which options select a code
};

// Every family, in the order above.
const std::vector<standardfamily> &standardfamilies();

}  // namespace ldpc

#endif
