// Error floors: the estimator of `tanner floor`, the failing sets of
// `tanner trapping` and the enumeration of `tanner absorbing`, with the same
// settings, checks and JSON keys.
#include <algorithm>
#include <cmath>
#include <thread>
#include <vector>

#include "absorbingsets.h"
#include "bindings.h"
#include "floorestimate.h"
#include "floorledger.h"
#include "montecarlo.h"
#include "simulationcheck.h"
#include "trappingsets.h"

namespace ldpcpython {

namespace {

py::object number(double x) {
  if (!std::isfinite(x)) return py::none();
  return py::float_(x);
}

// The keywords of floor and trapping_sets, taken out of kwargs one by one
// so that an unknown one is a TypeError naming it.
struct keywordtaker {
  py::kwargs given;
  py::object take(const char *name, py::object fallback) {
    if (!given.contains(name)) return fallback;
    py::object value = given[name];
    PyDict_DelItemString(given.ptr(), name);
    return value;
  }
  void finish(const char *function) {
    for (auto item : given)
      throw py::type_error(std::string(function) + "() got an unexpected keyword argument '" +
                           std::string(py::str(item.first)) + "'");
  }
};

// The settings of a run at the points given as Eb/N0 or sigma, checked as
// tanner floor checks them (ValueError with its messages, without the
// dashes of the options).
ldpc::floorsettings floorsettingsof(const graph &code, const std::vector<double> &points,
                                    const std::string &channel, keywordtaker *k) {
  ldpc::floorsettings run;
  ldpc::simulationinputs inputs;
  if (!ldpc::parsepointkind(channel, &inputs.kind) ||
      (inputs.kind != ldpc::pointkind::ebn0 && inputs.kind != ldpc::pointkind::sigma))
    throw py::value_error("the estimator takes ebn0 or sigma points (BPSK over AWGN)");
  inputs.points = points;
  const py::object alpha = k->take("alpha", py::none()), beta = k->take("beta", py::none());
  run.decoder = decoderoptions(py::str(k->take("decoder", py::str("spa"))),
                               py::str(k->take("schedule", py::str("flooding"))),
                               k->take("iterations", py::int_(run.decoder.iterations)),
                               k->take("early_stop", py::bool_(true)).cast<bool>(), alpha, beta,
                               k->take("quantization", py::int_(16)));
  inputs.hasalpha = !alpha.is_none();
  inputs.hasbeta = !beta.is_none();
  const py::object rate = k->take("rate", py::none());
  if (!rate.is_none()) {
    inputs.hasrate = true;
    inputs.rate = pynumber(rate, "rate");
    if (!(inputs.rate > 0 && inputs.rate <= 1))
      throw py::value_error("rate must lie in (0, 1], not " + std::string(py::str(rate)));
  }
  std::string fault = ldpc::pointsfault(inputs.kind, inputs.points, "");
  if (!fault.empty()) throw py::value_error(fault);
  ldpc::simulationsettings channelsettings;
  fault = ldpc::setchannelpoints(inputs, code.record.rate, "", &channelsettings);
  if (!fault.empty()) throw py::value_error(fault);
  run.parameters = channelsettings.parameters;
  run.ebn0 = channelsettings.ebn0;

  unsigned short words[3] = {1, 0, 0};
  const py::object seed = k->take("seed", py::none());
  if (!seed.is_none()) seedwords(seed, words);
  run.seed = static_cast<std::uint64_t>(words[0]) | static_cast<std::uint64_t>(words[1]) << 16 |
             static_cast<std::uint64_t>(words[2]) << 32;
  const py::object threads = k->take("threads", py::none());
  run.threads = threads.is_none()
                    ? static_cast<int>(std::max(1u, std::thread::hardware_concurrency()))
                    : pycount(threads, "threads");
  const py::object decodes = k->take("max_decodes", py::none());
  if (!decodes.is_none()) {
    run.maxdecodes = pyint(decodes, "max_decodes");
    if (run.maxdecodes < 1000)
      throw py::value_error("max_decodes must be at least 1000, not " +
                            std::to_string(run.maxdecodes));
  }
  const py::object precision = k->take("precision", py::none());
  if (!precision.is_none()) {
    run.precision = pynumber(precision, "precision");
    if (!(run.precision > 1))
      throw py::value_error("precision must exceed 1, not " + std::string(py::str(precision)));
  }
  const py::object chains = k->take("chains", py::none());
  if (!chains.is_none()) {
    run.chains.chains = pycount(chains, "chains");
    if (run.chains.chains < 2)
      throw py::value_error("chains must be at least 2, not " + std::to_string(run.chains.chains));
  }
  return run;
}

// Runs the estimator with the interpreter lock released; Ctrl-C stops it
// between steps and raises KeyboardInterrupt.
std::vector<ldpc::floorresult> estimate(const graph &code, const ldpc::floorsettings &run,
                                        ldpc::floorcallbacks callbacks) {
  bool stopped = false;
  callbacks.progress = [&stopped](const ldpc::floorprogress &) {
    stopped = stopped || interrupted();
    return !stopped;
  };
  std::vector<ldpc::floorresult> results;
  {
    py::gil_scoped_release unlocked;
    results = ldpc::runfloor(&code.record, run, callbacks);
  }
  if (stopped) throw interruption();
  return results;
}

// A point as `tanner floor --json` writes it.
py::dict floorrow(const ldpc::floorresult &r) {
  py::dict row;
  row["method"] = "multicanonical";
  row["ebn0"] = number(r.ebn0);
  row["sigma"] = number(r.parameter);
  row["fer"] = number(r.fer);
  row["ferlow"] = number(r.ferlow);
  row["ferhigh"] = number(r.ferhigh);
  row["ber"] = number(r.ber);
  row["berlow"] = number(r.berlow);
  row["berhigh"] = number(r.berhigh);
  row["converged"] = r.converged;
  row["diagnostic"] = r.diagnostic;
  row["decodes"] = r.decodes;
  row["seconds"] = number(r.seconds);
  row["flatness"] = number(r.flatness);
  row["roundtrips"] = number(r.roundtrips);
  row["threshold_sigmas"] = number(r.thresholdsigmas);
  return row;
}

// Direct Monte-Carlo at the first point, as `tanner floor --check` runs it.
py::dict directcheck(const graph &code, const ldpc::floorsettings &run) {
  ldpc::simulationsettings s;
  s.parameters = {run.parameters[0]};
  if (!run.ebn0.empty()) s.ebn0 = {run.ebn0[0]};
  s.decoder = run.decoder;
  s.maxseconds = 0;
  s.threads = run.threads;
  s.seed = run.seed;
  ldpc::codesupply supply;
  supply.graph = &code.record;
  ldpc::simulationcallbacks callbacks;
  callbacks.cancelled = [] { return interrupted(); };
  std::vector<ldpc::pointresult> direct;
  ldpc::sweepend end = ldpc::sweepend::lastpoint;
  {
    py::gil_scoped_release unlocked;
    direct = ldpc::runsimulation(s, supply, callbacks, &end);
  }
  if (end == ldpc::sweepend::cancelled) throw interruption();
  const ldpc::pointresult &d = direct.at(0);
  py::dict row;
  row["method"] = "direct";
  row["ebn0"] = number(d.ebn0);
  row["fer"] = number(d.fer);
  row["ferlow"] = number(d.ferlow);
  row["ferhigh"] = number(d.ferhigh);
  row["frames"] = d.frames;
  row["frameerrors"] = d.frameerrors;
  row["decodes"] = d.frames;
  row["seconds"] = number(d.seconds);
  return row;
}

py::dict trappingreport(const graph &code, double point, const std::string &channel,
                        py::kwargs options) {
  keywordtaker k{std::move(options)};
  const int maxsize = pycount(k.take("max_size", py::int_(12)), "max_size");
  const int top = pycount(k.take("top", py::int_(20)), "top");
  ldpc::floorsettings run = floorsettingsof(code, {point}, channel, &k);
  k.finish("trapping_sets");
  run.chains.wantsets = true;
  ldpc::failurecollector collector(ldpc::listsofgraph(&code.record));
  ldpc::floorcallbacks callbacks;
  callbacks.visit = [&collector](int, const ldpc::chainvisit &v) {
    collector.add(v.state->errorset, v.weight, v.moved);
  };
  const ldpc::floorresult r = estimate(code, run, callbacks).at(0);
  py::dict report;
  report["ebn0"] = number(r.ebn0);
  report["sigma"] = number(r.parameter);
  report["fer"] = number(r.fer);
  report["converged"] = r.converged;
  report["diagnostic"] = r.diagnostic;
  report["distinct"] = collector.distinct();
  py::list sets;
  for (const ldpc::failurerecord &f : collector.records(static_cast<std::size_t>(top), maxsize)) {
    py::dict set;
    set["a"] = f.kind.a;
    set["b"] = f.kind.b;
    set["elementary"] = f.kind.elementary;
    set["absorbing"] = f.kind.absorbing;
    set["samples"] = f.samples;
    set["share"] = number(f.share);
    set["variables"] = f.variables;
    sets.append(set);
  }
  report["sets"] = sets;
  return report;
}

py::dict absorbingreport(const graph &code, const py::object &maxsize, const py::object &keep) {
  ldpc::enumerationsettings settings;
  settings.maxsize = pycount(maxsize, "max_size");
  settings.keepsets = pyint(keep, "keep");
  if (settings.keepsets < 0) throw py::value_error("keep must be at least 0");
  bool stopped = false;
  settings.progress = [&stopped](std::int64_t) {
    stopped = stopped || interrupted();
    return !stopped;
  };
  ldpc::enumerationresult r;
  {
    py::gil_scoped_release unlocked;
    r = ldpc::enumerateabsorbing(ldpc::listsofgraph(&code.record), settings);
  }
  if (stopped) throw interruption();
  py::dict report;
  report["maxsize"] = settings.maxsize;
  py::list counts;
  for (const ldpc::absorbingcount &c : r.counts) {
    py::dict row;
    row["a"] = c.a;
    row["b"] = c.b;
    row["count"] = c.count;
    row["fully"] = c.fully;
    counts.append(row);
  }
  report["counts"] = counts;
  report["examined"] = r.examined;
  report["complete"] = r.complete;
  report["sets"] = r.sets;
  return report;
}

}  // namespace

void bindfloors(py::module_ &m) {
  m.def(
      "_floor",
      [](const graph &code, const std::vector<double> &points, const std::string &channel,
         bool check, py::kwargs options) {
        keywordtaker k{std::move(options)};
        const py::object ledger = k.take("ledger", py::none());
        const bool resume = k.take("resume", py::bool_(false)).cast<bool>();
        const ldpc::floorsettings run = floorsettingsof(code, points, channel, &k);
        k.finish("floor");
        if (resume && ledger.is_none()) throw py::value_error("resume=True needs ledger=PATH");
        // The ledger as tanner floor --ledger writes it (floorledger.h).
        ldpc::floorcallbacks callbacks;
        ldpc::floorledgerwriter writer;
        ldpc::floorledgercontents recorded;
        std::string fault;
        if (!ledger.is_none()) {
          fault = writer.open(py::str(ledger), ldpc::floorconfig(&code.record, run), run, resume,
                              &recorded, {{"command", "ldpcgraph.floor"}});
          if (!fault.empty()) throw py::value_error(fault);
          ldpc::keepinledger(&writer, &recorded, &fault, &callbacks);
        }
        const std::vector<ldpc::floorresult> results = estimate(code, run, callbacks);
        const std::string closing = writer.close();
        if (fault.empty()) fault = closing;
        if (!fault.empty()) throw py::value_error(fault);
        py::list rows;
        for (const ldpc::floorresult &r : results) rows.append(floorrow(r));
        if (check) rows[0]["check"] = directcheck(code, run);
        return rows;
      },
      py::arg("graph"), py::arg("points"), py::arg("channel") = "ebn0", py::arg("check") = false);
  m.def("_trapping_sets", &trappingreport, py::arg("graph"), py::arg("point"),
        py::arg("channel") = "ebn0");
  m.def("_absorbing_sets", &absorbingreport, py::arg("graph"), py::arg("max_size") = 4,
        py::arg("keep") = 100000);
}

}  // namespace ldpcpython
