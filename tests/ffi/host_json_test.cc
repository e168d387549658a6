#include "ffi/host_json.h"

#include <gtest/gtest.h>

#include "ffi/host_bytes.h"

namespace mobrel::ffi {
namespace {

std::span<const std::uint8_t> bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(HostJsonTest, MetadataAcceptsOnlyObjectsOfStrings) {
  struct Case {
    const char* name;
    std::string json;
    std::optional<Metadata> want;
  } cases[] = {
      {"two texts", R"({"channel":"web","sender":"bob"})",
       Metadata{{"channel", "web"}, {"sender", "bob"}}},
      {"empty object", "{}", Metadata{}},
      {"later duplicate wins", R"({"k":"1","k":"2"})", Metadata{{"k", "2"}}},
      {"escapes decoded", R"({"a\u0062":"\"q\"\n"})", Metadata{{"ab", "\"q\"\n"}}},
      {"surrounding whitespace", " \t\r\n{\"a\":\"b\"}\n", Metadata{{"a", "b"}}},
      {"a number member", R"({"a":"b","n":1})", std::nullopt},
      {"a null member", R"({"a":null})", std::nullopt},
      {"a nested object", R"({"a":{}})", std::nullopt},
      {"array", R"(["a"])", std::nullopt},
      {"string", R"("a")", std::nullopt},
      {"trailing text", R"({"a":"b"} x)", std::nullopt},
      {"syntax error", R"({"a":"b",})", std::nullopt},
      {"not UTF-8", "{\"a\":\"\xff\"}", std::nullopt},
      {"empty", "", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(read_metadata(bytes(c.json)), c.want) << c.name;
}

TEST(HostJsonTest, RiskFromText) {
  struct Case {
    const char* text;
    RiskLevel want;
  } cases[] = {
      {"low", RiskLevel::Low},           {"HIGH", RiskLevel::High},
      {"Critical", RiskLevel::Critical}, {"medium", RiskLevel::Medium},
      {"med", RiskLevel::Medium},        {" high", RiskLevel::Medium},
      {"", RiskLevel::Medium},           {"h\xC3\xAFgh", RiskLevel::Medium},
  };
  for (const Case& c : cases) EXPECT_EQ(risk_from_str(c.text), c.want) << c.text;
}

TEST(HostJsonTest, ToolDefinitions) {
  struct Case {
    const char* name;
    std::string json;
    RiskLevel risk;
    std::optional<std::string> category;
  } cases[] = {
      {"both", R"({"risk":"HIGH","category":"network_outbound","x":[1]})", RiskLevel::High,
       "network_outbound"},
      {"numeric risk", R"({"risk":3})", RiskLevel::Medium, std::nullopt},
      {"escaped category", R"({"category":"a\"b\u00e9"})", RiskLevel::Medium, "a\"b\xC3\xA9"},
      {"later duplicate wins", R"({"risk":"low","risk":"critical"})", RiskLevel::Critical,
       std::nullopt},
      {"array", R"([{"risk":"high"}])", RiskLevel::Medium, std::nullopt},
      {"trailing text", R"({"risk":"high"} x)", RiskLevel::Medium, std::nullopt},
      {"too deep", R"({"risk":"high","x":)" + std::string(127, '[') + std::string(127, ']') + "}",
       RiskLevel::Medium, std::nullopt},
      {"deep but within the limit",
       R"({"risk":"high","x":)" + std::string(126, '[') + std::string(126, ']') + "}",
       RiskLevel::High, std::nullopt},
      {"empty", "", RiskLevel::Medium, std::nullopt},
  };
  for (const Case& c : cases) {
    ToolEntry entry = read_tool_definition(bytes(c.json));
    EXPECT_EQ(entry.risk, c.risk) << c.name;
    EXPECT_EQ(entry.category, c.category) << c.name;
  }
}

TEST(HostJsonTest, DecisionAndExplanationTexts) {
  Decision deny{3, Outcome::Deny, false, "r", "a \"b\"\n"};
  EXPECT_EQ(decision_json(deny), R"({"allowed":false,"reason":"a \"b\"\n","rule_id":"r"})");
  Decision escalate{3, Outcome::Escalate, false, std::nullopt, ""};
  EXPECT_EQ(decision_json(escalate),
            R"({"allowed":false,"outcome":"escalate","reason":"","rule_id":null})");
  Explain explain{"Event 1.", {0, 7}, "http://v/trace/event_1"};
  EXPECT_EQ(explanation_json(explain),
            R"({"text":"Event 1.","trace_chain":[0,7],"viewer_url":"http://v/trace/event_1"})");
}

TEST(HostBytesTest, Utf8Validation) {
  struct Case {
    std::string text;
    bool valid;
  } cases[] = {
      {"", true},
      {"ascii", true},
      {"\xC3\xA9\xE2\x86\x92\xF0\x9F\x98\x80", true},
      {"\xC0\xAF", false},          // overlong
      {"\xE0\x80\xAF", false},      // overlong
      {"\xED\xA0\x80", false},      // surrogate
      {"\xF4\x90\x80\x80", false},  // above U+10FFFF
      {"\xC3", false},              // truncated
      {"\x80", false},
      {"\xFF", false},
  };
  for (const Case& c : cases) EXPECT_EQ(is_valid_utf8(bytes(c.text)), c.valid) << c.text;
}

}  // namespace
}  // namespace mobrel::ffi
