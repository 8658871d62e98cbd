// Numbers and lists of numbers given as option values.
#ifndef TANNER_NUMBERS_H
#define TANNER_NUMBERS_H

#include <string>
#include <vector>

namespace tanner {

// Option values; a malformed value is a usage error of command.
int parseint(const std::string &command, const std::string &option, const std::string &text);
// An integer of at least least.
int parsecount(const std::string &command, const std::string &option, const std::string &text,
               int least);
double parsedouble(const std::string &command, const std::string &option, const std::string &text);
std::vector<int> parseintlist(const std::string &command, const std::string &option,
                              const std::string &text);
std::vector<double> parsedoublelist(const std::string &command, const std::string &option,
                                    const std::string &text);
// The value of --girth G: an even number of at least 4.
int parsegirth(const std::string &command, const std::string &text);

}  // namespace tanner

#endif
