// The checks of a simulation's inputs, and the points as channel
// parameters.
#include "simulationcheck.h"
#include "enumnames.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace ldpc {

namespace {

const char *const kindnames[] = {"ebn0", "sigma", "erasure", "crossover"};

// The shortest text that reads back as x.
std::string shortest(double x) {
  char text[40];
  for (int digits = 1; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, x);
    if (std::strtod(text, nullptr) == x) break;
  }
  return text;
}

bool inrange(pointkind kind, double p) {
  switch (kind) {
    case pointkind::ebn0:
      return std::isfinite(p);
    case pointkind::sigma:
      return p > 0 && std::isfinite(p);
    case pointkind::erasure:
      return p >= 0 && p <= 1;
    case pointkind::crossover:
      return p >= 0 && p <= 0.5;
  }
  return false;
}

const char *const rangetexts[] = {"finite values", "finite values above 0", "values in [0, 1]",
                                  "values in [0, 0.5]"};
const char *rangetext(pointkind kind) { return enumname(rangetexts, kind); }

// The limits of a run, each at its least value.
std::string limitsfault(const simulationsettings &s, const std::string &prefix) {
  struct countlimit {
    const char *name;
    long long value;
  };
  const countlimit counts[] = {{"max-errors", s.maxerrors},
                               {"max-frames", s.maxframes},
                               {"frames-per-graph", s.framespergraph},
                               {"threads", s.threads}};
  for (const countlimit &limit : counts)
    if (limit.value < 1)
      return optionname(prefix, limit.name) + " must be at least 1, not " +
             std::to_string(limit.value);
  if (!(s.maxseconds >= 0 && std::isfinite(s.maxseconds)))
    return optionname(prefix, "max-seconds") +
           " takes a number of seconds of at least 0 (0: no limit), not " + shortest(s.maxseconds);
  if (!(s.minfer >= 0 && s.minfer <= 1))
    return optionname(prefix, "min-fer") + " lies in [0, 1], not " + shortest(s.minfer);
  return "";
}

}  // namespace

const char *pointkindname(pointkind kind) { return kindnames[static_cast<int>(kind)]; }

bool parsepointkind(const std::string &name, pointkind *kind) {
  return parseenumname(kindnames, name, kind);
}

channeltype pointchannel(pointkind kind) {
  return kind == pointkind::erasure     ? channeltype::bec
         : kind == pointkind::crossover ? channeltype::bsc
                                        : channeltype::awgn;
}

std::string optionname(const std::string &prefix, const std::string &name) {
  std::string spelled = name;
  if (prefix.empty())
    for (char &c : spelled)
      if (c == '-') c = '_';
  return prefix + spelled;
}

std::string pointsfault(pointkind kind, const std::vector<double> &points,
                        const std::string &prefix) {
  const std::string option = optionname(prefix, pointkindname(kind));
  if (points.empty()) return option + ": no points";
  if (points.size() > maxpoints)
    return option + ": " + std::to_string(points.size()) + " points; a run takes at most " +
           std::to_string(maxpoints);
  for (double p : points)
    if (!inrange(kind, p)) return option + " takes " + rangetext(kind) + ", not " + shortest(p);
  return "";
}

std::string decoderfault(const decoderoptions &decoder, bool hasalpha, bool hasbeta,
                         const std::string &prefix) {
  const std::string name = optionname(prefix, "decoder");
  if (decoder.iterations < 0)
    return optionname(prefix, "iterations") + " must be at least 0, not " +
           std::to_string(decoder.iterations);
  if (hasalpha && decoder.algorithm != decoderalgorithm::normalizedminsum)
    return optionname(prefix, "alpha") + " applies to " + name + " nms only, not " +
           algorithmname(decoder.algorithm);
  if (hasbeta && decoder.algorithm != decoderalgorithm::offsetminsum)
    return optionname(prefix, "beta") + " applies to " + name + " oms only, not " +
           algorithmname(decoder.algorithm);
  if (!(decoder.alpha > 0 && decoder.alpha < 1))
    return optionname(prefix, "alpha") + " lies strictly between 0 and 1, not " +
           shortest(decoder.alpha);
  if (!(decoder.beta >= 0 && decoder.beta < 4096))
    return optionname(prefix, "beta") + " lies in [0, 4096), not " + shortest(decoder.beta);
  if (decoder.quantization != 8 && decoder.quantization != 16)
    return optionname(prefix, "quantization") + " takes 8 or 16, not " +
           std::to_string(decoder.quantization);
  if (decoder.quantization == 8 && decoder.algorithm == decoderalgorithm::sumproduct)
    return optionname(prefix, "quantization") + " 8 applies to the min-sum family (" + name +
           " minsum, nms or oms); spa runs in float";
  if (decoder.approximation != spaapproximation::exact &&
      decoder.algorithm != decoderalgorithm::sumproduct)
    return optionname(prefix, "spa-approximation") + " " +
           approximationname(decoder.approximation) + " applies to " + name + " spa only, not " +
           algorithmname(decoder.algorithm);
  return "";
}

std::string simulationfault(const simulationinputs &inputs, const simulationsettings &settings,
                            const std::string &prefix) {
  std::string fault = pointsfault(inputs.kind, inputs.points, prefix);
  if (!fault.empty()) return fault;
  if (inputs.hasrate) {
    const std::string rate = optionname(prefix, "rate");
    if (inputs.kind != pointkind::ebn0 && inputs.kind != pointkind::sigma)
      return rate + " applies to " + optionname(prefix, "ebn0") + " and " +
             optionname(prefix, "sigma") + " points only";
    if (!(inputs.rate > 0 && inputs.rate <= 1))
      return rate + " lies in (0, 1], not " + shortest(inputs.rate);
  }
  fault = decoderfault(settings.decoder, inputs.hasalpha, inputs.hasbeta, prefix);
  if (!fault.empty()) return fault;
  return limitsfault(settings, prefix);
}

std::string setchannelpoints(const simulationinputs &inputs, double designrate,
                             const std::string &prefix, simulationsettings *settings) {
  const double rate = inputs.hasrate ? inputs.rate : designrate;
  settings->channel = pointchannel(inputs.kind);
  settings->parameters = inputs.points;
  settings->ebn0.clear();
  if (inputs.kind == pointkind::ebn0) {
    if (!(rate > 0 && rate <= 1))
      return "design rate " + shortest(rate) + " is not in (0, 1]; give " +
             optionname(prefix, "rate");
    settings->ebn0 = inputs.points;
    for (double &p : settings->parameters) p = sigmafromebn0(p, rate);
  } else if (inputs.kind == pointkind::sigma && rate > 0 && rate <= 1) {
    for (double p : inputs.points) settings->ebn0.push_back(ebn0fromsigma(p, rate));
  }
  return "";
}

}  // namespace ldpc
