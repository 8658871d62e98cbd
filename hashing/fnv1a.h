// FNV-1a, 64 bits: the hash behind the ledgers' configuration hashes and
// the fingerprints the libraries write as 16 hexadecimal digits. Those
// digits are stored in files, so the hash of a given input never changes.
#ifndef LDPC_FNV1A_H
#define LDPC_FNV1A_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace ldpc {

// The hash fed piece by piece: bytes of text, or 64-bit words as their
// eight bytes from the lowest.
struct fnv1a64 {
  std::uint64_t value = 0xcbf29ce484222325ULL;

  void add(unsigned char byte) { value = (value ^ byte) * 0x100000001b3ULL; }
  void add(std::string_view text) {
    for (unsigned char c : text) add(c);
  }
  void addword(std::uint64_t word) {
    for (int k = 0; k < 8; ++k, word >>= 8) add(static_cast<unsigned char>(word & 0xff));
  }
};

// The hash of text.
inline std::uint64_t fnv1a(std::string_view text) {
  fnv1a64 h;
  h.add(text);
  return h.value;
}

// A hash as 16 lower-case hexadecimal digits.
inline std::string hex16(std::uint64_t hash) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

}  // namespace ldpc

#endif
