// Stream states as text, one syntax for every program.
#include <cstdio>
#include <cstring>

#include "simulation.h"

namespace ldpc {

namespace {

// Reads the digits from text up to stop (at most maxdigits of them, at
// least one) into *value.
bool readdigits(const char *text, const char *stop, int maxdigits, unsigned long long *value) {
  if (stop == text || stop - text > maxdigits) return false;
  unsigned long long total = 0;
  for (const char *p = text; p < stop; ++p) {
    if (*p < '0' || *p > '9') return false;
    total = total * 10 + static_cast<unsigned>(*p - '0');
  }
  *value = total;
  return true;
}

}  // namespace

bool parsestreamstate(const char *text, unsigned short words[3]) {
  const char *end = text + std::strlen(text);
  const char *first = std::strchr(text, ',');
  if (first == nullptr) {
    // 15 digits cannot overflow; 2^48 has 15.
    unsigned long long state;
    if (!readdigits(text, end, 15, &state) || state >= (1ULL << 48)) return false;
    words[0] = static_cast<unsigned short>(state);
    words[1] = static_cast<unsigned short>(state >> 16);
    words[2] = static_cast<unsigned short>(state >> 32);
    return true;
  }
  const char *second = std::strchr(first + 1, ',');
  if (second == nullptr || std::strchr(second + 1, ',') != nullptr) return false;
  const char *starts[3] = {text, first + 1, second + 1};
  const char *stops[3] = {first, second, end};
  unsigned long long value[3];
  for (int k = 0; k < 3; ++k)
    if (!readdigits(starts[k], stops[k], 5, &value[k]) || value[k] > 65535) return false;
  for (int k = 0; k < 3; ++k) words[k] = static_cast<unsigned short>(value[k]);
  return true;
}

void formatstreamstate(const unsigned short words[3], char text[streamstatechars]) {
  std::snprintf(text, streamstatechars, "%u,%u,%u", static_cast<unsigned>(words[0]),
                static_cast<unsigned>(words[1]), static_cast<unsigned>(words[2]));
}

}  // namespace ldpc
