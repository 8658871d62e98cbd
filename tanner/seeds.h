// The graph-stream state of --seed, read and printed.
#ifndef TANNER_SEEDS_H
#define TANNER_SEEDS_H

#include <string>

namespace tanner {

// The graph-stream state given by --seed: "W0,W1,W2" (three 16-bit words,
// word 0 least significant) or one integer S, 0 <= S < 2^48, that is the
// 48-bit state itself (W0 = S mod 65536, W1 = S / 65536 mod 65536,
// W2 = S / 2^32).
void parseseed(const std::string &command, const std::string &text, unsigned short words[3]);
std::string formatseed(const unsigned short words[3]);

}  // namespace tanner

#endif
