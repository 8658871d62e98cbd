// tanner simulate: error rates of a decoder over channel points, for a code
// or an ensemble.

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "cli.h"
#include "graphfile.h"
#include "irregular.h"
#include "montecarlo.h"
#include "outputfile.h"
#include "textio.h"

namespace tanner {

namespace {

const char simulatehelp[] =
    "usage: tanner simulate CODE POINTS [OPTIONS]\n"
    "       tanner simulate irregular --vdeg D,.. --vfrac F,.. --cdeg D,.. --cfrac F,..\n"
    "                                 --length N [--edge-fractions] POINTS [OPTIONS]\n"
    "       tanner simulate proto PROTOFILE --lift L POINTS [OPTIONS]\n"
    "\n"
    "Decodes noisy frames of the all-zero codeword and prints a row per point as\n"
    "soon as it is done: the channel, frames, frame errors, the frame error rate\n"
    "with its 95% Wilson score interval, bit errors, bit error rate, undetected\n"
    "frame errors (decoded to another codeword), average iterations and coded\n"
    "Mb/s (wall clock, noise included). CODE is a code description file or an\n"
    "alist file. For an ensemble a fresh graph is drawn through the library's\n"
    "construction driver every --frames-per-graph frames.\n"
    "\n"
    "POINTS (one of; LIST is START:STOP:STEP or a comma list):\n"
    "  --ebn0 LIST        BPSK over AWGN at Eb/N0 in dB, with the code's design\n"
    "                     rate unless --rate R is given\n"
    "  --sigma LIST       BPSK over AWGN, noise standard deviation\n"
    "  --erasure LIST     binary erasure channel, erasure probability\n"
    "  --crossover LIST   binary symmetric channel, crossover probability\n"
    "\n"
    "OPTIONS:\n"
    "  --decoder spa|minsum|nms|oms   sum-product (float), min-sum, normalised or\n"
    "                     offset min-sum (16-bit fixed point); default spa\n"
    "  --alpha A          nms factor, 0 < A < 1 (default 0.75)\n"
    "  --beta B           oms offset in LLR units (default 0.5)\n"
    "  --schedule flooding|layered    default flooding\n"
    "  --iterations N     maximum iterations (default 50)\n"
    "  --no-early-stop    run every iteration even when the checks are satisfied\n"
    "  --max-errors N     frame errors per point (default 100)\n"
    "  --max-frames N     frames per point at most (default 1000000)\n"
    "  --min-fer F        stop the sweep after a point with FER below F\n"
    "  --frames-per-graph N   ensemble: frames per graph (default 1000)\n"
    "  --seed S           run seed: W0,W1,W2 or an integer below 2^48 (default 1)\n"
    "  --threads N        threads (default: all cores); counts do not depend on it\n"
    "  --graphs           ensemble: print the seed row of every graph drawn\n"
    "  --json FILE        {\"config\": {...}, \"points\": [...]} (whole or not at all)\n"
    "  --csv FILE         the rows as CSV (whole or not at all)\n"
    "  --replay P:F       decode frame F of point P (both from 0) alone: print its\n"
    "                     channel LLRs and the unsatisfied checks per iteration\n"
    "\n"
    "Frame F of point P draws its noise from a state mixed from (seed, P, F), so\n"
    "the counts are the same for any thread count and SIMD width.\n";

const char *const command = "simulate";

struct settings {
  std::string code;      // file, or "irregular" / "proto"
  std::string protofile;
  int length = 0, lift = 0;
  bool edgefractions = false;
  std::vector<int> vdeg, cdeg;
  std::vector<double> vfrac, cfrac;
  std::string pointsoption;
  std::vector<double> points;
  double rate = 0.0;
  bool hasrate = false;
  bool listgraphs = false;
  std::string json, csv;
  long long replaypoint = -1, replayframe = -1;
  unsigned short seed[3] = {1, 0, 0};
  ldpc::simulationsettings run;
};

std::vector<double> parsepoints(const std::string &option, const std::string &text) {
  const std::string::size_type colon = text.find(':');
  if (colon == std::string::npos) return parsedoublelist(command, option, text);
  const std::string::size_type second = text.find(':', colon + 1);
  if (second == std::string::npos) usageerror(command, option + " takes START:STOP:STEP or a comma list");
  const double start = parsedouble(command, option, text.substr(0, colon));
  const double stop = parsedouble(command, option, text.substr(colon + 1, second - colon - 1));
  const double step = parsedouble(command, option, text.substr(second + 1));
  if (!(step > 0) || !(stop >= start) || (stop - start) / step > 100000)
    usageerror(command, option + " " + text + ": STEP must be positive, STOP not below START");
  std::vector<double> values;
  for (long k = 0; start + k * step <= stop + step * 1e-9; ++k) values.push_back(start + k * step);
  return values;
}

long long parsebig(const std::string &option, const std::string &text, long long least) {
  errno = 0;
  char *end = nullptr;
  long long value = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || value < least)
    usageerror(command, option + " takes an integer of at least " + std::to_string(least) +
                            ", not '" + text + "'");
  return value;
}

void parsereplay(const std::string &text, settings *s) {
  const std::string::size_type colon = text.find(':');
  if (colon == std::string::npos) usageerror(command, "--replay takes POINT:FRAME");
  s->replaypoint = parsebig("--replay", text.substr(0, colon), 0);
  s->replayframe = parsebig("--replay", text.substr(colon + 1), 0);
}

// What the options say together: the code or ensemble from the positional
// arguments, points in range, an ensemble complete; the channel of the
// points and the run's seed.
void checksettings(const std::vector<std::string> &positional, settings *target) {
  settings &s = *target;
  if (positional.empty()) usageerror(command, "expects a code file, 'irregular' or 'proto'");
  s.code = positional[0];
  const std::size_t expected = s.code == "proto" ? 2 : 1;
  if (positional.size() != expected) usageerror(command, "unexpected argument " + positional.back());
  if (s.code == "proto") s.protofile = positional[1];
  if (s.points.empty()) usageerror(command, "give the points: --ebn0, --sigma, --erasure or --crossover");
  for (double p : s.points) {
    bool ok = s.pointsoption == "--ebn0" ? std::isfinite(p)
              : s.pointsoption == "--sigma" ? p > 0 && std::isfinite(p)
              : s.pointsoption == "--erasure" ? p >= 0 && p <= 1
                                              : p >= 0 && p <= 0.5;
    if (!ok) usageerror(command, s.pointsoption + " value out of range: " + std::to_string(p));
  }
  if (s.code == "irregular")
    checkdistributionargs(command, {s.vdeg, s.cdeg, s.vfrac, s.cfrac, s.edgefractions}, s.length);
  if (s.code == "proto" && s.lift < 1) usageerror(command, "proto needs --lift");
  if (s.replaypoint >= static_cast<long long>(s.points.size()))
    usageerror(command, "--replay: there are " + std::to_string(s.points.size()) + " points");
  s.run.channel = s.pointsoption == "--erasure"     ? ldpc::channeltype::bec
                  : s.pointsoption == "--crossover" ? ldpc::channeltype::bsc
                                                    : ldpc::channeltype::awgn;
  s.run.seed = static_cast<std::uint64_t>(s.seed[0]) | static_cast<std::uint64_t>(s.seed[1]) << 16 |
               static_cast<std::uint64_t>(s.seed[2]) << 32;
}

settings parse(int argc, char **argv) {
  settings s;
  s.run.threads = std::max(1u, std::thread::hardware_concurrency());
  std::vector<std::string> positional;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) usageerror(command, arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--no-early-stop") {
      s.run.decoder.earlystop = false;
    } else if (arg == "--edge-fractions") {
      s.edgefractions = true;
    } else if (arg == "--graphs") {
      s.listgraphs = true;
    } else if (arg == "--ebn0" || arg == "--sigma" || arg == "--erasure" || arg == "--crossover") {
      if (!s.pointsoption.empty()) usageerror(command, "give one of --ebn0, --sigma, --erasure, --crossover");
      s.pointsoption = arg;
      s.points = parsepoints(arg, value());
    } else if (arg == "--rate") {
      s.rate = parsedouble(command, arg, value());
      s.hasrate = true;
      if (!(s.rate > 0 && s.rate <= 1)) usageerror(command, "--rate lies in (0, 1]");
    } else if (arg == "--decoder") {
      std::string name = value();
      if (!ldpc::parsealgorithm(name, &s.run.decoder.algorithm))
        usageerror(command, "--decoder takes spa, minsum, nms or oms, not '" + name + "'");
    } else if (arg == "--schedule") {
      std::string name = value();
      if (!ldpc::parseschedule(name, &s.run.decoder.schedule))
        usageerror(command, "--schedule takes flooding or layered, not '" + name + "'");
    } else if (arg == "--alpha") {
      s.run.decoder.alpha = parsedouble(command, arg, value());
      if (!(s.run.decoder.alpha > 0 && s.run.decoder.alpha < 1))
        usageerror(command, "--alpha lies strictly between 0 and 1");
    } else if (arg == "--beta") {
      s.run.decoder.beta = parsedouble(command, arg, value());
      if (!(s.run.decoder.beta >= 0 && s.run.decoder.beta < 4096))
        usageerror(command, "--beta lies in [0, 4096)");
    } else if (arg == "--iterations") {
      s.run.decoder.iterations = parsecount(command, arg, value(), 0);
    } else if (arg == "--max-errors") {
      s.run.maxerrors = parsebig(arg, value(), 1);
    } else if (arg == "--max-frames") {
      s.run.maxframes = parsebig(arg, value(), 1);
    } else if (arg == "--min-fer") {
      s.run.minfer = parsedouble(command, arg, value());
    } else if (arg == "--frames-per-graph") {
      s.run.framespergraph = parsecount(command, arg, value(), 1);
    } else if (arg == "--threads") {
      s.run.threads = parsecount(command, arg, value(), 1);
    } else if (arg == "--seed") {
      parseseed(command, value(), s.seed);
    } else if (arg == "--json") {
      s.json = value();
    } else if (arg == "--csv") {
      s.csv = value();
    } else if (arg == "--replay") {
      parsereplay(value(), &s);
    } else if (arg == "--vdeg" || arg == "--cdeg") {
      (arg == "--vdeg" ? s.vdeg : s.cdeg) = parseintlist(command, arg, value());
    } else if (arg == "--vfrac" || arg == "--cfrac") {
      (arg == "--vfrac" ? s.vfrac : s.cfrac) = parsedoublelist(command, arg, value());
    } else if (arg == "--length") {
      s.length = parsecount(command, arg, value(), 1);
    } else if (arg == "--lift") {
      s.lift = parsecount(command, arg, value(), 1);
    } else if (arg.size() > 1 && arg[0] == '-') {
      usageerror(command, "unknown option " + arg);
    } else {
      positional.push_back(arg);
    }
  }
  checksettings(positional, &s);
  return s;
}

std::string jsonnumber(double x) {
  if (!std::isfinite(x)) return "null";
  char text[40];
  std::snprintf(text, sizeof text, "%.10g", x);
  return text;
}

// The columns of a point, in the order of the JSON keys and the CSV header.
std::vector<std::pair<std::string, std::string>> pointfields(const settings &s,
                                                             const ldpc::pointresult &r) {
  std::vector<std::pair<std::string, std::string>> fields;
  if (s.run.channel == ldpc::channeltype::awgn) {
    fields.emplace_back("ebn0", jsonnumber(r.ebn0));
    fields.emplace_back("sigma", jsonnumber(r.parameter));
  } else {
    fields.emplace_back(ldpc::parametername(s.run.channel), jsonnumber(r.parameter));
  }
  auto count = [](std::int64_t v) { return std::to_string(v); };
  fields.emplace_back("frames", count(r.frames));
  fields.emplace_back("frameerrors", count(r.frameerrors));
  fields.emplace_back("fer", jsonnumber(r.fer));
  fields.emplace_back("ferlow", jsonnumber(r.ferlow));
  fields.emplace_back("ferhigh", jsonnumber(r.ferhigh));
  fields.emplace_back("biterrors", count(r.biterrors));
  fields.emplace_back("ber", jsonnumber(r.ber));
  fields.emplace_back("undetected", count(r.undetected));
  fields.emplace_back("iterations", jsonnumber(r.iterations));
  fields.emplace_back("mbps", jsonnumber(r.mbps));
  return fields;
}

void writefile(const std::string &path, const std::string &contents) {
  std::string error;
  switch (ldpc::writewhole(path.c_str(),
                           [&](ldpc::textwriter *out) { ldpc::writetext(out, contents.c_str()); },
                           &error)) {
    case ldpc::writeok:
      return;
    case ldpc::writeopenfailed:
      fail(path + ": cannot open for writing");
    case ldpc::writefailed:
      fail(error);
  }
}

// The code under simulation, or the ensemble as the construction driver
// takes it, with what the header and the JSON say of it. code points into
// the record itself, which is therefore never copied.
struct codeplan {
  ldpc::codesupply code;
  ldpc::graphs *graph = nullptr;
  ldpc::simulations ensemble{};
  std::string description;
  double rate = 0.0;
  int length = 0;
  codeplan() = default;
  codeplan(const codeplan &) = delete;
  codeplan &operator=(const codeplan &) = delete;
};

void planirregular(settings *s, codeplan *plan) {
  ldpc::simulations &ensemble = plan->ensemble;
  ensemble = ldpc::irregularsimulation(s->length, s->vdeg, s->vfrac, s->cdeg, s->cfrac,
                                       s->edgefractions);
  ensemble.newgraph = 1;
  plan->code.ensemble = &ensemble;
  // The construction refuses what its balancing cannot close; ask first.
  std::string refusal = ldpc::refuseirregular(ensemble);
  if (!refusal.empty()) fail(refusal);
  plan->rate = ldpc::irregularrate(ensemble);
  plan->length = s->length;
  plan->description = "irregular ensemble, " + std::to_string(s->length) + " variable nodes asked for";
}

void planproto(const settings &s, codeplan *plan) {
  ldpc::simulations &ensemble = plan->ensemble;
  ensemble.newgraph = 1;
  ensemble.ensemble = 1;
  ensemble.length = s.lift;
  ensemble.protograph = loadprotograph(s.protofile, s.lift);
  plan->code.ensemble = &ensemble;
  plan->rate =
      1.0 - static_cast<double>(ensemble.protograph->cnodenum) / ensemble.protograph->vnodenum;
  plan->length = s.lift * ensemble.protograph->vnodenum;
  plan->description = "protograph ensemble " + s.protofile + " lifted by " + std::to_string(s.lift);
}

void loadcode(const settings &s, codeplan *plan) {
  plan->graph = loadcodefile(s.code);
  plan->code.graph = plan->graph;
  plan->rate = plan->graph->rate;
  plan->length = plan->graph->vnodenum;
  plan->description = s.code;
}

// The code, or the ensemble (over the lists of s); --rate replaces the
// design rate.
void plancode(settings *s, codeplan *plan) {
  if (s->code == "irregular")
    planirregular(s, plan);
  else if (s->code == "proto")
    planproto(*s, plan);
  else
    loadcode(*s, plan);
  if (s->hasrate) plan->rate = s->rate;
}

void releasecode(codeplan *plan) {
  for (ldpc::graphs **graph : {&plan->graph, &plan->ensemble.protograph})
    if (*graph != nullptr) {
      ldpc::freegraph(*graph);
      std::free(*graph);
      *graph = nullptr;
    }
}

// The points as channel parameters, and as Eb/N0 where the rate gives it.
void setchannelpoints(const settings &s, double rate, ldpc::simulationsettings *run) {
  run->parameters = s.points;
  if (s.pointsoption == "--ebn0") {
    if (!(rate > 0)) fail(s.code + ": design rate " + std::to_string(rate) + " is not positive; give --rate");
    run->ebn0 = s.points;
    for (double &p : run->parameters) p = ldpc::sigmafromebn0(p, rate);
  } else if (s.pointsoption == "--sigma" && rate > 0) {
    for (double p : s.points) run->ebn0.push_back(ldpc::ebn0fromsigma(p, rate));
  }
}

// One frame decoded alone: its channel LLRs and the unsatisfied checks per
// iteration.
void replay(const settings &s, const codeplan &plan) {
  endprogress();
  ldpc::replayresult r = ldpc::replayframe(s.run, plan.code, static_cast<int>(s.replaypoint),
                                           s.replayframe);
  std::printf("replay: point %lld (%s %g), frame %lld of %s\n", s.replaypoint,
              s.pointsoption.c_str() + 2, s.points[s.replaypoint], s.replayframe,
              plan.description.c_str());
  if (plan.code.ensemble != nullptr)
    std::printf("graph drawn from graph stream state %s (frames from %" PRId64 ")\n",
                formatseed(r.graph.state).c_str(), r.graph.firstframe);
  std::printf("channel LLRs (%zu bits):\n", r.llr.size());
  for (std::size_t i = 0; i < r.llr.size(); ++i)
    std::printf("%s%9.4f", i % 8 == 0 ? (i == 0 ? "" : "\n") : " ", r.llr[i]);
  std::printf("\niteration  unsatisfied checks\n");
  for (std::size_t k = 0; k < r.unsatisfied.size(); ++k)
    std::printf("%9zu  %d\n", k, r.unsatisfied[k]);
  std::printf("decision: %s, %d iterations, %" PRId64 " bit errors, %d undecided bits\n",
              r.satisfied ? "satisfies every check" : "does not satisfy the checks",
              r.iterations, r.biterrors, r.undecided);
}

// The instruction set the decoder runs on and its frames per batch, as a
// decoder of these options reports them.
struct decodertarget {
  std::string name;
  int lanes = 0;
};

decodertarget probetarget(const ldpc::decoderoptions &options) {
  ldpc::graphs tiny{};
  tiny.vnodenum = 0;
  ldpc::decoder dec(&tiny, options);
  return {dec.target(), dec.lanes()};
}

void printheader(const settings &s, const codeplan &plan, const decodertarget &target) {
  const ldpc::decoderoptions &o = s.run.decoder;
  std::printf("# %s: %d bits, rate %.6g\n", plan.description.c_str(), plan.length, plan.rate);
  std::printf("# decoder %s", ldpc::algorithmname(o.algorithm));
  if (o.algorithm == ldpc::decoderalgorithm::normalizedminsum) std::printf(" alpha %g", o.alpha);
  if (o.algorithm == ldpc::decoderalgorithm::offsetminsum) std::printf(" beta %g", o.beta);
  std::printf(", %s, %d iterations%s; %s, %d frames per batch, %d thread%s; seed %s\n",
              ldpc::schedulename(o.schedule), o.iterations, o.earlystop ? ", early stop" : "",
              target.name.c_str(), target.lanes, s.run.threads, s.run.threads == 1 ? "" : "s",
              formatseed(s.seed).c_str());
  std::printf("# FER interval: 95%% Wilson score; undet: frame errors that satisfy every check\n");
  if (s.run.channel == ldpc::channeltype::awgn)
    std::printf("%7s %8s", "Eb/N0", "sigma");
  else
    std::printf("%9s", ldpc::parametername(s.run.channel));
  std::printf(" %10s %8s %10s %21s %11s %10s %6s %7s %8s\n", "frames", "errors", "FER",
              "FER 95% interval", "bit errors", "BER", "undet", "iters", "Mb/s");
  std::fflush(stdout);
}

void printrow(const settings &s, const ldpc::pointresult &r) {
  if (s.run.channel == ldpc::channeltype::awgn)
    std::printf("%7.3f %8.5f", r.ebn0, r.parameter);
  else
    std::printf("%9.5f", r.parameter);
  std::printf(" %10" PRId64 " %8" PRId64 " %10.3e [%9.3e,%9.3e] %11" PRId64
              " %10.3e %6" PRId64 " %7.2f %8.2f\n",
              r.frames, r.frameerrors, r.fer, r.ferlow, r.ferhigh, r.biterrors, r.ber,
              r.undetected, r.iterations, r.mbps);
  std::fflush(stdout);
}

// Runs the points with progress on the terminal, a row per point as soon as
// it is done, and the graphs drawn gathered into graphs.
std::vector<ldpc::pointresult> runpoints(const settings &s, const codeplan &plan,
                                         std::vector<ldpc::graphrecord> *graphs) {
  startprogress(command);
  ldpc::simulationcallbacks callbacks;
  callbacks.graphdrawn = [&](const ldpc::graphrecord &record) {
    graphs->push_back(record);
    if (s.listgraphs) {
      endprogress();
      std::printf("# graph of point %d from frame %" PRId64 ": --seed %s\n", record.point,
                  record.firstframe, formatseed(record.state).c_str());
      std::fflush(stdout);
      startprogress(command);
    }
  };
  callbacks.progress = [&](const ldpc::pointresult &r) {
    double errors = static_cast<double>(r.frameerrors) / s.run.maxerrors;
    double frames = static_cast<double>(r.frames) / s.run.maxframes;
    showprogress(static_cast<std::int64_t>(1000 * std::min(1.0, std::max(errors, frames))), 1000,
                 command);
  };
  callbacks.pointdone = [&](const ldpc::pointresult &r) {
    endprogress();
    printrow(s, r);
    startprogress(command);
  };
  std::vector<ldpc::pointresult> results = ldpc::runsimulation(s.run, plan.code, callbacks);
  endprogress();
  return results;
}

std::string jsonconfig(const settings &s, const codeplan &plan, const decodertarget &target,
                       const std::vector<ldpc::graphrecord> &graphs) {
  const ldpc::decoderoptions &o = s.run.decoder;
  std::string text = "{\"code\": " + jsonstring(plan.description) +
                     ", \"length\": " + std::to_string(plan.length) + ", \"rate\": " +
                     jsonnumber(plan.rate) + ", \"channel\": " +
                     jsonstring(ldpc::channelname(s.run.channel)) + ", \"decoder\": " +
                     jsonstring(ldpc::algorithmname(o.algorithm)) + ", \"alpha\": " +
                     jsonnumber(o.alpha) + ", \"beta\": " + jsonnumber(o.beta) +
                     ", \"schedule\": " + jsonstring(ldpc::schedulename(o.schedule)) +
                     ", \"iterations\": " + std::to_string(o.iterations) +
                     ", \"earlystop\": " + (o.earlystop ? "true" : "false") +
                     ", \"seed\": " + jsonstring(formatseed(s.seed)) +
                     ", \"maxerrors\": " + std::to_string(s.run.maxerrors) +
                     ", \"maxframes\": " + std::to_string(s.run.maxframes) +
                     ", \"minfer\": " + jsonnumber(s.run.minfer) +
                     ", \"threads\": " + std::to_string(s.run.threads) +
                     ", \"target\": " + jsonstring(target.name) +
                     ", \"lanes\": " + std::to_string(target.lanes) +
                     ", \"interval\": \"wilson 95%\"";
  if (plan.code.ensemble != nullptr) {
    text += ", \"framespergraph\": " + std::to_string(s.run.framespergraph) + ", \"graphs\": [";
    for (std::size_t k = 0; k < graphs.size(); ++k)
      text += std::string(k ? ", " : "") + "{\"point\": " + std::to_string(graphs[k].point) +
              ", \"firstframe\": " + std::to_string(graphs[k].firstframe) +
              ", \"seed\": " + jsonstring(formatseed(graphs[k].state)) + "}";
    text += "]";
  }
  return text + "}";
}

// {"config": {...}, "points": [...]}
std::string jsontext(const settings &s, const codeplan &plan, const decodertarget &target,
                     const std::vector<ldpc::graphrecord> &graphs,
                     const std::vector<ldpc::pointresult> &results) {
  std::string text = "{\"config\": " + jsonconfig(s, plan, target, graphs) + ", \"points\": [";
  for (std::size_t k = 0; k < results.size(); ++k) {
    text += k ? ", {" : "{";
    bool first = true;
    for (const auto &[key, value] : pointfields(s, results[k])) {
      text += (first ? "\"" : ", \"") + key + "\": " + value;
      first = false;
    }
    text += "}";
  }
  return text + "]}\n";
}

// A header line and a line per point; empty without points. Cells that JSON
// writes as null stay empty.
std::string csvtext(const settings &s, const std::vector<ldpc::pointresult> &results) {
  std::string text;
  for (std::size_t k = 0; k < results.size(); ++k) {
    auto fields = pointfields(s, results[k]);
    if (k == 0)
      for (std::size_t j = 0; j < fields.size(); ++j) {
        if (j > 0) text += ',';
        text += fields[j].first;
      }
    text += '\n';
    for (std::size_t j = 0; j < fields.size(); ++j) {
      if (j > 0) text += ',';
      if (fields[j].second != "null") text += fields[j].second;
    }
  }
  return results.empty() ? std::string() : text + "\n";
}

// The table on standard output, then the JSON and CSV files whole.
void sweep(const settings &s, const codeplan &plan) {
  const decodertarget target = probetarget(s.run.decoder);
  printheader(s, plan, target);
  std::vector<ldpc::graphrecord> graphs;
  std::vector<ldpc::pointresult> results = runpoints(s, plan, &graphs);
  if (!s.json.empty()) writefile(s.json, jsontext(s, plan, target, graphs, results));
  if (!s.csv.empty()) writefile(s.csv, csvtext(s, results));
}

}  // namespace

int simulatecommand(int argc, char **argv) {
  for (int i = 0; i < argc; ++i)
    if (ishelp(argv[i])) {
      std::fputs(simulatehelp, stdout);
      return statusok;
    }
  settings s = parse(argc, argv);
  // Output files are checked before any work, and written whole at the end.
  for (const std::string &path : {s.json, s.csv})
    if (!path.empty()) checkwritable(path);
  codeplan plan;
  plancode(&s, &plan);
  setchannelpoints(s, plan.rate, &s.run);
  try {
    if (s.replayframe >= 0)
      replay(s, plan);
    else
      sweep(s, plan);
  } catch (const std::invalid_argument &e) {
    fail(s.code + ": " + e.what());
  }
  releasecode(&plan);
  return statusok;
}

}  // namespace tanner
