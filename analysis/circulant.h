// Cyclic (circulant) liftings of protographs and the shift matrices that
// describe them (circulant.cpp). Random choices as shortcycles.h describes
// them.
#ifndef LDPC_CIRCULANT_H
#define LDPC_CIRCULANT_H

#include <string>
#include <vector>

#include "graphstruct.h"
#include "progressfunction.h"
#include "simulation.h"

namespace ldpc {

// Lifts protograph by lift with a cyclic shift per protograph edge: copy r
// of check node b meets copy (r + shift) mod lift of variable node i, that is
// the lift x lift block of rows b, columns i is the identity shifted right by
// shift columns. Node i * lift + c is copy c of protograph node i; sockets are
// those of the protograph. shifts holds one entry per protograph edge, in
// order of variable node and socket. When shifts is empty they are drawn: for
// each edge in that order, draw floor(u * lift) until the lifted edges close
// no cycle shorter than target (parallel protograph edges therefore get
// distinct shifts for any target >= 4), at most drawlimit draws per edge;
// *shifts receives them. Given shifts must lie in 0..lift-1 and are taken as
// they are. Returns false with *error naming the edge when no shift is found
// or the input is refused; graph then holds nothing to free. progress, when
// given, is called before each protograph edge is placed; what it throws
// passes through with graph holding nothing to free.
bool constructcirculant(graphs *graph, const graphs *protograph, int lift, int target,
                        std::vector<int> *shifts, std::string *error, int drawlimit = 0,
                        progressfunction progress = nullptr);

// A shift matrix: one row per protograph check node, one cell per variable
// node; a cell is -1 (no edge) or the shifts of the edges between the two
// nodes, joined by commas ("3" one edge, "3,17" two parallel edges).
struct shiftmatrix {
  int rows = 0;
  int columns = 0;
  std::vector<std::vector<int>> cells;  // row-major, rows * columns; empty = -1
};

// Reads a shift matrix from text: whitespace-separated cells, one line per
// row, blank lines and lines starting with '#' ignored. Returns false with
// *error naming the line and cell that is wrong.
bool parseshiftmatrix(const std::string &text, shiftmatrix *matrix, std::string *error);

// The shifts of matrix in the edge order of protograph (variable node, then
// socket; the shifts of parallel edges in cell order). Returns false when the
// matrix does not have the protograph's edges.
bool shiftsforprotograph(const shiftmatrix &matrix, const graphs *protograph,
                         std::vector<int> *shifts, std::string *error);

// The protograph that a shift matrix describes (allocate'd record, release
// with freegraph and free): variable sockets in order of check node, check
// sockets in order of variable node; the shifts in its edge order.
graphs *protographfromshifts(const shiftmatrix &matrix, std::vector<int> *shifts);

// The shift matrix of a protograph and one shift per edge, as text in the
// form parseshiftmatrix reads.
std::string formatshiftmatrix(const graphs *protograph, const std::vector<int> &shifts);

}  // namespace ldpc

#endif
