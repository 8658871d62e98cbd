// tanner simulate: codewords, modulation and channels of the transmit chain.
#include "transmitopts.h"

#include <memory>

#include "cli.h"

namespace tanner {

namespace {

const char command[] = "simulate";

bool active(const transmitargs &t, ldpc::codewordkind codeword) {
  return codeword == ldpc::codewordkind::random ||
         t.setup.modulation != ldpc::modulationkind::bpsk ||
         t.setup.fading != ldpc::fadingkind::none ||
         t.setup.interleave != ldpc::interleaving::none;
}

// The default: random words where the zero word would give a wrong curve
// (modulations with more than one bit per dimension) and with fading.
ldpc::codewordkind codewordof(const transmitargs &t) {
  ldpc::codewordkind kind = ldpc::codewordkind::zero;
  if (!t.codeword.empty())
    ldpc::parsecodeword(t.codeword, &kind);
  else if (!ldpc::zerowordsymmetric(t.setup) || t.setup.fading != ldpc::fadingkind::none)
    kind = ldpc::codewordkind::random;
  return kind;
}

void parsefading(const std::string &value, ldpc::channelsetup *setup) {
  if (value == "fast") {
    setup->fading = ldpc::fadingkind::fast;
    return;
  }
  if (value.rfind("block:", 0) == 0) {
    setup->fading = ldpc::fadingkind::block;
    setup->blocklength = parsecount(command, "--fading block:L", value.substr(6), 1);
    return;
  }
  usageerror(command, "--fading takes fast or block:L, not '" + value + "'");
}

}  // namespace

bool istransmitflag(const std::string &arg) { return arg == "--interleave"; }

bool istransmitvalued(const std::string &arg) {
  return arg == "--codeword" || arg == "--modulation" || arg == "--demapper" || arg == "--fading";
}

void taketransmitoption(const std::string &arg, const std::string &value, transmitargs *t) {
  t->given.insert(arg);
  ldpc::codewordkind codeword;
  if (arg == "--interleave") {
    t->setup.interleave = ldpc::interleaving::random;
  } else if (arg == "--codeword") {
    if (!ldpc::parsecodeword(value, &codeword))
      usageerror(command, "--codeword takes zero or random, not '" + value + "'");
    t->codeword = value;
  } else if (arg == "--modulation") {
    if (!ldpc::parsemodulation(value, &t->setup.modulation))
      usageerror(command, "--modulation takes bpsk, qpsk, 16qam, 64qam or 256qam, not '" + value + "'");
  } else if (arg == "--demapper") {
    if (!ldpc::parsedemapper(value, &t->setup.demapper))
      usageerror(command, "--demapper takes exact or maxlog, not '" + value + "'");
  } else {
    parsefading(value, &t->setup);
  }
}

void checktransmitargs(const transmitargs &t, bool ensemble) {
  if (ensemble && !t.given.empty())
    usageerror(command, *t.given.begin() + " applies to a code from a file, not to an ensemble");
  if (t.codeword == "zero" && !ldpc::zerowordsymmetric(t.setup))
    usageerror(command, std::string("--codeword zero with ") +
                            ldpc::modulationname(t.setup.modulation) +
                            " gives a wrong curve (its bits are not all protected alike); "
                            "use --codeword random");
}

std::string plantransmit(const transmitargs &t, const ldpc::graphs *graph,
                         const ldpc::encoders *info, const std::string &codefile,
                         ldpc::simulationsettings *run) {
  const ldpc::codewordkind codeword = codewordof(t);
  if (!active(t, codeword)) return "";
  auto chain = std::make_shared<ldpc::transmitchain>();
  chain->codeword = codeword;
  chain->channel = run->channel;
  chain->setup = t.setup;
  chain->parameters = run->parameters;
  chain->n = graph->vnodenum;
  std::string error;
  if (codeword == ldpc::codewordkind::random && !ldpc::makeencoder(graph, info, &chain->enc, &error))
    fail(codefile + ": no encoder for --codeword random: " + error);
  const std::string fault = ldpc::transmitfault(*chain);
  if (!fault.empty()) fail(codefile + ": " + fault);
  run->framesource = ldpc::framesource(chain);
  if (codeword == ldpc::codewordkind::random) run->infopositions = chain->enc.positions;
  std::string line = std::string("# codeword ") + ldpc::codewordname(codeword);
  if (run->channel == ldpc::channeltype::awgn)
    line += std::string(", ") + ldpc::modulationname(t.setup.modulation);
  if (t.setup.modulation != ldpc::modulationkind::bpsk)
    line += std::string(", ") + ldpc::demappername(t.setup.demapper) + " demapper";
  if (t.setup.fading == ldpc::fadingkind::fast) line += ", fast Rayleigh fading";
  if (t.setup.fading == ldpc::fadingkind::block)
    line += ", block Rayleigh fading of " + std::to_string(t.setup.blocklength) + " symbols";
  if (t.setup.interleave != ldpc::interleaving::none) line += ", random bit interleaver";
  if (codeword == ldpc::codewordkind::random)
    line += "; " + std::string(ldpc::encodername(chain->enc.kind)) + " encoder, K " +
            std::to_string(chain->enc.k);
  return line;
}

}  // namespace tanner
