// Graph: files, matrices, edges, degree distributions and the figures of
// `tanner stats`, through the library's own calls.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "alist.h"
#include "bindings.h"
#include "descfile.h"
#include "graphfile.h"
#include "graphstats.h"
#include "qcfile.h"
#include "textio.h"

namespace ldpcpython {

namespace {

// A vector handed to numpy without a copy: the array owns it.
template <typename T>
py::array_t<T> tonumpy(std::vector<T> &&values) {
  auto *owned = new std::vector<T>(std::move(values));
  py::capsule release(owned, [](void *p) { delete static_cast<std::vector<T> *>(p); });
  return py::array_t<T>({static_cast<py::ssize_t>(owned->size())}, {sizeof(T)}, owned->data(),
                        release);
}

// The outcome of a writer: nothing, or the program's message.
void checkwrite(ldpc::writeoutcome outcome, const std::string &path, const std::string &error) {
  switch (outcome) {
    case ldpc::writeok:
      return;
    case ldpc::writeopenfailed: {
      int reason = errno;
      throw fileerror(ldpc::openforwritingmessage(path, reason), reason);
    }
    case ldpc::writefailed:
      throw fileerror(error, errno);
  }
}

// The outcome of a reader of path: nothing, the fileerror of a file that
// could not be opened (errno as the reader left it), or inputerror with the
// reader's message, after "PATH: " unless the reader names the file itself.
void checkread(ldpc::readoutcome outcome, const std::string &path, const std::string &error,
               bool errornamesfile = false) {
  switch (outcome) {
    case ldpc::readok:
      return;
    case ldpc::readopenfailed:
      throwopen(path);
    case ldpc::readmalformed:
      throw inputerror(errornamesfile ? error : path + ": " + error);
  }
}

py::dict distribution(const std::vector<ldpc::degreeshare> &shares) {
  std::vector<std::int32_t> degree;
  std::vector<std::int64_t> nodes;
  std::vector<double> nodefraction, edgefraction;
  for (const ldpc::degreeshare &share : shares) {
    degree.push_back(share.degree);
    nodes.push_back(share.nodes);
    nodefraction.push_back(share.nodefraction);
    edgefraction.push_back(share.edgefraction);
  }
  py::dict table;
  table["degree"] = tonumpy(std::move(degree));
  table["nodes"] = tonumpy(std::move(nodes));
  table["nodefraction"] = tonumpy(std::move(nodefraction));
  table["edgefraction"] = tonumpy(std::move(edgefraction));
  return table;
}

// The rows of `tanner stats --json` for one side.
py::list distributionrows(const std::vector<ldpc::degreeshare> &shares) {
  py::list rows;
  for (const ldpc::degreeshare &share : shares) {
    py::dict row;
    row["degree"] = share.degree;
    row["nodes"] = share.nodes;
    row["nodefraction"] = share.nodefraction;
    row["edgefraction"] = share.edgefraction;
    rows.append(row);
  }
  return rows;
}

// A 128-bit count as a Python int, through its decimal digits.
py::object pythonint(ldpc::widecount value) {
  return py::module_::import("builtins").attr("int")(ldpc::decimal(value));
}

std::string hex(std::uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016" PRIx64, value);
  return text;
}

// The graph of the matrix with column c holding rows[colstart[c] ..
// colstart[c+1]) (an entry repeated k times is k parallel edges): formatted
// as an alist file in memory (column lists without fillers, so that the text
// grows with the edges; no row lists, which the reader never reads) and read
// by the alist reader, so that sockets, degree tables and maxima are exactly
// those of converting the matrix's alist file.
std::unique_ptr<graph> fromcolumns(int m, int n, const std::int64_t *colstart,
                                   const std::int32_t *rows) {
  std::vector<std::int64_t> rowweight(static_cast<std::size_t>(m), 0);
  std::int64_t vmax = 0, cmax = 0;
  for (int c = 0; c < n; ++c) {
    vmax = std::max(vmax, colstart[c + 1] - colstart[c]);
    for (std::int64_t k = colstart[c]; k < colstart[c + 1]; ++k) ++rowweight[rows[k]];
  }
  for (std::int64_t w : rowweight) cmax = std::max(cmax, w);
  std::string text;
  ldpc::textwriter out;
  ldpc::writetomemory(&out, &text);
  auto numbers = [&](std::int64_t count, const auto &value) {
    for (std::int64_t k = 0; k < count; ++k) {
      if (k > 0) ldpc::writechar(&out, ' ');
      ldpc::writeint(&out, value(k), 0);
    }
    ldpc::writechar(&out, '\n');
  };
  const std::int64_t header[4] = {n, m, vmax, cmax};
  numbers(2, [&](std::int64_t k) { return header[k]; });
  numbers(2, [&](std::int64_t k) { return header[2 + k]; });
  numbers(n, [&](std::int64_t c) { return colstart[c + 1] - colstart[c]; });
  numbers(m, [&](std::int64_t r) { return rowweight[r]; });
  for (int c = 0; c < n; ++c)
    numbers(colstart[c + 1] - colstart[c],
            [&](std::int64_t k) -> std::int64_t { return rows[colstart[c] + k] + 1; });
  ldpc::writeclose(&out);

  auto target = std::make_unique<graph>();
  ldpc::textscanner in;
  ldpc::scanfrommemory(&in, text.data(), text.size());
  std::string error;
  bool ok = ldpc::readalist(&in, &target->record, &error);
  ldpc::scanclose(&in);
  if (!ok) {
    target->record = ldpc::graphs{};
    throw inputerror("matrix: " + error);
  }
  return target;
}

}  // namespace

std::string pathstring(const py::handle &path) {
  return py::module_::import("os").attr("fsencode")(path).cast<std::string>();
}

std::int64_t pyint(const py::handle &value, const std::string &name) {
  if (py::isinstance<py::bool_>(value) || PyIndex_Check(value.ptr()) == 0)
    throw py::type_error(name + " takes an integer, not " +
                         std::string(py::str(py::type::of(value).attr("__name__"))));
  py::int_ integer = py::reinterpret_steal<py::int_>(PyNumber_Index(value.ptr()));
  if (!integer) throw py::error_already_set();
  int overflow = 0;
  const long long result = PyLong_AsLongLongAndOverflow(integer.ptr(), &overflow);
  if (overflow != 0)
    throw py::value_error(name + " " + std::string(py::str(integer)) + " is out of range");
  return result;
}

int pyint32(const py::handle &value, const std::string &name) {
  const std::int64_t number = pyint(value, name);
  if (number < INT32_MIN || number > INT32_MAX)
    throw py::value_error(name + " " + std::to_string(number) + " is out of range");
  return static_cast<int>(number);
}

int pycount(const py::handle &value, const std::string &name) {
  const std::int64_t count = pyint(value, name);
  if (count < 1 || count > INT32_MAX)
    throw py::value_error(name + " must lie in 1.." + std::to_string(INT32_MAX) + ", not " +
                          std::to_string(count));
  return static_cast<int>(count);
}

double pynumber(const py::handle &value, const std::string &name) {
  if (py::isinstance<py::bool_>(value) || py::isinstance<py::str>(value) ||
      py::isinstance<py::bytes>(value) ||
      (PyIndex_Check(value.ptr()) == 0 && !PyFloat_Check(value.ptr()) &&
       !py::hasattr(value, "__float__")))
    throw py::type_error(name + " takes a number, not " +
                         std::string(py::str(py::type::of(value).attr("__name__"))));
  const double result = PyFloat_AsDouble(value.ptr());
  if (result == -1.0 && PyErr_Occurred() != nullptr) throw py::error_already_set();
  return result;
}

void protodeleter::operator()(ldpc::graphs *protograph) const {
  ldpc::freegraph(protograph);
  std::free(protograph);
}

protoholder readproto(const std::string &path) {
  ldpc::graphs *protograph = nullptr;
  std::string error;
  checkread(ldpc::readprotofile(path.c_str(), &protograph, &error), path, error);
  return protoholder(protograph);
}
void throwopen(const std::string &path) {
  int number = errno;
  throw fileerror(path + ": " + std::strerror(number), number);
}

void readgraph(graph *target, const std::string &path) {
  std::string error;
  checkread(ldpc::readgraphfile(path.c_str(), &target->record, &target->encoder, &error), path,
            error);
}

void readqcgraph(graph *target, const std::string &path, std::vector<int> *punctured) {
  ldpc::qcmatrix qc;
  std::string error;
  checkread(ldpc::readqcfile(path.c_str(), &qc, &error), path, error, /*errornamesfile=*/true);
  ldpc::graphs *expanded = ldpc::expandqc(qc, &error);
  if (expanded == nullptr) throw inputerror(path + ": " + error);
  target->record = *expanded;  // the arrays move to the target
  std::free(expanded);
  if (punctured == nullptr) return;
  punctured->clear();
  for (int c = 0; c < static_cast<int>(qc.transmitted.size()); ++c)
    if (qc.transmitted[static_cast<std::size_t>(c)] == 0)
      for (int i = 0; i < qc.lift; ++i) punctured->push_back(c * qc.lift + i);
}

bool readsasqc(const std::string &path, const py::object &format) {
  if (!format.is_none()) {
    const std::string name = py::str(format);
    if (name != "qc")
      throw py::value_error("format takes 'qc' (a base-matrix file) or None, not '" + name + "'");
    return true;
  }
  return path.size() >= 3 && path.compare(path.size() - 3, 3, ".qc") == 0;
}

namespace {

using graphclass = py::class_<graph>;

// Reading and writing files, and the matrix and edges of a graph.
void bindfiles(graphclass &cls) {
  cls.def_static(
         "read",
         [](const py::object &path, const py::object &format) {
           std::string name = pathstring(path);
           const bool qc = readsasqc(name, format);
           auto target = std::make_unique<graph>();
           {
             py::gil_scoped_release unlocked;
             if (qc)
               readqcgraph(target.get(), name, nullptr);
             else
               readgraph(target.get(), name);
           }
           return target;
         },
         py::arg("path"), py::arg("format") = py::none(),
         "Reads a code description file or an alist file (either dialect), recognised from "
         "the content: a code description file opens with '/*'. A name ending in .qc, or "
         "format='qc', is a base-matrix file, expanded as tanner expands it (its flag line's "
         "punctured block columns: qc_punctured).")
      .def_static(
          "_from_columns",
          [](int m, int n,
             py::array_t<std::int64_t, py::array::c_style | py::array::forcecast> colstart,
             py::array_t<std::int32_t, py::array::c_style | py::array::forcecast> rows) {
            if (colstart.size() != static_cast<py::ssize_t>(n) + 1)
              throw inputerror("matrix: column pointers do not match the number of columns");
            const std::int64_t *starts = colstart.data();
            const std::int32_t *entries = rows.data();
            for (int c = 0; c < n; ++c)
              if (starts[c] > starts[c + 1] || starts[c] < 0 || starts[c + 1] > rows.size())
                throw inputerror("matrix: column pointers are not increasing");
            for (py::ssize_t k = 0; k < rows.size(); ++k)
              if (entries[k] < 0 || entries[k] >= m)
                throw inputerror("matrix: a row index is out of range");
            py::gil_scoped_release unlocked;
            return fromcolumns(m, n, starts, entries);
          },
          py::arg("m"), py::arg("n"), py::arg("colstart"), py::arg("rows"))
      .def(
          "write",
          [](const graph &self, const py::object &path) {
            std::string name = pathstring(path);
            py::gil_scoped_release unlocked;
            std::string error;
            checkwrite(ldpc::writegraphfile(&self.record, &self.encoder, name.c_str(), &error),
                       name, error);
          },
          py::arg("path"),
          "Writes the graph (and its encoder information) as a code description file; the "
          "file appears whole or not at all.")
      .def(
          "export",
          [](const graph &self, const py::object &path, bool padded) {
            std::string name = pathstring(path);
            py::gil_scoped_release unlocked;
            std::string error;
            checkwrite(ldpc::writealistfile(&self.record, name.c_str(), padded, &error), name,
                       error);
          },
          py::arg("path"), py::arg("padded") = true,
          "Writes the graph as an alist file (true maxima, rows numbered from 1, lists in "
          "socket order), zero-padded unless padded is False.")
      .def("_csr",
           [](const graph &self) {
             const ldpc::graphs &g = self.record;
             std::vector<std::int64_t> rowstart(static_cast<std::size_t>(g.cnodenum) + 1, 0);
             std::vector<std::int32_t> columns;
             {
               py::gil_scoped_release unlocked;
               for (int c = 0; c < g.cnodenum; ++c)
                 rowstart[c + 1] = rowstart[c] + g.cnodelist[c].degree;
               columns.reserve(static_cast<std::size_t>(rowstart.back()));
               for (int c = 0; c < g.cnodenum; ++c)
                 for (int t = 0; t < g.cnodelist[c].degree; ++t)
                   columns.push_back(g.cnodelist[c].edgelist[t].dest);
             }
             return py::make_tuple(tonumpy(std::move(rowstart)), tonumpy(std::move(columns)));
           })
      .def(
          "edges",
          [](const graph &self) {
            const ldpc::graphs &g = self.record;
            std::vector<std::int32_t> variable, vsocket, check, csocket;
            {
              py::gil_scoped_release unlocked;
              std::size_t edges = static_cast<std::size_t>(ldpc::countedges(&g));
              for (auto *list : {&variable, &vsocket, &check, &csocket}) list->reserve(edges);
              for (int v = 0; v < g.vnodenum; ++v)
                for (int s = 0; s < g.vnodelist[v].degree; ++s) {
                  variable.push_back(v);
                  vsocket.push_back(s);
                  check.push_back(g.vnodelist[v].edgelist[s].dest);
                  csocket.push_back(g.vnodelist[v].edgelist[s].socket);
                }
            }
            py::dict result;
            result["variable"] = tonumpy(std::move(variable));
            result["vsocket"] = tonumpy(std::move(vsocket));
            result["check"] = tonumpy(std::move(check));
            result["csocket"] = tonumpy(std::move(csocket));
            return result;
          },
          "Every edge once, in order of variable node and socket: a dict of int32 arrays "
          "'variable', 'vsocket' (socket at the variable node), 'check', 'csocket' (socket "
          "at the check node).");
}

// The sizes, rate and degrees of a graph.
void bindproperties(graphclass &cls) {
  cls.def_property_readonly(
         "n", [](const graph &self) { return self.record.vnodenum; },
         "Number of variable nodes (code length).")
      .def_property_readonly(
          "m", [](const graph &self) { return self.record.cnodenum; }, "Number of check nodes.")
      .def_property_readonly("num_edges",
                             [](const graph &self) { return ldpc::countedges(&self.record); })
      .def_property_readonly(
          "rate",
          [](const graph &self) -> py::object {
            if (self.record.vnodenum <= 0) return py::none();
            return py::float_(1.0 -
                              static_cast<double>(self.record.cnodenum) / self.record.vnodenum);
          },
          "Design rate 1 - m/n (None without variable nodes).")
      .def_property_readonly(
          "gap", [](const graph &self) { return self.encoder.gap < 0 ? -1 : self.encoder.gap; },
          "Order of the encoder matrix carried in the code description file; -1 for none.")
      .def_property_readonly("variable_degrees",
                             [](const graph &self) {
                               std::vector<std::int32_t> degrees;
                               for (int v = 0; v < self.record.vnodenum; ++v)
                                 degrees.push_back(self.record.vnodelist[v].degree);
                               return tonumpy(std::move(degrees));
                             })
      .def_property_readonly("check_degrees", [](const graph &self) {
        std::vector<std::int32_t> degrees;
        for (int c = 0; c < self.record.cnodenum; ++c)
          degrees.push_back(self.record.cnodelist[c].degree);
        return tonumpy(std::move(degrees));
      });
}

// The figures of `tanner stats`: distributions, cycles, fingerprint.
void bindstatistics(graphclass &cls) {
  cls.def(
         "degree_distribution",
         [](const graph &self, const std::string &side) {
           if (side == "variable") return distribution(ldpc::vdistribution(&self.record));
           if (side == "check") return distribution(ldpc::cdistribution(&self.record));
           throw py::value_error("side is 'variable' or 'check', not '" + side + "'");
         },
         py::arg("side") = "variable",
         "The degree distribution of one side: arrays 'degree', 'nodes', 'nodefraction' "
         "(node perspective) and 'edgefraction' (edge perspective: lambda or rho).")
      .def(
          "parallel_edges",
          [](const graph &self) {
            py::gil_scoped_release unlocked;
            return ldpc::countparalleledges(&self.record);
          },
          "Edges beyond the first between the same variable and check node.")
      .def(
          "four_cycles",
          [](const graph &self) {
            ldpc::widecount count;
            {
              py::gil_scoped_release unlocked;
              count = ldpc::countfourcycles(&self.record, pollinterrupt);
            }
            return pythonint(count);
          },
          "Number of cycles of length 4.")
      .def(
          "girth",
          [](const graph &self) -> py::object {
            std::int64_t length;
            {
              py::gil_scoped_release unlocked;
              length = ldpc::girth(&self.record, pollinterrupt);
            }
            if (length <= 0) return py::none();
            return py::int_(length);
          },
          "Length of the shortest cycle (2 when an edge is doubled); None without a cycle.")
      .def(
          "fingerprint", [](const graph &self) { return hex(ldpc::fingerprint(&self.record)); },
          "64-bit hash of the multiset of edges and the node counts, independent of socket "
          "order, as the 16 hexadecimal digits that tanner prints (int(f, 16) for the number).")
      .def(
          "stats",
          [](const graph &self) {
            const ldpc::graphs *g = &self.record;
            std::int64_t edges, parallel, length;
            ldpc::widecount fourcycles;
            std::uint64_t print;
            {
              py::gil_scoped_release unlocked;
              edges = ldpc::countedges(g);
              parallel = ldpc::countparalleledges(g);
              fourcycles = ldpc::countfourcycles(g);
              length = ldpc::girth(g);
              print = ldpc::fingerprint(g);
            }
            py::dict stats;
            stats["vnodenum"] = g->vnodenum;
            stats["cnodenum"] = g->cnodenum;
            stats["edges"] = edges;
            stats["rate"] =
                g->vnodenum > 0
                    ? py::object(py::float_(1.0 - static_cast<double>(g->cnodenum) / g->vnodenum))
                    : py::object(py::none());
            stats["paralleledges"] = parallel;
            stats["fourcycles"] = pythonint(fourcycles);
            stats["girth"] = length > 0 ? py::object(py::int_(length)) : py::object(py::none());
            stats["fingerprint"] = hex(print);
            stats["vdegrees"] = distributionrows(ldpc::vdistribution(g));
            stats["cdegrees"] = distributionrows(ldpc::cdistribution(g));
            return stats;
          },
          "The figures of `tanner stats --json` (without 'file'), under the same keys.");
}

}  // namespace

void bindgraph(py::module_ &m) {
  graphclass cls(m, "Graph", R"(A Tanner graph: variable nodes (code bits), check nodes and edges.

Nodes and sockets count from 0. Read one with Graph.read, build one from a
parity-check matrix with Graph.from_matrix, or construct a random one.)");
  bindfiles(cls);
  bindproperties(cls);
  bindstatistics(cls);
  cls.def("__repr__", [](const graph &self) {
    return "<ldpcgraph.Graph: " + std::to_string(self.record.vnodenum) + " variable nodes, " +
           std::to_string(self.record.cnodenum) + " check nodes, " +
           std::to_string(ldpc::countedges(&self.record)) + " edges>";
  });

  m.def(
      "qc_punctured",
      [](const py::object &path) {
        std::string name = pathstring(path);
        graph expanded;
        std::vector<int> punctured;
        {
          py::gil_scoped_release unlocked;
          readqcgraph(&expanded, name, &punctured);
        }
        return punctured;
      },
      py::arg("path"),
      "The variable nodes that a base-matrix file's flag line punctures (every node of a "
      "block column flagged 0), ascending; empty without a flag line. Give them to "
      "simulate(punctured=...) with the Graph.read of the same file.");
}

}  // namespace ldpcpython
