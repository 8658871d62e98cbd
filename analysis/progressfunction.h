// The progress callback of the long constructions and searches of analysis/.
#ifndef LDPC_PROGRESSFUNCTION_H
#define LDPC_PROGRESSFUNCTION_H

#include <cstdint>

namespace ldpc {

// Called now and then by the long computations with the work done and the
// total; may print progress.
typedef void (*progressfunction)(std::int64_t done, std::int64_t total, const char *what);

}  // namespace ldpc

#endif
