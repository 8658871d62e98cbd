#include "arguments.h"

#include <cstdio>
#include <cstring>

#include "ldpcgraph_version.h"

namespace tanner {

bool ishelp(const char *arg) {
  return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0;
}

bool isversion(const char *arg) { return std::strcmp(arg, "--version") == 0; }

void printversion() { std::printf("tanner (ldpcgraph) %s\n", LDPCGRAPH_VERSION); }

std::vector<char *> splitoptions(int argc, char **argv) {
  std::vector<char *> args;
  for (int i = 0; i < argc; ++i) {
    char *equals = std::strchr(argv[i], '=');
    if (std::strncmp(argv[i], "--", 2) == 0 && equals != nullptr && equals > argv[i] + 2) {
      *equals = '\0';
      args.push_back(argv[i]);
      args.push_back(equals + 1);
    } else {
      args.push_back(argv[i]);
    }
  }
  args.push_back(nullptr);
  return args;
}

}  // namespace tanner
