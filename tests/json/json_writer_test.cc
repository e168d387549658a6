#include "json/json_writer.h"

#include <gtest/gtest.h>

#include "json/json_reader.h"

namespace mobrel::json {
namespace {

TEST(JsonWriterTest, EscapesExactly) {
  struct Case {
    std::string in;
    std::string out;
  } cases[] = {
      {"plain", "plain"},
      {"q\"b\\", "q\\\"b\\\\"},
      {"\b\t\n\f\r", "\\b\\t\\n\\f\\r"},
      {std::string("\x00\x01\x1f", 3), "\\u0000\\u0001\\u001f"},
      {"/ \x7f", "/ \x7f"},
      {"\xE2\x86\x92 \xC3\xA9", "\xE2\x86\x92 \xC3\xA9"},
      {"\x0b\x1b", "\\u000b\\u001b"},
  };
  for (const Case& c : cases) {
    std::string out;
    append_escaped(out, c.in);
    EXPECT_EQ(out, c.out);
  }
}

TEST(JsonWriterTest, CompactObjectsAndArrays) {
  JsonWriter writer;
  writer.begin_object()
      .key("a")
      .boolean(false)
      .key("b")
      .null()
      .key("c")
      .begin_array()
      .unsigned_integer(0)
      .unsigned_integer(18446744073709551615ull)
      .end_array()
      .key("d")
      .begin_array()
      .end_array()
      .key("e")
      .string("x")
      .end_object();
  EXPECT_EQ(writer.text(), R"({"a":false,"b":null,"c":[0,18446744073709551615],"d":[],"e":"x"})");
  EXPECT_TRUE(parse_document(writer.text()).has_value());
}

TEST(JsonWriterTest, OutOfOrderNamesAreABug) {
  EXPECT_DEATH(
      {
        JsonWriter writer;
        writer.begin_object().key("b").null().key("a");
      },
      "");
}

TEST(JsonReaderTest, StrictDocumentsOnly) {
  EXPECT_TRUE(parse_document(" \t\r\n{\"a\":\"1\"}\n").has_value());
  EXPECT_FALSE(parse_document("{} x").has_value());
  EXPECT_FALSE(parse_document("{\"a\":1,}").has_value());
  EXPECT_FALSE(parse_document("/* c */ {}").has_value());
  EXPECT_FALSE(parse_document("\"\xff\"").has_value());
  EXPECT_FALSE(parse_document("").has_value());
  EXPECT_EQ(parse_document(R"({"k":"1","k":"2"})")->at("k").as_string(), "2");
  EXPECT_TRUE(parse_document(std::string(127, '[') + std::string(127, ']')).has_value());
  EXPECT_FALSE(parse_document(std::string(128, '[') + std::string(128, ']')).has_value());
}

}  // namespace
}  // namespace mobrel::json
