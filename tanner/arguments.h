// The arguments every subcommand reads alike: --help, --version and
// "--option=value".
#ifndef TANNER_ARGUMENTS_H
#define TANNER_ARGUMENTS_H

#include <vector>

namespace tanner {

bool ishelp(const char *arg);
// Whether arg is --version; printversion prints "tanner VERSION".
bool isversion(const char *arg);
void printversion();

// Splits every "--option=value" argument into "--option" "value".
std::vector<char *> splitoptions(int argc, char **argv);

}  // namespace tanner

#endif
