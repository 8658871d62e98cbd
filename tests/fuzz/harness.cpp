// The libFuzzer harness of one reading core, built once per property (see
// CMakeLists.txt): FUZZ_PROPERTY is a fuzzprops check (properties.h,
// qcproperties.h) that returns what an input broke, or nothing. A violated
// property aborts, so libFuzzer records the input as a finding.
#include <cstdio>
#include <cstdlib>

#include "properties.h"
#include "qcproperties.h"

#ifndef FUZZ_PROPERTY
#error "FUZZ_PROPERTY names the property to check"
#endif
#define FUZZ_TEXT2(x) #x
#define FUZZ_TEXT(x) FUZZ_TEXT2(x)

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::string fault = fuzzprops::FUZZ_PROPERTY(data, size);
  if (!fault.empty()) {
    std::fprintf(stderr, "%s property violated: %s\n", FUZZ_TEXT(FUZZ_NAME), fault.c_str());
    std::abort();
  }
  return 0;
}
