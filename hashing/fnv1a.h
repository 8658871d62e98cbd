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

  constexpr void add(unsigned char byte) { value = (value ^ byte) * 0x100000001b3ULL; }
  constexpr void add(std::string_view text) {
    for (unsigned char c : text) add(c);
  }
  constexpr void addword(std::uint64_t word) {
    for (int k = 0; k < 8; ++k, word >>= 8) add(static_cast<unsigned char>(word & 0xff));
  }
};

// The hash of text.
constexpr std::uint64_t fnv1a(std::string_view text) {
  fnv1a64 h;
  h.add(text);
  return h.value;
}

// The published vectors, and a word fed as its bytes from the lowest.
static_assert(fnv1a("") == 0xcbf29ce484222325ULL);
static_assert(fnv1a("a") == 0xaf63dc4c8601ec8cULL);
static_assert(fnv1a("foobar") == 0x85944171f73967e8ULL);
static_assert([] {
  fnv1a64 h;
  h.addword(0x7261626f6f66ULL);  // "foobar", then two zero bytes
  return h.value == fnv1a(std::string_view("foobar\0\0", 8));
}());

// A hash as 16 lower-case hexadecimal digits.
inline std::string hex16(std::uint64_t hash) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

}  // namespace ldpc

#endif
