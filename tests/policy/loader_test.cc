#include "mobrel/policy/loader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace mobrel {
namespace {

// A document with one rule whose `params` nests `depth` collections, the root mapping, the
// policies list and the rule's mapping included.
std::string nested_params(int depth) {
  const int inner = depth - 3;
  return "policies:\n  - name: r\n    when: {}\n    action: deny\n    params: " +
         std::string(inner, '[') + std::string(inner, ']') + "\n";
}

// Ten lists of ten aliases each to the list before: reading the last would expand 10^9
// aliases.
std::string billion_laughs() {
  std::string text = "l0: &l0 [lol, lol, lol, lol, lol, lol, lol, lol, lol, lol]\n";
  for (int level = 1; level < 10; ++level) {
    const std::string prior = "*l" + std::to_string(level - 1);
    text += "l" + std::to_string(level) + ": &l" + std::to_string(level) + " [";
    for (int i = 0; i < 10; ++i) text += (i == 0 ? "" : ", ") + prior;
    text += "]\n";
  }
  return text + "policies: [{name: r, when: {}, action: deny, params: *l9}]\n";
}

// One flow rule; the `when` mapping opens at column 28 and a `count` value starts at 54.
std::string with_count(const std::string& count) {
  return "policies: [{name: r, when: {calls_in_window: {count: " + count +
         ", window_minutes: 1}}, action: deny}]\n";
}
std::string with_when(const std::string& when) {
  return "policies: [{name: r, when: " + when + ", action: deny}]\n";
}
// The action value starts at column 40.
std::string with_action(const std::string& action) {
  return "policies: [{name: r, when: {}, action: " + action + "}]\n";
}
// The rule mapping opens at column 12, the extra field's value at column 40 + key length.
std::string with_field(const std::string& field) {
  return "policies: [{name: r, when: {}, action: deny, " + field + "}]\n";
}

// Few aliases, each copying a large anchored list: far within the expansion count, but
// 300,000 copied events in all.
std::string wide_aliases() {
  std::string text = "big: &big [x";
  for (int i = 1; i < 1000; ++i) text += ",x";
  text += "]\npolicies: [{name: r, when: {}, action: deny, params: [*big";
  for (int i = 1; i < 300; ++i) text += ",*big";
  return text + "]}]\n";
}

struct ErrorCase {
  std::string name;
  std::string yaml;
  std::string expected;
};

void PrintTo(const ErrorCase& c, std::ostream* out) { *out << c.name; }

const std::vector<ErrorCase>& error_cases() {
  static const std::vector<ErrorCase> cases = {
      // Records: missing and repeated fields, located at the mapping's first key.
      {"MissingName", "policies:\n  - when: {}\n    action: deny\n",
       "Parse(Error(\"policies[0]: missing field `name`\", line: 2, column: 5))"},
      {"MissingWhenReportedBeforeAction", "policies:\n  - name: r\n",
       "Parse(Error(\"policies[0]: missing field `when`\", line: 2, column: 5))"},
      {"RepeatedFieldBeforeMissingOnes", "policies:\n  - name: a\n    name: b\n",
       "Parse(Error(\"policies[0]: duplicate field `name`\", line: 2, column: 5))"},
      {"RepeatedNullDescription",
       "policies:\n  - name: r\n    description: ~\n    description:\n    when: {}\n"
       "    action: deny\n",
       "Parse(Error(\"policies[0]: duplicate field `description`\", line: 2, column: 5))"},
      {"MissingWindowMinutes", with_when("{calls_in_window: {count: 1}}"),
       "Parse(Error(\"policies[0].when.calls_in_window: missing field `window_minutes`\", line: "
       "1, column: 46))"},
      {"MissingPolicies", "---\n",
       "Parse(Error(\"missing field `policies`\", line: 2, column: 1))"},
      {"ThirdRuleFaulty",
       "policies:\n  - {name: a, when: {}, action: deny}\n  - {name: b, when: {}, action: deny}\n"
       "  - {name: c, when: {}}\n",
       "Parse(Error(\"policies[2]: missing field `action`\", line: 4, column: 5))"},

      // Wrong kinds of nodes.
      {"WhenNull", "policies:\n  - name: r\n    when: ~\n    action: deny\n",
       "Parse(Error(\"policies[0].when: invalid type: unit value, expected struct "
       "WhenConditions\", line: 3, column: 11))"},
      {"RootSequence", "- a\n",
       "Parse(Error(\"invalid type: sequence, expected struct PolicyDoc\", line: 1, column: 1))"},
      {"RootText", "hello\n",
       "Parse(Error(\"invalid type: string \\\"hello\\\", expected struct PolicyDoc\", line: 1, "
       "column: 1))"},
      {"PoliciesNumber", "policies: 5\n",
       "Parse(Error(\"policies: invalid type: integer `5`, expected a sequence\", line: 1, "
       "column: 11))"},
      {"PoliciesNull", "policies: ~\n",
       "Parse(Error(\"policies: invalid type: unit value, expected a sequence\", line: 1, "
       "column: 11))"},
      {"NameMapping", "policies: [{name: {a: 1}, when: {}, action: deny}]\n",
       "Parse(Error(\"policies[0].name: invalid type: map, expected a string\", line: 1, column: "
       "19))"},
      {"KeyIsSequence", "policies: [{[name]: r, when: {}, action: deny}]\n",
       "Parse(Error(\"policies[0]: invalid type: sequence, expected field identifier\", line: 1, "
       "column: 13))"},
      {"SessionInputScalar", with_field("requires: {session_has_input_from: user}"),
       "Parse(Error(\"policies[0].requires.session_has_input_from: invalid type: string "
       "\\\"user\\\", expected a sequence\", line: 1, column: 81))"},

      // Actions.
      {"ActionWithoutValue", "policies:\n  - name: r\n    when: {}\n    action:\n",
       "Parse(Error(\"policies[0].action: unknown variant ``, expected one of `deny`, "
       "`escalate`, `halt`\", line: 4, column: 12))"},
      {"ActionCapitalised", with_action("Deny"),
       "Parse(Error(\"policies[0].action: unknown variant `Deny`, expected one of `deny`, "
       "`escalate`, `halt`\", line: 1, column: 40))"},
      {"ActionUnknownTag", with_action("!stop "),
       "Parse(Error(\"policies[0].action: unknown variant `stop`, expected one of `deny`, "
       "`escalate`, `halt`\", line: 1, column: 40))"},
      {"ActionTagWithValue", with_action("!deny now"),
       "Parse(Error(\"policies[0].action: invalid value: string \\\"now\\\", expected null\", "
       "line: 1, column: 40))"},
      {"ActionMapping", with_action("{deny: true}"),
       "Parse(Error(\"policies[0].action: invalid type: map, expected a YAML tag starting with "
       "'!'\", line: 1, column: 40))"},

      // Unsigned 32-bit counts.
      {"CountTooLarge", with_count("4294967296"),
       "Parse(Error(\"policies[0].when.calls_in_window.count: invalid value: integer "
       "`4294967296`, expected u32\", line: 1, column: 54))"},
      {"CountLeadingZero", with_count("030"),
       "Parse(Error(\"policies[0].when.calls_in_window.count: invalid type: string \\\"030\\\", "
       "expected u32\", line: 1, column: 54))"},
      {"CountNegative", with_count("-1"),
       "Parse(Error(\"policies[0].when.calls_in_window.count: invalid type: integer `-1`, "
       "expected u32\", line: 1, column: 54))"},
      {"CountQuoted", with_count("\"30\""),
       "Parse(Error(\"policies[0].when.calls_in_window.count: invalid type: string \\\"30\\\", "
       "expected u32\", line: 1, column: 54))"},
      {"CountSignAfterPrefix", with_count("0x-1"),
       "Parse(Error(\"policies[0].when.calls_in_window.count: invalid type: string "
       "\\\"0x-1\\\", expected u32\", line: 1, column: 54))"},
      {"CountFloat", with_count("1.0"),
       "Parse(Error(\"policies[0].when.calls_in_window.count: invalid type: floating point "
       "`1.0`, expected u32\", line: 1, column: 54))"},
      {"CountBeyond64Bits", with_count("18446744073709551616"),
       "Parse(Error(\"policies[0].when.calls_in_window.count: invalid type: floating point "
       "`18446744073709552000.0`, expected u32\", line: 1, column: 54))"},
      {"CountTinyFloat", with_count("1e-7"),
       "Parse(Error(\"policies[0].when.calls_in_window.count: invalid type: floating point "
       "`0.0000001`, expected u32\", line: 1, column: 54))"},
      {"CountBoolean", with_count("true"),
       "Parse(Error(\"policies[0].when.calls_in_window.count: invalid type: boolean `true`, "
       "expected u32\", line: 1, column: 54))"},
      {"CountNull", with_count("~"),
       "Parse(Error(\"policies[0].when.calls_in_window.count: invalid type: unit value, "
       "expected u32\", line: 1, column: 54))"},
      {"CountLiteralBlockWithoutIntTag",
       "policies:\n  - name: r\n    when:\n      calls_in_window:\n        count: |-\n"
       "          30\n        window_minutes: 1\n    action: deny\n",
       "Parse(Error(\"policies[0].when.calls_in_window.count: invalid type: string \\\"30\\\", "
       "expected u32\", line: 5, column: 16))"},

      // Risk: reported at the `when` mapping.
      {"RiskNumber", with_when("{risk: 5}"),
       "Parse(Error(\"policies[0].when: data did not match any variant of untagged enum "
       "RiskCondition\", line: 1, column: 28))"},
      {"RiskBoolean", with_when("{risk: true}"),
       "Parse(Error(\"policies[0].when: data did not match any variant of untagged enum "
       "RiskCondition\", line: 1, column: 28))"},
      {"RiskListWithNumber", with_when("{tool: t, risk: [high, 5]}"),
       "Parse(Error(\"policies[0].when: data did not match any variant of untagged enum "
       "RiskCondition\", line: 1, column: 28))"},
      {"RiskMapping", with_when("{risk: {level: high}}"),
       "Parse(Error(\"policies[0].when: data did not match any variant of untagged enum "
       "RiskCondition\", line: 1, column: 28))"},

      // Explicit tags, and params.
      {"BadExplicitNull", with_field("description: !!null none"),
       "Parse(Error(\"policies[0]: invalid value: string \\\"none\\\", expected null\", line: 1, "
       "column: 12))"},
      {"EmptyLocalTag", with_field("params: ! x"),
       "Parse(Error(\"policies[0].params: empty YAML tag is not allowed\", line: 1, column: "
       "54))"},
      {"DuplicateParamsKey", with_field("params: {a: 1, a: 2}"),
       "Parse(Error(\"policies[0].params: duplicate entry with key \\\"a\\\"\", line: 1, column: "
       "54))"},
      {"DuplicateParamsMappingKeyInAnyOrder",
       with_field("params: {{a: 1, b: 2}: x, {b: 2, a: 1}: y}"),
       "Parse(Error(\"policies[0].params: duplicate entry in YAML map\", line: 1, column: 54))"},
      {"NonTextKeyInPath", with_field("params: {[a]: {x: 1, x: 2}}"),
       "Parse(Error(\"policies[0].params.?: duplicate entry with key \\\"x\\\"\", line: 1, "
       "column: 60))"},
      {"BadExplicitBool", with_field("params: {on: !!bool maybe}"),
       "Parse(Error(\"policies[0].params.on: invalid value: string \\\"maybe\\\", expected a "
       "boolean\", line: 1, column: 59))"},

      // Quoting in the error text: the message is quoted once more as a whole.
      {"EscapesInMessage", with_action("\"a\\\"b\\\\c\\td\\r\\n\\0\\u200Be\\u00e9'\""),
       "Parse(Error(\"policies[0].action: unknown variant "
       "`a\\\"b\\\\c\\td\\r\\n\\0\\u{200b}e\u00e9'`, "
       "expected one of `deny`, `escalate`, `halt`\", line: 1, column: 40))"},
      {"EscapesInFoundText", with_count("\"a\\tb\""),
       "Parse(Error(\"policies[0].when.calls_in_window.count: invalid type: string "
       "\\\"a\\\\tb\\\", expected u32\", line: 1, column: 54))"},

      // Limits.
      {"Nesting129", nested_params(129),
       "Parse(Error(\"recursion limit exceeded\", line: 5, column: 138))"},
      {"Nesting129UnderUnknownKey",
       "policies: []\nextra: " + std::string(128, '[') + std::string(128, ']') + "\n",
       "Parse(Error(\"recursion limit exceeded\", line: 2, column: 135))"},
      {"HostileOpenBrackets", "x: " + std::string(500000, '['),
       "Parse(Error(\"recursion limit exceeded\", line: 1, column: 131))"},
      {"SelfReferentialAlias", with_field("params: &a [*a]"),
       "Parse(Error(\"recursion limit exceeded\", line: 1, column: 54))"},
      {"UndefinedAlias", "policies: *nothing\n",
       "Parse(Error(\"unknown anchor\", line: 1, column: 11))"},
      {"FaultBeforeUndefinedAlias", "policies: [{name: [x]}, *nothing]\n",
       "Parse(Error(\"policies[0].name: invalid type: sequence, expected a string\", line: 1, "
       "column: 19))"},
      {"BillionLaughs", billion_laughs(), "Parse(Error(\"repetition limit exceeded\"))"},
      {"AliasesCopyingTooMuch", wide_aliases(), "Parse(Error(\"repetition limit exceeded\"))"},
      {"FaultInAliasedRule", "base: &r {when: {}, action: deny}\npolicies:\n  - *r\n",
       "Parse(Error(\"policies[0]: missing field `name`\", line: 1, column: 7))"},

      // The stream.
      {"EmptyInput", "", "Parse(Error(\"EOF while parsing a value\"))"},
      {"CommentsOnly", "# nothing here\n\n   # nor here\n",
       "Parse(Error(\"EOF while parsing a value\"))"},
      {"SecondDocument", "policies: []\n---\npolicies: []\n",
       "Parse(Error(\"deserializing from YAML containing more than one document is not "
       "supported\"))"},
      {"FaultInFirstOfTwoDocuments", "policies: 5\n---\npolicies: []\n",
       "Parse(Error(\"policies: invalid type: integer `5`, expected a sequence\", line: 1, "
       "column: 11))"},
      {"SyntaxError", "policies:\n  - name: \"unterminated\n",
       "Parse(Error { kind: SCANNER, problem: \"found unexpected end of stream\", problem_mark: "
       "Mark { line: 3, column: 1 }, context: \"while scanning a quoted scalar\", context_mark: "
       "Mark { line: 2, column: 11 } })"},
      {"SyntaxErrorAfterRootNode", "policies: []\n]\n",
       "Parse(Error { kind: PARSER, problem: \"did not find expected key\", problem_mark: Mark { "
       "line: 2, column: 1 }, context: \"while parsing a block mapping\" })"},
      {"FaultBeforeSyntaxError", "policies:\n  - name: [a]\n    when: {\n",
       "Parse(Error(\"policies[0].name: invalid type: sequence, expected a string\", line: 2, "
       "column: 11))"},
      {"MalformedUtf8", "policies: \xff\n",
       "Parse(Error { kind: READER, problem: \"invalid leading UTF-8 octet\", problem_offset: 10 "
       "})"},
  };
  return cases;
}

class PolicyLoaderErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(PolicyLoaderErrorTest, ReportsTheExactErrorText) {
  LoadResult result = parse_policy_yaml(GetParam().yaml);
  const LoadError* error = std::get_if<LoadError>(&result);
  ASSERT_NE(error, nullptr) << "loaded " << std::get<0>(result).size() << " rules";
  EXPECT_EQ(error->to_string(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Documents, PolicyLoaderErrorTest, ::testing::ValuesIn(error_cases()),
                         [](const auto& info) { return info.param.name; });

// The value of `key` in a generic mapping, or null when it has none.
const YamlValue* entry(const YamlValue& mapping, std::string_view key) {
  for (std::size_t i = 0; i + 1 < mapping.items.size(); i += 2)
    if (mapping.items[i].kind == YamlValue::Kind::String && mapping.items[i].text == key)
      return &mapping.items[i + 1];
  return nullptr;
}

using Rules = std::vector<PolicyRule>;

struct LoadCase {
  std::string name;
  std::string yaml;
  std::function<void(const Rules&)> check;
};

void PrintTo(const LoadCase& c, std::ostream* out) { *out << c.name; }

const std::vector<LoadCase>& load_cases() {
  static const std::vector<LoadCase> cases = {
      {"PoliciesWithoutValue", "policies:\n",
       [](const Rules& rules) { EXPECT_TRUE(rules.empty()); }},
      {"DocumentEndMarker", "--- \npolicies: []\n...\n# done\n",
       [](const Rules& rules) { EXPECT_TRUE(rules.empty()); }},
      {"EveryField",
       "policies:\n"
       "  - name: block-egress\n"
       "    description: Stop uploads\n"
       "    when:\n"
       "      tool: http_post\n"
       "      category: network_outbound\n"
       "      traced_to: external\n"
       "      risk: high\n"
       "      agent_id: agent-7\n"
       "      calls_in_window: {count: 5, window_minutes: 10}\n"
       "      agent_failures_in_window: {count: 2, window_minutes: 3}\n"
       "    action: escalate\n"
       "    severity: high\n"
       "    message: Needs review\n"
       "    requires:\n"
       "      session_has_input_from: [user]\n"
       "      approval_from: security\n"
       "    params: {ticket: 42}\n"
       "  - name: second\n"
       "    when:\n"
       "    action: halt\n",
       [](const Rules& rules) {
         ASSERT_EQ(rules.size(), 2u);
         const PolicyRule& r = rules[0];
         EXPECT_EQ(r.name, "block-egress");
         EXPECT_EQ(r.description, "Stop uploads");
         EXPECT_EQ(r.when.tool, "http_post");
         EXPECT_EQ(r.when.category, "network_outbound");
         EXPECT_EQ(r.when.traced_to, "external");
         ASSERT_TRUE(r.when.risk.has_value());
         EXPECT_EQ(std::get<RiskCondition::Single>(r.when.risk->names), "high");
         EXPECT_EQ(r.when.agent_id, "agent-7");
         ASSERT_TRUE(r.when.calls_in_window.has_value());
         EXPECT_EQ(r.when.calls_in_window->count, 5u);
         EXPECT_EQ(r.when.calls_in_window->window_minutes, 10u);
         ASSERT_TRUE(r.when.agent_failures_in_window.has_value());
         EXPECT_EQ(r.when.agent_failures_in_window->count, 2u);
         EXPECT_EQ(r.when.agent_failures_in_window->window_minutes, 3u);
         EXPECT_EQ(r.action, PolicyAction::Escalate);
         EXPECT_EQ(r.severity, "high");
         EXPECT_EQ(r.message, "Needs review");
         ASSERT_TRUE(r.requires_.has_value());
         EXPECT_EQ(r.requires_->session_has_input_from, std::vector<std::string>{"user"});
         EXPECT_EQ(r.requires_->approval_from, "security");
         ASSERT_TRUE(r.params.has_value());
         ASSERT_NE(entry(*r.params, "ticket"), nullptr);
         EXPECT_EQ(entry(*r.params, "ticket")->int_value, 42);
         // `when:` with no value: a rule with no conditions.
         const PolicyRule& s = rules[1];
         EXPECT_EQ(s.action, PolicyAction::Halt);
         EXPECT_FALSE(s.when.tool || s.when.category || s.when.traced_to || s.when.risk ||
                      s.when.agent_id || s.when.calls_in_window || s.when.agent_failures_in_window);
         EXPECT_FALSE(s.description || s.severity || s.message || s.requires_ || s.params);
       }},
      {"NullFormsLeaveOptionalFieldsAbsent",
       "policies:\n"
       "  - {name: a, when: {tool: ~, risk: ~}, action: deny, description: null, severity: Null,"
       " message: NULL, requires: , params: !!null }\n"
       "  - {name: b, when: {calls_in_window: ~}, action: deny, description: !!null ~,"
       " params: ~, requires: {session_has_input_from: ~}}\n",
       [](const Rules& rules) {
         ASSERT_EQ(rules.size(), 2u);
         for (const PolicyRule& r : rules) {
           EXPECT_FALSE(r.description || r.severity || r.message || r.params) << r.name;
           EXPECT_FALSE(r.when.tool || r.when.risk || r.when.calls_in_window) << r.name;
         }
         EXPECT_FALSE(rules[0].requires_.has_value());
         ASSERT_TRUE(rules[1].requires_.has_value());
         EXPECT_FALSE(rules[1].requires_->session_has_input_from.has_value());
       }},
      {"QuotedAndTaggedNullsAreText",
       "policies:\n  - {name: ~, when: {tool: 'null'}, action: deny, description: \"null\","
       " message: !!str ~, severity: \"\"}\n",
       [](const Rules& rules) {
         ASSERT_EQ(rules.size(), 1u);
         EXPECT_EQ(rules[0].name, "~");
         EXPECT_EQ(rules[0].when.tool, "null");
         EXPECT_EQ(rules[0].description, "null");
         EXPECT_EQ(rules[0].message, "~");
         EXPECT_EQ(rules[0].severity, "");
       }},
      {"TextFieldsTakeAnyScalar",
       "policies:\n"
       "  - name: 123\n"
       "    when: {tool: true, category: 1.5, traced_to: !!int 7}\n"
       "    action: deny\n"
       "    description: |\n"
       "      line one\n"
       "      line two\n"
       "    message: >\n"
       "      folded\n"
       "      text\n",
       [](const Rules& rules) {
         ASSERT_EQ(rules.size(), 1u);
         EXPECT_EQ(rules[0].name, "123");
         EXPECT_EQ(rules[0].when.tool, "true");
         EXPECT_EQ(rules[0].when.category, "1.5");
         EXPECT_EQ(rules[0].when.traced_to, "7");
         EXPECT_EQ(rules[0].description, "line one\nline two\n");
         EXPECT_EQ(rules[0].message, "folded text\n");
       }},
      {"UnknownKeysIgnoredEverywhere",
       "version: 2\n"
       "owner: &owner {team: [a, {b: [[deep]]}], odd: !!bool notabool, same: 1, same: 2}\n"
       "policies:\n"
       "  - name: a\n"
       "    enabled: false\n"
       "    Name: keys are case-sensitive\n"
       "    when:\n"
       "      tool: t\n"
       "      future: [1, {2: 3}]\n"
       "      calls_in_window: {count: 1, window_minutes: 2, burst: *owner}\n"
       "    requires: {approval_from: x, quorum: 2}\n"
       "    action: deny\n",
       [](const Rules& rules) {
         ASSERT_EQ(rules.size(), 1u);
         EXPECT_EQ(rules[0].name, "a");
         EXPECT_EQ(rules[0].when.tool, "t");
         EXPECT_EQ(rules[0].when.calls_in_window->count, 1u);
         EXPECT_EQ(rules[0].when.calls_in_window->window_minutes, 2u);
         EXPECT_EQ(rules[0].requires_->approval_from, "x");
         EXPECT_EQ(rules[0].action, PolicyAction::Deny);
       }},
      {"ActionSpellingsAndTags",
       "policies:\n"
       "  - {name: a, when: {}, action: \"halt\"}\n"
       "  - {name: b, when: {}, action: 'escalate'}\n"
       "  - {name: c, when: {}, action: !halt }\n"
       "  - {name: d, when: {}, action: !escalate ~}\n"
       "  - {name: e, when: {}, action: !!str deny}\n",
       [](const Rules& rules) {
         ASSERT_EQ(rules.size(), 5u);
         EXPECT_EQ(rules[0].action, PolicyAction::Halt);
         EXPECT_EQ(rules[1].action, PolicyAction::Escalate);
         EXPECT_EQ(rules[2].action, PolicyAction::Halt);
         EXPECT_EQ(rules[3].action, PolicyAction::Escalate);
         EXPECT_EQ(rules[4].action, PolicyAction::Deny);
       }},
      {"CountForms",
       "policies:\n"
       "  - {name: a, when: {calls_in_window: {count: 4294967295, window_minutes: 0x1E}},"
       " action: deny}\n"
       "  - {name: b, when: {calls_in_window: {count: 0o17, window_minutes: 0b101}},"
       " action: deny}\n"
       "  - {name: c, when: {calls_in_window: {count: +7, window_minutes: 0}}, action: deny}\n"
       "  - name: d\n"
       "    when:\n"
       "      calls_in_window:\n"
       "        count: !!int |-\n"
       "          30\n"
       "        window_minutes: 1\n"
       "    action: deny\n",
       [](const Rules& rules) {
         ASSERT_EQ(rules.size(), 4u);
         EXPECT_EQ(rules[0].when.calls_in_window->count, 4294967295u);
         EXPECT_EQ(rules[0].when.calls_in_window->window_minutes, 30u);
         EXPECT_EQ(rules[1].when.calls_in_window->count, 15u);
         EXPECT_EQ(rules[1].when.calls_in_window->window_minutes, 5u);
         EXPECT_EQ(rules[2].when.calls_in_window->count, 7u);
         EXPECT_EQ(rules[2].when.calls_in_window->window_minutes, 0u);
         EXPECT_EQ(rules[3].when.calls_in_window->count, 30u);
       }},
      {"RiskForms",
       "policies:\n"
       "  - {name: a, when: {risk: [high, critical]}, action: deny}\n"
       "  - {name: b, when: {risk: '5'}, action: deny}\n"
       "  - {name: c, when: {risk: []}, action: deny}\n"
       "  - {name: d, when: {risk: !!str 5}, action: deny}\n",
       [](const Rules& rules) {
         ASSERT_EQ(rules.size(), 4u);
         EXPECT_EQ(std::get<RiskCondition::List>(rules[0].when.risk->names),
                   (RiskCondition::List{"high", "critical"}));
         EXPECT_EQ(std::get<RiskCondition::Single>(rules[1].when.risk->names), "5");
         EXPECT_TRUE(std::get<RiskCondition::List>(rules[2].when.risk->names).empty());
         EXPECT_EQ(std::get<RiskCondition::Single>(rules[3].when.risk->names), "5");
       }},
      {"RequiresAbsentEmptyOrSet",
       "policies:\n"
       "  - {name: a, when: {}, action: deny}\n"
       "  - {name: b, when: {}, action: deny, requires: {}}\n"
       "  - {name: c, when: {}, action: deny, requires: {session_has_input_from: [1, true]}}\n"
       "  - {name: d, when: {}, action: deny, requires: {session_has_input_from: []}}\n",
       [](const Rules& rules) {
         ASSERT_EQ(rules.size(), 4u);
         EXPECT_FALSE(rules[0].requires_.has_value());
         ASSERT_TRUE(rules[1].requires_.has_value());
         EXPECT_FALSE(rules[1].requires_->session_has_input_from.has_value());
         EXPECT_FALSE(rules[1].requires_->approval_from.has_value());
         EXPECT_EQ(rules[2].requires_->session_has_input_from,
                   (std::vector<std::string>{"1", "true"}));
         ASSERT_TRUE(rules[3].requires_->session_has_input_from.has_value());
         EXPECT_TRUE(rules[3].requires_->session_has_input_from->empty());
       }},
      {"ParamsTyping",
       "policies:\n"
       "  - name: p\n"
       "    when: {}\n"
       "    action: deny\n"
       "    params:\n"
       "      nothing: ~\n"
       "      yes: True\n"
       "      negative: -42\n"
       "      huge: 18446744073709551615\n"
       "      hex: 0x1F\n"
       "      fraction: 1.5\n"
       "      exponent: 1e3\n"
       "      minus_infinity: -.inf\n"
       "      not_a_number: .NaN\n"
       "      leading_zero: 007\n"
       "      quoted: \"5\"\n"
       "      str_tag: !!str 5\n"
       "      int_tag: !!int \"7\"\n"
       "      float_tag: !!float 2\n"
       "      color: !color red\n"
       "      pair: !pair [1, 2]\n"
       "      list: [a, 1]\n"
       "      nested: {x: {y: z}}\n"
       "      ? [k]\n"
       "      : v\n",
       [](const Rules& rules) {
         ASSERT_EQ(rules.size(), 1u);
         ASSERT_TRUE(rules[0].params.has_value());
         const YamlValue& p = *rules[0].params;
         ASSERT_EQ(p.kind, YamlValue::Kind::Mapping);
         auto kind_of = [&](std::string_view key) {
           const YamlValue* v = entry(p, key);
           return v == nullptr ? YamlValue::Kind::Tagged : v->kind;
         };
         using K = YamlValue::Kind;
         ASSERT_EQ(p.items.size(), 2u * 19);
         EXPECT_EQ(kind_of("nothing"), K::Null);
         EXPECT_EQ(kind_of("yes"), K::Bool);
         EXPECT_TRUE(entry(p, "yes")->boolean);
         EXPECT_EQ(entry(p, "negative")->int_value, -42);
         EXPECT_EQ(kind_of("huge"), K::UInt);
         EXPECT_EQ(entry(p, "huge")->uint_value, 18446744073709551615u);
         EXPECT_EQ(entry(p, "hex")->int_value, 31);
         EXPECT_EQ(entry(p, "fraction")->float_value, 1.5);
         EXPECT_EQ(entry(p, "exponent")->float_value, 1000.0);
         EXPECT_EQ(entry(p, "minus_infinity")->float_value, -INFINITY);
         EXPECT_TRUE(std::isnan(entry(p, "not_a_number")->float_value));
         EXPECT_EQ(entry(p, "leading_zero")->text, "007");
         EXPECT_EQ(entry(p, "quoted")->text, "5");
         EXPECT_EQ(kind_of("str_tag"), K::String);
         EXPECT_EQ(entry(p, "int_tag")->int_value, 7);
         EXPECT_EQ(kind_of("float_tag"), K::Float);
         const YamlValue* color = entry(p, "color");
         EXPECT_EQ(color->kind, K::Tagged);
         EXPECT_EQ(color->text, "color");
         ASSERT_EQ(color->items.size(), 1u);
         EXPECT_EQ(color->items[0].text, "red");
         const YamlValue* pair = entry(p, "pair");
         EXPECT_EQ(pair->text, "pair");
         EXPECT_EQ(pair->items[0].kind, K::Sequence);
         EXPECT_EQ(pair->items[0].items[1].int_value, 2);
         EXPECT_EQ(entry(p, "list")->items[1].int_value, 1);
         EXPECT_EQ(entry(*entry(*entry(p, "nested"), "x"), "y")->text, "z");
         // Entries keep document order; the last key is a list.
         EXPECT_EQ(p.items[0].text, "nothing");
         EXPECT_EQ(p.items[36].kind, K::Sequence);
         EXPECT_EQ(p.items[37].text, "v");
       }},
      {"AliasesReadLikeTheirAnchors",
       "shared:\n"
       "  when: &egress {category: network_outbound, risk: &levels [high, critical]}\n"
       "  name: &name shared-name\n"
       "  count: &thirty 30\n"
       "policies:\n"
       "  - name: *name\n"
       "    when: *egress\n"
       "    action: deny\n"
       "  - name: second\n"
       "    when:\n"
       "      risk: *levels\n"
       "      calls_in_window: {count: *thirty, window_minutes: *thirty}\n"
       "    action: deny\n"
       "    params: {tags: *levels}\n",
       [](const Rules& rules) {
         ASSERT_EQ(rules.size(), 2u);
         EXPECT_EQ(rules[0].name, "shared-name");
         EXPECT_EQ(rules[0].when.category, "network_outbound");
         EXPECT_EQ(std::get<RiskCondition::List>(rules[0].when.risk->names),
                   (RiskCondition::List{"high", "critical"}));
         EXPECT_EQ(std::get<RiskCondition::List>(rules[1].when.risk->names).size(), 2u);
         EXPECT_EQ(rules[1].when.calls_in_window->count, 30u);
         EXPECT_EQ(rules[1].when.calls_in_window->window_minutes, 30u);
         EXPECT_EQ(entry(*rules[1].params, "tags")->items[1].text, "critical");
       }},
      {"Nesting128", nested_params(128),
       [](const Rules& rules) {
         ASSERT_EQ(rules.size(), 1u);
         const YamlValue* v = &*rules[0].params;
         int depth = 3;  // root mapping, policies, the rule
         while (v->kind == YamlValue::Kind::Sequence) {
           ++depth;
           if (v->items.empty()) break;
           v = &v->items[0];
         }
         EXPECT_EQ(depth, 128);
       }},
  };
  return cases;
}

class PolicyLoaderTest : public ::testing::TestWithParam<LoadCase> {};

TEST_P(PolicyLoaderTest, LoadsTheModel) {
  LoadResult result = parse_policy_yaml(GetParam().yaml);
  const LoadError* error = std::get_if<LoadError>(&result);
  ASSERT_EQ(error, nullptr) << error->to_string();
  GetParam().check(std::get<Rules>(result));
}

INSTANTIATE_TEST_SUITE_P(Documents, PolicyLoaderTest, ::testing::ValuesIn(load_cases()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace mobrel
