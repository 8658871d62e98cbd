// One frame through the transmit chain.
#include "transmitchain.h"

#include <algorithm>
#include <cmath>

namespace ldpc {

namespace {
const char *const codewordnames[] = {"zero", "random"};
}  // namespace

const char *codewordname(codewordkind kind) { return codewordnames[static_cast<int>(kind)]; }

bool parsecodeword(const std::string &name, codewordkind *kind) {
  for (int k = 0; k < 2; ++k)
    if (name == codewordnames[k]) {
      *kind = static_cast<codewordkind>(k);
      return true;
    }
  return false;
}

bool zerowordsymmetric(const channelsetup &setup) {
  return setup.modulation == modulationkind::bpsk || setup.modulation == modulationkind::qpsk;
}

std::string transmitfault(const transmitchain &chain) {
  if (chain.codeword == codewordkind::random && chain.enc.n != chain.n)
    return "random codewords need the code's encoder";
  const bool plain = chain.setup.modulation == modulationkind::bpsk &&
                     chain.setup.fading == fadingkind::none &&
                     chain.setup.interleave == interleaving::none;
  if (chain.channel != channeltype::awgn && !plain)
    return std::string("modulation, fading and interleaving need an AWGN channel, not ") +
           channelname(chain.channel);
  if (chain.channel == channeltype::awgn)
    for (double sigma : chain.parameters) {
      channelsetup setup = chain.setup;
      setup.n0 = 2.0 * sigma * sigma / bitspersymbol(setup.modulation);
      const std::string fault = channelfault(setup, chain.n);
      if (!fault.empty()) return fault;
    }
  return "";
}

bool chosencodeword(const std::string &name, const channelsetup &setup, codewordkind *kind) {
  if (!name.empty()) return parsecodeword(name, kind);
  const bool random = !zerowordsymmetric(setup) || setup.fading != fadingkind::none;
  *kind = random ? codewordkind::random : codewordkind::zero;
  return true;
}

std::string zerowordfault(const channelsetup &setup) {
  if (zerowordsymmetric(setup)) return "";
  return std::string("the zero codeword with ") + modulationname(setup.modulation) +
         " gives a wrong curve (its bits are not all protected alike); send random codewords";
}

bool plantransmitchain(codewordkind codeword, const channelsetup &setup, channeltype channel,
                       const std::vector<double> &parameters, const graphs *graph,
                       const encoders *info, transmitchain *chain, bool *active,
                       std::string *error) {
  *active = codeword == codewordkind::random || setup.modulation != modulationkind::bpsk ||
            setup.fading != fadingkind::none || setup.interleave != interleaving::none;
  if (!*active) return true;
  chain->codeword = codeword;
  chain->channel = channel;
  chain->setup = setup;
  chain->parameters = parameters;
  chain->n = graph->vnodenum;
  if (codeword == codewordkind::random && !makeencoder(graph, info, &chain->enc, error)) {
    *error = "no encoder for random codewords: " + *error;
    return false;
  }
  *error = transmitfault(*chain);
  return error->empty();
}

void transmitchainframe(const transmitchain &chain, int point, std::uint64_t state, double *llr,
                        std::uint8_t *sent, framescratch *scratch) {
  const int n = chain.n;
  if (chain.codeword == codewordkind::random) {
    scratch->word.resize(chain.enc.k);
    drawword(&state, chain.enc.k, scratch->word.data());
    encode(chain.enc, scratch->word.data(), 1, sent);
  } else {
    std::fill(sent, sent + n, 0);
  }
  const double parameter = chain.parameters[point];
  if (chain.channel != channeltype::awgn) {
    channelframe(chain.channel, parameter, state, n, llr);
    for (int i = 0; i < n; ++i)
      if (sent[i]) llr[i] = -llr[i];
    return;
  }
  channelsetup setup = chain.setup;
  setup.n0 = 2.0 * parameter * parameter / bitspersymbol(setup.modulation);
  transmitframe(setup, sent, n, state, llr, &scratch->channel);
}

std::function<void(int, std::uint64_t, double *, std::uint8_t *)> framesource(
    std::shared_ptr<const transmitchain> chain) {
  return [chain](int point, std::uint64_t state, double *llr, std::uint8_t *sent) {
    thread_local framescratch scratch;
    transmitchainframe(*chain, point, state, llr, sent, &scratch);
  };
}

}  // namespace ldpc
