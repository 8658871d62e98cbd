// 5G NR LDPC: the choice of base graph, lifting size and filler bits, and
// the rate matching that chooses the bits sent (3GPP TS 38.212).
//
// One code block is modelled (no segmentation): its K' bits (information
// and CRC bits, called info here) are coded by the base graph lifted with
// Zc into a codeword of 68 Zc (base graph 1) or 52 Zc (base graph 2) bits,
// numbered from 0 as the variable nodes of the lifted graph. The first 2 Zc
// bits are never sent; the filler bits K'..K-1 are known zeros (shortened);
// the circular buffer holds the N = 66 Zc (50 Zc) bits from 2 Zc on, of
// which the first Ncb take part; bit selection reads E bits from k0 on,
// passing over filler bits and wrapping around, so that bits are repeated
// when E exceeds what the buffer holds (the receiver adds their LLRs).
// Bit interleaving (clause 5.4.2.2) belongs to the modulation and is not
// done here.
//
// Error policy: the functions that can fail return false with a message
// naming the parameter and the values allowed; nothing prints or exits.
#ifndef LDPC_CODES_NRRATEMATCH_H
#define LDPC_CODES_NRRATEMATCH_H

#include <cstdint>
#include <string>
#include <vector>

#include "transmission.h"

namespace ldpc {

// The 51 lifting sizes of Table 5.3.2-1, increasing.
const std::vector<int> &nrliftsizes();

// The set index iLS of lifting size z (Table 5.3.2-1), -1 when z is none of
// the 51.
int nrsetindex(int z);

// The base graph (1 or 2) of clauses 6.2.2 and 7.2.2 for a payload of a
// bits at code rate r: 2 when a <= 292, or a <= 3824 and r <= 0.67, or
// r <= 0.25; else 1.
int nrbasegraph(std::int64_t a, double r);

// The largest code block of each base graph without segmentation: 8448 and
// 3840 bits (clause 5.2.2).
int nrmaxinfo(int basegraph);

struct nrcode {
  int basegraph = 1;   // 1 or 2
  int lift = 0;        // Zc
  int setindex = 0;    // iLS of Zc
  int info = 0;        // K': information and CRC bits of the block
  int systematic = 0;  // K = 22 Zc or 10 Zc
  int fillers = 0;     // K - K'
  int columns = 0;     // 68 or 52
  int rows = 0;        // 46 or 42
  int buffer = 0;      // N = 66 Zc or 50 Zc
};

// The code of one block of info bits with this base graph (clause 5.2.2
// with one code block: Kb = 22 for base graph 1; for base graph 2, 10, 9, 8
// or 6 as info exceeds 640, 560, 192 or not; Zc the least lifting size with
// Kb Zc >= info). False with *error when the base graph is not 1 or 2 or
// info is outside 1..nrmaxinfo.
bool nrcodeforinfo(int basegraph, int info, nrcode *code, std::string *error);

// The code of a base graph lifted with z (any of the 51) and no filler
// bits: info = K. False with *error when z is not a lifting size.
bool nrcodeforlift(int basegraph, int z, nrcode *code, std::string *error);

// Ncb: N with a full buffer (tbslbrm 0); with limited buffer rate matching
// min(N, floor(tbslbrm / (C R_LBRM))) with C = 1 and R_LBRM = 2/3, tbslbrm
// the TBS_LBRM of clause 5.4.2.1.
std::int64_t nrbufferlength(const nrcode &code, std::int64_t tbslbrm);

// k0 of Table 5.4.2.1-2 for redundancy version rv (0..3).
std::int64_t nrstart(const nrcode &code, int rv, std::int64_t ncb);

// The pattern of E bits sent with redundancy version rv from a buffer of
// ncb bits: nodes 0..2Zc-1 punctured, filler nodes shortened, the nodes
// that bit selection reads sent (in the order read, repeats included), the
// others punctured. False with *error when e < 1, rv is outside 0..3 or ncb
// is outside 1..N, or the buffer holds no bit but fillers.
bool nrratematch(const nrcode &code, std::int64_t e, int rv, std::int64_t ncb,
                 transmission *pattern, std::string *error);

// The pattern of the lifted base graph sent whole: the first 2 Zc nodes
// punctured, the fillers shortened, every other node sent once in order.
transmission nrmothercode(const nrcode &code);

}  // namespace ldpc

#endif
