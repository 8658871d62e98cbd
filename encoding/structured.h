// Encoders for parity parts with a structure of their own, found from the
// parity-check matrix, never from the name of a code family. Both take the
// last m variables (in the graph's numbering) as parity and the first
// n - m as information, in order; both parity parts are invertible, so the
// rank is m.
//
// Staircase (the accumulator of IRA and repeat-accumulate codes): parity
// variable n - m + j is in checks j and j + 1, the last one in check m - 1
// alone, so that p_j = p_(j-1) + (information bits of check j), one running
// sum over the checks; or the mirror image (variable n - m + j in checks
// j - 1 and j, the first in check 0 alone), summed from the last check.
//
// Dual diagonal (quasi-cyclic codes with a dual-diagonal parity part): the
// matrix is made of Z x Z blocks, each zero or a cyclic shift of the
// identity (check i*Z + r meets variable j*Z + (r + s) mod Z in block
// (i, j) of shift s), tried for every Z dividing both n and m, largest
// first. Of the mb = m / Z block rows, the first c form the core: parity
// block column 0 has, within the core, an odd number of blocks whose shifts
// pair up but for one, s0; parity block column j (1 <= j < c) has, within
// the core, exactly the blocks (j - 1, a) and (j, a) of one shift a. Every
// further parity block column c + e has no block above block row c + e and
// one in it (its diagonal); any column may have blocks below the core.
// The sum of the core rows then leaves only the first parity block,
// shifted by s0, so that block is the sum of their information bits; each
// core row but the last then gives the next parity block, and each row
// below the core its own diagonal block (forward substitution). The
// parity parts of 5G NR base graphs (core of 4 block rows and a diagonal
// extension) and of the Wi-Fi and WiMAX codes (core of every block row) are
// of this kind. Cost per word: the edges of the core's information part
// plus every edge once.
//
// Error policy: never prints or exits; find* return false (and leave *out
// alone) when the structure is absent; make* also when the graph cannot be
// read, with *error saying which.
#ifndef LDPC_STRUCTURED_H
#define LDPC_STRUCTURED_H

#include <string>

#include "encoder.h"
#include "graphstruct.h"
#include "paritycheck.h"

namespace ldpc {

bool findstaircase(const sparsechecks &checks, encoder *out);
bool finddualdiagonal(const sparsechecks &checks, encoder *out);

bool makestaircaseencoder(const graphs *graph, encoder *out, std::string *error);
bool makedualdiagonalencoder(const graphs *graph, encoder *out, std::string *error);

}  // namespace ldpc

#endif
