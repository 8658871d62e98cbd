// The JSON writer against texts written out by hand: the escapes of every
// byte class, the separators of nested and empty containers, and the number
// formats of the reports.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "jsonwriter.h"

namespace {

TEST(jsonwriter, strings_escape_quotes_backslashes_and_control_bytes_only) {
  const struct {
    std::string text, json;
  } cases[] = {
      {"", "\"\""},
      {"plain", "\"plain\""},
      {"a\"b", "\"a\\\"b\""},
      {"back\\slash", "\"back\\\\slash\""},
      {"\\\"", "\"\\\\\\\"\""},
      {std::string("nul\0x", 5), "\"nul\\u0000x\""},
      {"\n\r\t\b\f", "\"\\u000a\\u000d\\u0009\\u0008\\u000c\""},
      {"\x1f\x20", "\"\\u001f \""},
      {"\x7f", "\"\x7f\""},
      {"/", "\"/\""},
      {"gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9f\x98\x80",
       "\"gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9f\x98\x80\""},
      {"\xff\xfe", "\"\xff\xfe\""},  // not UTF-8: passed through all the same
  };
  for (const auto &c : cases) {
    EXPECT_EQ(ldpc::jsonquoted(c.text), c.json) << c.text;
    ldpc::jsonwriter w;
    w.string(c.text);
    EXPECT_EQ(w.text(), c.json);
  }
  // every control byte: six characters, lower-case hex
  const char *hex = "0123456789abcdef";
  for (int c = 0; c < 0x20; ++c) {
    std::string expected = "\"\\u00";
    expected += hex[c / 16];
    expected += hex[c % 16];
    expected += '"';
    EXPECT_EQ(ldpc::jsonquoted(std::string(1, static_cast<char>(c))), expected);
  }
}

TEST(jsonwriter, numbers_print_in_the_format_named) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    std::function<void(ldpc::jsonwriter &)> write;
    std::string json;
  } cases[] = {
      {[](ldpc::jsonwriter &w) { w.integer(0); }, "0"},
      {[](ldpc::jsonwriter &w) { w.integer(-17); }, "-17"},
      {[](ldpc::jsonwriter &w) { w.integer(std::numeric_limits<std::int64_t>::max()); },
       "9223372036854775807"},
      {[](ldpc::jsonwriter &w) { w.integer(std::numeric_limits<std::int64_t>::min()); },
       "-9223372036854775808"},
      {[](ldpc::jsonwriter &w) { w.real(0.1, "%.17g"); }, "0.10000000000000001"},
      {[](ldpc::jsonwriter &w) { w.real(0.1, "%.10g"); }, "0.1"},
      {[](ldpc::jsonwriter &w) { w.real(1.0 / 3.0, "%.10g"); }, "0.3333333333"},
      {[](ldpc::jsonwriter &w) { w.real(1e-300, "%.10g"); }, "1e-300"},
      {[](ldpc::jsonwriter &w) { w.real(2.0, "%.10g"); }, "2"},
      {[](ldpc::jsonwriter &w) { w.real(-0.0, "%.10g"); }, "-0"},
      {[](ldpc::jsonwriter &w) { w.real(1.5, "%.3f"); }, "1.500"},
      {[](ldpc::jsonwriter &w) { w.real(-1.7976931348623157e308, "%.17g"); },
       "-1.7976931348623157e+308"},
      {[inf](ldpc::jsonwriter &w) { w.real(inf, "%.10g"); }, "inf"},
      {[inf](ldpc::jsonwriter &w) { w.realornull(inf, "%.10g"); }, "null"},
      {[inf](ldpc::jsonwriter &w) { w.realornull(-inf, "%.17g"); }, "null"},
      {[nan](ldpc::jsonwriter &w) { w.realornull(nan, "%.10g"); }, "null"},
      {[](ldpc::jsonwriter &w) { w.realornull(0.25, "%.10g"); }, "0.25"},
      {[](ldpc::jsonwriter &w) { w.null(); }, "null"},
      {[](ldpc::jsonwriter &w) { w.boolean(true); }, "true"},
      {[](ldpc::jsonwriter &w) { w.boolean(false); }, "false"},
      {[](ldpc::jsonwriter &w) { w.raw("123456789012345678901234567890"); },
       "123456789012345678901234567890"},
  };
  for (const auto &c : cases) {
    ldpc::jsonwriter w;
    c.write(w);
    EXPECT_EQ(w.text(), c.json);
  }
  EXPECT_EQ(ldpc::jsonrealornull(nan, "%.17g"), "null");
  EXPECT_EQ(ldpc::jsonrealornull(3.0, "%.17g"), "3");
}

TEST(jsonwriter, containers_separate_with_comma_space_and_keys_with_colon_space) {
  const struct {
    std::function<void(ldpc::jsonwriter &)> write;
    std::string json;
  } cases[] = {
      {[](ldpc::jsonwriter &w) { w.beginobject().endobject(); }, "{}"},
      {[](ldpc::jsonwriter &w) { w.beginarray().endarray(); }, "[]"},
      {[](ldpc::jsonwriter &w) { w.beginarray().beginarray().endarray().endarray(); }, "[[]]"},
      {[](ldpc::jsonwriter &w) {
         w.beginarray().beginobject().endobject().beginarray().endarray().endarray();
       },
       "[{}, []]"},
      {[](ldpc::jsonwriter &w) {
         w.beginobject().key("a").integer(1).key("b").beginarray();
         w.integer(1).integer(2).endarray().endobject();
       },
       "{\"a\": 1, \"b\": [1, 2]}"},
      {[](ldpc::jsonwriter &w) {
         w.beginobject().key("e").beginobject().endobject().key("f").beginarray().endarray();
         w.key("g").null().endobject();
       },
       "{\"e\": {}, \"f\": [], \"g\": null}"},
      {[](ldpc::jsonwriter &w) {
         w.beginobject().key("x").beginarray();
         for (int k = 0; k < 3; ++k) w.beginobject().key("k").integer(k).endobject();
         w.endarray().key("y").string("z").endobject();
       },
       "{\"x\": [{\"k\": 0}, {\"k\": 1}, {\"k\": 2}], \"y\": \"z\"}"},
      {[](ldpc::jsonwriter &w) {
         w.beginobject().key("q\"k").raw("[1, 2]").key("").boolean(false).endobject();
       },
       "{\"q\\\"k\": [1, 2], \"\": false}"},
      {[](ldpc::jsonwriter &w) {
         w.beginarray().beginarray().integer(1).endarray().beginarray().integer(2);
         w.integer(3).endarray().endarray();
       },
       "[[1], [2, 3]]"},
  };
  for (const auto &c : cases) {
    ldpc::jsonwriter w;
    c.write(w);
    EXPECT_EQ(w.text(), c.json);
  }
}

TEST(jsonwriter, text_grows_as_written) {
  ldpc::jsonwriter w;
  w.beginobject().key("a");
  EXPECT_EQ(w.text(), "{\"a\": ");
  w.integer(1).key("b");
  EXPECT_EQ(w.text(), "{\"a\": 1, \"b\": ");
  w.string("c").endobject();
  EXPECT_EQ(w.text(), "{\"a\": 1, \"b\": \"c\"}");
}

}  // namespace
