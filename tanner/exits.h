// Exit statuses, the two ways a subcommand ends on a fault, and the end of
// standard output.
#ifndef TANNER_EXITS_H
#define TANNER_EXITS_H

#include <string>

namespace tanner {

// Exit statuses of every subcommand.
constexpr int statusok = 0;
constexpr int statusfailed = 1;
constexpr int statususage = 2;

// "tanner COMMAND: message" and a hint on standard error; exits with 2.
[[noreturn]] void usageerror(const std::string &command, const std::string &message);
// "tanner: message" on standard error; exits with 1.
[[noreturn]] void fail(const std::string &message);

// Flushes standard output; when a write to it fails, ends the process at
// once with status 1 and the reason of that write. Call it after each part
// of a long command's output, so that a full disk stops the work.
void flushoutput();

// Flushes and closes standard output and ends the process: with status, or
// with 1 and a message when what was printed could not be written.
[[noreturn]] void finish(int status);

}  // namespace tanner

#endif
