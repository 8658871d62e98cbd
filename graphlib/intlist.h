// A growable list of integers for readers that must not size anything by a
// count that the file claims before the file has shown that it holds it.
// Never prints or exits, except through allocate when memory runs out.
#ifndef LDPC_INTLIST_H
#define LDPC_INTLIST_H

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "allocate.h"

namespace ldpc {

struct intlist {
  int *items;  // from allocate; release with free
  std::int64_t count;
  std::int64_t capacity;
};

inline void append(intlist *list, int value) {
  if (list->count == list->capacity) {
    std::int64_t capacity = list->capacity < 256 ? 256 : list->capacity * 2;
    int *items = allocatearray<int>(capacity);
    if (list->count > 0)
      std::memcpy(items, list->items, static_cast<std::size_t>(list->count) * sizeof(int));
    std::free(list->items);
    list->items = items;
    list->capacity = capacity;
  }
  list->items[list->count++] = value;
}

}  // namespace ldpc

#endif
