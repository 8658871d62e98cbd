// errorfloorbench: the error-floor estimator on codes with clear floors,
// beside direct Monte-Carlo where that is feasible, and its coverage over
// repeated runs with different seeds.
//
// usage: errorfloorbench [options]
//   --code 10gbase-t | FAMILY:RATE[:LENGTH[:LIFT]] | array:P:GAMMA:K
//                          the code (default 10gbase-t): a code of the codes
//                          library (dvbs2-short:8/9, nr-bg1:1/3::96, ...) or
//                          an array code
//   --decoder spa|minsum|nms|oms  --schedule flooding|layered
//   --alpha A  --beta B  --iterations I  --noearlystop
//   --ebn0 LIST            points, comma-separated (default 4.0,4.25,4.5)
//   --seed S  --threads T  --maxdecodes N  --precision P  --chains C
//   --direct FRAMES        also direct Monte-Carlo, at most FRAMES frames
//   --directerrors E       ... stopping after E frame errors (default 200)
//   --runs R               R estimates with seeds S..S+R-1 per point, and
//                          how often their intervals hold the direct value
//   --verbose              progress and the parts of every estimate
//   --moves LIST           the chains' move menu: c:share:rho:probability
//                          (Crank-Nicolson) or r:share:step:probability
//                          (radial), comma-separated
//   --binwidth W           bin width in deviations of V
//   --synthetic B:S:U:D:P  instead of a code, the half-space region of known
//                          probability (floorestimate.h): B blocks of S
//                          coordinates, U bulk coordinates, depth D, pull P
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "floorcodes.h"
#include "floorestimate.h"
#include "montecarlo.h"
#include "standard.h"

// The program's random streams, which every program of the library defines.
namespace ldpc {
unsigned short graphsimrand[3];
unsigned short channelsimrand[3];
}  // namespace ldpc

namespace {

struct options {
  std::string code = "10gbase-t";
  ldpc::decoderoptions decoder;
  std::vector<double> ebn0 = {4.0, 4.25, 4.5};
  std::uint64_t seed = 1;
  int threads = 2;
  std::int64_t maxdecodes = 20000000;
  double precision = 2.0;
  int chains = 64;
  std::int64_t direct = 0, directerrors = 200;
  int runs = 0;
  bool verbose = false;
  std::vector<ldpc::chainmove> moves;
  double binwidth = 0.5;
  std::string synthetic;
};

[[noreturn]] void usage(const char *why) {
  std::fprintf(stderr, "errorfloorbench: %s (see the comment at the top of errorfloorbench.cpp)\n",
               why);
  std::exit(2);
}

std::vector<double> parselist(const char *text) {
  std::vector<double> out;
  for (const char *p = text; *p;) {
    char *end;
    out.push_back(std::strtod(p, &end));
    if (end == p) usage("a list of numbers was expected");
    p = *end == ',' ? end + 1 : end;
  }
  return out;
}

options parse(int argc, char **argv) {
  options o;
  o.decoder.algorithm = ldpc::decoderalgorithm::normalizedminsum;
  o.decoder.alpha = 0.5;
  o.decoder.iterations = 30;
  // The options that take one number, read with atoi, atof or atoll.
  const std::pair<const char *, int *> ints[] = {{"--iterations", &o.decoder.iterations},
                                                 {"--threads", &o.threads},
                                                 {"--chains", &o.chains},
                                                 {"--runs", &o.runs}};
  const std::pair<const char *, double *> reals[] = {{"--alpha", &o.decoder.alpha},
                                                     {"--beta", &o.decoder.beta},
                                                     {"--precision", &o.precision},
                                                     {"--binwidth", &o.binwidth}};
  const std::pair<const char *, std::int64_t *> longs[] = {{"--maxdecodes", &o.maxdecodes},
                                                           {"--direct", &o.direct},
                                                           {"--directerrors", &o.directerrors}};
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> const char * {
      if (i + 1 >= argc) usage(("missing value after " + a).c_str());
      return argv[++i];
    };
    auto number = [&]() {
      for (const auto &[name, target] : ints)
        if (a == name) {
          *target = std::atoi(value());
          return true;
        }
      for (const auto &[name, target] : reals)
        if (a == name) {
          *target = std::atof(value());
          return true;
        }
      for (const auto &[name, target] : longs)
        if (a == name) {
          *target = std::atoll(value());
          return true;
        }
      return false;
    };
    if (number()) continue;
    if (a == "--code")
      o.code = value();
    else if (a == "--decoder") {
      if (!ldpc::parsealgorithm(value(), &o.decoder.algorithm)) usage("unknown decoder");
    } else if (a == "--schedule") {
      if (!ldpc::parseschedule(value(), &o.decoder.schedule)) usage("unknown schedule");
    } else if (a == "--noearlystop")
      o.decoder.earlystop = false;
    else if (a == "--ebn0")
      o.ebn0 = parselist(value());
    else if (a == "--seed")
      o.seed = std::strtoull(value(), nullptr, 10);
    else if (a == "--verbose")
      o.verbose = true;
    else if (a == "--synthetic")
      o.synthetic = value();
    else if (a == "--moves") {
      // c:share:rho:probability or r:share:step:probability, comma-separated
      for (const char *p = value(); *p;) {
        ldpc::chainmove m;
        int used = 0;
        char kind;
        double x;
        if (std::sscanf(p, "%c:%lf:%lf:%lf%n", &kind, &m.share, &x, &m.probability, &used) != 4 ||
            (kind != 'c' && kind != 'r'))
          usage("--moves takes c:share:rho:probability or r:share:step:probability, ...");
        m.kind = kind == 'r' ? ldpc::chainmove::radial : ldpc::chainmove::crank;
        (kind == 'r' ? m.step : m.rho) = x;
        o.moves.push_back(m);
        p += used;
        if (*p == ',') ++p;
      }
    } else
      usage(("unknown option " + a).c_str());
  }
  return o;
}

// The estimate's settings of run (seed o.seed + run) other than the
// channel parameters, the points and the decoder.
ldpc::floorsettings settingsof(const options &o, int run) {
  ldpc::floorsettings fs;
  fs.seed = o.seed + run;
  fs.threads = o.threads;
  fs.maxdecodes = o.maxdecodes;
  fs.precision = o.precision;
  fs.chains.chains = o.chains;
  fs.binwidth = o.binwidth;
  if (!o.moves.empty()) fs.chains.moves = o.moves;
  return fs;
}

// The code under test: its lists, its transmission pattern and the rate
// that turns Eb/N0 into sigma (information bits over sent bits).
struct benchcode {
  ldpc::tannerlists lists;
  std::vector<ldpc::bitfate> pattern;
  double rate = 0.0;
};

benchcode buildcode(const std::string &name) {
  benchcode code;
  int p, gamma, k;
  if (std::sscanf(name.c_str(), "array:%d:%d:%d", &p, &gamma, &k) == 3) {
    if (!(p > 1 && gamma > 0 && k > 0 && k <= p)) usage("array:P:GAMMA:K needs P > 1, 0 < K <= P");
    code.lists = floorcodes::arraycode(p, gamma, k);
    const int rank = floorcodes::gf2rank(code.lists);
    code.rate = 1.0 - static_cast<double>(rank) / code.lists.vnodenum;
    return code;
  }
  ldpc::standardrequest request;
  std::vector<std::string> parts;
  for (std::string::size_type at = 0;;) {
    const std::string::size_type colon = name.find(':', at);
    parts.push_back(name.substr(at, colon - at));
    if (colon == std::string::npos) break;
    at = colon + 1;
  }
  request.family = parts[0];
  if (parts.size() > 1) request.rate = parts[1];
  if (parts.size() > 2 && !parts[2].empty()) request.length = std::atoi(parts[2].c_str());
  if (parts.size() > 3 && !parts[3].empty()) request.lift = std::atoi(parts[3].c_str());
  ldpc::standardcode built;
  std::string error;
  if (!ldpc::buildstandard(request, &built, &error)) usage(error.c_str());
  code.lists = ldpc::listsofgraph(built.graph);
  int sent = 0;
  for (ldpc::bitstate s : built.pattern.state) {
    code.pattern.push_back(static_cast<ldpc::bitfate>(s));
    sent += s == ldpc::bitstate::sent;
  }
  code.rate = static_cast<double>(built.info) / sent;
  ldpc::freestandard(&built);
  return code;
}

struct ownedgraph {
  ldpc::graphs *g;
  ~ownedgraph() {
    ldpc::freegraph(g);
    std::free(g);
  }
};

void printresult(const ldpc::floorresult &r, bool verbose) {
  std::printf("  %5.2f dB  FER %.3e [%.3e, %.3e] (x%.2f)  BER %.3e  %s  decodes %lld  %.1f s\n",
              r.ebn0, r.fer, r.ferlow, r.ferhigh, r.ferhigh / r.ferlow, r.ber,
              r.converged ? "converged" : "NOT CONVERGED", static_cast<long long>(r.decodes),
              r.seconds);
  if (!r.converged) std::printf("    %s\n", r.diagnostic.c_str());
  if (verbose) {
    std::printf(
        "    threshold %.2f sd (log10 P %.2f), stratum %lld/%lld, log10 P(top|fail) %.3f "
        "+- %.3f, bins %d, stages %d%s, flatness %.2f, round trips %.1f/chain "
        "(%d travellers), steps %lld, decodes pilot %lld stratum %lld chains %lld\n",
        r.thresholdsigmas, r.log10tail, static_cast<long long>(r.stratumfailures),
        static_cast<long long>(r.stratumframes), r.log10top, r.log10topse, r.bins, r.stages,
        r.adapted ? "" : " (cut short)", r.flatness, r.roundtrips, r.travellers,
        static_cast<long long>(r.productionsteps), static_cast<long long>(r.pilotdecodes),
        static_cast<long long>(r.stratumdecodes), static_cast<long long>(r.chaindecodes));
    std::printf("    histogram");
    for (long long h : r.histogram) std::printf(" %lld", h);
    std::printf("\n    log weights");
    for (double w : r.logweights) std::printf(" %.1f", w);
    std::printf("\n    moves decoded/accepted");
    for (std::size_t m = 0; m < r.movesdecoded.size(); ++m)
      std::printf(" %lld/%lld", static_cast<long long>(r.movesdecoded[m]),
                  static_cast<long long>(r.movesaccepted[m]));
    std::printf("\n");
  }
  std::fflush(stdout);
}

}  // namespace

// Coverage of the estimator on the half-space region, against its exact
// probability.
int synthetic(const options &o) {
  int blocks, size, bulk;
  double depth, pull;
  if (std::sscanf(o.synthetic.c_str(), "%d:%d:%d:%lf:%lf", &blocks, &size, &bulk, &depth, &pull) !=
      5)
    usage("--synthetic takes BLOCKS:SIZE:BULK:DEPTH:PULL");
  const ldpc::halfspacemodel model(blocks, size, bulk, depth, pull);
  const double exact = model.probability(), wall = 0.0;
  std::printf(
      "half-space region: %d blocks of %d, %d bulk coordinates, depth %.3f, pull %.3f: "
      "P %.4e\n",
      blocks, size, bulk, depth, pull, exact);
  const int runs = std::max(1, o.runs);
  int covered = 0, converged = 0;
  double logsum = 0.0, logsq = 0.0;
  for (int run = 0; run < runs; ++run) {
    ldpc::floorsettings fs = settingsof(o, run);
    fs.parameters = {1.0};
    const ldpc::floorresult r = ldpc::estimatefloor(model, fs, 0);
    printresult(r, o.verbose);
    converged += r.converged;
    covered += r.converged && r.ferlow <= exact + wall && exact <= r.ferhigh;
    logsum += r.log10fer;
    logsq += r.log10fer * r.log10fer;
  }
  const double mean = logsum / runs, sd = std::sqrt(std::max(0.0, logsq / runs - mean * mean));
  std::printf(
      "%d runs: %d converged, %d intervals hold the exact value; log10 FER mean %.3f (exact "
      "%.3f) sd %.3f\n",
      runs, converged, covered, mean, std::log10(exact), sd);
  return 0;
}

int main(int argc, char **argv) {
  const options o = parse(argc, argv);
  if (!o.synthetic.empty()) return synthetic(o);
  const benchcode code = buildcode(o.code);
  const ldpc::tannerlists &lists = code.lists;
  ownedgraph graph{ldpc::graphoflists(lists)};
  const double rate = code.rate;
  std::printf(
      "code %s: n %d, m %d, rate %.4f, 4-cycles %lld; decoder %s %s "
      "alpha %.3g, %d iterations%s; %d threads, %d chains\n",
      o.code.c_str(), lists.vnodenum, lists.cnodenum, rate,
      static_cast<long long>(floorcodes::fourcycles(lists)),
      ldpc::algorithmname(o.decoder.algorithm), ldpc::schedulename(o.decoder.schedule),
      o.decoder.alpha, o.decoder.iterations, o.decoder.earlystop ? "" : ", no early stop",
      o.threads, o.chains);
  const ldpc::decoder dec(graph.g, o.decoder);
  std::printf("decoder target %s, %d lanes\n", dec.target().c_str(), dec.lanes());

  for (double ebn0 : o.ebn0) {
    const double sigma = ldpc::sigmafromebn0(ebn0, rate);
    // Direct Monte-Carlo as the reference, where asked for.
    double directfer = NAN, directlow = NAN, directhigh = NAN;
    bool everysent = true;
    for (ldpc::bitfate f : code.pattern) everysent &= f == ldpc::bitfate::sent;
    if (o.direct > 0 && !everysent)
      std::printf(
          "  direct Monte-Carlo sends every bit: not run for a code with punctured or "
          "shortened bits\n");
    if (o.direct > 0 && everysent) {
      ldpc::simulationsettings ss;
      ss.parameters = {sigma};
      ss.ebn0 = {ebn0};
      ss.decoder = o.decoder;
      ss.maxerrors = o.directerrors;
      ss.maxframes = o.direct;
      ss.threads = o.threads;
      ss.seed = o.seed + 1000003;
      ldpc::codesupply supply;
      supply.graph = graph.g;
      const auto start = std::chrono::steady_clock::now();
      const auto points = ldpc::runsimulation(ss, supply);
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      directfer = points[0].fer;
      directlow = points[0].ferlow;
      directhigh = points[0].ferhigh;
      std::printf("  %5.2f dB  direct FER %.3e [%.3e, %.3e]  %lld errors in %lld frames  %.1f s\n",
                  ebn0, directfer, directlow, directhigh,
                  static_cast<long long>(points[0].frameerrors),
                  static_cast<long long>(points[0].frames), seconds);
    }
    // The estimate, once or over runs seeds.
    const int runs = std::max(1, o.runs);
    int covered = 0, converged = 0;
    double logsum = 0.0, logsq = 0.0, seconds = 0.0;
    for (int run = 0; run < runs; ++run) {
      ldpc::floorsettings fs = settingsof(o, run);
      fs.parameters = {sigma};
      fs.ebn0 = {ebn0};
      fs.decoder = o.decoder;
      ldpc::floorcallbacks cb;
      if (o.verbose)
        cb.progress = [](const ldpc::floorprogress &p) {
          static std::int64_t shown = 0;
          if (p.decodes >= shown + 1000000 || p.decodes < shown) {
            shown = p.decodes;
            std::fprintf(stderr, "\r  %s %lld decodes   ", p.phase,
                         static_cast<long long>(p.decodes));
          }
          return true;
        };
      const ldpc::decodingmodel model(dec, sigma, code.pattern, o.threads);
      const ldpc::floorresult r = ldpc::estimatefloor(model, fs, 0, cb);
      if (o.verbose) std::fprintf(stderr, "\n");
      printresult(r, o.verbose);
      converged += r.converged;
      covered += r.converged && r.ferlow <= directfer && directfer <= r.ferhigh;
      logsum += r.log10fer;
      logsq += r.log10fer * r.log10fer;
      seconds += r.seconds;
    }
    if (o.runs > 1) {
      const double mean = logsum / runs, sd = std::sqrt(std::max(0.0, logsq / runs - mean * mean));
      std::printf(
          "  %5.2f dB  %d runs: %d converged, %d intervals hold the direct FER; log10 FER "
          "mean %.3f sd %.3f; %.1f s per run\n",
          ebn0, runs, converged, covered, mean, sd, seconds / runs);
    }
  }
  return 0;
}
