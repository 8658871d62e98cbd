// What the subcommands' JSON output shares.
#ifndef TANNER_JSONOUT_H
#define TANNER_JSONOUT_H

#include <string>

namespace tanner {

// text as a JSON string, quotes included.
std::string jsonstring(const std::string &text);

}  // namespace tanner

#endif
