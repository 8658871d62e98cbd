#include "distributions.h"

#include "exits.h"
#include "graphfile.h"
#include "numbers.h"

namespace tanner {

std::vector<optionentry> distributionoptions(const std::string &command,
                                             distributionargs *distribution,
                                             const std::function<void()> &taken) {
  distributionargs *d = distribution;
  auto ints = [=](const char *name, std::vector<int> *list) {
    return optionentry{name, optionkind::list, "",
                       [=](const std::string &value) {
                         *list = parseintlist(command, name, value);
                         taken();
                       },
                       true};
  };
  auto reals = [=](const char *name, std::vector<double> *list) {
    return optionentry{name, optionkind::list, "",
                       [=](const std::string &value) {
                         *list = parsedoublelist(command, name, value);
                         taken();
                       },
                       true};
  };
  return {ints("--vdeg", &d->vdeg),
          reals("--vfrac", &d->vfrac),
          ints("--cdeg", &d->cdeg),
          reals("--cfrac", &d->cfrac),
          {"--edge-fractions", optionkind::flag, "",
           [=](const std::string &) {
             d->edgefractions = true;
             taken();
           },
           true}};
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
