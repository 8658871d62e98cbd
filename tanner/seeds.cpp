#include "seeds.h"

#include "exits.h"
#include "simulation.h"

namespace tanner {

void parseseed(const std::string &command, const std::string &text, unsigned short words[3]) {
  if (!ldpc::parsestreamstate(text.c_str(), words))
    usageerror(command, "--seed takes W0,W1,W2 (each 0..65535) or an integer below 2^48, not '" +
                            text + "'");
}

std::string formatseed(const unsigned short words[3]) {
  char text[ldpc::streamstatechars];
  ldpc::formatstreamstate(words, text);
  return text;
}

}  // namespace tanner
