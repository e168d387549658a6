#include "mobrel/policy/defaults.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace mobrel {
namespace {

struct Expected {
  std::string name;
  std::optional<std::string> category;
  std::optional<std::string> traced_to;
  std::optional<RiskCondition::List> risk;
  std::optional<std::vector<std::string>> session_has_input_from;
  std::optional<WindowCount> calls_in_window;
  std::string severity;
  std::string message;
};

const std::vector<Expected>& expected_rules() {
  static const std::vector<Expected> rules = {
      {"mobrel.default.external-trace-containment",
       "network_outbound",
       "external",
       {},
       {},
       {},
       "critical",
       "Outbound network action blocked: data traces to external source"},
      {"mobrel.default.local-sensitive-containment",
       "network_outbound",
       "local_sensitive",
       {},
       {},
       {},
       "critical",
       "Outbound network action blocked: data traces to local sensitive source"},
      {"mobrel.default.credential-exposure-block",
       "network_outbound",
       "injected",
       {},
       {},
       {},
       "critical",
       "Outbound action blocked: data contains detected credentials"},
      {"mobrel.default.tainted-data-block",
       {},
       "injected",
       {},
       {},
       {},
       "critical",
       "Action blocked: data contains detected sensitive content (credentials, PII)"},
      {"mobrel.default.high-risk-gating",
       {},
       {},
       RiskCondition::List{"high", "critical"},
       std::vector<std::string>{"user", "operator"},
       {},
       "high",
       "High-risk tool requires recorded user input in session"},
      {"mobrel.default.rate-limit",
       {},
       {},
       {},
       {},
       WindowCount{30, 1},
       "medium",
       "Tool call rate limit exceeded (30/min)"},
  };
  return rules;
}

void expect_rule(const PolicyRule& rule, const Expected& expected) {
  SCOPED_TRACE(expected.name);
  EXPECT_EQ(rule.name, expected.name);
  EXPECT_EQ(rule.action, PolicyAction::Deny);
  EXPECT_FALSE(rule.description.has_value());
  EXPECT_FALSE(rule.params.has_value());
  EXPECT_EQ(rule.severity, expected.severity);
  EXPECT_EQ(rule.message, expected.message);

  EXPECT_FALSE(rule.when.tool.has_value());
  EXPECT_FALSE(rule.when.agent_id.has_value());
  EXPECT_FALSE(rule.when.agent_failures_in_window.has_value());
  EXPECT_EQ(rule.when.category, expected.category);
  EXPECT_EQ(rule.when.traced_to, expected.traced_to);
  if (expected.risk) {
    ASSERT_TRUE(rule.when.risk.has_value());
    const auto* list = std::get_if<RiskCondition::List>(&rule.when.risk->names);
    ASSERT_NE(list, nullptr) << "risk is not in list form";
    EXPECT_EQ(*list, *expected.risk);
  } else {
    EXPECT_FALSE(rule.when.risk.has_value());
  }
  if (expected.calls_in_window) {
    ASSERT_TRUE(rule.when.calls_in_window.has_value());
    EXPECT_EQ(rule.when.calls_in_window->count, expected.calls_in_window->count);
    EXPECT_EQ(rule.when.calls_in_window->window_minutes, expected.calls_in_window->window_minutes);
  } else {
    EXPECT_FALSE(rule.when.calls_in_window.has_value());
  }
  if (expected.session_has_input_from) {
    ASSERT_TRUE(rule.requires_.has_value());
    EXPECT_EQ(rule.requires_->session_has_input_from, expected.session_has_input_from);
    EXPECT_FALSE(rule.requires_->approval_from.has_value());
  } else {
    EXPECT_FALSE(rule.requires_.has_value());
  }
}

TEST(DefaultRulesTest, AreTheSixBuiltInRulesInOrderOnEveryCall) {
  for (int call = 0; call < 2; ++call) {
    std::vector<PolicyRule> rules = default_rules();
    ASSERT_EQ(rules.size(), expected_rules().size());
    for (std::size_t i = 0; i < rules.size(); ++i) expect_rule(rules[i], expected_rules()[i]);
  }
}

}  // namespace
}  // namespace mobrel
