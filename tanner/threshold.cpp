// tanner threshold: decoding thresholds of irregular and protograph ensembles.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli.h"
#include "threshold.h"

namespace tanner {

namespace {

const char thresholdhelp[] =
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
    "(check magnitudes less --beta, not below 0, default 0.15; rounded to the\n"
    "grid).\n"
    "\n"
    "OPTIONS:\n"
    "  --method auto|de|ga  see above (default auto)\n"
    "  --precision P        width of the final bisection bracket\n"
    "  --tolerance T        success when the messages' error probability\n"
    "                       (erasure probability, 1 - mutual information)\n"
    "                       reaches T (defaults 1e-10 bec, 1e-6 awgn de,\n"
    "                       1e-7 awgn ga)\n"
    "  --iterations N       cap of decoding iterations per bisection step\n"
    "  --json               one JSON object: rate, threshold, erasure or sigma\n"
    "                       and ebn0db, limit, gap, method\n"
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

}  // namespace

int thresholdcommand(int argc, char **argv) {
  const std::string command = "threshold";
  ldpc::thresholdoptions options;
  distributionargs distribution;
  std::vector<int> punctured;
  bool json = false, haschannel = false, irregular = false;
  std::string protofile;

  for (int i = 0; i < argc; ++i) {
    std::string name = argv[i];
    if (ishelp(argv[i])) {
      std::fputs(thresholdhelp, stdout);
      return statusok;
    }
    if (int used = takedistributionoption(command, name, i + 1 < argc ? argv[i + 1] : nullptr,
                                          &distribution)) {
      i += used - 1;
      irregular = true;
      continue;
    }
    if (name == "--json") {
      json = true;
      continue;
    }
    if (name.rfind("--", 0) != 0) {
      if (!protofile.empty()) usageerror(command, "unexpected argument " + name);
      protofile = name;
      continue;
    }
    if (i + 1 >= argc) usageerror(command, name + " needs a value");
    std::string value = argv[++i];
    if (name == "--channel") {
      if (value != "bec" && value != "awgn")
        usageerror(command, "--channel takes bec or awgn, not '" + value + "'");
      options.channel = value == "bec" ? ldpc::channelkind::bec : ldpc::channelkind::awgn;
      haschannel = true;
    } else if (name == "--decoder") {
      if (value == "spa")
        options.decoder = ldpc::decoderkind::spa;
      else if (value == "minsum")
        options.decoder = ldpc::decoderkind::minsum;
      else if (value == "nms")
        options.decoder = ldpc::decoderkind::nms;
      else if (value == "oms")
        options.decoder = ldpc::decoderkind::oms;
      else
        usageerror(command, "--decoder takes spa, minsum, nms or oms, not '" + value + "'");
    } else if (name == "--method") {
      if (value == "auto")
        options.method = ldpc::methodkind::automatic;
      else if (value == "de")
        options.method = ldpc::methodkind::density;
      else if (value == "ga")
        options.method = ldpc::methodkind::exit;
      else
        usageerror(command, "--method takes auto, de or ga, not '" + value + "'");
    } else if (name == "--alpha") {
      options.alpha = parsedouble(command, name, value);
    } else if (name == "--beta") {
      options.beta = parsedouble(command, name, value);
    } else if (name == "--precision") {
      options.precision = parsedouble(command, name, value);
      if (!(options.precision > 0)) usageerror(command, "--precision must be positive");
    } else if (name == "--tolerance") {
      options.tolerance = parsedouble(command, name, value);
      if (!(options.tolerance > 0 && options.tolerance < 1))
        usageerror(command, "--tolerance must lie in (0, 1)");
    } else if (name == "--iterations") {
      options.maxiterations = parsecount(command, name, value, 1);
    } else if (name == "--step") {
      options.llrstep = parsedouble(command, name, value);
    } else if (name == "--range") {
      options.llrrange = parsedouble(command, name, value);
    } else if (name == "--punctured") {
      punctured = parseintlist(command, name, value);
    } else {
      usageerror(command, "unknown option " + name);
    }
  }
  if (!haschannel) usageerror(command, "--channel bec or --channel awgn is required");
  if (irregular == !protofile.empty())
    usageerror(command, "expects either --vdeg/--vfrac/--cdeg/--cfrac or a PROTOFILE");
  if (irregular && !punctured.empty()) usageerror(command, "--punctured is for protographs");

  // The ensemble.
  ldpc::ensemble code;
  if (irregular) {
    checkdistributionargs(command, distribution);
    code.distribution =
        ldpc::edgeperspective(distribution.vdeg, distribution.vfrac, distribution.cdeg,
                              distribution.cfrac, distribution.edgefractions);
  } else {
    std::string error;
    code.isprotograph = true;
    if (!ldpc::readprotoensemble(protofile, punctured, &code.protograph, &error)) fail(error);
  }

  options.progress = [](int done, int total) { showprogress(done, total, "threshold bisection"); };
  ldpc::thresholdresult result = ldpc::computethreshold(code, options);
  endprogress();
  if (!result.ok) {
    // Options or a distribution that cannot be analysed are a usage error;
    // a proto-file that holds such a protograph is a faulty file.
    using fault = ldpc::thresholdresult::fault;
    if (result.refused == fault::options || (irregular && result.refused == fault::ensemble))
      usageerror(command, result.error);
    fail(irregular ? result.error : protofile + ": " + result.error);
  }
  bool bec = options.channel == ldpc::channelkind::bec;

  if (json) {
    std::printf("{\"channel\": \"%s\", \"method\": %s, \"rate\": %.10g, \"threshold\": %.10g",
                bec ? "bec" : "awgn", jsonstring(result.method).c_str(), result.rate,
                result.threshold);
    if (bec)
      std::printf(", \"erasure\": %.10g", result.erasure);
    else
      std::printf(", \"sigma\": %.10g, \"ebn0db\": %.10g", result.sigma, result.ebn0db);
    std::printf(", \"limit\": %.10g, \"gap\": %.10g}\n", result.limit, result.gap);
    return statusok;
  }
  if (irregular)
    std::printf("ensemble: irregular, lambda %s; rho %s (edge fractions)\n",
                formatlist(code.distribution.vdegrees, code.distribution.lambda).c_str(),
                formatlist(code.distribution.cdegrees, code.distribution.rho).c_str());
  else
    std::printf("ensemble: protograph %s, %d variable nodes (%zu punctured), %d check nodes, "
                "%zu edges\n",
                protofile.c_str(), code.protograph.vnodes, punctured.size(),
                code.protograph.cnodes, code.protograph.edges.size());
  std::printf("design rate: %.6f\n", result.rate);
  std::printf("method: %s\n", result.method.c_str());
  if (bec) {
    std::printf("threshold: erasure probability %.7f\n", result.erasure);
    std::printf("limit: erasure probability %.7f (1 - rate), gap %.7f\n", result.limit, result.gap);
  } else {
    std::printf("threshold: sigma %.5f, Eb/N0 %.4f dB\n", result.sigma, result.ebn0db);
    std::printf("limit: Eb/N0 %.4f dB (binary-input AWGN capacity at this rate), gap %.4f dB\n",
                result.limit, result.gap);
  }
  return statusok;
}

}  // namespace tanner
