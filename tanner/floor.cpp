// tanner floor, trapping and absorbing: frame error rates far below the
// reach of direct simulation, the failing sets behind them, and the small
// absorbing sets of a code.

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "absorbingsets.h"
#include "cli.h"
#include "floorestimate.h"
#include "floorledger.h"
#include "graphfile.h"
#include "montecarlo.h"
#include "optiontable.h"
#include "outputfile.h"
#include "simulationcheck.h"
#include "textio.h"
#include "trappingsets.h"

namespace tanner {

namespace {

const char floorhelp[] =
    "usage: tanner floor CODE POINTS [OPTIONS]\n"
    "\n"
    "Estimates the frame and bit error rates of a decoder at each point by\n"
    "multicanonical Monte-Carlo in the dual adaptive form (docs/floors.md): an\n"
    "exact law of the noise energy, a stratum of independent frames above a\n"
    "threshold, and flat-histogram chains on the failing noise below it. Prints\n"
    "a row per point: Eb/N0 and sigma, the FER with its interval (jackknife\n"
    "over independent chains, Student's quantile), the BER, decoder calls,\n"
    "seconds, and whether the estimate converged. BPSK over AWGN only.\n"
    "\n"
    "POINTS: --ebn0 LIST (dB, with the design rate unless --rate R) or\n"
    "--sigma LIST; LIST is START:STOP:STEP or a comma list.\n"
    "\n"
    "OPTIONS:\n"
    "  --decoder spa|minsum|nms|oms, --alpha A, --beta B, --iterations N,\n"
    "  --schedule flooding|layered, --no-early-stop, --rate R, --seed S,\n"
    "  --threads N       as tanner simulate (estimates do not depend on --threads)\n"
    "  --max-decodes N   decoder calls per point, all phases (default 20000000)\n"
    "  --precision P     stop a point when FERhigh / FERlow < P (default 2)\n"
    "  --chains C        chains per point (default 64)\n"
    "  --check           also direct Monte-Carlo at the first point (the highest\n"
    "                    FER), 100 frame errors or 1000000 frames, printed beside\n"
    "  --progress        progress also when standard error is not a terminal\n"
    "  --ledger FILE     record every finished point in FILE (docs/floors.md)\n"
    "  --resume          go on with the ledger of --ledger: its points are taken\n"
    "                    as recorded, the others estimated; rows and JSON as\n"
    "                    without the interruption\n"
    "  --json FILE       {\"config\": {...}, \"points\": [...]} (whole or not at all)\n"
    "\n"
    "Exit status: 0 every point converged, 1 a point did not converge (its row\n"
    "says NOT CONVERGED and why; a warning on standard error) or a failure,\n"
    "2 usage error.\n";

const char trappinghelp[] =
    "usage: tanner trapping CODE [--ebn0 X | --sigma X] [OPTIONS]\n"
    "\n"
    "Runs the estimator at one point (default --ebn0 4) and classifies the\n"
    "failing sets of variable nodes its chains visit, weighted by their\n"
    "importance: each set with a = its nodes, b = odd-degree checks of its\n"
    "induced subgraph, whether it is elementary and absorbing, how often it\n"
    "was seen and its share of the failures. Decoder options as tanner floor.\n"
    "\n"
    "  --max-size A      list sets of at most A nodes (default 12)\n"
    "  --top K           list at most K sets (default 20)\n"
    "  --json            the report as JSON on standard output\n"
    "\n"
    "Exit status: 0, or 1 when the estimate did not converge (a warning says so).\n";

const char absorbinghelp[] =
    "usage: tanner absorbing CODE [--max-size A] [--json]\n"
    "\n"
    "Enumerates exactly the connected elementary absorbing sets of at most A\n"
    "variable nodes (default 4) and prints their counts by (a, b), with the\n"
    "fully absorbing ones. The work grows as n (dv (dc - 1))^A / A!: small\n"
    "codes or small A.\n";

struct flooroptions {
  std::string code;
  ldpc::simulationinputs inputs;
  ldpc::floorsettings run;
  unsigned short seed[3] = {1, 0, 0};
  bool check = false, progress = false, jsonout = false, resume = false;
  std::string json, ledger;
  std::vector<std::string> args;
  int maxsize = 0, top = 20;
  std::set<std::string> given;
};

std::string format(const char *pattern, double x) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, x);
  return text;
}

std::string jsonnumber(double x) { return std::isfinite(x) ? format("%.17g", x) : "null"; }

std::vector<double> parsepointlist(const std::string &command, const std::string &option,
                                   const std::string &text) {
  const std::string::size_type colon = text.find(':');
  if (colon == std::string::npos) return parsedoublelist(command, option, text);
  const std::vector<double> range = parsedoublelist(command, option, [&] {
    std::string list = text;
    for (char &c : list) c = c == ':' ? ',' : c;
    return list;
  }());
  if (range.size() != 3 || !(range[2] > 0) || range[1] < range[0])
    usageerror(command, option + " takes START:STOP:STEP with STEP > 0 and STOP >= START");
  std::vector<double> points;
  for (int i = 0; range[0] + i * range[2] <= range[1] + 1e-9 * range[2]; ++i) {
    if (points.size() >= ldpc::maxpoints) usageerror(command, option + ": too many points");
    points.push_back(range[0] + i * range[2]);
  }
  return points;
}

// The decoder's options and the channel points of floor and trapping.
std::vector<optionentry> decoderoptions(const std::string &command, bool trapping,
                                        flooroptions *o) {
  ldpc::decoderoptions &d = o->run.decoder;
  std::vector<optionentry> table = {
      {"--no-early-stop", optionkind::flag, "", [&d](const std::string &) { d.earlystop = false; }},
      {"--decoder", optionkind::text, "",
       [command, &d](const std::string &v) {
         if (!ldpc::parsealgorithm(v, &d.algorithm))
           usageerror(command, "--decoder takes spa, minsum, nms or oms, not " + v);
       }},
      {"--schedule", optionkind::text, "",
       [command, &d](const std::string &v) {
         if (!ldpc::parseschedule(v, &d.schedule))
           usageerror(command, "--schedule takes flooding or layered, not " + v);
       }},
      {"--alpha", optionkind::real, "",
       [command, o](const std::string &v) {
         o->run.decoder.alpha = parsedouble(command, "--alpha", v);
         o->inputs.hasalpha = true;
       }},
      {"--beta", optionkind::real, "",
       [command, o](const std::string &v) {
         o->run.decoder.beta = parsedouble(command, "--beta", v);
         o->inputs.hasbeta = true;
       }},
      {"--iterations", optionkind::integer, "",
       [command, &d](const std::string &v) {
         d.iterations = parseint(command, "--iterations", v);
       }},
      {"--rate", optionkind::real, "",
       [command, o](const std::string &v) {
         o->inputs.rate = parsedouble(command, "--rate", v);
         o->inputs.hasrate = true;
       }},
  };
  for (const char *name : {"--ebn0", "--sigma"})
    table.push_back({name, optionkind::list, "", [=](const std::string &v) {
                       const std::string arg = name;
                       if (o->given.count(arg == "--ebn0" ? "--sigma" : "--ebn0"))
                         usageerror(command, "give --ebn0 or --sigma, not both");
                       o->inputs.kind =
                           arg == "--ebn0" ? ldpc::pointkind::ebn0 : ldpc::pointkind::sigma;
                       o->inputs.points = trapping
                                              ? std::vector<double>{parsedouble(command, arg, v)}
                                              : parsepointlist(command, arg, v);
                     }});
  return table;
}

// The estimate's options, and the outputs of floor or the listing of trapping.
std::vector<optionentry> estimateoptions(const std::string &command, bool trapping,
                                         flooroptions *o) {
  auto count = [command](const char *name, int least, auto *target) {
    return optionentry{name, optionkind::integer, "", [=](const std::string &v) {
                         *target = parsecount(command, name, v, least);
                       }};
  };
  auto flag = [](const char *name, bool *target) {
    return optionentry{name, optionkind::flag, "",
                       [target](const std::string &) { *target = true; }};
  };
  std::vector<optionentry> table = {
      flag("--progress", &o->progress),
      {"--seed", optionkind::text, "",
       [command, o](const std::string &v) { parseseed(command, v, o->seed); }},
      count("--threads", 1, &o->run.threads),
      count("--max-decodes", 1000, &o->run.maxdecodes),
      {"--precision", optionkind::real, "",
       [command, o](const std::string &v) {
         o->run.precision = parsedouble(command, "--precision", v);
         if (!(o->run.precision > 1)) usageerror(command, "--precision must exceed 1, not " + v);
       }},
      count("--chains", 2, &o->run.chains.chains),
  };
  if (trapping) {
    table.push_back(flag("--json", &o->jsonout));
    table.push_back(count("--max-size", 1, &o->maxsize));
    table.push_back(count("--top", 1, &o->top));
    return table;
  }
  table.push_back(flag("--check", &o->check));
  table.push_back(flag("--resume", &o->resume));
  table.push_back({"--json", optionkind::text, "", [o](const std::string &v) { o->json = v; }});
  table.push_back({"--ledger", optionkind::text, "", [command, o](const std::string &v) {
                     if (v.empty()) usageerror(command, "--ledger takes a file");
                     o->ledger = v;
                   }});
  return table;
}

// The options of floor and trapping; which takes which is told by the
// command name. Each option once ("NAME given twice", before anything else
// is looked at, also for an option the command does not know).
flooroptions parsefloor(const std::string &command, const char *help, int argc, char **argv) {
  flooroptions o;
  o.run.threads = std::max(1u, std::thread::hardware_concurrency());
  const bool trapping = command == "trapping";
  auto once = [&](const std::string &arg) {
    if (!o.given.insert(arg).second) usageerror(command, arg + " given twice");
  };
  std::vector<optionentry> table = decoderoptions(command, trapping, &o);
  const std::vector<optionentry> more = estimateoptions(command, trapping, &o);
  table.insert(table.end(), more.begin(), more.end());
  for (optionentry &entry : table) entry.named = [&once, name = entry.name] { once(name); };
  argumentrules rules;
  rules.isoption = [](const std::string &arg) { return arg.rfind("--", 0) == 0; };
  rules.positional = [&](const std::string &arg) {
    if (!o.code.empty()) usageerror(command, "one CODE only, not also " + arg);
    o.code = arg;
  };
  // floor's --check takes no value in trapping either.
  rules.unknown = [&](const std::string &arg, const char *next) -> int {
    once(arg);
    if (arg == "--check" || next != nullptr) usageerror(command, "unknown option " + arg);
    usageerror(command, arg + " needs a value");
  };
  applyoptions(command.c_str(), help, table, argc, argv, rules);
  if (o.code.empty()) usageerror(command, "CODE is missing");
  if (o.resume && o.ledger.empty()) usageerror(command, "--resume needs --ledger FILE");
  if (o.inputs.points.empty()) {
    if (!trapping) usageerror(command, "the points are missing: --ebn0 LIST or --sigma LIST");
    o.inputs.points = {4.0};
  }
  if (!trapping) o.maxsize = 0;
  std::string fault = ldpc::pointsfault(o.inputs.kind, o.inputs.points, "--");
  if (fault.empty())
    fault = ldpc::decoderfault(o.run.decoder, o.inputs.hasalpha, o.inputs.hasbeta, "--");
  if (!fault.empty()) usageerror(command, fault);
  if (o.inputs.hasrate && !(o.inputs.rate > 0 && o.inputs.rate <= 1))
    usageerror(command, "--rate must lie in (0, 1], not " + format("%g", o.inputs.rate));
  o.run.seed = static_cast<std::uint64_t>(o.seed[0]) | static_cast<std::uint64_t>(o.seed[1]) << 16 |
               static_cast<std::uint64_t>(o.seed[2]) << 32;
  checkdistinctfiles(command, {{"the code", o.code}}, {{"--json", o.json}, {"--ledger", o.ledger}});
  o.args.assign(argv, argv + argc);
  return o;
}

// The points as sigma, Eb/N0 beside them, as simulate sets them.
void setpoints(const std::string &command, const ldpc::graphs *graph, flooroptions *o) {
  ldpc::simulationsettings channel;
  const std::string fault = ldpc::setchannelpoints(o->inputs, graph->rate, "--", &channel);
  if (!fault.empty()) usageerror(command, fault);
  o->run.parameters = channel.parameters;
  o->run.ebn0 = channel.ebn0;
}

struct ownedcode {
  ldpc::graphs *graph;
  ~ownedcode() {
    ldpc::freegraph(graph);
    std::free(graph);
  }
};

std::string floorrow(const ldpc::floorresult &r) {
  char row[256];
  std::snprintf(row, sizeof row,
                "%7.3f  %.5f  %.3e  [%.3e, %.3e]  %.3e  %12" PRId64 "  %8.1f  %s\n", r.ebn0,
                r.parameter, r.fer, r.ferlow, r.ferhigh, r.ber, r.decodes, r.seconds,
                r.converged ? "converged" : "NOT CONVERGED");
  std::string text = row;
  if (!r.converged) text += "    " + (r.diagnostic.empty() ? "stopped" : r.diagnostic) + "\n";
  return text;
}

std::string floorjson(const flooroptions &o, const std::vector<ldpc::floorresult> &results,
                      const std::vector<ldpc::pointresult> &checks) {
  std::string j = "{\"config\": {\"command\": \"floor\", \"code\": " + jsonstring(o.code) +
                  ", \"method\": \"multicanonical\", \"interval\": \"jackknife over chains\"" +
                  ", \"decoder\": " + jsonstring(ldpc::algorithmname(o.run.decoder.algorithm)) +
                  ", \"schedule\": " + jsonstring(ldpc::schedulename(o.run.decoder.schedule)) +
                  ", \"iterations\": " + std::to_string(o.run.decoder.iterations) +
                  ", \"seed\": " + jsonstring(formatseed(o.seed)) +
                  ", \"chains\": " + std::to_string(o.run.chains.chains) +
                  ", \"confidence\": " + jsonnumber(o.run.confidence) + "}, \"points\": [";
  for (std::size_t i = 0; i < results.size(); ++i) {
    const ldpc::floorresult &r = results[i];
    j += std::string(i ? ", " : "") +
         "{\"method\": \"multicanonical\", \"ebn0\": " + jsonnumber(r.ebn0) +
         ", \"sigma\": " + jsonnumber(r.parameter) + ", \"fer\": " + jsonnumber(r.fer) +
         ", \"ferlow\": " + jsonnumber(r.ferlow) + ", \"ferhigh\": " + jsonnumber(r.ferhigh) +
         ", \"ber\": " + jsonnumber(r.ber) + ", \"berlow\": " + jsonnumber(r.berlow) +
         ", \"berhigh\": " + jsonnumber(r.berhigh) +
         ", \"converged\": " + (r.converged ? "true" : "false") +
         ", \"diagnostic\": " + jsonstring(r.diagnostic) +
         ", \"decodes\": " + std::to_string(r.decodes) + ", \"seconds\": " + jsonnumber(r.seconds) +
         ", \"flatness\": " + jsonnumber(r.flatness) +
         ", \"roundtrips\": " + jsonnumber(r.roundtrips) +
         ", \"threshold_sigmas\": " + jsonnumber(r.thresholdsigmas) + "}";
  }
  j += "]";
  if (!checks.empty()) {
    const ldpc::pointresult &d = checks[0];
    j += ", \"check\": {\"method\": \"direct\", \"ebn0\": " + jsonnumber(d.ebn0) +
         ", \"fer\": " + jsonnumber(d.fer) + ", \"ferlow\": " + jsonnumber(d.ferlow) +
         ", \"ferhigh\": " + jsonnumber(d.ferhigh) + ", \"frames\": " + std::to_string(d.frames) +
         ", \"frameerrors\": " + std::to_string(d.frameerrors) +
         ", \"decodes\": " + std::to_string(d.frames) + ", \"seconds\": " + jsonnumber(d.seconds) +
         "}";
  }
  return j + "}\n";
}

ldpc::floorcallbacks progresscallbacks(std::size_t points) {
  ldpc::floorcallbacks cb;
  cb.progress = [points](const ldpc::floorprogress &p) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "point %d of %zu: %s, %" PRId64 " of at most %" PRId64 " decoder calls",
                  p.point + 1, points, p.phase, p.decodes, p.maxdecodes);
    showprogresstext(text);
    return true;
  };
  return cb;
}

// Direct Monte-Carlo at the first point, as simulate runs it.
std::vector<ldpc::pointresult> directcheck(const flooroptions &o, const ldpc::graphs *graph) {
  ldpc::simulationsettings s;
  s.parameters = {o.run.parameters[0]};
  if (!o.run.ebn0.empty()) s.ebn0 = {o.run.ebn0[0]};
  s.decoder = o.run.decoder;
  s.maxseconds = 0;
  s.threads = o.run.threads;
  s.seed = o.run.seed;
  ldpc::codesupply supply;
  supply.graph = graph;
  return ldpc::runsimulation(s, supply);
}

// The estimator's run; a setting it refuses ends the process with status 1
// and its message.
std::vector<ldpc::floorresult> runestimator(const ldpc::graphs *graph,
                                            const ldpc::floorsettings &run,
                                            const ldpc::floorcallbacks &callbacks) {
  try {
    return ldpc::runfloor(graph, run, callbacks);
  } catch (const std::invalid_argument &e) {
    endprogress();
    fail(e.what());
  }
}

}  // namespace

int floorcommand(int argc, char **argv) {
  const std::string command = "floor";
  helpfirst(floorhelp, argc, argv);
  flooroptions o = parsefloor(command, floorhelp, argc, argv);
  if (!o.json.empty()) checkwritable(o.json);
  ownedcode code{loadcodefile(o.code)};
  setpoints(command, code.graph, &o);
  ldpc::floorcallbacks callbacks = progresscallbacks(o.run.parameters.size());
  ldpc::floorledgerwriter ledger;
  ldpc::floorledgercontents recorded;
  std::string ledgerfault;
  if (!o.ledger.empty()) {
    std::string line = "tanner floor";
    for (const std::string &arg : o.args) line += " " + arg;
    const std::string fault = ledger.open(o.ledger, ldpc::floorconfig(code.graph, o.run), o.run,
                                          o.resume, &recorded, {{"command", line}});
    if (!fault.empty()) fail(fault);
    ldpc::keepinledger(&ledger, &recorded, &ledgerfault, &callbacks);
  }
  startprogress("floor");
  if (o.progress) forceprogress();
  const std::vector<ldpc::floorresult> results = runestimator(code.graph, o.run, callbacks);
  if (!o.ledger.empty()) {
    const std::string fault = ledger.close();
    if (!ledgerfault.empty()) fail(ledgerfault);
    if (!fault.empty()) fail(fault);
  }
  std::vector<ldpc::pointresult> checks;
  if (o.check) checks = directcheck(o, code.graph);
  endprogress();
  std::printf(
      "#  Eb/N0    sigma    FER        [FERlow, FERhigh] (95%%)    BER    decoder calls"
      "   seconds\n");
  bool converged = true;
  for (const ldpc::floorresult &r : results) {
    std::fputs(floorrow(r).c_str(), stdout);
    converged &= r.converged;
  }
  if (!checks.empty())
    std::printf("# direct at %.3f dB: FER %.3e [%.3e, %.3e], %" PRId64 " errors in %" PRId64
                " frames, %.1f s\n",
                checks[0].ebn0, checks[0].fer, checks[0].ferlow, checks[0].ferhigh,
                checks[0].frameerrors, checks[0].frames, checks[0].seconds);
  flushoutput();
  if (!o.json.empty()) writetextfile(o.json, floorjson(o, results, checks));
  if (!converged)
    std::fprintf(stderr,
                 "tanner floor: warning: an estimate did not converge; its figures are "
                 "not to be trusted (see its row)\n");
  finish(converged ? statusok : statusfailed);
}

int trappingcommand(int argc, char **argv) {
  const std::string command = "trapping";
  helpfirst(trappinghelp, argc, argv);
  flooroptions o = parsefloor(command, trappinghelp, argc, argv);
  if (o.maxsize == 0) o.maxsize = 12;
  ownedcode code{loadcodefile(o.code)};
  setpoints(command, code.graph, &o);
  o.run.chains.wantsets = true;
  ldpc::failurecollector collector(ldpc::listsofgraph(code.graph));
  ldpc::floorcallbacks cb = progresscallbacks(1);
  cb.visit = [&](int, const ldpc::chainvisit &v) {
    collector.add(v.state->errorset, v.weight, v.moved);
  };
  startprogress("trapping");
  if (o.progress) forceprogress();
  const ldpc::floorresult r = runestimator(code.graph, o.run, cb)[0];
  endprogress();
  const std::vector<ldpc::failurerecord> records =
      collector.records(static_cast<std::size_t>(o.top), o.maxsize);
  std::string out;
  if (o.jsonout) {
    out = "{\"ebn0\": " + jsonnumber(r.ebn0) + ", \"sigma\": " + jsonnumber(r.parameter) +
          ", \"fer\": " + jsonnumber(r.fer) +
          ", \"converged\": " + (r.converged ? "true" : "false") +
          ", \"distinct\": " + std::to_string(collector.distinct()) + ", \"sets\": [";
    for (std::size_t i = 0; i < records.size(); ++i) {
      const ldpc::failurerecord &f = records[i];
      out += std::string(i ? ", " : "") + "{\"a\": " + std::to_string(f.kind.a) +
             ", \"b\": " + std::to_string(f.kind.b) +
             ", \"elementary\": " + (f.kind.elementary ? "true" : "false") +
             ", \"absorbing\": " + (f.kind.absorbing ? "true" : "false") +
             ", \"samples\": " + std::to_string(f.samples) + ", \"share\": " + jsonnumber(f.share) +
             ", \"variables\": [";
      for (std::size_t k = 0; k < f.variables.size(); ++k)
        out.append(k ? ", " : "").append(std::to_string(f.variables[k]));
      out += "]}";
    }
    out += "]}\n";
  } else {
    out = format("# %.3f dB", r.ebn0) + format(", FER %.3e", r.fer) +
          (r.converged ? "" : " (NOT CONVERGED)") + ", " + std::to_string(collector.distinct()) +
          " distinct failing sets\n#   a   b  elementary  absorbing   samples     share  nodes\n";
    for (const ldpc::failurerecord &f : records) {
      char row[96];
      std::snprintf(row, sizeof row, "%5d %3d  %-10s  %-9s  %8" PRId64 "  %8.4f ", f.kind.a,
                    f.kind.b, f.kind.elementary ? "yes" : "no", f.kind.absorbing ? "yes" : "no",
                    f.samples, f.share);
      out += row;
      for (int v : f.variables) out.append(1, ' ').append(std::to_string(v));
      out += "\n";
    }
  }
  std::fputs(out.c_str(), stdout);
  if (!r.converged)
    std::fprintf(stderr,
                 "tanner trapping: warning: the estimate did not converge (%s); the "
                 "shares are not to be trusted\n",
                 r.diagnostic.c_str());
  finish(r.converged ? statusok : statusfailed);
}

int absorbingcommand(int argc, char **argv) {
  const std::string command = "absorbing";
  helpfirst(absorbinghelp, argc, argv);
  std::string path;
  ldpc::enumerationsettings settings;
  settings.maxsize = 4;
  bool json = false;
  const std::vector<optionentry> table = {
      {"--json", optionkind::flag, "", [&json](const std::string &) { json = true; }},
      {"--max-size", optionkind::integer, "",
       [&](const std::string &v) { settings.maxsize = parsecount(command, "--max-size", v, 1); }}};
  argumentrules rules;
  rules.isoption = [](const std::string &arg) { return arg.rfind("--", 0) == 0; };
  rules.positional = [&](const std::string &arg) {
    if (!path.empty()) usageerror(command, "one CODE only, not also " + arg);
    path = arg;
  };
  applyoptions(command.c_str(), absorbinghelp, table, argc, argv, rules);
  if (path.empty()) usageerror(command, "CODE is missing");
  ownedcode code{loadcodefile(path)};
  startprogress("absorbing");
  settings.progress = [](std::int64_t examined) {
    showprogresstext(std::to_string(examined) + " sets examined");
    return true;
  };
  settings.keepsets = 0;
  const ldpc::enumerationresult r =
      ldpc::enumerateabsorbing(ldpc::listsofgraph(code.graph), settings);
  endprogress();
  std::string out = json ? "{\"maxsize\": " + std::to_string(settings.maxsize) + ", \"counts\": ["
                         : "#   a   b     count     fully\n";
  for (std::size_t i = 0; i < r.counts.size(); ++i) {
    const ldpc::absorbingcount &c = r.counts[i];
    if (json) {
      out += std::string(i ? ", " : "") + "{\"a\": " + std::to_string(c.a) +
             ", \"b\": " + std::to_string(c.b) + ", \"count\": " + std::to_string(c.count) +
             ", \"fully\": " + std::to_string(c.fully) + "}";
    } else {
      char row[80];
      std::snprintf(row, sizeof row, "%5d %3d  %8" PRId64 "  %8" PRId64 "\n", c.a, c.b, c.count,
                    c.fully);
      out += row;
    }
  }
  out += json ? "], \"examined\": " + std::to_string(r.examined) + "}\n"
              : "# " + std::to_string(r.examined) + " connected elementary sets examined\n";
  std::fputs(out.c_str(), stdout);
  finish(statusok);
}

}  // namespace tanner
