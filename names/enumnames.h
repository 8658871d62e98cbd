// The text names of an enumeration whose values count up from 0: a table of
// names in the order of the values, and the value a name stands for.
#ifndef LDPC_ENUMNAMES_H
#define LDPC_ENUMNAMES_H

#include <cstddef>
#include <string>

namespace ldpc {

// The name of value in names, or otherwise when value is not one of the
// enumerators the table names.
template <class E, std::size_t N>
const char *enumname(const char *const (&names)[N], E value, const char *otherwise = "") {
  const auto k = static_cast<std::size_t>(value);
  return k < N ? names[k] : otherwise;
}

// Sets *value to the enumerator whose name is name and returns true, or
// returns false and leaves *value as it was.
template <class E, std::size_t N>
bool parseenumname(const char *const (&names)[N], const std::string &name, E *value) {
  for (std::size_t k = 0; k < N; ++k)
    if (name == names[k]) {
      *value = static_cast<E>(k);
      return true;
    }
  return false;
}

}  // namespace ldpc

#endif
