// What the subcommands' JSON output shares: the writer of every report, and
// jsonstring for the text some still join by hand.
#ifndef TANNER_JSONOUT_H
#define TANNER_JSONOUT_H

#include <string>

#include "jsonwriter.h"

namespace tanner {

// text as a JSON string, quotes included (ldpc::jsonquoted).
std::string jsonstring(const std::string &text);

}  // namespace tanner

#endif
