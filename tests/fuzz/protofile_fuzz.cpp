// libFuzzer harness of the proto-file reading core: see properties.h for
// what every input must keep. A violated property aborts, so libFuzzer
// records the input as a finding.
#include <cstdio>
#include <cstdlib>

#include "properties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::string fault = fuzzprops::checkprotofile(data, size);
  if (!fault.empty()) {
    std::fprintf(stderr, "protofile property violated: %s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
