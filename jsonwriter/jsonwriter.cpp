#include "jsonwriter.h"

#include <cmath>
#include <cstdio>

namespace ldpc {

std::string jsonquoted(std::string_view text) {
  std::string quoted = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      quoted += escape;
    } else {
      quoted += static_cast<char>(c);
    }
  }
  return quoted + "\"";
}

std::string jsonreal(double x, const char *format) {
  char text[64];
  std::snprintf(text, sizeof text, format, x);
  return text;
}

std::string jsonrealornull(double x, const char *format) {
  return std::isfinite(x) ? jsonreal(x, format) : "null";
}

void jsonwriter::separate() {
  if (afterkey) {
    afterkey = false;
    return;
  }
  if (empty.empty()) return;
  if (!empty.back()) out += ", ";
  empty.back() = false;
}

jsonwriter &jsonwriter::open(char bracket) {
  separate();
  out += bracket;
  empty.push_back(true);
  return *this;
}

jsonwriter &jsonwriter::close(char bracket) {
  out += bracket;
  empty.pop_back();
  return *this;
}

jsonwriter &jsonwriter::beginobject() { return open('{'); }

jsonwriter &jsonwriter::endobject() { return close('}'); }

jsonwriter &jsonwriter::beginarray() { return open('['); }

jsonwriter &jsonwriter::endarray() { return close(']'); }

jsonwriter &jsonwriter::key(std::string_view name) {
  separate();
  out += jsonquoted(name);
  out += ": ";
  afterkey = true;
  return *this;
}

jsonwriter &jsonwriter::string(std::string_view text) { return raw(jsonquoted(text)); }

jsonwriter &jsonwriter::integer(std::int64_t n) { return raw(std::to_string(n)); }

jsonwriter &jsonwriter::real(double x, const char *format) { return raw(jsonreal(x, format)); }

jsonwriter &jsonwriter::realornull(double x, const char *format) {
  return raw(jsonrealornull(x, format));
}

jsonwriter &jsonwriter::null() { return raw("null"); }

jsonwriter &jsonwriter::boolean(bool b) { return raw(b ? "true" : "false"); }

jsonwriter &jsonwriter::raw(std::string_view json) {
  separate();
  out += json;
  return *this;
}

}  // namespace ldpc
