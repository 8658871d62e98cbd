// Decoding: the library's decoder on numpy batches, and the Monte-Carlo
// loop of `tanner simulate`.
#include <cmath>
#include <stdexcept>
#include <thread>
#include <variant>
#include <vector>

#include "bindings.h"
#include "graphfile.h"
#include "ledgermerge.h"
#include "montecarlo.h"
#include "simulationcheck.h"
#include "simulationledger.h"
#include "standard.h"
#include "transmission.h"
#include "transmitchain.h"

namespace ldpcpython {

namespace {

// The keywords every decoder takes, in the order they are checked (alpha
// and beta None when not given).
void takedecoderkeywords(ldpc::decoderoptions &options, const std::string &algorithm,
                         const std::string &schedule, const py::handle &iterations, bool earlystop,
                         const py::handle &alpha, const py::handle &beta) {
  if (!ldpc::parsealgorithm(algorithm, &options.algorithm))
    throw py::value_error("decoder takes spa, minsum, nms or oms, not '" + algorithm + "'");
  if (!ldpc::parseschedule(schedule, &options.schedule))
    throw py::value_error("schedule takes flooding or layered, not '" + schedule + "'");
  options.iterations = pyint32(iterations, "iterations");
  options.earlystop = earlystop;
  if (!alpha.is_none()) options.alpha = pynumber(alpha, "alpha");
  if (!beta.is_none()) options.beta = pynumber(beta, "beta");
}

}  // namespace

ldpc::decoderoptions decoderoptions(const std::string &algorithm, const std::string &schedule,
                                    const py::handle &iterations, bool earlystop,
                                    const py::handle &alpha, const py::handle &beta,
                                    const py::handle &quantization,
                                    const std::string &approximation) {
  ldpc::decoderoptions options;
  takedecoderkeywords(options, algorithm, schedule, iterations, earlystop, alpha, beta);
  options.quantization = pyint32(quantization, "quantization");
  options.approximation = spaapproximation(approximation);
  const std::string fault = ldpc::decoderfault(options, !alpha.is_none(), !beta.is_none(), "");
  if (!fault.empty()) throw py::value_error(fault);
  return options;
}

ldpc::spaapproximation spaapproximation(const std::string &name) {
  ldpc::spaapproximation approximation;
  if (!ldpc::parseapproximation(name, &approximation))
    throw py::value_error("spa_approximation takes exact or fast, not '" + name + "'");
  return approximation;
}

namespace {

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
    throw py::value_error("llrs must be a 2-D array of frames x " + std::to_string(n) + " bits");
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
py::dict pointrow(ldpc::channeltype channel, const ldpc::pointresult &r, bool coded) {
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
  if (coded) {
    row["infobiterrors"] = r.infobiterrors;
    row["infober"] = jsonnumber(r.infober);
  }
  row["iterations"] = jsonnumber(r.iterations);
  row["stopped"] = ldpc::pointstopname(r.stopped);
  row["mbps"] = jsonnumber(r.mbps);
  return row;
}

// The settings of a simulation from its keywords, with tanner's defaults
// (those of ldpc::simulationsettings), checked as tanner checks them.
// The ledger keywords: ledger (a path or None) and resume.
struct ledgerkeywords {
  std::string path;
  bool resume = false;
};

ldpc::simulationsettings takeoptions(const py::kwargs &options, bool ensemble,
                                     ldpc::simulationinputs *inputs, ledgerkeywords *ledger) {
  ldpc::simulationsettings settings;
  settings.threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  std::string decoder = "spa", schedule = "flooding";
  py::object iterations = py::int_(settings.decoder.iterations), alpha = py::none(),
             beta = py::none(), seed = py::int_(1);
  bool earlystop = true;
  for (const auto &[key, value] : options) {
    const std::string name = py::str(key);
    if (name == "decoder")
      decoder = value.cast<std::string>();
    else if (name == "schedule")
      schedule = value.cast<std::string>();
    else if (name == "iterations")
      iterations = py::reinterpret_borrow<py::object>(value);
    else if (name == "early_stop")
      earlystop = value.cast<bool>();
    else if (name == "alpha")
      alpha = py::reinterpret_borrow<py::object>(value);
    else if (name == "beta")
      beta = py::reinterpret_borrow<py::object>(value);
    else if (name == "quantization")
      settings.decoder.quantization = pyint32(value, name);
    else if (name == "spa_approximation")
      settings.decoder.approximation = spaapproximation(value.cast<std::string>());
    else if (name == "max_errors")
      settings.maxerrors = pyint(value, name);
    else if (name == "max_frames")
      settings.maxframes = pyint(value, name);
    else if (name == "max_seconds")
      settings.maxseconds = pynumber(value, name);
    else if (name == "min_fer")
      settings.minfer = pynumber(value, name);
    else if (name == "all_points")
      settings.stopwithouterrors = !value.cast<bool>();
    else if (name == "seed")
      seed = py::reinterpret_borrow<py::object>(value);
    else if (name == "threads" && !value.is_none())
      settings.threads = pyint32(value, name);
    else if (name == "threads")
      continue;
    else if (name == "ledger" && !value.is_none())
      ledger->path = py::str(value);
    else if (name == "ledger")
      continue;
    else if (name == "resume")
      ledger->resume = value.cast<bool>();
    else if (name == "frames_per_graph" && ensemble)
      settings.framespergraph = pyint32(value, name);
    else
      throw py::type_error("simulate() got an unexpected keyword argument '" + name + "'");
  }
  // The decoder's own checks come with the others, in tanner's order.
  takedecoderkeywords(settings.decoder, decoder, schedule, iterations, earlystop, alpha, beta);
  inputs->hasalpha = !alpha.is_none();
  inputs->hasbeta = !beta.is_none();
  unsigned short words[3];
  seedwords(seed, words);
  settings.seed = static_cast<std::uint64_t>(words[0]) |
                  static_cast<std::uint64_t>(words[1]) << 16 |
                  static_cast<std::uint64_t>(words[2]) << 32;
  return settings;
}

// The run's ledger created (or, with resume, read and gone on with) and its
// hooks added to callbacks, as tanner simulate --ledger does; a fixed code
// only, its transmit chain's settings in chain. The ledger's faults raise
// ValueError with its message.
void openledger(const ldpc::codesupply &supply, const ldpc::transmission *pattern,
                const ldpc::simulationsettings &settings,
                const std::vector<ldpc::configsetting> &chain, const ledgerkeywords &ledger,
                ldpc::ledgerwriter *writer, ldpc::ledgercontents *resumed, ldpc::ledgerfault *fault,
                ldpc::simulationcallbacks *callbacks) {
  if (supply.graph == nullptr)
    throw py::value_error(
        "ledger= records the run of a code; an ensemble's run is recorded by "
        "tanner simulate --ledger");
  ldpc::ledgersubject subject = ldpc::codesubject(supply.graph, settings.decoder);
  subject.chain = chain;
  if (pattern != nullptr) {
    subject.code.push_back({"transmission", ldpc::patternfingerprint(*pattern)});
    subject.length = ldpc::countedbits(*supply.map);
  }
  const ldpc::runconfig config = ldpc::ledgerconfig(settings, subject);
  std::string failure = ldpc::configfault(config);
  if (failure.empty())
    failure = writer->open(ledger.path, config, ldpc::ledgershard{},
                           ledger.resume ? ldpc::ledgermode::resume : ldpc::ledgermode::create,
                           resumed, {{"command", "ldpcgraph.simulate"}});
  if (!failure.empty()) throw py::value_error(failure);
  ldpc::hookledger(writer, resumed, ldpc::ledgershard{}, fault, callbacks);
}

// The rows of merged ledgers as simulate returns them (ebn0 is None: a
// ledger keeps the channel's parameters), with the sweep ended as one
// process ends it.
py::list mergerows(const std::vector<std::string> &paths) {
  std::vector<ldpc::ledgercontents> ledgers(paths.size());
  std::vector<const ldpc::ledgercontents *> views;
  for (std::size_t k = 0; k < paths.size(); ++k) {
    const std::string fault = ldpc::readledger(paths[k], &ledgers[k]);
    if (!fault.empty()) throw py::value_error(fault);
    views.push_back(&ledgers[k]);
  }
  ldpc::mergeresult merged;
  const std::string fault = ldpc::mergeledgers(views, &merged);
  if (!fault.empty()) throw py::value_error(fault);
  if (!merged.verdict.complete) throw py::value_error(merged.shortfall);
  ldpc::simulationsettings settings;
  settings.parameters = merged.config.points;
  // Only their number matters to the information BER.
  settings.infopositions.assign(static_cast<std::size_t>(merged.config.infobits), 0);
  const bool coded = merged.config.infobits > 0;
  bool allpoints = false;
  for (const ldpc::configsetting &c : merged.config.settings) {
    if (c.key == "channel" && std::holds_alternative<std::string>(c.value))
      ldpc::parsechannel(std::get<std::string>(c.value), &settings.channel);
    if (c.key == "allpoints" && std::holds_alternative<bool>(c.value))
      allpoints = std::get<bool>(c.value);
  }
  py::list rows;
  for (std::size_t p = 0; p < merged.verdict.points.size(); ++p) {
    const ldpc::pointstate &state = merged.verdict.points[p].state;
    const ldpc::blocktally &t = state.total;
    ldpc::pointresult r = ldpc::summarisepoint(
        settings, static_cast<int>(p),
        {t.frames, t.frameerrors, t.biterrors, t.undetected, t.iterations, 0.0, t.infobiterrors},
        0.0, 0, static_cast<int>(merged.config.length), merged.config.length);
    r.stopped = state.end == ldpc::pointend::maxerrors ? ldpc::pointstop::errors
                : state.end == ldpc::pointend::givenup ? ldpc::pointstop::seconds
                                                       : ldpc::pointstop::frames;
    rows.append(pointrow(settings.channel, r, coded));
    if (!allpoints && t.frameerrors == 0) break;
  }
  return rows;
}

// simulate's keywords of the transmit chain (tanner simulate --codeword,
// --modulation, --demapper, --fading, --interleave), taken out of the
// others.
struct transmitkeywords {
  bool given = false;
  std::string codeword;  // "" for the default
  ldpc::channelsetup setup;
};

transmitkeywords taketransmit(const py::kwargs &keywords, py::kwargs *rest) {
  transmitkeywords t;
  for (const auto &[key, value] : keywords) {
    const std::string name = py::str(key);
    if (name != "codeword" && name != "modulation" && name != "demapper" && name != "fading" &&
        name != "interleave") {
      (*rest)[key] = value;
      continue;
    }
    t.given = true;
    ldpc::codewordkind codeword;
    if (name == "interleave") {
      // "nr": the interleaver a rate-matched 5G NR code block takes.
      if (py::isinstance<py::str>(value) && value.cast<std::string>() == "nr")
        t.setup.interleave = ldpc::interleaving::nr;
      else
        t.setup.interleave =
            value.cast<bool>() ? ldpc::interleaving::random : ldpc::interleaving::none;
      continue;
    }
    const std::string text = value.cast<std::string>();
    if (name == "codeword" && !ldpc::parsecodeword(text, &codeword))
      throw py::value_error("codeword takes zero or random, not '" + text + "'");
    if (name == "codeword") t.codeword = text;
    if (name == "modulation" && !ldpc::parsemodulation(text, &t.setup.modulation))
      throw py::value_error("modulation takes bpsk, qpsk, 16qam, 64qam or 256qam, not '" + text +
                            "'");
    if (name == "demapper" && !ldpc::parsedemapper(text, &t.setup.demapper))
      throw py::value_error("demapper takes exact or maxlog, not '" + text + "'");
    if (name == "fading") {
      if (text == "fast") {
        t.setup.fading = ldpc::fadingkind::fast;
      } else if (text.rfind("block:", 0) == 0 && text.size() > 6 &&
                 text.find_first_not_of("0123456789", 6) == std::string::npos && text.size() < 16 &&
                 std::stoll(text.substr(6)) >= 1 && std::stoll(text.substr(6)) <= 1 << 30) {
        t.setup.fading = ldpc::fadingkind::block;
        t.setup.blocklength = static_cast<int>(std::stoll(text.substr(6)));
      } else {
        throw py::value_error("fading takes fast or block:L, not '" + text + "'");
      }
    }
  }
  return t;
}

// The frame source of the keywords on a fixed code, as tanner simulate
// makes it; the chain's settings for a ledger (none for the all-zero word
// over BPSK).
std::vector<ldpc::configsetting> plantransmit(const transmitkeywords &t,
                                              const ldpc::codesupply &supply,
                                              const ldpc::encoders *info,
                                              std::shared_ptr<const ldpc::transmission> pattern,
                                              ldpc::simulationsettings *settings) {
  ldpc::codewordkind codeword;
  ldpc::chosencodeword(t.codeword, t.setup, &codeword);
  if (codeword == ldpc::codewordkind::zero && !ldpc::zerowordfault(t.setup).empty())
    throw py::value_error(ldpc::zerowordfault(t.setup));
  auto chain = std::make_shared<ldpc::transmitchain>();
  bool active = false;
  std::string error;
  if (!ldpc::plantransmitchain(codeword, t.setup, settings->channel, settings->parameters,
                               supply.graph, info, chain.get(), &active, &error))
    throw py::value_error(error);
  if (!active) return {};
  if (pattern && !ldpc::setchainpattern(pattern, chain.get(), &error)) throw py::value_error(error);
  settings->framesource = ldpc::framesource(chain);
  if (codeword == ldpc::codewordkind::random) settings->infopositions = ldpc::countedinfo(*chain);
  return ldpc::chainsettings(*chain);
}

// The Monte-Carlo loop on a code or an ensemble, its points in the channel's
// terms, as `tanner simulate` runs it and with its checks. An ensemble draws
// its graphs from the graph stream, which it holds while its points run.
// Ctrl-C ends the run after the blocks in flight with KeyboardInterrupt.
py::list simulate(ldpc::codesupply supply, const ldpc::encoders *encoderinfo, double designrate,
                  const std::vector<double> &points, const std::string &channel,
                  const py::object &rate, const py::kwargs &keywords,
                  std::shared_ptr<const ldpc::transmission> pattern = nullptr) {
  ldpc::simulationinputs inputs;
  if (!ldpc::parsepointkind(channel, &inputs.kind))
    throw py::value_error("points are ebn0, sigma, erasure or crossover, not '" + channel + "'");
  inputs.points = points;
  inputs.hasrate = !rate.is_none();
  if (inputs.hasrate) inputs.rate = pynumber(rate, "rate");
  ledgerkeywords ledger;
  py::kwargs rest;
  const transmitkeywords transmit = taketransmit(keywords, &rest);
  ldpc::simulationsettings settings =
      takeoptions(rest, supply.ensemble != nullptr, &inputs, &ledger);
  std::string fault = ldpc::simulationfault(inputs, settings, "");
  if (fault.empty() && supply.graph != nullptr) fault = ldpc::undecodable(supply.graph);
  if (fault.empty()) fault = ldpc::setchannelpoints(inputs, designrate, "", &settings);
  if (!fault.empty()) throw py::value_error(fault);
  ldpc::framemap map;
  if (pattern) {
    map = ldpc::patternmap(pattern);
    supply.map = &map;
  }
  std::vector<ldpc::configsetting> chain;
  if (transmit.given) {
    if (supply.graph == nullptr)
      throw py::value_error(
          "codeword, modulation, demapper, fading and interleave apply to a code, "
          "not to an ensemble");
    chain = plantransmit(transmit, supply, encoderinfo, pattern, &settings);
  }
  std::vector<ldpc::pointresult> results;
  ldpc::sweepend end = ldpc::sweepend::lastpoint;
  ldpc::simulationcallbacks callbacks;
  callbacks.cancelled = [] { return interrupted(); };
  ldpc::ledgerwriter writer;
  ldpc::ledgercontents resumed;
  ldpc::ledgerfault writefault;
  if (!ledger.path.empty())
    openledger(supply, pattern.get(), settings, chain, ledger, &writer, &resumed, &writefault,
               &callbacks);
  else if (ledger.resume)
    throw py::value_error("resume=True needs ledger=PATH");
  {
    py::gil_scoped_release unlocked;
    std::unique_lock<std::mutex> hold(streamlock(), std::defer_lock);
    if (supply.ensemble != nullptr) hold.lock();
    results = ldpc::runsimulation(settings, supply, callbacks, &end);
  }
  if (writer.isopen()) {
    const std::string closing = writer.close();
    const std::string first = writefault.first();
    if (!first.empty() || !closing.empty()) throw py::value_error(first.empty() ? closing : first);
  }
  if (end == ldpc::sweepend::cancelled) {
    if (PyErr_Occurred() == nullptr) PyErr_SetNone(PyExc_KeyboardInterrupt);
    throw py::error_already_set();
  }
  py::list rows;
  const bool coded = !settings.infopositions.empty();
  for (const ldpc::pointresult &r : results) rows.append(pointrow(settings.channel, r, coded));
  return rows;
}

// Every graph an ensemble draws rid of cycles shorter than girth (0: none)
// while the guard lives, through the construction driver's hook, as
// `tanner simulate --girth` does; the stream lock is held meanwhile.
#ifdef LDPC_PYTHON_SHORTCYCLES
int ensemblegirth = 0;
void conditionensemblegraph(ldpc::graphs *graph, ldpc::simulations *) {
  conditiongirth(graph, ensemblegirth);
}
#endif

class girthguard {
 public:
  explicit girthguard(int girth) {
    if (girth == 0) return;
#ifdef LDPC_PYTHON_SHORTCYCLES
    checkgirth(girth);
    ensemblegirth = girth;
    previous_ = ldpc::setconstructionhook(conditionensemblegraph);
    installed_ = true;
#else
    throw py::value_error("girth needs a build with the cycle removal");
#endif
  }
  ~girthguard() {
    if (installed_) ldpc::setconstructionhook(previous_);
  }
  girthguard(const girthguard &) = delete;
  girthguard &operator=(const girthguard &) = delete;

 private:
  ldpc::constructionhook previous_ = nullptr;
  bool installed_ = false;
};

}  // namespace

// The standard code a request names (family, rate, length, lift, info, rv,
// lbrm: the keywords of ldpcgraph.standard); ValueError with the library's
// message on one the standard does not define.
ldpc::standardcode buildstandardcode(const py::dict &request) {
  ldpc::standardrequest r;
  auto get = [&](const char *key) -> py::object {
    return request.contains(key) ? py::object(request[key]) : py::object(py::none());
  };
  r.family = get("family").cast<std::string>();
  if (!get("rate").is_none()) r.rate = py::str(get("rate"));
  auto count = [&](const char *key, int *value) {
    if (!get(key).is_none()) *value = get(key).cast<int>();
  };
  count("length", &r.length);
  count("lift", &r.lift);
  count("info", &r.info);
  count("rv", &r.rv);
  if (!get("lbrm").is_none()) r.tbslbrm = get("lbrm").cast<std::int64_t>();
  ldpc::standardcode code;
  std::string error;
  bool built = false;
  {
    py::gil_scoped_release unlocked;
    built = ldpc::buildstandard(r, &code, &error);
  }
  if (!built) throw py::value_error(error);
  return code;
}

// What a standard code is: its family and parameters, and its pattern as
// node lists.
py::dict standardfields(const ldpc::standardcode &code) {
  py::dict d;
  d["family"] = code.family;
  d["rate"] = code.rate.empty() ? py::object(py::none()) : py::object(py::str(code.rate));
  d["source"] = code.source;
  d["length"] = code.length;
  d["info"] = code.info;
  d["lift"] = code.lift;
  std::vector<int> punctured, shortened;
  for (std::size_t v = 0; v < code.pattern.state.size(); ++v) {
    if (code.pattern.state[v] == ldpc::bitstate::punctured)
      punctured.push_back(static_cast<int>(v));
    if (code.pattern.state[v] == ldpc::bitstate::shortened)
      shortened.push_back(static_cast<int>(v));
  }
  d["punctured"] = punctured;
  d["shortened"] = shortened;
  d["sent"] = ldpc::sentbits(code.pattern);
  d["order"] = code.pattern.order;
  return d;
}

namespace {

// The Decoder class: one graph's compiled belief propagation.
void binddecoderclass(py::module_ &m) {
  py::class_<pydecoder>(m, "Decoder", R"(Belief propagation compiled for one graph.

decoder: "spa" (sum-product, float), "minsum", "nms" (normalised, alpha,
default 0.8), "oms" (offset, beta, default 0.25), the min-sum family in
16-bit fixed point (quantization=8: 8-bit messages, twice the frames per
batch); alpha and
beta only with their decoder; spa_approximation="fast" (spa only): a
cheaper exponential, division and logarithm in the check rule; schedule
"flooding" or "layered". LLRs are log P(0)/P(1): positive favours 0. A
graph without variable nodes is refused (ValueError).)")
      .def(py::init([](const graph &code, const std::string &decoder, const std::string &schedule,
                       const py::object &iterations, bool earlystop, const py::object &alpha,
                       const py::object &beta, const py::object &quantization,
                       const std::string &approximation) {
             ldpc::decoderoptions options =
                 decoderoptions(decoder, schedule, iterations, earlystop, alpha, beta, quantization,
                                approximation);
             py::gil_scoped_release unlocked;
             return std::make_unique<pydecoder>(code, options);
           }),
           py::arg("graph"), py::arg("decoder") = "spa", py::arg("schedule") = "flooding",
           py::arg("iterations") = 50, py::arg("early_stop") = true, py::arg("alpha") = py::none(),
           py::arg("beta") = py::none(), py::arg("quantization") = 16,
           py::arg("spa_approximation") = "exact")
      .def("decode", &decodebatch, py::arg("llrs"), py::arg("threads") = 1,
           py::arg("posteriors") = false,
           R"(Decodes a frames x n batch of channel LLRs. Returns (decisions uint8
frames x n, satisfied bool per frame, iterations int32 per frame), and the
posterior LLRs (float32 frames x n) as a fourth item with posteriors=True.)")
      .def_property_readonly(
          "lanes", [](const pydecoder &self) { return self.compiled.lanes(); },
          "Frames decoded side by side in one SIMD batch.")
      .def_property_readonly(
          "target", [](const pydecoder &self) { return self.compiled.target(); },
          "The instruction set decode uses.");
}

}  // namespace

void binddecoding(py::module_ &m) {
  binddecoderclass(m);

  m.def("_merge_ledgers", &mergerows, py::arg("paths"));

  m.def(
      "_simulate",
      [](const graph &code, const std::vector<double> &points, const std::string &channel,
         const py::object &rate, const py::object &punctured, const py::object &shortened,
         const py::kwargs &options) {
        ldpc::codesupply supply;
        supply.graph = &code.record;
        if (punctured.is_none() && shortened.is_none())
          return simulate(supply, &code.encoder, code.record.rate, points, channel, rate, options);
        const int n = code.record.vnodenum;
        auto pattern = std::make_shared<ldpc::transmission>(ldpc::sendall(n));
        auto nodes = [](const py::object &list) {
          return list.is_none() ? std::vector<int>() : list.cast<std::vector<int>>();
        };
        std::string error;
        if (!ldpc::markpattern(pattern.get(), nodes(punctured), nodes(shortened), &error))
          throw py::value_error(error);
        if (ldpc::sentbits(*pattern) == 0)
          throw py::value_error("the transmission pattern sends no bit");
        // The information bits of the design rate, less the shortened ones.
        const int info = std::max(0, static_cast<int>(std::lround(code.record.rate * n)) -
                                         ldpc::countstate(*pattern, ldpc::bitstate::shortened));
        return simulate(supply, &code.encoder, static_cast<double>(info) / ldpc::sentbits(*pattern),
                        points, channel, rate, options, pattern);
      },
      py::arg("graph"), py::arg("points"), py::arg("channel") = "ebn0",
      py::arg("rate") = py::none(), py::arg("punctured") = py::none(),
      py::arg("shortened") = py::none());

  m.def(
      "_standard",
      [](const py::dict &request) {
        ldpc::standardcode code = buildstandardcode(request);
        py::dict fields = standardfields(code);
        auto target = std::make_unique<graph>();
        target->record = *code.graph;  // the arrays move to the Python graph
        std::free(code.graph);
        code.graph = nullptr;
        return py::make_tuple(py::cast(std::move(target)), fields);
      },
      py::arg("request"));

  m.def(
      "_simulate_standard",
      [](const py::dict &request, const std::vector<double> &points, const std::string &channel,
         const py::object &rate, const py::kwargs &options) {
        ldpc::standardcode code = buildstandardcode(request);
        std::unique_ptr<ldpc::standardcode, void (*)(ldpc::standardcode *)> owned(
            &code, ldpc::freestandard);
        auto pattern = std::make_shared<const ldpc::transmission>(code.pattern);
        ldpc::codesupply supply;
        supply.graph = code.graph;
        ldpc::encoders none{0, -1, nullptr, nullptr};
        // A rate-matched 5G NR code block is interleaved as its standard does.
        py::kwargs chosen = py::reinterpret_steal<py::kwargs>(PyDict_Copy(options.ptr()));
        if (code.family == "nr" && chosen.contains("interleave") &&
            py::isinstance<py::bool_>(chosen["interleave"]) && chosen["interleave"].cast<bool>())
          chosen["interleave"] = py::str("nr");
        return simulate(supply, &none, static_cast<double>(code.info) / ldpc::sentbits(*pattern),
                        points, channel, rate, chosen, pattern);
      },
      py::arg("request"), py::arg("points"), py::arg("channel") = "ebn0",
      py::arg("rate") = py::none());

  m.def(
      "_simulate_irregular",
      [](std::vector<int> vdeg, std::vector<double> vfrac, std::vector<int> cdeg,
         std::vector<double> cfrac, const py::object &length, bool edgefractions,
         const py::object &girth, const std::vector<double> &points, const std::string &channel,
         const py::object &rate, const py::kwargs &options) {
        ldpc::simulations ensemble =
            irregularrecord(pycount(length, "length"), vdeg, vfrac, cdeg, cfrac, edgefractions);
        ensemble.newgraph = 1;
        ldpc::codesupply supply;
        supply.ensemble = &ensemble;
        girthguard conditioned(static_cast<int>(pyint(girth, "girth")));
        return simulate(supply, nullptr, ldpc::irregularrate(ensemble), points, channel, rate,
                        options);
      },
      py::arg("vdeg"), py::arg("vfrac"), py::arg("cdeg"), py::arg("cfrac"), py::arg("length"),
      py::arg("edge_fractions"), py::arg("girth"), py::arg("points"), py::arg("channel") = "ebn0",
      py::arg("rate") = py::none());

  m.def(
      "_simulate_proto",
      [](const py::object &protofile, const py::object &liftvalue, const py::object &girth,
         const std::vector<double> &points, const std::string &channel, const py::object &rate,
         const py::kwargs &options) {
        const std::string path = pathstring(protofile);
        const int lift = pycount(liftvalue, "lift");
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
        girthguard conditioned(static_cast<int>(pyint(girth, "girth")));
        return simulate(supply, nullptr, designrate, points, channel, rate, options);
      },
      py::arg("protofile"), py::arg("lift"), py::arg("girth"), py::arg("points"),
      py::arg("channel") = "ebn0", py::arg("rate") = py::none());
}

}  // namespace ldpcpython
