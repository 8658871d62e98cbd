// AWGN and Rayleigh fading on symbols; one frame end to end.
#include "symbolchannel.h"

#include <algorithm>
#include <cmath>

#include "interleaver.h"
#include "randomstream.h"

namespace ldpc {

namespace {

const char *const fadingnames[] = {"none", "fast", "block"};
const char *const interleavingnames[] = {"none", "random", "nr"};

// One accepted draw of the polar method from *state: u and v in the unit
// disc and the factor f that makes u f and v f two independent standard
// normals. The callers form their products in their own order.
struct polardraw {
  double u, v, f;
};

polardraw polar(std::uint64_t *state) {
  double u, v, w;
  do {
    u = 2.0 * nextdraw(state) - 1.0;
    v = 2.0 * nextdraw(state) - 1.0;
    w = u * u + v * v;
  } while (w >= 1.0);
  return {u, v, std::sqrt(-2.0 * std::log(w) / w)};
}

}  // namespace

const char *fadingname(fadingkind kind) { return fadingnames[static_cast<int>(kind)]; }
const char *interleavingname(interleaving kind) {
  return interleavingnames[static_cast<int>(kind)];
}

void gausspair(std::uint64_t *state, double pair[2]) {
  const polardraw d = polar(state);
  pair[0] = d.u * d.f;
  pair[1] = d.v * d.f;
}

void addnoise(std::uint64_t *state, double n0, std::complex<double> *y, int count) {
  const double scale = std::sqrt(n0 / 2.0);
  double pair[2];
  for (int i = 0; i < count; ++i) {
    gausspair(state, pair);
    y[i] += std::complex<double>(scale * pair[0], scale * pair[1]);
  }
}

void fadinggains(std::uint64_t *state, fadingkind kind, int blocklength, std::complex<double> *h,
                 int count) {
  const double scale = std::sqrt(0.5);
  const int every = kind == fadingkind::fast ? 1 : blocklength;
  double pair[2];
  for (int i = 0; i < count; ++i) {
    if (kind == fadingkind::none) {
      h[i] = 1.0;
    } else if (i % every == 0) {
      gausspair(state, pair);
      h[i] = {scale * pair[0], scale * pair[1]};
    } else {
      h[i] = h[i - 1];
    }
  }
}

std::string channelfault(const channelsetup &setup, int n) {
  if (n < 0) return "a frame of " + std::to_string(n) + " bits";
  if (!(setup.n0 > 0.0) || !std::isfinite(setup.n0))
    return "the noise variance n0 must be positive and finite, not " + std::to_string(setup.n0);
  if (setup.fading == fadingkind::block && setup.blocklength < 1)
    return "block fading needs a block of at least 1 symbol, not " +
           std::to_string(setup.blocklength);
  const int q = bitspersymbol(setup.modulation);
  if (setup.interleave == interleaving::nr && n % q != 0)
    return "the NR bit interleaver needs a multiple of " + std::to_string(q) + " bits (" +
           modulationname(setup.modulation) + "), not " + std::to_string(n);
  return "";
}

void drawword(std::uint64_t *state, int k, std::uint8_t *bits) {
  for (int i = 0; i < k; ++i) bits[i] = nextdraw(state) >= 0.5;
}

namespace {

// The code bits, interleaved, into b->bits padded with 0 to whole symbols
// (the random interleaver's n draws from *state).
void arrangebits(const channelsetup &setup, const std::uint8_t *codeword, int n, int q,
                 std::uint64_t *state, framebuffers *b) {
  const int nsymbols = (n + q - 1) / q;
  b->perm.resize(n);
  b->bits.assign(static_cast<std::size_t>(nsymbols) * q, 0);
  std::string unused;
  switch (setup.interleave) {
    case interleaving::none:
      for (int i = 0; i < n; ++i) b->bits[i] = codeword[i] != 0;
      break;
    case interleaving::random:
      randominterleaver(state, n, b->perm.data());
      interleavebits(b->perm.data(), n, codeword, b->bits.data());
      break;
    case interleaving::nr:
      nrinterleaver(n, q, b->perm.data(), &unused);
      interleavebits(b->perm.data(), n, codeword, b->bits.data());
      break;
  }
}

// BPSK over AWGN as decoding's channel draws it (channelframe): the real
// signal 1 - 2c with sigma^2 = n0 / 2, one polar pair for two bits, LLR
// 2 y / sigma^2, each product in channelframe's order so that the all-zero
// word gets its very LLRs.
void bpskawgn(const std::uint8_t *bits, int n, double n0, std::uint64_t *state, double *llr) {
  const double sigma = std::sqrt(n0 / 2.0);
  const double scale = 2.0 / (sigma * sigma);
  for (int i = 0; i < n; i += 2) {
    const polardraw d = polar(state);
    llr[i] = scale * ((bits[i] ? -1.0 : 1.0) + sigma * d.u * d.f);
    if (i + 1 < n) llr[i + 1] = scale * ((bits[i + 1] ? -1.0 : 1.0) + sigma * d.v * d.f);
  }
}

// Symbols through gains and noise, symbol after symbol: the gain pair
// (fast fading; block fading at the first symbol of each block), then the
// noise pair.
void fadeandnoise(const channelsetup &setup, int nsymbols, std::uint64_t *state, framebuffers *b) {
  const bool fading = setup.fading != fadingkind::none;
  const int every = setup.fading == fadingkind::block ? setup.blocklength : 1;
  const double gainscale = std::sqrt(0.5), noisescale = std::sqrt(setup.n0 / 2.0);
  double pair[2];
  std::complex<double> h = 1.0;
  for (int i = 0; i < nsymbols; ++i) {
    if (fading && i % every == 0) {
      gausspair(state, pair);
      h = {gainscale * pair[0], gainscale * pair[1]};
    }
    b->gains[i] = h;
    gausspair(state, pair);
    b->symbols[i] =
        h * b->symbols[i] + std::complex<double>(noisescale * pair[0], noisescale * pair[1]);
  }
}

}  // namespace

void transmitframe(const channelsetup &setup, const std::uint8_t *codeword, int n,
                   std::uint64_t state, double *llr, framebuffers *b) {
  const int q = bitspersymbol(setup.modulation);
  const int nsymbols = (n + q - 1) / q;
  arrangebits(setup, codeword, n, q, &state, b);
  const bool direct = setup.interleave == interleaving::none;
  b->llr.resize(static_cast<std::size_t>(nsymbols) * q);
  double *out = direct ? llr : b->llr.data();
  if (setup.modulation == modulationkind::bpsk && setup.fading == fadingkind::none) {
    bpskawgn(b->bits.data(), n, setup.n0, &state, out);
  } else {
    b->symbols.resize(nsymbols);
    b->gains.resize(nsymbols);
    std::string unused;
    modulate(setup.modulation, b->bits.data(), nsymbols * q, b->symbols.data(), &unused);
    fadeandnoise(setup, nsymbols, &state, b);
    demodulate(setup.modulation, setup.demapper, b->symbols.data(),
               setup.fading != fadingkind::none ? b->gains.data() : nullptr, nsymbols, setup.n0,
               b->llr.data());
    if (direct) std::copy(b->llr.begin(), b->llr.begin() + n, llr);
  }
  if (!direct) deinterleavellrs(b->perm.data(), n, b->llr.data(), llr);
}

}  // namespace ldpc
