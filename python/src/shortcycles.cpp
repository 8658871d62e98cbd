// Graphs without short cycles, as `tanner construct` builds them: cycle
// removal after a construction (girth=), progressive edge growth, cyclic
// liftings; and the local girth of every variable node.
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "bindings.h"
#include "shortcycles.h"

namespace ldpcpython {

namespace {

std::string readtext(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throwopen(path);
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw fileerror(path + ": cannot be read", EIO);
  return text.str();
}

}  // namespace

void checkgirth(int girth) {
  if (girth != 0 && (girth < 4 || girth % 2 != 0))
    throw py::value_error("girth takes an even number of at least 4");
}

void conditiongirth(ldpc::graphs *record, int girth) {
  if (girth == 0) return;
  ldpc::cycleremoval result = ldpc::removeshortcycles(record, girth, 20000, pollinterrupt);
  if (!result.reached) throw py::value_error(result.message);
}

void bindshortcycles(py::module_ &m) {
  py::object graphclass = py::type::of<graph>();
  graphclass.attr("local_girths") = py::cpp_function(
      [](const graph &self) {
        std::vector<int> local;
        {
          py::gil_scoped_release unlocked;
          local = ldpc::localgirths(&self.record, pollinterrupt);
        }
        return py::array_t<int>(static_cast<py::ssize_t>(local.size()), local.data());
      },
      py::is_method(graphclass), py::name("local_girths"),
      "For every variable node the length of the shortest cycle through it (0 when none).");

  m.def(
      "construct_peg",
      [](int checks, std::optional<std::vector<int>> vdeg, std::optional<std::vector<double>> vfrac,
         std::optional<int> length, std::optional<std::vector<int>> degrees, int girth,
         const py::object &seed) {
        unsigned short words[3];
        seedwords(seed, words);
        checkgirth(girth);
        if (checks < 1) throw py::value_error("checks must be at least 1");
        std::vector<int> nodes;
        if (degrees) {
          if (vdeg || vfrac || length)
            throw py::value_error("degrees excludes vdeg, vfrac and length");
          for (int d : *degrees)
            if (d < 1) throw py::value_error("degrees must be positive");
          if (degrees->empty()) throw py::value_error("degrees: no degrees");
          nodes = *degrees;
        } else {
          if (!vdeg) throw py::value_error("vdeg (or degrees) is required");
          if (!vfrac || vdeg->size() != vfrac->size())
            throw py::value_error("vfrac needs one fraction per degree of vdeg");
          if (!length || *length < 1) throw py::value_error("length must be given and at least 1");
          double sum = 0.0;
          for (std::size_t k = 0; k < vdeg->size(); ++k) {
            if ((*vdeg)[k] < 1) throw py::value_error("vdeg must be positive");
            if (!((*vfrac)[k] >= 0.0)) throw py::value_error("vfrac must not be negative");
            sum += (*vfrac)[k];
          }
          if (std::fabs(sum - 1.0) > 1e-6)
            throw py::value_error("vfrac must add up to 1, not " + std::to_string(sum));
          const std::string fault = ldpc::pegdistributionfault(*vdeg, *vfrac, *length, checks);
          if (!fault.empty()) throw py::value_error("peg: " + fault);
          nodes = ldpc::pegdegrees(*vdeg, *vfrac, *length);
        }
        return withstream(words, [&](ldpc::graphs *record) {
          std::string error;
          if (!ldpc::constructpeg(record, nodes, checks, &error, pollinterrupt))
            throw py::value_error("peg: " + error);
          conditiongirth(record, girth);
        });
      },
      py::arg("checks"), py::kw_only(), py::arg("vdeg") = py::none(), py::arg("vfrac") = py::none(),
      py::arg("length") = py::none(), py::arg("degrees") = py::none(), py::arg("girth") = 0,
      py::arg("seed") = 0,
      R"(A graph by progressive edge growth, as `tanner construct peg`: checks
check nodes and variable nodes of the degrees vdeg in the fractions vfrac
(length nodes), or one degree per node in degrees. girth: remove shorter
cycles afterwards. Ctrl-C raises KeyboardInterrupt between nodes. Returns
(graph, seed words).)");

  m.def(
      "construct_circulant",
      [](const py::object &protofile, int lift, int girth, const py::object &shifts,
         const py::object &seed) {
        unsigned short words[3];
        seedwords(seed, words);
        checkgirth(girth);
        if (lift < 1) throw py::value_error("lift must be at least 1");
        if (!shifts.is_none() && girth != 0)
          throw py::value_error("girth does not apply to shifts given with shifts");
        if (protofile.is_none() && shifts.is_none())
          throw py::value_error("expects protofile or shifts");
        std::string protopath = protofile.is_none() ? "" : pathstring(protofile);
        std::string shiftpath = shifts.is_none() ? "" : pathstring(shifts);
        protoholder protograph;
        std::vector<int> edgeshifts;
        if (!shiftpath.empty()) {
          ldpc::shiftmatrix matrix;
          std::string error;
          if (!ldpc::parseshiftmatrix(readtext(shiftpath), &matrix, &error))
            throw inputerror(shiftpath + ": " + error);
          if (protopath.empty()) {
            protograph.reset(ldpc::protographfromshifts(matrix, &edgeshifts));
          } else {
            protograph = readproto(protopath);
            if (!ldpc::shiftsforprotograph(matrix, protograph.get(), &edgeshifts, &error))
              throw inputerror(shiftpath + ": " + error);
          }
        } else {
          protograph = readproto(protopath);
        }
        const int target = girth == 0 ? 4 : girth;
        py::tuple built = withstream(words, [&](ldpc::graphs *record) {
          std::string error;
          if (!ldpc::constructcirculant(record, protograph.get(), lift, target, &edgeshifts, &error,
                                        0, pollinterrupt))
            throw inputerror((protopath.empty() ? shiftpath : protopath) + ": " + error);
        });
        return py::make_tuple(built[0], built[1],
                              ldpc::formatshiftmatrix(protograph.get(), edgeshifts));
      },
      py::arg("protofile") = py::none(), py::kw_only(), py::arg("lift"), py::arg("girth") = 0,
      py::arg("shifts") = py::none(), py::arg("seed") = 0,
      R"(A cyclic lifting of a protograph, as `tanner construct proto --circulant`
(or --shifts FILE): shifts drawn so that no cycle shorter than girth
(default 4) closes, or taken from the shift-matrix file shifts. Ctrl-C
raises KeyboardInterrupt between protograph edges. Returns (graph, seed
words, shift matrix as text).)");
}

}  // namespace ldpcpython
