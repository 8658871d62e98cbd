// Channels and per-frame random states.
#include "channel.h"

#include <cmath>

#include "randomstream.h"
#include "enumnames.h"

namespace ldpc {

namespace {

const char *const channelnames[] = {"awgn", "bec", "bsc"};
const char *const parameternames[] = {"sigma", "erasure", "crossover"};

std::uint64_t mix(std::uint64_t z) {
  z += 0x9E3779B97F4A7C15ULL;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

}  // namespace

const char *channelname(channeltype type) { return channelnames[static_cast<int>(type)]; }
const char *parametername(channeltype type) { return parameternames[static_cast<int>(type)]; }

bool parsechannel(const std::string &name, channeltype *type) {
  return parseenumname(channelnames, name, type);
}

std::uint64_t streamstate(std::uint64_t seed, std::int64_t point, std::int64_t index) {
  return mix(mix(mix(seed) + static_cast<std::uint64_t>(point)) +
             static_cast<std::uint64_t>(index)) &
         lcgmask;
}

double sigmafromebn0(double ebn0, double rate) {
  return std::sqrt(1.0 / (2.0 * rate * std::pow(10.0, ebn0 / 10.0)));
}

double ebn0fromsigma(double sigma, double rate) {
  return 10.0 * std::log10(1.0 / (2.0 * rate * sigma * sigma));
}

void channelframe(channeltype type, double parameter, std::uint64_t state, int n, double *llr) {
  switch (type) {
    case channeltype::awgn: {
      const double scale = 2.0 / (parameter * parameter);
      for (int i = 0; i < n; i += 2) {
        // The polar method, as nextgausspair draws it.
        double u, v, w;
        do {
          u = 2.0 * nextdraw(&state) - 1.0;
          v = 2.0 * nextdraw(&state) - 1.0;
          w = u * u + v * v;
        } while (w >= 1.0);
        const double f = std::sqrt(-2.0 * std::log(w) / w);
        llr[i] = scale * (1.0 + parameter * u * f);
        if (i + 1 < n) llr[i + 1] = scale * (1.0 + parameter * v * f);
      }
      return;
    }
    case channeltype::bec:
      for (int i = 0; i < n; ++i) llr[i] = nextdraw(&state) < parameter ? 0.0 : certainllr;
      return;
    case channeltype::bsc: {
      const double magnitude = parameter <= 0.0
                                   ? certainllr
                                   : std::min(certainllr, std::log((1.0 - parameter) / parameter));
      for (int i = 0; i < n; ++i) llr[i] = nextdraw(&state) < parameter ? -magnitude : magnitude;
      return;
    }
  }
}

}  // namespace ldpc
