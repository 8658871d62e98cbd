#include "distributions.h"

#include "exits.h"
#include "graphfile.h"
#include "numbers.h"

namespace tanner {

int takedistributionoption(const std::string &command, const std::string &arg, const char *value,
                           distributionargs *distribution) {
  if (arg == "--edge-fractions") {
    distribution->edgefractions = true;
    return 1;
  }
  if (arg != "--vdeg" && arg != "--cdeg" && arg != "--vfrac" && arg != "--cfrac") return 0;
  if (value == nullptr) usageerror(command, arg + " needs a value");
  if (arg == "--vdeg")
    distribution->vdeg = parseintlist(command, arg, value);
  else if (arg == "--cdeg")
    distribution->cdeg = parseintlist(command, arg, value);
  else if (arg == "--vfrac")
    distribution->vfrac = parsedoublelist(command, arg, value);
  else
    distribution->cfrac = parsedoublelist(command, arg, value);
  return 2;
}

void checkfractions(const std::string &command, const char *option,
                    const std::vector<double> &fractions) {
  std::string why;
  if (!ldpc::fractionsusable(fractions, &why)) usageerror(command, std::string(option) + " " + why);
}

void checkdistributionargs(const std::string &command, const distributionargs &distribution,
                           std::optional<int> length) {
  const std::string fault = ldpc::irregularinputfault(
      distribution.vdeg, distribution.vfrac, distribution.cdeg, distribution.cfrac, length, "--");
  if (!fault.empty()) usageerror(command, fault);
}

}  // namespace tanner
