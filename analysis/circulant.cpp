// Cyclic liftings of protographs and shift matrices.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "cyclesearch.h"
#include "degreetable.h"
#include "randomstream.h"
#include "circulant.h"

namespace ldpc {

namespace {

// Joins the copies of protograph edge (variable node i, socket s) to check
// node b at socket t with the given shift, or (shift -1) empties them again.
void placecopies(graphs *graph, int lift, int i, int s, int b, int t, int shift) {
  for (int r = 0; r < lift; ++r) {
    const int c = static_cast<int>((static_cast<long long>(r) + (shift < 0 ? 0 : shift)) % lift);
    const int v = i * lift + c;
    const int check = b * lift + r;
    if (shift < 0) {
      graph->vnodelist[v].edgelist[s].dest = -1;
      graph->cnodelist[check].edgelist[t].dest = -1;
    } else {
      graph->vnodelist[v].edgelist[s] = {check, t, 0.0};
      graph->cnodelist[check].edgelist[t] = {v, s, 0.0};
    }
  }
}

std::string edgename(int i, int s, int b) {
  return "protograph edge of variable node " + std::to_string(i) + " socket " + std::to_string(s) +
         " (check node " + std::to_string(b) + ")";
}

// What makes the lifting unusable, "" when nothing does: the lifting
// factor, the size of the lifted graph, the target girth when shifts are
// drawn, the number and range of given shifts.
std::string circulantrefusal(const graphs *protograph, int lift, int target,
                             const std::vector<int> &shifts) {
  const int pv = protograph->vnodenum, pc = protograph->cnodenum;
  std::int64_t protoedges = 0;
  for (int i = 0; i < pv; ++i) protoedges += protograph->vnodelist[i].degree;
  if (lift < 1) return "lifting factor " + std::to_string(lift) + "; it must be at least 1";
  if (static_cast<std::int64_t>(pv) * lift > INT_MAX ||
      static_cast<std::int64_t>(pc) * lift > INT_MAX || protoedges * lift > INT_MAX)
    return "lifting by " + std::to_string(lift) + " gives more than " + std::to_string(INT_MAX) +
           " nodes or edges";
  if (shifts.empty()) {
    if (target < 4 || target % 2 != 0)
      return "target girth " + std::to_string(target) + "; it must be even and at least 4";
    return "";
  }
  if (static_cast<std::int64_t>(shifts.size()) != protoedges)
    return std::to_string(shifts.size()) + " shifts for " + std::to_string(protoedges) +
           " protograph edges";
  std::size_t k = 0;
  for (int i = 0; i < pv; ++i)
    for (int s = 0; s < protograph->vnodelist[i].degree; ++s, ++k)
      if (shifts[k] < 0 || shifts[k] >= lift)
        return edgename(i, s, protograph->vnodelist[i].edgelist[s].dest) + " has shift " +
               std::to_string(shifts[k]) + "; shifts lie in 0.." + std::to_string(lift - 1);
  return "";
}

// Node records of the lifted graph with every socket empty (dest -1) until
// its edge is placed; no degree tables yet.
void emptylifting(graphs *graph, const graphs *protograph, int lift) {
  const int pv = protograph->vnodenum, pc = protograph->cnodenum;
  graph->vnodenum = pv * lift;
  graph->cnodenum = pc * lift;
  graph->rate =
      graph->vnodenum > 0 ? 1.0 - static_cast<double>(graph->cnodenum) / graph->vnodenum : 0.0;
  graph->vnodelist = allocatearray<vnode>(graph->vnodenum);
  graph->cnodelist = allocatearray<cnode>(graph->cnodenum);
  graph->vdegreelist = nullptr;
  graph->cdegreelist = nullptr;
  auto emptylist = [](int degree) {
    edge *list = allocatearray<edge>(degree);
    for (int k = 0; k < degree; ++k) list[k] = {-1, -1, 0.0};
    return list;
  };
  for (int i = 0; i < pv; ++i)
    for (int c = 0; c < lift; ++c) {
      const int degree = protograph->vnodelist[i].degree;
      graph->vnodelist[i * lift + c] = {degree, 0.0, emptylist(degree)};
    }
  for (int b = 0; b < pc; ++b)
    for (int r = 0; r < lift; ++r) {
      const int degree = protograph->cnodelist[b].degree;
      graph->cnodelist[b * lift + r] = {degree, 0.0, emptylist(degree)};
    }
}

// Places the copies of every protograph edge, in order of variable node and
// socket, with the given shifts, or with drawn ones appended to *shifts. A
// drawn shift is kept when copy 0 of the edge closes no cycle shorter than
// target; the lifting maps copy c to copy c + 1 of every node, so then no
// copy does. False with *error when drawlimit draws find none for an edge.
bool placeedges(graphs *graph, const graphs *protograph, int lift, int target, bool draw,
                std::vector<int> *shifts, int drawlimit, std::string *error,
                progressfunction progress) {
  cyclesearch search(graph);
  std::size_t k = 0;
  std::int64_t edges = 0;
  for (int i = 0; i < protograph->vnodenum; ++i) edges += protograph->vnodelist[i].degree;
  for (int i = 0; i < protograph->vnodenum; ++i)
    for (int s = 0; s < protograph->vnodelist[i].degree; ++s, ++k) {
      if (progress != nullptr) progress(static_cast<std::int64_t>(k), edges, "circulant lifting");
      const int b = protograph->vnodelist[i].edgelist[s].dest;
      const int t = protograph->vnodelist[i].edgelist[s].socket;
      if (!draw) {
        placecopies(graph, lift, i, s, b, t, (*shifts)[k]);
        continue;
      }
      int draws = 0;
      for (;;) {
        if (draws == drawlimit) {
          *error = "no shift for the " + edgename(i, s, b) + " among " + std::to_string(drawlimit) +
                   " draws keeps cycles shorter than " + std::to_string(target) +
                   " out at lifting factor " + std::to_string(lift);
          return false;
        }
        ++draws;
        const int shift = static_cast<int>(drawfrom(graphsimrand) * lift);
        placecopies(graph, lift, i, s, b, t, shift);
        const edge &first = graph->vnodelist[i * lift].edgelist[s];
        if (!search.onshortcycle(i * lift, s, first.dest, target)) {
          shifts->push_back(shift);
          break;
        }
        placecopies(graph, lift, i, s, b, t, -1);
      }
    }
  return true;
}

}  // namespace

bool constructcirculant(graphs *graph, const graphs *protograph, int lift, int target,
                        std::vector<int> *shifts, std::string *error, int drawlimit,
                        progressfunction progress) {
  *error = circulantrefusal(protograph, lift, target, *shifts);
  if (!error->empty()) return false;
  const bool draw = shifts->empty();
  if (drawlimit <= 0) drawlimit = 100 + 10 * lift;
  emptylifting(graph, protograph, lift);
  const char *side = "";
  bool placed = false;
  try {
    placed = placeedges(graph, protograph, lift, target, draw, shifts, drawlimit, error, progress);
  } catch (...) {
    // What progress throws (a host's cancellation) leaves nothing to free.
    freegraph(graph);
    *graph = graphs{};
    throw;
  }
  if (!placed) {
    freegraph(graph);   // the tables are still null
    *graph = graphs{};  // nothing left for the caller to free
    return false;
  }
  if (!tabulategraphdegrees(graph, &side)) {
    freegraph(graph);
    *graph = graphs{};
    *error = "the protograph has more than " + std::to_string(maxdegreesnum) +
             " distinct degrees on one side";
    return false;
  }
  return true;
}

bool parseshiftmatrix(const std::string &text, shiftmatrix *matrix, std::string *error) {
  *matrix = shiftmatrix{};
  std::istringstream lines(text);
  std::string line;
  int lineno = 0;
  while (std::getline(lines, line)) {
    ++lineno;
    std::istringstream cells(line);
    std::string cell;
    std::vector<std::vector<int>> row;
    while (cells >> cell) {
      if (row.empty() && cell[0] == '#') break;
      std::vector<int> values;
      std::size_t start = 0;
      for (;;) {
        const std::size_t comma = cell.find(',', start);
        const std::string part = cell.substr(start, comma - start);
        char *end = nullptr;
        errno = 0;
        const long value = std::strtol(part.c_str(), &end, 10);
        const bool number = !part.empty() && *end == '\0' && errno == 0;
        const std::string where =
            "line " + std::to_string(lineno) + ", cell " + std::to_string(row.size() + 1);
        if (!number || value < -1 || value > INT_MAX) {
          *error = where + ": '" + cell + "' is not -1 or shifts 0, 1, ... joined by commas";
          return false;
        }
        if (value == -1 && (comma != std::string::npos || start != 0)) {
          *error = where + ": -1 (no edge) cannot be joined with shifts";
          return false;
        }
        if (value >= 0) values.push_back(static_cast<int>(value));
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
      row.push_back(values);
    }
    if (row.empty()) continue;
    if (matrix->rows == 0) {
      matrix->columns = static_cast<int>(row.size());
    } else if (static_cast<int>(row.size()) != matrix->columns) {
      *error = "line " + std::to_string(lineno) + " has " + std::to_string(row.size()) +
               " cells; the first row has " + std::to_string(matrix->columns);
      return false;
    }
    ++matrix->rows;
    for (auto &cell : row) matrix->cells.push_back(std::move(cell));
  }
  if (matrix->rows == 0) {
    *error = "no rows";
    return false;
  }
  return true;
}

bool shiftsforprotograph(const shiftmatrix &matrix, const graphs *protograph,
                         std::vector<int> *shifts, std::string *error) {
  if (matrix.rows != protograph->cnodenum || matrix.columns != protograph->vnodenum) {
    *error = "the shift matrix is " + std::to_string(matrix.rows) + " x " +
             std::to_string(matrix.columns) + "; the protograph has " +
             std::to_string(protograph->cnodenum) + " check and " +
             std::to_string(protograph->vnodenum) + " variable nodes";
    return false;
  }
  shifts->clear();
  for (int i = 0; i < protograph->vnodenum; ++i) {
    // the edges from node i to each check, counted in socket order
    std::vector<std::size_t> used(static_cast<std::size_t>(matrix.rows), 0);
    const vnode &node = protograph->vnodelist[i];
    for (int s = 0; s < node.degree; ++s) {
      const int b = node.edgelist[s].dest;
      const std::vector<int> &cell = matrix.cells[static_cast<std::size_t>(b) * matrix.columns + i];
      if (used[b] == cell.size()) {
        *error = "row " + std::to_string(b + 1) + ", column " + std::to_string(i + 1) + " holds " +
                 std::to_string(cell.size()) +
                 " shifts; the protograph has more edges between check node " + std::to_string(b) +
                 " and variable node " + std::to_string(i);
        return false;
      }
      shifts->push_back(cell[used[b]++]);
    }
    for (int b = 0; b < matrix.rows; ++b) {
      const std::size_t listed =
          matrix.cells[static_cast<std::size_t>(b) * matrix.columns + i].size();
      if (used[b] != listed) {
        *error = "row " + std::to_string(b + 1) + ", column " + std::to_string(i + 1) + " holds " +
                 std::to_string(listed) + " shifts; the protograph has " + std::to_string(used[b]) +
                 " edges between check node " + std::to_string(b) + " and variable node " +
                 std::to_string(i);
        return false;
      }
    }
  }
  return true;
}

graphs *protographfromshifts(const shiftmatrix &matrix, std::vector<int> *shifts) {
  auto *proto = allocatearray<graphs>(1);
  std::memset(proto, 0, sizeof(graphs));
  proto->vnodenum = matrix.columns;
  proto->cnodenum = matrix.rows;
  proto->vnodelist = allocatearray<vnode>(matrix.columns);
  proto->cnodelist = allocatearray<cnode>(matrix.rows);
  auto cell = [&](int b, int i) -> const std::vector<int> & {
    return matrix.cells[static_cast<std::size_t>(b) * matrix.columns + i];
  };
  for (int b = 0; b < matrix.rows; ++b) {
    int degree = 0;
    for (int i = 0; i < matrix.columns; ++i) degree += static_cast<int>(cell(b, i).size());
    proto->cnodelist[b] = {0, 0.0, allocatearray<edge>(degree)};
  }
  shifts->clear();
  // Variable sockets by check node; check sockets by variable node, which is
  // the order in which the variable nodes are visited here.
  for (int i = 0; i < matrix.columns; ++i) {
    int degree = 0;
    for (int b = 0; b < matrix.rows; ++b) degree += static_cast<int>(cell(b, i).size());
    vnode &node = proto->vnodelist[i];
    node = {0, 0.0, allocatearray<edge>(degree)};
    for (int b = 0; b < matrix.rows; ++b)
      for (int shift : cell(b, i)) {
        cnode &check = proto->cnodelist[b];
        node.edgelist[node.degree] = {b, check.degree, 0.0};
        check.edgelist[check.degree++] = {i, node.degree++, 0.0};
        shifts->push_back(shift);
      }
  }
  return proto;
}

std::string formatshiftmatrix(const graphs *protograph, const std::vector<int> &shifts) {
  const int rows = protograph->cnodenum, columns = protograph->vnodenum;
  std::vector<std::string> cells(static_cast<std::size_t>(rows) * columns);
  std::size_t k = 0;
  for (int i = 0; i < columns; ++i)
    for (int s = 0; s < protograph->vnodelist[i].degree; ++s, ++k) {
      std::string &cell =
          cells[static_cast<std::size_t>(protograph->vnodelist[i].edgelist[s].dest) * columns + i];
      if (!cell.empty()) cell += ',';
      cell += std::to_string(shifts[k]);
    }
  std::size_t width = 2;
  for (const std::string &cell : cells) width = std::max(width, cell.size());
  std::string text;
  for (int b = 0; b < rows; ++b) {
    for (int i = 0; i < columns; ++i) {
      std::string cell = cells[static_cast<std::size_t>(b) * columns + i];
      if (cell.empty()) cell = "-1";
      text += std::string(width - cell.size() + (i > 0 ? 1 : 0), ' ') + cell;
    }
    text += '\n';
  }
  return text;
}

}  // namespace ldpc
