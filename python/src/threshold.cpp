// Decoding thresholds of ensembles, as `tanner threshold` computes them.
#include <optional>
#include <vector>

#include "bindings.h"
#include "graphfile.h"
#include "threshold.h"

namespace ldpcpython {

namespace {

template <typename kind>
kind choose(const std::string &what, const std::string &name,
            std::initializer_list<std::pair<const char *, kind>> names) {
  std::string known;
  for (const auto &[text, value] : names) {
    if (name == text) return value;
    known += known.empty() ? text : std::string(", ") + text;
  }
  throw py::value_error(what + " takes " + known + ", not '" + name + "'");
}

// The options of a threshold from its keywords (None: not given, the
// method's default), checked as tanner checks them.
ldpc::thresholdoptions takeoptions(const std::string &channel, const std::string &decoder,
                                   const std::string &method, const py::dict &numbers,
                                   bool protograph) {
  ldpc::thresholdoptions options;  // alpha and beta default to the decoder's
  options.channel = choose<ldpc::channelkind>(
      "channel", channel, {{"bec", ldpc::channelkind::bec}, {"awgn", ldpc::channelkind::awgn}});
  options.decoder = choose<ldpc::decoderkind>("decoder", decoder,
                                              {{"spa", ldpc::decoderkind::spa},
                                               {"minsum", ldpc::decoderkind::minsum},
                                               {"nms", ldpc::decoderkind::nms},
                                               {"oms", ldpc::decoderkind::oms}});
  options.method = choose<ldpc::methodkind>("method", method,
                                            {{"auto", ldpc::methodkind::automatic},
                                             {"de", ldpc::methodkind::density},
                                             {"ga", ldpc::methodkind::exit}});
  ldpc::thresholdgiven given;
  struct numberoption {
    const char *name;
    double *value;
    bool *given;
  };
  for (const numberoption &o : {numberoption{"alpha", &options.alpha, &given.alpha},
                                {"beta", &options.beta, &given.beta},
                                {"precision", &options.precision, &given.precision},
                                {"step", &options.llrstep, &given.step},
                                {"range", &options.llrrange, &given.range},
                                {"tolerance", &options.tolerance, &given.tolerance}}) {
    py::object value = numbers[o.name];
    if (value.is_none()) continue;
    *o.value = pynumber(value, o.name);
    *o.given = true;
  }
  if (!numbers["iterations"].is_none()) {
    options.maxiterations = pycount(numbers["iterations"], "iterations");
    given.iterations = true;
  }
  if (given.precision && !(options.precision > 0))
    throw py::value_error("precision must be positive");
  if (given.tolerance && !(options.tolerance > 0 && options.tolerance < 1))
    throw py::value_error("tolerance must lie in (0, 1)");
  const std::string unused = ldpc::thresholdunusedoption(protograph, options, given, "");
  if (!unused.empty()) throw py::value_error(unused);
  return options;
}

}  // namespace

void bindthreshold(py::module_ &m) {
  m.def(
      "threshold",
      [](const std::string &channel, std::optional<std::vector<int>> vdeg,
         std::optional<std::vector<double>> vfrac, std::optional<std::vector<int>> cdeg,
         std::optional<std::vector<double>> cfrac, bool edgefractions, py::object protofile,
         std::vector<int> punctured, const std::string &decoder, const std::string &method,
         const py::object &alpha, const py::object &beta, const py::object &precision,
         const py::object &step, const py::object &range, const py::object &tolerance,
         const py::object &iterations) {
        bool irregular = vdeg || cdeg || vfrac || cfrac;
        if (irregular == !protofile.is_none())
          throw py::value_error("expects either vdeg/vfrac/cdeg/cfrac or a protofile");
        if (irregular && !punctured.empty()) throw py::value_error("punctured is for protographs");
        py::dict numbers;
        numbers["alpha"] = alpha;
        numbers["beta"] = beta;
        numbers["precision"] = precision;
        numbers["step"] = step;
        numbers["range"] = range;
        numbers["tolerance"] = tolerance;
        numbers["iterations"] = iterations;
        ldpc::thresholdoptions options = takeoptions(channel, decoder, method, numbers, !irregular);
        ldpc::ensemble code;
        std::string path;
        if (irregular) {
          const std::string fault = ldpc::irregularinputfault(
              vdeg.value_or(std::vector<int>{}), vfrac.value_or(std::vector<double>{}),
              cdeg.value_or(std::vector<int>{}), cfrac.value_or(std::vector<double>{}),
              std::nullopt, "");
          if (!fault.empty()) throw py::value_error(fault);
          code.distribution = ldpc::edgeperspective(*vdeg, *vfrac, *cdeg, *cfrac, edgefractions);
        } else {
          path = pathstring(protofile);
          protoholder protograph = readproto(path);
          code.isprotograph = true;
          code.protograph = ldpc::protofromgraph(protograph.get(), punctured);
        }
        // Ctrl-C between bisection steps and density-evolution iterations:
        // KeyboardInterrupt.
        options.progress = [](int, int) { checkinterrupt(); };
        options.poll = [] { checkinterrupt(); };
        ldpc::thresholdresult result;
        {
          py::gil_scoped_release unlocked;
          result = ldpc::computethreshold(code, options);
        }
        using fault = ldpc::thresholdresult::fault;
        if (!result.ok) {
          if (irregular || result.refused == fault::options) throw py::value_error(result.error);
          throw inputerror(path + ": " + result.error);
        }
        // The object of `tanner threshold --json`, under its keys.
        py::dict figures;
        bool bec = options.channel == ldpc::channelkind::bec;
        figures["channel"] = bec ? "bec" : "awgn";
        figures["method"] = result.method;
        figures["rate"] = result.rate;
        figures["threshold"] = result.threshold;
        if (bec) {
          figures["erasure"] = result.erasure;
        } else {
          figures["sigma"] = result.sigma;
          figures["ebn0db"] = result.ebn0db;
        }
        figures["limit"] = result.limit;
        figures["gap"] = result.gap;
        return figures;
      },
      py::arg("channel"), py::kw_only(), py::arg("vdeg") = py::none(),
      py::arg("vfrac") = py::none(), py::arg("cdeg") = py::none(), py::arg("cfrac") = py::none(),
      py::arg("edge_fractions") = false, py::arg("protofile") = py::none(),
      py::arg("punctured") = std::vector<int>(), py::arg("decoder") = "spa",
      py::arg("method") = "auto", py::arg("alpha") = py::none(), py::arg("beta") = py::none(),
      py::arg("precision") = py::none(), py::arg("step") = py::none(),
      py::arg("range") = py::none(), py::arg("tolerance") = py::none(),
      py::arg("iterations") = py::none(),
      R"(The decoding threshold of an ensemble, as `tanner threshold --json`.

channel "bec" or "awgn"; the ensemble as vdeg/vfrac/cdeg/cfrac (fractions of
nodes, or of edges with edge_fractions) or a protofile with punctured
variable nodes. decoder, method ("auto", "de", "ga"), alpha (default 0.8),
beta (default 0.25), precision, step, range, tolerance and iterations as
the options of the same names (None takes the method's default); one that
has no effect on the analysis chosen is a ValueError, as in tanner. Ctrl-C
raises KeyboardInterrupt between bisection steps. Returns a dict: channel,
method, rate, threshold, erasure (bec) or sigma and ebn0db (awgn), limit,
gap.)");
}

}  // namespace ldpcpython
