#include "jsonout.h"

#include "jsonwriter.h"

namespace tanner {

std::string jsonstring(const std::string &text) { return ldpc::jsonquoted(text); }

}  // namespace tanner
