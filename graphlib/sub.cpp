// Memory for every record and array of the library.
#include <cstdio>
#include <cstdlib>

#include "graphstruct.h"

namespace ldpc {

void *allocate(std::int64_t n) {
  void *block = nullptr;
  if (n >= 0 && static_cast<std::uint64_t>(n) <= SIZE_MAX) {
    // malloc(0) may return null; a request for nothing must still succeed
    block = std::malloc(n > 0 ? static_cast<std::size_t>(n) : 1);
  }
  if (block == nullptr) {
    std::fputs("/***********************************/"
               "/*    W   A   R   N   I   N   G    */"
               "/***********************************/"
               "/*      Not sufficient memory!     */"
               "/***********************************/",
               stdout);
    std::exit(1);
  }
  return block;
}

}  // namespace ldpc
