// Memory for every record and array of the library.
//
// Every block comes from malloc or calloc and is released with free. When a
// block cannot be had, the process ends: the Not-sufficient-memory banner on
// standard output, then exit status 1. This is the one place where the
// library's reading and construction cores may end the process; a host that
// must not end (an interpreter) can have std::bad_alloc thrown instead
// (setallocationfailure).
#ifndef LDPC_ALLOCATE_H
#define LDPC_ALLOCATE_H

#include <cstdint>

namespace ldpc {

// Returns a fresh, uninitialised block of n bytes. Never returns null: when
// the heap cannot supply the block (or n is negative) it prints the
// Not-sufficient-memory banner on standard output and exits with status 1.
// A request of 0 bytes succeeds. Sizes are 64-bit so that arrays beyond
// 2 GiB can be requested.
void *allocate(std::int64_t n);

// A block of n zero bytes, or the memory banner and status 1 like allocate.
// Pages that are never written cost no memory: an array of records that
// are mostly left zero grows with the records that are filled in.
void *allocatezeroed(std::int64_t n);

// An uninitialised array of n elements of T from allocate; a count that is
// negative or whose size does not fit in 64 bits ends the process like a
// failed allocate.
template <typename T>
T *allocatearray(std::int64_t n) {
  constexpr std::int64_t most = INT64_MAX / static_cast<std::int64_t>(sizeof(T));
  return static_cast<T *>(
      allocate(n >= 0 && n <= most ? n * static_cast<std::int64_t>(sizeof(T)) : -1));
}

// The same, every element zero bytes, from allocatezeroed.
template <typename T>
T *allocatezeroedarray(std::int64_t n) {
  constexpr std::int64_t most = INT64_MAX / static_cast<std::int64_t>(sizeof(T));
  return static_cast<T *>(
      allocatezeroed(n >= 0 && n <= most ? n * static_cast<std::int64_t>(sizeof(T)) : -1));
}

// What allocate and allocatezeroed do when the heap cannot supply a block.
// exits, the default: the banner and status 1, as above. throws: they throw
// std::bad_alloc and print nothing, and every block then comes zeroed, so
// that a record whose building an exception cut short holds null pointers
// wherever nothing was allocated yet and can still be released with
// freegraph (arrays the building held on its own are lost). Process-wide;
// set it once, before other threads allocate. Returns the previous mode.
enum class allocationfailure { exits, throws };
allocationfailure setallocationfailure(allocationfailure mode);

// Opt-in tuning for programs whose work is building one large graph (the
// converter, tanner): from this call on, the heap grows in large steps and
// it and every block of 2 MiB or more are advised to use transparent huge
// pages, one page fault per 2 MiB instead of per 4 KiB. Changes how memory
// is obtained, never what it holds. The library never calls it itself: a
// program that links the library keeps its allocator as it set it. Call it
// once, at start, before other threads exist.
void tuneheapforlargegraphs();

}  // namespace ldpc

#endif
