// JSON text in the programs' layout: ", " between members and elements,
// ": " after a key, no line breaks, and every number in the printf format its
// caller names.
//
//   ldpc::jsonwriter w;
//   w.beginobject().key("a").integer(1).key("b").beginarray();
//   w.integer(1).integer(2).endarray().endobject();
//   w.text() == "{\"a\": 1, \"b\": [1, 2]}"
//
// The writer places the separators; it checks nothing else (a key outside an
// object or an unclosed container is the caller's mistake).
#ifndef LDPC_JSONWRITER_H
#define LDPC_JSONWRITER_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ldpc {

// text as a JSON string, quotes included: '"' and '\' escaped with a
// backslash, the bytes below 0x20 as \u00XX, every other byte (UTF-8
// sequences too) as it is.
std::string jsonquoted(std::string_view text);
// x in a printf format for one double ("%.17g", "%.10g").
std::string jsonreal(double x, const char *format);
// The same, or null when x is not finite.
std::string jsonrealornull(double x, const char *format);

class jsonwriter {
 public:
  jsonwriter &beginobject();
  jsonwriter &endobject();
  jsonwriter &beginarray();
  jsonwriter &endarray();
  // The key of the next member of the open object.
  jsonwriter &key(std::string_view name);

  jsonwriter &string(std::string_view text);
  jsonwriter &integer(std::int64_t n);
  // x in a printf format for one double, as it prints (nan and inf too).
  jsonwriter &real(double x, const char *format);
  // The same, or null when x is not finite.
  jsonwriter &realornull(double x, const char *format);
  jsonwriter &null();
  jsonwriter &boolean(bool b);
  // A value already written as JSON, placed as it is.
  jsonwriter &raw(std::string_view json);

  // What is written so far.
  const std::string &text() const { return out; }

 private:
  // Before a value or a key: ", " unless it opens its container or follows
  // its key.
  void separate();
  // A container opened with bracket, or closed with it.
  jsonwriter &open(char bracket);
  jsonwriter &close(char bracket);

  std::string out;
  std::vector<bool> empty;  // per open container: nothing in it yet
  bool afterkey = false;
};

}  // namespace ldpc

#endif
