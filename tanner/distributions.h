// The degree distribution of an irregular ensemble on the command line.
#ifndef TANNER_DISTRIBUTIONS_H
#define TANNER_DISTRIBUTIONS_H

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "optiontable.h"

namespace tanner {

// The degree distribution of an irregular ensemble on the command line:
// --vdeg D,.. --vfrac F,.. --cdeg D,.. --cfrac F,.. [--edge-fractions].
struct distributionargs {
  std::vector<int> vdeg, cdeg;
  std::vector<double> vfrac, cfrac;
  bool edgefractions = false;
};
// Those options as table entries (no help lines, each once); taken runs
// after each.
std::vector<optionentry> distributionoptions(
    const std::string &command, distributionargs *distribution,
    const std::function<void()> &taken = [] {});
// Fractions of one side: each at least 0, together 1 (relative tolerance
// 1e-9); a usage error of command otherwise.
void checkfractions(const std::string &command, const char *option,
                    const std::vector<double> &fractions);
// A usage error for a distribution that is incomplete or malformed, with
// --length when the ensemble has a length: ldpc::irregularinputfault.
void checkdistributionargs(const std::string &command, const distributionargs &distribution,
                           std::optional<int> length = std::nullopt);

}  // namespace tanner

#endif
