#include "exits.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "progress.h"

namespace tanner {

void usageerror(const std::string &command, const std::string &message) {
  endprogress();
  std::fflush(stdout);
  std::fprintf(stderr, "tanner %s: %s\nTry 'tanner %s --help'.\n", command.c_str(), message.c_str(),
               command.c_str());
  finish(statususage);
}

void fail(const std::string &message) {
  endprogress();
  std::fflush(stdout);
  std::fprintf(stderr, "tanner: %s\n", message.c_str());
  finish(statusfailed);
}

namespace {

// The reason of the first write to standard output that failed, 0 while
// none has.
int outputfault = 0;

}  // namespace

void flushoutput() {
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return;
  outputfault = outputfault != 0 ? outputfault : errno;
  endprogress();
  std::fprintf(stderr, "tanner: cannot write standard output: %s\n", std::strerror(outputfault));
  std::_Exit(statusfailed);
}

void finish(int status) {
  endprogress();
  bool failed = std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
  int reason = outputfault != 0 ? outputfault : errno;
  if (std::fclose(stdout) != 0 && !failed) {
    failed = true;
    reason = errno;
  }
  if (failed) {
    std::fprintf(stderr, "tanner: cannot write standard output: %s\n", std::strerror(reason));
    std::_Exit(statusfailed);
  }
  std::exit(status);
}

}  // namespace tanner
