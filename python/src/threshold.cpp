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

}  // namespace

void bindthreshold(py::module_ &m) {
  m.def(
      "threshold",
      [](const std::string &channel, std::optional<std::vector<int>> vdeg,
         std::optional<std::vector<double>> vfrac, std::optional<std::vector<int>> cdeg,
         std::optional<std::vector<double>> cfrac, bool edgefractions, py::object protofile,
         std::vector<int> punctured, const std::string &decoder, const std::string &method,
         double alpha, double beta, double precision, double step, double range,
         double tolerance, int iterations) {
        ldpc::thresholdoptions options;
        options.channel = choose<ldpc::channelkind>(
            "channel", channel, {{"bec", ldpc::channelkind::bec}, {"awgn", ldpc::channelkind::awgn}});
        options.decoder = choose<ldpc::decoderkind>(
            "decoder", decoder,
            {{"spa", ldpc::decoderkind::spa}, {"minsum", ldpc::decoderkind::minsum},
             {"nms", ldpc::decoderkind::nms}, {"oms", ldpc::decoderkind::oms}});
        options.method = choose<ldpc::methodkind>(
            "method", method,
            {{"auto", ldpc::methodkind::automatic}, {"de", ldpc::methodkind::density},
             {"ga", ldpc::methodkind::exit}});
        options.alpha = alpha;
        options.beta = beta;
        options.precision = precision;
        options.llrstep = step;
        options.llrrange = range;
        options.tolerance = tolerance;
        options.maxiterations = iterations;
        if (precision < 0) throw py::value_error("precision must be positive");
        if (tolerance != 0 && !(tolerance > 0 && tolerance < 1))
          throw py::value_error("tolerance must lie in (0, 1)");
        if (iterations < 0) throw py::value_error("iterations must be at least 1");

        bool irregular = vdeg || cdeg || vfrac || cfrac;
        if (irregular == !protofile.is_none())
          throw py::value_error("expects either vdeg/vfrac/cdeg/cfrac or a protofile");
        if (irregular && !punctured.empty())
          throw py::value_error("punctured is for protographs");
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
        ldpc::thresholdresult result;
        {
          py::gil_scoped_release unlocked;
          result = ldpc::computethreshold(code, options);
        }
        if (!result.ok) {
          if (irregular) throw py::value_error(result.error);
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
      py::arg("vfrac") = py::none(), py::arg("cdeg") = py::none(),
      py::arg("cfrac") = py::none(), py::arg("edge_fractions") = false,
      py::arg("protofile") = py::none(), py::arg("punctured") = std::vector<int>(),
      py::arg("decoder") = "spa", py::arg("method") = "auto", py::arg("alpha") = 0.8,
      py::arg("beta") = 0.15, py::arg("precision") = 0.0, py::arg("step") = 0.02,
      py::arg("range") = 30.0, py::arg("tolerance") = 0.0, py::arg("iterations") = 0,
      R"(The decoding threshold of an ensemble, as `tanner threshold --json`.

channel "bec" or "awgn"; the ensemble as vdeg/vfrac/cdeg/cfrac (fractions of
nodes, or of edges with edge_fractions) or a protofile with punctured
variable nodes. decoder, method ("auto", "de", "ga"), alpha, beta,
precision, step, range, tolerance and iterations as the options of the same
names (0 takes the method's default). Returns a dict: channel, method, rate,
threshold, erasure (bec) or sigma and ebn0db (awgn), limit, gap.)");
}

}  // namespace ldpcpython
