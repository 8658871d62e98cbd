// The generator behind both random streams: the 48-bit linear congruential
// generator of the POSIX drand48 family, stepped exactly as erand48 steps
// its three words (word 0 least significant). Never prints, exits or
// allocates.
#ifndef LDPC_RANDOMSTREAM_H
#define LDPC_RANDOMSTREAM_H

#include <cstdint>

namespace ldpc {

constexpr std::uint64_t lcgmultiplier = 0x5DEECE66DULL;
constexpr std::uint64_t lcgaddend = 0xB;
constexpr std::uint64_t lcgmask = (1ULL << 48) - 1;

inline std::uint64_t loadstate(const unsigned short words[3]) {
  return static_cast<std::uint64_t>(words[0]) | static_cast<std::uint64_t>(words[1]) << 16 |
         static_cast<std::uint64_t>(words[2]) << 32;
}

inline void storestate(unsigned short words[3], std::uint64_t state) {
  words[0] = static_cast<unsigned short>(state);
  words[1] = static_cast<unsigned short>(state >> 16);
  words[2] = static_cast<unsigned short>(state >> 32);
}

// One step; returns the new state divided by 2^48, as erand48 does.
inline double nextdraw(std::uint64_t *state) {
  *state = (*state * lcgmultiplier + lcgaddend) & lcgmask;
  return static_cast<double>(*state) * (1.0 / 281474976710656.0);
}

// One draw from a stream held in three words.
inline double drawfrom(unsigned short words[3]) {
  std::uint64_t state = loadstate(words);
  double u = nextdraw(&state);
  storestate(words, state);
  return u;
}

// Fills perm with the permutation of 0..n-1 that graphrandompermutation
// yields from the stream in words (n draws, output k at perm[n-1-k]), in
// place: no inverse is formed and nothing is allocated.
void drawbackfilled(unsigned short words[3], int *perm, int n);

}  // namespace ldpc

#endif
