// libFuzzer harness of the code description reading core: see properties.h
// for what every input must keep, the byte-exact round trip included. A
// violated property aborts, so libFuzzer records the input as a finding.
#include <cstdio>
#include <cstdlib>

#include "properties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::string fault = fuzzprops::checkdescfile(data, size);
  if (!fault.empty()) {
    std::fprintf(stderr, "descfile property violated: %s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
