// tanner simulate: codewords, modulation and channels of the transmit chain.
#include "transmitopts.h"

#include <memory>

#include "cli.h"
#include "simulationledger.h"

namespace tanner {

namespace {

const char command[] = "simulate";

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
      usageerror(command,
                 "--modulation takes bpsk, qpsk, 16qam, 64qam or 256qam, not '" + value + "'");
  } else if (arg == "--demapper") {
    if (!ldpc::parsedemapper(value, &t->setup.demapper))
      usageerror(command, "--demapper takes exact or maxlog, not '" + value + "'");
  } else {
    parsefading(value, &t->setup);
  }
}

void checktransmitargs(const transmitargs &t, bool ensemble) {
  if (ensemble && !t.given.empty())
    usageerror(command, *t.given.begin() + " applies to a code, not to an ensemble");
  if (t.codeword == "zero" && !ldpc::zerowordfault(t.setup).empty())
    usageerror(command, "--codeword zero: " + ldpc::zerowordfault(t.setup));
}

std::string plantransmit(const transmitargs &t, const ldpc::graphs *graph,
                         const ldpc::encoders *info, const ldpc::transmission *pattern,
                         const std::string &codefile, ldpc::simulationsettings *run,
                         std::vector<ldpc::configsetting> *ledger) {
  ldpc::codewordkind codeword;
  ldpc::chosencodeword(t.codeword, t.setup, &codeword);
  auto chain = std::make_shared<ldpc::transmitchain>();
  bool active = false;
  std::string error;
  if (!ldpc::plantransmitchain(codeword, t.setup, run->channel, run->parameters, graph, info,
                               chain.get(), &active, &error))
    fail(codefile + ": " + error);
  if (!active) return "";
  if (pattern != nullptr &&
      !ldpc::setchainpattern(std::make_shared<const ldpc::transmission>(*pattern), chain.get(),
                             &error))
    fail(codefile + ": " + error);
  run->framesource = ldpc::framesource(chain);
  if (codeword == ldpc::codewordkind::random) run->infopositions = ldpc::countedinfo(*chain);
  *ledger = ldpc::chainsettings(*chain);
  std::string line = std::string("# codeword ") + ldpc::codewordname(codeword);
  if (run->channel == ldpc::channeltype::awgn)
    line += std::string(", ") + ldpc::modulationname(t.setup.modulation);
  if (t.setup.modulation != ldpc::modulationkind::bpsk)
    line += std::string(", ") + ldpc::demappername(t.setup.demapper) + " demapper";
  if (t.setup.fading == ldpc::fadingkind::fast) line += ", fast Rayleigh fading";
  if (t.setup.fading == ldpc::fadingkind::block)
    line += ", block Rayleigh fading of " + std::to_string(t.setup.blocklength) + " symbols";
  if (t.setup.interleave == ldpc::interleaving::random) line += ", random bit interleaver";
  if (t.setup.interleave == ldpc::interleaving::nr)
    line += ", 5G NR bit interleaver (TS 38.212 clause 5.4.2.2)";
  if (codeword == ldpc::codewordkind::random)
    line += "; " + std::string(ldpc::encodername(chain->enc.kind)) + " encoder, K " +
            std::to_string(chain->enc.k);
  if (codeword == ldpc::codewordkind::random &&
      run->infopositions.size() != static_cast<std::size_t>(chain->enc.k))
    line += " (" + std::to_string(run->infopositions.size()) + " information bits not shortened)";
  return line;
}

}  // namespace tanner
