// libFuzzer harness of the buffered text writer and the node format of the
// code description writer: see checktextwriter in properties.h. A violated
// property aborts, so libFuzzer records the input as a finding.
#include <cstdio>
#include <cstdlib>

#include "properties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::string fault = fuzzprops::checktextwriter(data, size);
  if (!fault.empty()) {
    std::fprintf(stderr, "textwriter property violated: %s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
