// Decoding: the library's decoder on numpy batches, and the Monte-Carlo
// loop of `tanner simulate`.
#include <cmath>
#include <stdexcept>
#include <thread>
#include <vector>

#include "bindings.h"
#include "graphfile.h"
#include "montecarlo.h"

namespace ldpcpython {

namespace {

ldpc::decoderoptions decoderoptions(const std::string &algorithm, const std::string &schedule,
                                    int iterations, bool earlystop, double alpha, double beta) {
  ldpc::decoderoptions options;
  if (!ldpc::parsealgorithm(algorithm, &options.algorithm))
    throw py::value_error("decoder takes spa, minsum, nms or oms, not '" + algorithm + "'");
  if (!ldpc::parseschedule(schedule, &options.schedule))
    throw py::value_error("schedule takes flooding or layered, not '" + schedule + "'");
  options.iterations = iterations;
  options.earlystop = earlystop;
  options.alpha = alpha;
  options.beta = beta;
  return options;
}

int threadcount(const py::object &threads) {
  if (threads.is_none()) return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  int count = threads.cast<int>();
  if (count < 1) throw py::value_error("threads must be at least 1");
  return count;
}

// A decoder compiled from a graph, kept for many batches.
struct pydecoder {
  ldpc::decoder compiled;
  pydecoder(const graph &code, const ldpc::decoderoptions &options)
      : compiled(&code.record, options) {}
};

py::tuple decodebatch(const pydecoder &self,
                      py::array_t<double, py::array::c_style | py::array::forcecast> llrs,
                      int threads, bool posteriors) {
  const int n = self.compiled.length();
  if (llrs.ndim() != 2 || llrs.shape(1) != n)
    throw py::value_error("llrs must be a 2-D array of frames x " + std::to_string(n) +
                          " bits");
  const py::ssize_t frames = llrs.shape(0);
  if (frames > INT32_MAX) throw py::value_error("too many frames in one batch");
  if (threads < 1) throw py::value_error("threads must be at least 1");
  py::array_t<std::uint8_t> decisions({frames, static_cast<py::ssize_t>(n)});
  py::array_t<bool> satisfied(frames);
  py::array_t<std::int32_t> iterations(frames);
  py::array_t<float> posterior;
  ldpc::decodeoutputs out;
  out.decisions = decisions.mutable_data();
  // numpy's bool is one byte holding 0 or 1, as the decoder writes it.
  out.satisfied = reinterpret_cast<std::uint8_t *>(satisfied.mutable_data());
  out.iterations = iterations.mutable_data();
  if (posteriors) {
    posterior = py::array_t<float>({frames, static_cast<py::ssize_t>(n)});
    out.posteriors = posterior.mutable_data();
  }
  const double *data = llrs.data();
  {
    py::gil_scoped_release unlocked;
    self.compiled.decode(data, static_cast<int>(frames), out, threads);
  }
  if (posteriors) return py::make_tuple(decisions, satisfied, iterations, posterior);
  return py::make_tuple(decisions, satisfied, iterations);
}

py::object jsonnumber(double x) {
  if (!std::isfinite(x)) return py::none();
  return py::float_(x);
}

// A point as `tanner simulate --json` writes it, under the same keys.
py::dict pointrow(ldpc::channeltype channel, const ldpc::pointresult &r) {
  py::dict row;
  if (channel == ldpc::channeltype::awgn) {
    row["ebn0"] = jsonnumber(r.ebn0);
    row["sigma"] = jsonnumber(r.parameter);
  } else {
    row[ldpc::parametername(channel)] = jsonnumber(r.parameter);
  }
  row["frames"] = r.frames;
  row["frameerrors"] = r.frameerrors;
  row["fer"] = jsonnumber(r.fer);
  row["ferlow"] = jsonnumber(r.ferlow);
  row["ferhigh"] = jsonnumber(r.ferhigh);
  row["biterrors"] = r.biterrors;
  row["ber"] = jsonnumber(r.ber);
  row["undetected"] = r.undetected;
  row["iterations"] = jsonnumber(r.iterations);
  row["mbps"] = jsonnumber(r.mbps);
  return row;
}

// The options of a simulation given as keywords, with their defaults.
struct runoptions {
  std::string decoder = "spa", schedule = "flooding";
  int iterations = 50;
  bool earlystop = true;
  double alpha = 0.75, beta = 0.5;
  std::int64_t maxerrors = 100, maxframes = 1000000;
  double minfer = 0.0;
  int framespergraph = 1000;
  py::object seed = py::int_(1), threads = py::none();
};

runoptions takeoptions(const py::kwargs &options, bool ensemble) {
  runoptions o;
  for (const auto &[key, value] : options) {
    const std::string name = py::str(key);
    if (name == "decoder") o.decoder = value.cast<std::string>();
    else if (name == "schedule") o.schedule = value.cast<std::string>();
    else if (name == "iterations") o.iterations = value.cast<int>();
    else if (name == "early_stop") o.earlystop = value.cast<bool>();
    else if (name == "alpha") o.alpha = value.cast<double>();
    else if (name == "beta") o.beta = value.cast<double>();
    else if (name == "max_errors") o.maxerrors = value.cast<std::int64_t>();
    else if (name == "max_frames") o.maxframes = value.cast<std::int64_t>();
    else if (name == "min_fer") o.minfer = value.cast<double>();
    else if (name == "seed") o.seed = py::reinterpret_borrow<py::object>(value);
    else if (name == "threads") o.threads = py::reinterpret_borrow<py::object>(value);
    else if (name == "frames_per_graph" && ensemble) o.framespergraph = value.cast<int>();
    else throw py::type_error("simulate() got an unexpected keyword argument '" + name + "'");
  }
  return o;
}

// The Monte-Carlo loop on a code or an ensemble, its points in the channel's
// terms, as `tanner simulate` runs it. An ensemble draws its graphs from the
// graph stream, which it holds while its points run.
py::list simulate(const ldpc::codesupply &supply, double designrate,
                  const std::vector<double> &points, const std::string &channel,
                  const py::kwargs &keywords) {
  const runoptions o = takeoptions(keywords, supply.ensemble != nullptr);
  ldpc::simulationsettings settings;
  if (channel == "ebn0" || channel == "sigma")
    settings.channel = ldpc::channeltype::awgn;
  else if (!ldpc::parsechannel(channel == "erasure" ? "bec" : channel == "crossover" ? "bsc" : "",
                               &settings.channel))
    throw py::value_error("points are ebn0, sigma, erasure or crossover, not '" + channel + "'");
  settings.decoder = decoderoptions(o.decoder, o.schedule, o.iterations, o.earlystop, o.alpha,
                                    o.beta);
  if (o.maxerrors < 1) throw py::value_error("max_errors must be at least 1");
  if (o.maxframes < 1) throw py::value_error("max_frames must be at least 1");
  if (o.framespergraph < 1) throw py::value_error("frames_per_graph must be at least 1");
  settings.maxerrors = o.maxerrors;
  settings.maxframes = o.maxframes;
  settings.minfer = o.minfer;
  settings.framespergraph = o.framespergraph;
  settings.threads = threadcount(o.threads);
  unsigned short words[3];
  seedwords(o.seed, words);
  settings.seed = static_cast<std::uint64_t>(words[0]) |
                  static_cast<std::uint64_t>(words[1]) << 16 |
                  static_cast<std::uint64_t>(words[2]) << 32;
  settings.parameters = points;
  if (channel == "ebn0") {
    if (!(designrate > 0))
      throw py::value_error("design rate " + std::to_string(designrate) +
                            " is not positive; give rate");
    settings.ebn0 = points;
    for (double &p : settings.parameters) p = ldpc::sigmafromebn0(p, designrate);
  } else if (channel == "sigma" && designrate > 0) {
    for (double p : points) settings.ebn0.push_back(ldpc::ebn0fromsigma(p, designrate));
  }
  std::vector<ldpc::pointresult> results;
  {
    py::gil_scoped_release unlocked;
    std::unique_lock<std::mutex> hold(streamlock(), std::defer_lock);
    if (supply.ensemble != nullptr) hold.lock();
    results = ldpc::runsimulation(settings, supply);
  }
  py::list rows;
  for (const ldpc::pointresult &r : results) rows.append(pointrow(settings.channel, r));
  return rows;
}

}  // namespace

void binddecoding(py::module_ &m) {
  py::class_<pydecoder>(m, "Decoder", R"(Belief propagation compiled for one graph.

decoder: "spa" (sum-product, float), "minsum", "nms" (normalised, alpha),
"oms" (offset, beta), the min-sum family in 16-bit fixed point; schedule
"flooding" or "layered". LLRs are log P(0)/P(1): positive favours 0.)")
      .def(py::init([](const graph &code, const std::string &decoder,
                       const std::string &schedule, int iterations, bool earlystop,
                       double alpha, double beta) {
             ldpc::decoderoptions options =
                 decoderoptions(decoder, schedule, iterations, earlystop, alpha, beta);
             py::gil_scoped_release unlocked;
             return std::make_unique<pydecoder>(code, options);
           }),
           py::arg("graph"), py::arg("decoder") = "spa", py::arg("schedule") = "flooding",
           py::arg("iterations") = 50, py::arg("early_stop") = true, py::arg("alpha") = 0.75,
           py::arg("beta") = 0.5)
      .def("decode", &decodebatch, py::arg("llrs"), py::arg("threads") = 1,
           py::arg("posteriors") = false,
           R"(Decodes a frames x n batch of channel LLRs. Returns (decisions uint8
frames x n, satisfied bool per frame, iterations int32 per frame), and the
posterior LLRs (float32 frames x n) as a fourth item with posteriors=True.)")
      .def_property_readonly("lanes", [](const pydecoder &self) { return self.compiled.lanes(); },
                             "Frames decoded side by side in one SIMD batch.")
      .def_property_readonly(
          "target", [](const pydecoder &self) { return self.compiled.target(); },
          "The instruction set decode uses.");

  m.def(
      "_simulate",
      [](const graph &code, const std::vector<double> &points, const std::string &channel,
         const py::object &rate, const py::kwargs &options) {
        ldpc::codesupply supply;
        supply.graph = &code.record;
        return simulate(supply, rate.is_none() ? code.record.rate : rate.cast<double>(), points,
                        channel, options);
      },
      py::arg("graph"), py::arg("points"), py::arg("channel") = "ebn0",
      py::arg("rate") = py::none());

  m.def(
      "_simulate_irregular",
      [](std::vector<int> vdeg, std::vector<double> vfrac, std::vector<int> cdeg,
         std::vector<double> cfrac, int length, bool edgefractions,
         const std::vector<double> &points, const std::string &channel, const py::object &rate,
         const py::kwargs &options) {
        ldpc::simulations ensemble =
            irregularrecord(length, vdeg, vfrac, cdeg, cfrac, edgefractions);
        ensemble.newgraph = 1;
        ldpc::codesupply supply;
        supply.ensemble = &ensemble;
        return simulate(supply, rate.is_none() ? ldpc::irregularrate(ensemble) : rate.cast<double>(),
                        points, channel, options);
      },
      py::arg("vdeg"), py::arg("vfrac"), py::arg("cdeg"), py::arg("cfrac"), py::arg("length"),
      py::arg("edge_fractions"), py::arg("points"), py::arg("channel") = "ebn0",
      py::arg("rate") = py::none());

  m.def(
      "_simulate_proto",
      [](const py::object &protofile, int lift, const std::vector<double> &points,
         const std::string &channel, const py::object &rate, const py::kwargs &options) {
        const std::string path = pathstring(protofile);
        if (lift < 1) throw py::value_error("lift must be at least 1");
        protoholder protograph = readproto(path);
        std::string unusable = ldpc::unliftable(protograph.get(), lift);
        if (!unusable.empty()) throw py::value_error(path + ": " + unusable);
        ldpc::simulations ensemble{};
        ensemble.newgraph = 1;
        ensemble.ensemble = 1;
        ensemble.length = lift;
        ensemble.protograph = protograph.get();
        ldpc::codesupply supply;
        supply.ensemble = &ensemble;
        const double designrate =
            1.0 - static_cast<double>(protograph->cnodenum) / protograph->vnodenum;
        return simulate(supply, rate.is_none() ? designrate : rate.cast<double>(), points,
                        channel, options);
      },
      py::arg("protofile"), py::arg("lift"), py::arg("points"), py::arg("channel") = "ebn0",
      py::arg("rate") = py::none());
}

}  // namespace ldpcpython
