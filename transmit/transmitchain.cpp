// One frame through the transmit chain.
#include "transmitchain.h"
#include "enumnames.h"

#include <algorithm>
#include <cmath>

namespace ldpc {

namespace {
const char *const codewordnames[] = {"zero", "random"};
}  // namespace

const char *codewordname(codewordkind kind) { return codewordnames[static_cast<int>(kind)]; }

bool parsecodeword(const std::string &name, codewordkind *kind) {
  return parseenumname(codewordnames, name, kind);
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
  if (error->empty()) chain->infocounted = chain->enc.positions;
  return error->empty();
}

bool setchainpattern(std::shared_ptr<const transmission> pattern, transmitchain *chain,
                     std::string *error) {
  if (static_cast<int>(pattern->state.size()) != chain->n) {
    *error = "a transmission pattern of " + std::to_string(pattern->state.size()) +
             " nodes for a code of " + std::to_string(chain->n);
    return false;
  }
  chain->zeroinfo.clear();
  chain->infocounted.clear();
  if (chain->codeword == codewordkind::random) {
    std::vector<int> infoindex(chain->n, -1);
    for (std::size_t i = 0; i < chain->enc.positions.size(); ++i)
      infoindex[chain->enc.positions[i]] = static_cast<int>(i);
    for (int v = 0; v < chain->n; ++v) {
      if (pattern->state[v] != bitstate::shortened) continue;
      if (infoindex[v] < 0) {
        *error = "node " + std::to_string(v) +
                 " is shortened but is a parity bit of the encoder: random codewords need "
                 "shortened nodes among the information bits";
        return false;
      }
      chain->zeroinfo.push_back(infoindex[v]);
    }
    for (int v : chain->enc.positions)
      if (pattern->state[v] != bitstate::shortened) chain->infocounted.push_back(v);
  }
  chain->pattern = std::move(pattern);
  if (chain->channel == channeltype::awgn)
    for (double sigma : chain->parameters) {
      channelsetup setup = chain->setup;
      setup.n0 = 2.0 * sigma * sigma / bitspersymbol(setup.modulation);
      *error = channelfault(setup, static_cast<int>(chain->pattern->order.size()));
      if (!error->empty()) return false;
    }
  return true;
}

const std::vector<int> &countedinfo(const transmitchain &chain) { return chain.infocounted; }

framemap patternmap(std::shared_ptr<const transmission> pattern) {
  framemap map;
  map.channelbits = static_cast<int>(pattern->order.size());
  map.counted = countedbits(*pattern);
  map.todecoder = [pattern](const double *channel, double *llr) {
    channeltodecoder(*pattern, channel, llr);
  };
  return map;
}

namespace {

// The channel's LLRs of the m bits at out: BEC and BSC give the LLRs of the
// all-zero word with the signs of 1 bits turned (both are symmetric); AWGN
// the modulation's.
void sendbits(const transmitchain &chain, int point, std::uint64_t state, const std::uint8_t *bits,
              int m, double *out, framescratch *scratch) {
  const double parameter = chain.parameters[point];
  if (chain.channel != channeltype::awgn) {
    channelframe(chain.channel, parameter, state, m, out);
    for (int i = 0; i < m; ++i)
      if (bits[i]) out[i] = -out[i];
    return;
  }
  channelsetup setup = chain.setup;
  setup.n0 = 2.0 * parameter * parameter / bitspersymbol(setup.modulation);
  transmitframe(setup, bits, m, state, out, &scratch->channel);
}

}  // namespace

void transmitchainframe(const transmitchain &chain, int point, std::uint64_t state, double *llr,
                        std::uint8_t *sent, framescratch *scratch) {
  const int n = chain.n;
  if (chain.codeword == codewordkind::random) {
    scratch->word.resize(chain.enc.k);
    drawword(&state, chain.enc.k, scratch->word.data());
    for (int i : chain.zeroinfo) scratch->word[i] = 0;
    encode(chain.enc, scratch->word.data(), 1, sent);
  } else {
    std::fill(sent, sent + n, 0);
  }
  if (!chain.pattern) {
    sendbits(chain, point, state, sent, n, llr, scratch);
    return;
  }
  const std::vector<int> &order = chain.pattern->order;
  const int m = static_cast<int>(order.size());
  scratch->bits.resize(std::max(1, m));
  scratch->llr.resize(std::max(1, m));
  for (int k = 0; k < m; ++k) scratch->bits[k] = sent[order[k]];
  sendbits(chain, point, state, scratch->bits.data(), m, scratch->llr.data(), scratch);
  channeltodecoder(*chain.pattern, scratch->llr.data(), llr);
}

std::function<void(int, std::uint64_t, double *, std::uint8_t *)> framesource(
    std::shared_ptr<const transmitchain> chain) {
  return [chain](int point, std::uint64_t state, double *llr, std::uint8_t *sent) {
    thread_local framescratch scratch;
    transmitchainframe(*chain, point, state, llr, sent, &scratch);
  };
}

}  // namespace ldpc
