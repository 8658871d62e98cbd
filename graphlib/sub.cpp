// Memory for every record and array of the library, and the comment
// skipper for programs that read the text formats through stdio.
#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "allocate.h"
#include "simulation.h"

namespace ldpc {

namespace {

// Building a large graph touches every page of its records once, and where
// page faults are dear (tens of microseconds each on virtual machines) they
// took most of the time of a conversion. A program that opts in therefore
// has the heap and every large block offered transparent huge pages, one
// fault per 2 MiB instead of per 4 KiB. Where the system does not offer them
// the advice is ignored; the memory and its contents are the same either
// way. advisedbreak stays 0 until the program opts in.
constexpr std::uintptr_t hugepage = std::uintptr_t{2} << 20;
std::uintptr_t advisedbreak = 0;

void advisehugepages(std::uintptr_t begin, std::uintptr_t end) {
  begin = (begin + hugepage - 1) & ~(hugepage - 1);
  end &= ~(hugepage - 1);
  if (end > begin) madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
}

// Large blocks are mappings of their own; small ones come from the heap,
// whose new part is advised whenever it has grown.
void advisenewmemory(void *block, std::int64_t n) {
  if (n >= static_cast<std::int64_t>(hugepage)) {
    std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(block);
    advisehugepages(begin, begin + static_cast<std::uintptr_t>(n));
  }
  std::uintptr_t brk = reinterpret_cast<std::uintptr_t>(sbrk(0));
  if (brk > advisedbreak) {
    advisehugepages(advisedbreak, brk);
    advisedbreak = brk;
  }
}

std::atomic<allocationfailure> failuremode{allocationfailure::exits};

[[noreturn]] void outofmemory() {
  if (failuremode.load(std::memory_order_relaxed) == allocationfailure::throws)
    throw std::bad_alloc();
  std::fputs(
      "/***********************************/"
      "/*    W   A   R   N   I   N   G    */"
      "/***********************************/"
      "/*      Not sufficient memory!     */"
      "/***********************************/",
      stdout);
  std::exit(1);
}

}  // namespace

void tuneheapforlargegraphs() {
  if (advisedbreak != 0) return;
  // Grow the heap in large steps, so that each step can be advised whole;
  // under a limit on the address space, in steps small beside it.
  std::int64_t pad = std::int64_t{64} << 20;
  struct rlimit limit;
  if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      static_cast<std::int64_t>(limit.rlim_cur / 16) < pad)
    pad = static_cast<std::int64_t>(limit.rlim_cur / 16);
  mallopt(M_TOP_PAD, static_cast<int>(pad));
  advisedbreak = reinterpret_cast<std::uintptr_t>(sbrk(0));
}

void *allocatezeroed(std::int64_t n) {
  // calloc takes fresh mappings as they come, zero without touching them
  void *block = nullptr;
  if (n >= 0 && static_cast<std::uint64_t>(n) <= SIZE_MAX)
    block = std::calloc(n > 0 ? static_cast<std::size_t>(n) : 1, 1);
  if (block == nullptr) outofmemory();
  return block;
}

allocationfailure setallocationfailure(allocationfailure mode) {
  return failuremode.exchange(mode);
}

void *allocate(std::int64_t n) {
  if (failuremode.load(std::memory_order_relaxed) == allocationfailure::throws)
    return allocatezeroed(n);
  void *block = nullptr;
  if (n >= 0 && static_cast<std::uint64_t>(n) <= SIZE_MAX) {
    // malloc(0) may return null; a request for nothing must still succeed
    block = std::malloc(n > 0 ? static_cast<std::size_t>(n) : 1);
  }
  if (block == nullptr) outofmemory();
  if (advisedbreak != 0) advisenewmemory(block, n);
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
