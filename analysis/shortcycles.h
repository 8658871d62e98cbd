// Graphs without short cycles: cycle removal by edge exchanges, progressive
// edge growth (PEG), cyclic (circulant) liftings of protographs, and the
// local girth of every variable node: the umbrella of cycleremoval.h, peg.h
// and circulant.h, one header a source file.
//
// The girth of a Tanner graph is even: 2 when an edge is doubled, 4 when two
// variable nodes share two check nodes, and so on. A target girth G asks for
// no cycle shorter than G: G = 4 forbids parallel edges, 6 also 4-cycles, 8
// also 6-cycles. Every even G >= 4 is accepted; the bounded searches below
// cost about (dv - 1)(dc - 1) to the power G/2 - 1 per edge examined.
//
// Random choices come from the graph stream (ldpc::graphsimrand), one draw
// (erand48 step) per choice, in an order fixed by the graph alone, so that a
// seed fixes the result. Nodes and sockets count from 0.
//
// Error policy: these functions never print and never end the process; a
// target that is not reached comes back in the report, a refused input as a
// message. Only conditionconstructions installs a hook that ends the
// process, as the construction driver's other failures do.
#ifndef LDPC_SHORTCYCLES_H
#define LDPC_SHORTCYCLES_H

#include "circulant.h"
#include "cycleremoval.h"
#include "peg.h"
#include "progressfunction.h"

#endif
