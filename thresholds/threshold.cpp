// Thresholds: ensembles, the erasure channel, and the bisection that every
// channel shares.
#include "threshold.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cmath>
#include <limits>
#include <sstream>

#include "densityevolution.h"
#include "enumnames.h"
#include "graphfile.h"

namespace ldpc {

degreedistribution edgeperspective(const std::vector<int> &vdegrees,
                                   const std::vector<double> &vfractions,
                                   const std::vector<int> &cdegrees,
                                   const std::vector<double> &cfractions, bool edgefractions) {
  degreedistribution distribution{vdegrees, vfractions, cdegrees, cfractions};
  if (edgefractions) return distribution;
  // lambda_i = i f_i / sum_k k f_k, times sum_k f_k so that fractions that
  // do not sum to 1 still do not, and are refused.
  auto convert = [](const std::vector<int> &degrees, std::vector<double> *fractions) {
    double total = 0, weighted = 0;
    for (std::size_t k = 0; k < degrees.size() && k < fractions->size(); ++k) {
      total += (*fractions)[k];
      weighted += degrees[k] * (*fractions)[k];
    }
    if (weighted <= 0) return;
    for (std::size_t k = 0; k < degrees.size() && k < fractions->size(); ++k)
      (*fractions)[k] = degrees[k] * (*fractions)[k] * total / weighted;
  };
  convert(distribution.vdegrees, &distribution.lambda);
  convert(distribution.cdegrees, &distribution.rho);
  return distribution;
}

protoensemble protofromgraph(const graphs *protograph, const std::vector<int> &punctured) {
  protoensemble proto;
  proto.vnodes = protograph->vnodenum;
  proto.cnodes = protograph->cnodenum;
  for (int v = 0; v < protograph->vnodenum; ++v)
    for (int s = 0; s < protograph->vnodelist[v].degree; ++s)
      proto.edges.emplace_back(v, protograph->vnodelist[v].edgelist[s].dest);
  proto.punctured = punctured;
  return proto;
}

bool readprotoensemble(const std::string &path, const std::vector<int> &punctured,
                       protoensemble *proto, std::string *error) {
  graphs *protograph = nullptr;
  switch (readprotofile(path.c_str(), &protograph, error)) {
    case readok:
      break;
    case readopenfailed:
      *error = path + ": " + std::strerror(errno);
      return false;
    case readmalformed:
      *error = path + ": " + *error;
      return false;
  }
  *proto = protofromgraph(protograph, punctured);
  freegraph(protograph);
  std::free(protograph);
  return true;
}

double designrate(const degreedistribution &distribution) {
  double vsum = 0, csum = 0;
  for (std::size_t k = 0; k < distribution.vdegrees.size(); ++k)
    vsum += distribution.lambda[k] / distribution.vdegrees[k];
  for (std::size_t k = 0; k < distribution.cdegrees.size(); ++k)
    csum += distribution.rho[k] / distribution.cdegrees[k];
  return 1 - csum / vsum;
}

namespace {

constexpr int largestdegree = 100000;

// "" when the ensemble can be analysed, else what is wrong with it.
std::string checkdistribution(const degreedistribution &d) {
  auto side = [](const char *name, const std::vector<int> &degrees,
                 const std::vector<double> &fractions) -> std::string {
    if (degrees.empty()) return std::string("no ") + name + " degrees";
    if (degrees.size() != fractions.size())
      return std::string(name) + " side: " + std::to_string(degrees.size()) + " degrees but " +
             std::to_string(fractions.size()) + " fractions";
    double total = 0;
    for (std::size_t k = 0; k < degrees.size(); ++k) {
      if (degrees[k] < 1 || degrees[k] > largestdegree)
        return std::string(name) + " degree " + std::to_string(degrees[k]) + " is outside 1.." +
               std::to_string(largestdegree);
      if (!(fractions[k] >= 0) || !std::isfinite(fractions[k]))
        return std::string(name) + " fraction of degree " + std::to_string(degrees[k]) +
               " is not a number >= 0";
      total += fractions[k];
    }
    if (std::fabs(total - 1) > 1e-6) {
      std::ostringstream message;
      message << name << " fractions sum to " << total << ", not 1";
      return message.str();
    }
    return "";
  };
  std::string error = side("variable", d.vdegrees, d.lambda);
  if (error.empty()) error = side("check", d.cdegrees, d.rho);
  return error;
}

std::string checkprotograph(const protoensemble &p) {
  if (p.vnodes < 1 || p.cnodes < 1) return "a protograph needs variable and check nodes";
  std::vector<int> degree(p.vnodes, 0);
  for (const auto &[v, c] : p.edges) {
    if (v < 0 || v >= p.vnodes || c < 0 || c >= p.cnodes)
      return "edge (" + std::to_string(v) + ", " + std::to_string(c) +
             ") names a node out of range";
    ++degree[v];
  }
  for (int v = 0; v < p.vnodes; ++v)
    if (degree[v] == 0) return "variable node " + std::to_string(v) + " has no edges";
  std::vector<char> seen(p.vnodes, 0);
  for (int v : p.punctured) {
    if (v < 0 || v >= p.vnodes)
      return "punctured node " + std::to_string(v) + " is outside 0.." +
             std::to_string(p.vnodes - 1);
    if (seen[v]) return "punctured node " + std::to_string(v) + " is named twice";
    seen[v] = 1;
  }
  if (p.vnodes - p.cnodes <= 0) return "the design rate (V - C) / (V - P) is not positive";
  if (static_cast<int>(p.punctured.size()) >= p.vnodes) return "every variable node is punctured";
  return "";
}

// Erasure channel, irregular ensemble: eps* = inf of x / lambda(1 - rho(1 - x))
// over (0, 1]. The infimum is either the limit at 0 (1 / (lambda_2 rho'(1)),
// the stability bound) or an interior minimum, found on a logarithmic grid
// and polished by golden-section search.
double becirregular(const degreedistribution &d) {
  double lambda1 = 0, lambda2 = 0, rhoslope = 0;
  for (std::size_t k = 0; k < d.vdegrees.size(); ++k) {
    if (d.vdegrees[k] == 1) lambda1 += d.lambda[k];
    if (d.vdegrees[k] == 2) lambda2 += d.lambda[k];
  }
  for (std::size_t k = 0; k < d.cdegrees.size(); ++k) rhoslope += d.rho[k] * (d.cdegrees[k] - 1);
  // Degree-1 variable nodes keep an erasure probability of at least
  // eps * lambda_1 on their edges.
  if (lambda1 > 0) return 0;
  // 1 - rho(1 - x) as sum rho_j (1 - (1 - x)^(j-1)), which keeps its
  // digits for small x.
  auto ratio = [&](double x) {
    double y = 0, z = 0;
    for (std::size_t k = 0; k < d.cdegrees.size(); ++k)
      y -= d.rho[k] * std::expm1((d.cdegrees[k] - 1) * std::log1p(-x));
    for (std::size_t k = 0; k < d.vdegrees.size(); ++k)
      z += d.lambda[k] * std::pow(y, d.vdegrees[k] - 1);
    return z > 0 ? x / z : std::numeric_limits<double>::infinity();
  };
  double best = lambda2 > 0 && rhoslope > 0 ? 1 / (lambda2 * rhoslope)
                                            : std::numeric_limits<double>::infinity();
  const int points = 20000;
  std::vector<double> xs(points + 1), values(points + 1);
  for (int k = 0; k <= points; ++k) {
    xs[k] = std::pow(10.0, -9.0 + 9.0 * k / points);
    values[k] = ratio(xs[k]);
  }
  for (int k = 0; k <= points; ++k) {
    bool local =
        (k == 0 || values[k] <= values[k - 1]) && (k == points || values[k] <= values[k + 1]);
    if (!local) continue;
    double a = xs[std::max(k - 1, 0)], b = xs[std::min(k + 1, points)];
    const double golden = (std::sqrt(5.0) - 1) / 2;
    double c = b - golden * (b - a), e = a + golden * (b - a);
    double fc = ratio(c), fe = ratio(e);
    for (int step = 0; step < 200 && b - a > 1e-15 * b; ++step) {
      if (fc < fe) {
        b = e;
        e = c;
        fe = fc;
        c = b - golden * (b - a);
        fc = ratio(c);
      } else {
        a = c;
        c = e;
        fc = fe;
        e = a + golden * (b - a);
        fe = ratio(e);
      }
    }
    best = std::min({best, values[k], fc, fe});
  }
  return std::min(best, 1.0);
}

// Erasure channel, protograph: erasure probabilities per edge, x on the
// variable-to-check side and y on the other, from x = channel erasure;
// decoding succeeds when every variable node's a-posteriori erasure
// probability reaches the tolerance (a node of degree 1 sends the channel's
// erasure probability for ever, so edge messages would not do). Every
// probability only falls, so a sum that stops falling is a fixed point.
struct becproto {
  protoensemble proto;
  std::vector<std::vector<int>> atcheck, atvariable;
  std::vector<char> punctured;
  double tolerance;
  int maxiterations;

  becproto(const protoensemble &p, double tolerance, int maxiterations)
      : proto(p),
        atcheck(p.cnodes),
        atvariable(p.vnodes),
        punctured(p.vnodes, 0),
        tolerance(tolerance),
        maxiterations(maxiterations) {
    for (std::size_t e = 0; e < p.edges.size(); ++e) {
      atvariable[p.edges[e].first].push_back(static_cast<int>(e));
      atcheck[p.edges[e].second].push_back(static_cast<int>(e));
    }
    for (int v : p.punctured) punctured[v] = 1;
  }

  bool decodes(double erasure) {
    std::size_t edges = proto.edges.size();
    std::vector<double> x(edges), y(edges);
    double previous = 0;
    for (std::size_t e = 0; e < edges; ++e) {
      x[e] = punctured[proto.edges[e].first] ? 1 : erasure;
      previous += 2 * x[e];
    }
    for (int iteration = 0; iteration < maxiterations; ++iteration) {
      for (const std::vector<int> &at : atcheck)
        for (int e : at) {
          double known = 1;
          for (int other : at)
            if (other != e) known *= 1 - x[other];
          y[e] = 1 - known;
        }
      // A node's bit is known when one of its incoming messages is: its
      // a-posteriori erasure probability is the channel's times all of them.
      double worst = 0, sum = 0;
      for (int v = 0; v < proto.vnodes; ++v) {
        double channel = punctured[v] ? 1 : erasure, posterior = channel;
        for (int e : atvariable[v]) {
          double erased = channel;
          for (int other : atvariable[v])
            if (other != e) erased *= y[other];
          x[e] = erased;
          sum += erased;
          posterior *= y[e];
        }
        worst = std::max(worst, posterior);
        sum += posterior;
      }
      if (worst <= tolerance) return true;
      if (previous - sum <= 1e-14 * previous) return false;
      previous = sum;
    }
    return false;
  }
};

// Bisection on t where decodes(t) holds at low and fails at high; returns
// the decoding end of the final bracket, no wider than precision.
double bisect(const std::function<bool(double)> &decodes, double low, double high, double precision,
              const thresholdoptions &options, int *steps) {
  int total = std::max(0, static_cast<int>(std::ceil(std::log2((high - low) / precision))));
  *steps = 0;
  while (high - low > precision) {
    double middle = 0.5 * (low + high);
    // Doubles so close that no middle lies between them: the bracket cannot
    // shrink further (minimumprecision keeps this from happening).
    if (middle <= low || middle >= high) break;
    if (decodes(middle))
      low = middle;
    else
      high = middle;
    ++*steps;
    if (options.progress) options.progress(*steps, std::max(total, *steps));
  }
  return low;
}

double ebn0db(double rate, double sigma) { return 10 * std::log10(1 / (2 * rate * sigma * sigma)); }
double sigmaforebn0db(double rate, double db) {
  return std::sqrt(1 / (2 * rate * std::pow(10.0, db / 10)));
}

const char *decodername(decoderkind decoder) {
  static const char *const names[] = {"sum-product", "min-sum", "normalized min-sum",
                                      "offset min-sum"};
  return enumname(names, decoder);
}

using fault = thresholdresult::fault;

thresholdresult failed(const std::string &error, fault refused) {
  thresholdresult result;
  result.error = error;
  result.refused = refused;
  return result;
}

void awgnfigures(thresholdresult *result, double sigma) {
  result->threshold = result->sigma = sigma;
  result->ebn0db = ebn0db(result->rate, sigma);
  result->limit = ebn0db(result->rate, biawgnsigmaforrate(result->rate));
  result->gap = result->ebn0db - result->limit;
  result->ok = true;
}

// The ensemble with fractions within 1e-6 of summing to 1 scaled to sum to
// 1 exactly.
ensemble normalised(const ensemble &code) {
  ensemble normal = code;
  if (!code.isprotograph) {
    degreedistribution &d = normal.distribution;
    double vtotal = 0, ctotal = 0;
    for (double f : d.lambda) vtotal += f;
    for (double f : d.rho) ctotal += f;
    for (double &f : d.lambda) f /= vtotal;
    for (double &f : d.rho) f /= ctotal;
  }
  return normal;
}

// The erasure channel, where every decoder here is belief propagation.
// result holds the design rate.
thresholdresult becthreshold(const ensemble &normal, const thresholdoptions &options,
                             thresholdresult result) {
  if (options.method == methodkind::exit)
    return failed("the EXIT analysis is for the AWGN channel; the erasure channel is exact",
                  fault::options);
  double erasure;
  if (!normal.isprotograph) {
    erasure = becirregular(normal.distribution);
    result.method = "exact: the least x / lambda(1 - rho(1 - x)) over 0 < x <= 1";
    result.precision = 1e-12;
  } else {
    double tolerance = options.tolerance > 0 ? options.tolerance : 1e-10;
    int cap = options.maxiterations > 0 ? options.maxiterations : 100000;
    result.precision = options.precision > 0 ? options.precision : 1e-7;
    becproto evolution(normal.protograph, tolerance, cap);
    auto decodes = [&](double e) { return evolution.decodes(e); };
    erasure =
        decodes(0.0) ? bisect(decodes, 0.0, 1.0, result.precision, options, &result.steps) : 0.0;
    std::ostringstream method;
    method << "density evolution per edge, bisection to " << result.precision
           << ", success when every node's a-posteriori erasure probability <= " << tolerance;
    result.method = method.str();
  }
  result.threshold = result.erasure = erasure;
  result.limit = 1 - result.rate;
  result.gap = result.limit - erasure;
  result.ok = true;
  return result;
}

// The AWGN channel by EXIT analysis (sum-product only), bisection on Eb/N0.
thresholdresult exitthreshold(const ensemble &normal, const thresholdoptions &options,
                              thresholdresult result) {
  if (options.decoder != decoderkind::spa)
    return failed(
        "the EXIT analysis covers sum-product only; min-sum thresholds come from "
        "density evolution",
        fault::options);
  double tolerance = options.tolerance > 0 ? options.tolerance : 1e-7;
  int cap = options.maxiterations > 0 ? options.maxiterations : 10000;
  result.precision = options.precision > 0 ? options.precision : 1e-3;
  auto exit = exitevolution(normal, tolerance, cap);
  // On -Eb/N0 in dB, so that decoding holds at the low end.
  auto decodes = [&](double t) { return exit(sigmaforebn0db(result.rate, -t)); };
  double limit = ebn0db(result.rate, biawgnsigmaforrate(result.rate));
  double low = -(limit + 6), high = -(limit - 0.5);
  for (int widen = 0; widen < 4 && !decodes(low); ++widen) low -= 10;
  if (!decodes(low))
    return failed("the EXIT analysis does not converge even at " + std::to_string(-low) + " dB",
                  fault::analysis);
  for (int widen = 0; widen < 4 && decodes(high); ++widen) high += 1;
  double t = bisect(decodes, low, high, result.precision, options, &result.steps);
  std::ostringstream text;
  text << "EXIT analysis with the J-function (Gaussian approximation), bisection on Eb/N0 to "
       << result.precision << " dB, success when every "
       << (normal.isprotograph ? "node's a-posteriori information" : "message's mutual information")
       << " >= 1 - " << tolerance;
  result.method = text.str();
  awgnfigures(&result, sigmaforebn0db(result.rate, -t));
  return result;
}

// The AWGN channel by quantized density evolution, bisection on sigma.
thresholdresult densitythreshold(const ensemble &normal, const thresholdoptions &options,
                                 thresholdresult result) {
  if (!(options.llrstep > 0) || !(options.llrrange > options.llrstep) ||
      options.llrrange / options.llrstep > 1e6)
    return failed("the LLR grid needs 0 < step < range and at most 10^6 steps in the range",
                  fault::options);
  if (options.decoder == decoderkind::nms && !(options.alpha > 0 && options.alpha <= 1))
    return failed("alpha must lie in (0, 1]", fault::options);
  if (options.decoder == decoderkind::oms && !(options.beta >= 0 && std::isfinite(options.beta)))
    return failed("beta must be a number >= 0", fault::options);
  evolutionsettings settings;
  settings.grid = makegrid(options.llrstep, options.llrrange);
  settings.decoder = options.decoder;
  settings.alpha = options.alpha;
  settings.beta = options.beta;
  settings.tolerance = options.tolerance > 0 ? options.tolerance : 1e-6;
  settings.maxiterations = options.maxiterations > 0 ? options.maxiterations : 10000;
  settings.poll = options.poll;
  result.precision = options.precision > 0 ? options.precision : 1e-4;
  auto evolution = awgnevolution(normal, settings);
  // No decoder beats capacity, so the bracket starts just above the
  // Shannon limit's sigma.
  double high = biawgnsigmaforrate(result.rate) * 1.02, low = high / 2;
  for (int widen = 0; widen < 3 && evolution(high); ++widen) high *= 1.25;
  for (int narrow = 0; narrow < 4 && !evolution(low); ++narrow) low /= 2;
  if (!evolution(low))
    return failed("density evolution does not converge even at sigma " + std::to_string(low),
                  fault::analysis);
  double sigma = bisect(evolution, low, high, result.precision, options, &result.steps);
  std::ostringstream text;
  text << "quantized density evolution, " << decodername(options.decoder);
  if (options.decoder == decoderkind::nms) text << " (alpha " << options.alpha << ")";
  if (options.decoder == decoderkind::oms) text << " (beta " << options.beta << ")";
  text << ", LLR step " << settings.grid.step << ", range +-"
       << settings.grid.half * settings.grid.step << ", bisection on sigma to " << result.precision
       << ", success when the error probability <= " << settings.tolerance;
  result.method = text.str();
  awgnfigures(&result, sigma);
  return result;
}

}  // namespace

methodkind selectedmethod(bool protograph, const thresholdoptions &options) {
  if (options.method != methodkind::automatic) return options.method;
  if (options.channel == channelkind::bec) return methodkind::density;
  return protograph && options.decoder == decoderkind::spa ? methodkind::exit : methodkind::density;
}

std::string thresholdunusedoption(bool protograph, const thresholdoptions &options,
                                  const thresholdgiven &given, const std::string &prefix) {
  const bool awgn = options.channel == channelkind::awgn;
  const bool density = awgn && selectedmethod(protograph, options) == methodkind::density;
  const bool exact = !awgn && !protograph;
  struct rule {
    bool given, applies;
    const char *name, *where;
  };
  const rule rules[] = {
      {given.alpha, awgn && options.decoder == decoderkind::nms, "alpha",
       "normalized min-sum (decoder nms) on the AWGN channel"},
      {given.beta, awgn && options.decoder == decoderkind::oms, "beta",
       "offset min-sum (decoder oms) on the AWGN channel"},
      {given.step, density, "step", "density evolution on the AWGN channel (method de)"},
      {given.range, density, "range", "density evolution on the AWGN channel (method de)"},
      {given.precision, !exact, "precision", "bisections, not the exact erasure threshold"},
      {given.tolerance, !exact, "tolerance", "iterated analyses, not the exact erasure threshold"},
      {given.iterations, !exact, "iterations",
       "iterated analyses, not the exact erasure threshold"},
  };
  for (const rule &r : rules)
    if (r.given && !r.applies)
      return prefix + r.name + " has no effect here: it applies to " + r.where;
  return "";
}

thresholdresult computethreshold(const ensemble &code, const thresholdoptions &options) {
  std::string error =
      code.isprotograph ? checkprotograph(code.protograph) : checkdistribution(code.distribution);
  if (!error.empty()) return failed(error, fault::ensemble);
  if (!(options.precision >= 0) || !(options.tolerance >= 0) || options.maxiterations < 0)
    return failed("precision, tolerance and iteration cap must not be negative", fault::options);
  if (options.precision > 0 && options.precision < minimumprecision) {
    std::ostringstream text;
    text << "precision " << options.precision << " is finer than the bisection can reach (doubles "
         << "near the threshold are about 1e-14 apart); give at least " << minimumprecision;
    return failed(text.str(), fault::options);
  }
  const ensemble normal = normalised(code);
  thresholdresult result;
  const protoensemble &proto = normal.protograph;
  result.rate = code.isprotograph ? static_cast<double>(proto.vnodes - proto.cnodes) /
                                        (proto.vnodes - static_cast<double>(proto.punctured.size()))
                                  : designrate(normal.distribution);
  if (!(result.rate > 0 && result.rate < 1)) {
    std::ostringstream text;
    text << "the design rate " << result.rate << " lies outside (0, 1)";
    if (code.isprotograph && !proto.punctured.empty()) {
      text << ": " << proto.punctured.size() << " punctured of " << proto.vnodes
           << " variable nodes and " << proto.cnodes << " check nodes give (V - C) / (V - P) = ("
           << proto.vnodes << " - " << proto.cnodes << ") / (" << proto.vnodes << " - "
           << proto.punctured.size() << ")";
      return failed(text.str(), fault::options);
    }
    return failed(text.str(), fault::ensemble);
  }
  if (options.channel == channelkind::bec) return becthreshold(normal, options, result);

  // Degree-1 variable nodes of an irregular ensemble pass on their channel
  // message alone, whose error probability never reaches 0.
  if (!code.isprotograph)
    for (std::size_t k = 0; k < normal.distribution.vdegrees.size(); ++k)
      if (normal.distribution.vdegrees[k] == 1 && normal.distribution.lambda[k] > 0)
        return failed(
            "variable nodes of degree 1 keep the channel's error probability: no "
            "threshold above 0",
            fault::analysis);
  const methodkind method = selectedmethod(code.isprotograph, options);
  return method == methodkind::exit ? exitthreshold(normal, options, result)
                                    : densitythreshold(normal, options, result);
}

}  // namespace ldpc
