// tanner threshold: decoding thresholds of irregular and protograph ensembles.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cli.h"
#include "optiontable.h"
#include "decoder.h"
#include "threshold.h"

namespace tanner {

namespace {

const char thresholdhead[] =
    "usage: tanner threshold --channel bec|awgn [--decoder spa|minsum|nms|oms]\n"
    "                        [--alpha A] [--beta B] ENSEMBLE [OPTIONS]\n"
    "ENSEMBLE: --vdeg D,.. --vfrac F,.. --cdeg D,.. --cfrac F,.. [--edge-fractions]\n"
    "      or: PROTOFILE [--punctured V,..]\n"
    "\n"
    "The decoding threshold of the ensemble: the worst channel on which\n"
    "iterative decoding of long graphs of the ensemble still succeeds, with\n"
    "the design rate, the capacity limit for that rate and the gap to it.\n"
    "\n"
    "Ensembles: a degree distribution as for 'tanner construct irregular'\n"
    "(fractions of nodes, or of edges with --edge-fractions; each side sums\n"
    "to 1), or a proto-file. --punctured names protograph variable nodes\n"
    "(from 0) that are not transmitted; the design rate is then\n"
    "(V - C) / (V - P). Options take --name value or --name=value.\n"
    "\n"
    "Channels and methods:\n"
    "  bec    exact belief-propagation threshold (erasure probability); every\n"
    "         decoder is belief propagation on this channel. Irregular: the\n"
    "         least x / lambda(1 - rho(1 - x)); protograph: density evolution\n"
    "         per edge, bisected to --precision (default 1e-7).\n"
    "  awgn   BPSK over AWGN, threshold as sigma and Eb/N0. Quantized density\n"
    "         evolution (--method de; default except sum-product on protographs):\n"
    "         LLR densities on a grid of --step (default 0.02) over\n"
    "         [-range, range] (--range, default 30), bisected on sigma to\n"
    "         --precision (default 1e-4). EXIT analysis with the J-function\n"
    "         (--method ga; sum-product only; default for protographs),\n"
    "         bisected on Eb/N0 to --precision dB (default 0.001).\n"
    "\n"
    "Decoders (awgn): spa sum-product (default), minsum, nms normalized\n"
    "min-sum (check messages times --alpha, default 0.8), oms offset min-sum\n"
    "(check magnitudes less --beta, not below 0, default 0.25; rounded to the\n"
    "grid); the defaults are those of tanner simulate. A small alpha stalls on\n"
    "ensembles with many degree-2 variable nodes.\n"
    "\n"
    "OPTIONS:\n";

const char thresholdtail[] =
    "\n"
    "Each option is given once, and one without effect on the analysis chosen\n"
    "is a usage error: --alpha without nms and --beta without oms on awgn,\n"
    "--step and --range without density evolution, --precision, --tolerance and\n"
    "--iterations on the exact bec formula of a degree distribution. Precisions\n"
    "below 1e-12 are refused, and punctures that leave the design rate outside\n"
    "(0, 1).\n"
    "\n"
    "The threshold printed is the end of the final bracket at which decoding\n"
    "succeeds. Limit: erasure probability 1 - rate (bec); Eb/N0 in dB where\n"
    "the binary-input AWGN capacity equals the rate (awgn). Gap: limit minus\n"
    "threshold (bec), threshold minus limit in dB (awgn).\n";

std::string formatlist(const std::vector<int> &degrees, const std::vector<double> &fractions) {
  std::string text;
  char item[64];
  for (std::size_t k = 0; k < degrees.size(); ++k) {
    std::snprintf(item, sizeof item, "%s%d:%.6g", k == 0 ? "" : " ", degrees[k], fractions[k]);
    text += item;
  }
  return text;
}

const char *const command = "threshold";

// The analysis's options with the decoder's own defaults, those of tanner
// simulate.
ldpc::thresholdoptions decoderdefaults() {
  ldpc::thresholdoptions options;
  options.alpha = ldpc::decoderoptions{}.alpha;
  options.beta = ldpc::decoderoptions{}.beta;
  return options;
}

// The options of a run: what computethreshold takes, and the ensemble as
// given.
struct settings {
  ldpc::thresholdoptions options = decoderdefaults();
  ldpc::thresholdgiven given;
  distributionargs distribution;
  std::vector<int> punctured;
  bool json = false, haschannel = false, irregular = false;
  std::string protofile;
};

// One of the values of --decoder or --method, by name.
template <typename kind>
kind choose(const std::string &option, const std::string &value,
            std::initializer_list<std::pair<const char *, kind>> names, const char *expected) {
  for (const auto &[name, choice] : names)
    if (value == name) return choice;
  usageerror(command, option + " takes " + expected + ", not '" + value + "'");
}

// A real option's entry: the value into *target, given noted in *given.
optionentry realoption(const char *name, const char *help, double *target, bool *given) {
  return {name, optionkind::real, help, [=](const std::string &value) {
            *target = parsedouble(command, name, value);
            *given = true;
          }};
}

// The options: the ensemble's, the channel's and decoder's, then those of
// the help's OPTIONS section in its order. Each is given once, so that the
// command means the same in any order.
std::vector<optionentry> optiontable(settings *s) {
  ldpc::thresholdoptions &o = s->options;
  ldpc::thresholdgiven &given = s->given;
  std::vector<optionentry> table =
      distributionoptions(command, &s->distribution, [s] { s->irregular = true; });
  const std::vector<optionentry> rest = {
      {"--channel", optionkind::text, "",
       [s](const std::string &v) {
         s->options.channel = choose<ldpc::channelkind>(
             "--channel", v, {{"bec", ldpc::channelkind::bec}, {"awgn", ldpc::channelkind::awgn}},
             "bec or awgn");
         s->haschannel = true;
       }},
      {"--decoder", optionkind::text, "",
       [s](const std::string &v) {
         s->options.decoder = choose<ldpc::decoderkind>("--decoder", v,
                                                        {{"spa", ldpc::decoderkind::spa},
                                                         {"minsum", ldpc::decoderkind::minsum},
                                                         {"nms", ldpc::decoderkind::nms},
                                                         {"oms", ldpc::decoderkind::oms}},
                                                        "spa, minsum, nms or oms");
       }},
      realoption("--alpha", "", &o.alpha, &given.alpha),
      realoption("--beta", "", &o.beta, &given.beta),
      realoption("--step", "", &o.llrstep, &given.step),
      realoption("--range", "", &o.llrrange, &given.range),
      {"--punctured", optionkind::list, "",
       [s](const std::string &v) { s->punctured = parseintlist(command, "--punctured", v); }},
      {"--method", optionkind::text, "  --method auto|de|ga  see above (default auto)\n",
       [s](const std::string &v) {
         s->options.method = choose<ldpc::methodkind>("--method", v,
                                                      {{"auto", ldpc::methodkind::automatic},
                                                       {"de", ldpc::methodkind::density},
                                                       {"ga", ldpc::methodkind::exit}},
                                                      "auto, de or ga");
       }},
      {"--precision", optionkind::real,
       "  --precision P        width of the final bisection bracket\n",
       [s](const std::string &v) {
         s->options.precision = parsedouble(command, "--precision", v);
         s->given.precision = true;
         if (!(s->options.precision > 0)) usageerror(command, "--precision must be positive");
       }},
      {"--tolerance", optionkind::real,
       "  --tolerance T        success when the messages' error probability\n"
       "                       (erasure probability, 1 - mutual information)\n"
       "                       reaches T (defaults 1e-10 bec, 1e-6 awgn de,\n"
       "                       1e-7 awgn ga)\n",
       [s](const std::string &v) {
         s->options.tolerance = parsedouble(command, "--tolerance", v);
         s->given.tolerance = true;
         if (!(s->options.tolerance > 0 && s->options.tolerance < 1))
           usageerror(command, "--tolerance must lie in (0, 1)");
       }},
      {"--iterations", optionkind::integer,
       "  --iterations N       cap of decoding iterations per bisection step\n",
       [s](const std::string &v) {
         s->options.maxiterations = parsecount(command, "--iterations", v, 1);
         s->given.iterations = true;
       }},
      {"--json", optionkind::flag,
       "  --json               one JSON object: rate, threshold, erasure or sigma\n"
       "                       and ebn0db, limit, gap, method\n",
       [s](const std::string &) { s->json = true; }},
      {"--progress", optionkind::flag,
       "  --progress           progress on standard error also when it is not a\n"
       "                       terminal (a line every 5 seconds)\n",
       [](const std::string &) { forceprogress(); }},
  };
  table.insert(table.end(), rest.begin(), rest.end());
  for (optionentry &entry : table) entry.once = true;
  return table;
}

// The arguments in order; --help where it comes first prints the help and
// ends the command. An argument that does not start with "--" is the
// proto-file ("-x" too); an unknown option is named once it has a value.
settings parse(int argc, char **argv) {
  settings s;
  const std::vector<optionentry> table = optiontable(&s);
  argumentrules rules;
  rules.isoption = [](const std::string &arg) { return arg.rfind("--", 0) == 0; };
  rules.positional = [&s](const std::string &arg) {
    if (!s.protofile.empty()) usageerror(command, "unexpected argument " + arg);
    s.protofile = arg;
  };
  rules.unknown = [](const std::string &arg, const char *next) -> int {
    if (next == nullptr) usageerror(command, arg + " needs a value");
    usageerror(command, "unknown option " + arg);
  };
  applyoptions(command, helptext(thresholdhead, table, thresholdtail).c_str(), table, argc, argv,
               rules);
  if (!s.haschannel) usageerror(command, "--channel bec or --channel awgn is required");
  if (s.irregular == !s.protofile.empty())
    usageerror(command, "expects either --vdeg/--vfrac/--cdeg/--cfrac or a PROTOFILE");
  if (s.irregular && !s.punctured.empty()) usageerror(command, "--punctured is for protographs");
  const std::string unused = ldpc::thresholdunusedoption(!s.irregular, s.options, s.given, "--");
  if (!unused.empty()) usageerror(command, unused);
  return s;
}

// The ensemble of the distribution, or of the proto-file.
ldpc::ensemble loadensemble(const settings &s) {
  ldpc::ensemble code;
  if (s.irregular) {
    checkdistributionargs(command, s.distribution);
    const distributionargs &d = s.distribution;
    code.distribution = ldpc::edgeperspective(d.vdeg, d.vfrac, d.cdeg, d.cfrac, d.edgefractions);
  } else {
    std::string error;
    code.isprotograph = true;
    if (!ldpc::readprotoensemble(s.protofile, s.punctured, &code.protograph, &error)) fail(error);
  }
  return code;
}

// Options or a distribution that cannot be analysed are a usage error; a
// proto-file that holds such a protograph is a faulty file.
[[noreturn]] void refused(const settings &s, const ldpc::thresholdresult &result) {
  using fault = ldpc::thresholdresult::fault;
  if (result.refused == fault::options || (s.irregular && result.refused == fault::ensemble))
    usageerror(command, result.error);
  fail(s.irregular ? result.error : s.protofile + ": " + result.error);
}

void printjson(const settings &s, const ldpc::thresholdresult &result) {
  const bool bec = s.options.channel == ldpc::channelkind::bec;
  ldpc::jsonwriter json;
  json.beginobject()
      .key("channel")
      .string(bec ? "bec" : "awgn")
      .key("method")
      .string(result.method);
  json.key("rate").real(result.rate, "%.10g").key("threshold").real(result.threshold, "%.10g");
  if (bec)
    json.key("erasure").real(result.erasure, "%.10g");
  else
    json.key("sigma").real(result.sigma, "%.10g").key("ebn0db").real(result.ebn0db, "%.10g");
  json.key("limit").real(result.limit, "%.10g").key("gap").real(result.gap, "%.10g");
  std::printf("%s\n", json.endobject().text().c_str());
}

void printtext(const settings &s, const ldpc::ensemble &code, const ldpc::thresholdresult &result) {
  if (s.irregular)
    std::printf("ensemble: irregular, lambda %s; rho %s (edge fractions)\n",
                formatlist(code.distribution.vdegrees, code.distribution.lambda).c_str(),
                formatlist(code.distribution.cdegrees, code.distribution.rho).c_str());
  else
    std::printf(
        "ensemble: protograph %s, %d variable nodes (%zu punctured), %d check nodes, "
        "%zu edges\n",
        s.protofile.c_str(), code.protograph.vnodes, s.punctured.size(), code.protograph.cnodes,
        code.protograph.edges.size());
  std::printf("design rate: %.6f\n", result.rate);
  std::printf("method: %s\n", result.method.c_str());
  if (s.options.channel == ldpc::channelkind::bec) {
    std::printf("threshold: erasure probability %.7f\n", result.erasure);
    std::printf("limit: erasure probability %.7f (1 - rate), gap %.7f\n", result.limit, result.gap);
  } else {
    std::printf("threshold: sigma %.5f, Eb/N0 %.4f dB\n", result.sigma, result.ebn0db);
    std::printf("limit: Eb/N0 %.4f dB (binary-input AWGN capacity at this rate), gap %.4f dB\n",
                result.limit, result.gap);
  }
}

}  // namespace

int thresholdcommand(int argc, char **argv) {
  settings s = parse(argc, argv);
  const ldpc::ensemble code = loadensemble(s);
  ldpc::thresholdoptions options = s.options;
  options.progress = [](int done, int total) { showprogress(done, total, "threshold bisection"); };
  const ldpc::thresholdresult result = ldpc::computethreshold(code, options);
  endprogress();
  if (!result.ok) refused(s, result);
  if (s.json)
    printjson(s, result);
  else
    printtext(s, code, result);
  return statusok;
}

}  // namespace tanner
