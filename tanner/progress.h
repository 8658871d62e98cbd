// The progress line on standard error while a subcommand runs.
#ifndef TANNER_PROGRESS_H
#define TANNER_PROGRESS_H

#include <cstdint>
#include <string>

namespace tanner {

// Progress on standard error while a subcommand runs, when standard error
// is a terminal: from the first second on, a line with the step and its
// percentage where it reports one, else the seconds elapsed, rewritten
// every second. After forceprogress (--progress) also elsewhere, as a line
// of its own every 5 seconds. showprogresstext shows a line given whole
// instead (at most once a second on a terminal, every 5 seconds elsewhere).
// endprogress stops it and clears the line; call it before printing
// results.
void startprogress(const char *label);
void forceprogress();
void showprogress(std::int64_t done, std::int64_t total, const char *what);
void showprogresstext(const std::string &text);
void endprogress();

}  // namespace tanner

#endif
