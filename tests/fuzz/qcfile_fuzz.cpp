// libFuzzer harness of the base-matrix file reading core: see
// qcproperties.h for what every input must keep. A violated property aborts,
// so libFuzzer records the input as a finding.
#include <cstdio>
#include <cstdlib>

#include "qcproperties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::string fault = fuzzprops::checkqcfile(data, size);
  if (!fault.empty()) {
    std::fprintf(stderr, "qcfile property violated: %s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
