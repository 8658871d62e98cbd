#include "numbers.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "exits.h"

namespace tanner {

namespace {

// Whether text is digits only (at least one), after one leading '-' when
// sign is set.
bool isnumeral(const std::string &text, bool sign) {
  std::string::size_type start = sign && !text.empty() && text[0] == '-' ? 1 : 0;
  if (start == text.size()) return false;
  for (std::string::size_type i = start; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

}  // namespace

int parseint(const std::string &command, const std::string &option, const std::string &text) {
  errno = 0;
  char *end = nullptr;
  long value = isnumeral(text, true) ? std::strtol(text.c_str(), &end, 10) : 0;
  if (!isnumeral(text, true) || *end != '\0' || errno != 0 || value < INT32_MIN ||
      value > INT32_MAX)
    usageerror(command, option + " takes an integer, not '" + text + "'");
  return static_cast<int>(value);
}

int parsecount(const std::string &command, const std::string &option, const std::string &text,
               int least) {
  int value = parseint(command, option, text);
  if (value < least)
    usageerror(command, option + " must be at least " + std::to_string(least) + ", not " + text);
  return value;
}

namespace {

// Whether text is a decimal number: an optional sign, digits with at most
// one point among or around them, and an optional exponent; no blanks, no
// hexadecimal, no inf or nan.
bool isdecimal(const std::string &text) {
  std::string::size_type i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  int digits = 0;
  bool point = false;
  for (; i < text.size(); ++i) {
    if (text[i] >= '0' && text[i] <= '9')
      ++digits;
    else if (text[i] == '.' && !point)
      point = true;
    else
      break;
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (i == text.size()) return false;
    for (; i < text.size(); ++i)
      if (text[i] < '0' || text[i] > '9') return false;
  }
  return i == text.size();
}

}  // namespace

double parsedouble(const std::string &command, const std::string &option, const std::string &text) {
  errno = 0;
  char *end = nullptr;
  double value = isdecimal(text) ? std::strtod(text.c_str(), &end) : 0.0;
  if (!isdecimal(text) || *end != '\0' || errno != 0 || !std::isfinite(value))
    usageerror(command, option + " takes a decimal number, not '" + text + "'");
  return value;
}

namespace {

std::vector<std::string> splitcommas(const std::string &text) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  for (;;) {
    std::string::size_type comma = text.find(',', start);
    parts.push_back(text.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return parts;
}

}  // namespace

namespace {

// Each comma-separated part of text as parse reads it.
template <typename parser>
auto parseparts(const std::string &text, parser parse) {
  std::vector<decltype(parse(text))> values;
  for (const std::string &part : splitcommas(text)) values.push_back(parse(part));
  return values;
}

}  // namespace

std::vector<int> parseintlist(const std::string &command, const std::string &option,
                              const std::string &text) {
  return parseparts(text, [&](const std::string &part) { return parseint(command, option, part); });
}

std::vector<double> parsedoublelist(const std::string &command, const std::string &option,
                                    const std::string &text) {
  return parseparts(text,
                    [&](const std::string &part) { return parsedouble(command, option, part); });
}

int parsegirth(const std::string &command, const std::string &text) {
  const int girth = parseint(command, "--girth", text);
  if (girth < 4 || girth % 2 != 0)
    usageerror(command, "--girth takes an even number of at least 4");
  return girth;
}

}  // namespace tanner
