// Memory for every record and array of the library, and the comment
// skipper for programs that read the text formats through stdio.
#include <cstdio>
#include <cstdlib>

#include "graphstruct.h"
#include "simulation.h"

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

void skip(FILE *fp, int verbose) {
  // Only the character directly before the slash counts, so a slash read
  // first never closes: the previous character starts as a blank.
  int previous = ' ';
  for (;;) {
    int c = std::getc(fp);
    if (c == EOF) return;
    if (verbose != 0) std::putchar(c);
    if (c == '/' && previous == '*') break;
    previous = c;
  }
  // The line feed that ends the comment's line goes with it, unechoed;
  // anything else is left for the next read.
  int next = std::getc(fp);
  if (next != '\n' && next != EOF) std::ungetc(next, fp);
}

}  // namespace ldpc
