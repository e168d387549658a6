#include "mobrel/policy/evaluator.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "mobrel/policy/defaults.h"
#include "policy/session_fixture.h"

namespace mobrel {
namespace {

using testing::kExternal;
using testing::kOperator;
using testing::kSystem;
using testing::kUnknown;
using testing::kUser;
using testing::RecordedSession;

constexpr std::string_view kRateLimitId = "mobrel.default.rate-limit";
constexpr std::string_view kRateLimitReason = "Tool call rate limit exceeded (30/min)";
constexpr std::uint64_t kMinute = 60'000;

std::string_view tool_of(const RecordedSession& s, EventId call) {
  return std::get<ToolCallPayload>(s.store.find(call)->payload).tool;
}

PolicyVerdict judge(const std::vector<PolicyRule>& rules, const RecordedSession& s, EventId call,
                    const std::vector<DatalogRule>* datalog = nullptr,
                    std::optional<std::string_view> params = "{}") {
  return evaluate(rules, call, tool_of(s, call), s.store, s.trace, s.registry, s.session, datalog,
                  params);
}

void expect_allowed(const PolicyVerdict& verdict) {
  EXPECT_EQ(verdict.outcome, Outcome::Allow);
  EXPECT_FALSE(verdict.rule_id.has_value());
  EXPECT_EQ(verdict.reason, "");
}

void expect_verdict(const PolicyVerdict& verdict, Outcome outcome, std::string_view rule_id,
                    std::string_view reason) {
  EXPECT_EQ(verdict.outcome, outcome);
  EXPECT_EQ(verdict.rule_id, std::optional<std::string>(rule_id));
  EXPECT_EQ(verdict.reason, reason);
}

// Builds the `when` of a rule, one condition at a time.
struct When {
  WhenConditions conditions;
  When& tool(std::string v) { return set(conditions.tool, std::move(v)); }
  When& category(std::string v) { return set(conditions.category, std::move(v)); }
  When& traced_to(std::string v) { return set(conditions.traced_to, std::move(v)); }
  When& risk(RiskCondition v) { return set(conditions.risk, std::move(v)); }
  When& agent_id(std::string v) { return set(conditions.agent_id, std::move(v)); }
  When& calls_in_window(WindowCount v) { return set(conditions.calls_in_window, v); }
  When& agent_failures_in_window(WindowCount v) {
    return set(conditions.agent_failures_in_window, v);
  }
  operator WhenConditions() const { return conditions; }

 private:
  template <typename Field, typename V>
  When& set(Field& field, V value) {
    field = std::move(value);
    return *this;
  }
};

RequiresConditions input_from(std::vector<std::string> names) {
  RequiresConditions requires_clause;
  requires_clause.session_has_input_from = std::move(names);
  return requires_clause;
}

RequiresConditions approval_from(std::string who) {
  RequiresConditions requires_clause;
  requires_clause.approval_from = std::move(who);
  return requires_clause;
}

PolicyRule rule(std::string name, WhenConditions when, PolicyAction action = PolicyAction::Deny,
                std::optional<std::string> message = std::nullopt,
                std::optional<RequiresConditions> requires_clause = std::nullopt) {
  PolicyRule rule;
  rule.name = std::move(name);
  rule.when = std::move(when);
  rule.action = action;
  rule.message = std::move(message);
  rule.requires_ = std::move(requires_clause);
  return rule;
}

// A rule that fires for every call of a registered tool.
PolicyRule catch_all(std::string name) {
  return rule(std::move(name), When().agent_id("any-agent"));
}

// ---- registration ----

TEST(EvaluateTest, UnregisteredToolIsDeniedBeforeAnyRule) {
  RecordedSession s;
  s.registry.insert("X", ToolEntry{});
  const EventId call = s.call("x");
  const std::vector<DatalogRule> datalog = {
      DatalogRule{Atom{"escalate", {}}, {}},
  };
  expect_verdict(judge({catch_all("always")}, s, call, &datalog), Outcome::Deny,
                 "mobrel.builtin.unregistered-tool", "Tool 'x' is not registered");

  const EventId nameless = s.call("");
  expect_verdict(judge({}, s, nameless), Outcome::Deny, "mobrel.builtin.unregistered-tool",
                 "Tool '' is not registered");
}

// ---- the built-in rules ----

struct BuiltinCase {
  const char* name;
  ToolEntry tool;
  std::vector<std::pair<TrustLevel, LabelSet>> inputs;  // content recorded before the call
  std::optional<std::string> rule_id;                   // absent: allowed
  std::string reason;
};

void PrintTo(const BuiltinCase& c, std::ostream* out) { *out << c.name; }

class BuiltinRulesTest : public ::testing::TestWithParam<BuiltinCase> {};

TEST_P(BuiltinRulesTest, JudgesTheCall) {
  const BuiltinCase& c = GetParam();
  RecordedSession s;
  s.registry.insert("tool", c.tool);
  for (const auto& [trust, labels] : c.inputs) s.content(trust, labels);
  const PolicyVerdict verdict = judge(default_rules(), s, s.call("tool"));
  if (!c.rule_id) {
    expect_allowed(verdict);
  } else {
    expect_verdict(verdict, Outcome::Deny, *c.rule_id, c.reason);
  }
}

const ToolEntry kOutbound{RiskLevel::Medium, "network_outbound"};
const std::string kExternalTrace = "mobrel.default.external-trace-containment";
const std::string kExternalTraceReason =
    "Outbound network action blocked: data traces to external source";
const std::string kCredential = "mobrel.default.credential-exposure-block";
const std::string kCredentialReason = "Outbound action blocked: data contains detected credentials";
const std::string kTainted = "mobrel.default.tainted-data-block";
const std::string kTaintedReason =
    "Action blocked: data contains detected sensitive content (credentials, PII)";
const std::string kGating = "mobrel.default.high-risk-gating";
const std::string kGatingReason = "High-risk tool requires recorded user input in session";

INSTANTIATE_TEST_SUITE_P(
    Rows, BuiltinRulesTest,
    ::testing::Values(
        BuiltinCase{"external_outbound",
                    kOutbound,
                    {{kExternal, {"external"}}},
                    kExternalTrace,
                    kExternalTraceReason},
        BuiltinCase{"local_sensitive_outbound",
                    kOutbound,
                    {{kUser, {"local_sensitive"}}},
                    "mobrel.default.local-sensitive-containment",
                    "Outbound network action blocked: data traces to local sensitive source"},
        BuiltinCase{"injected_outbound_is_credential_exposure",
                    kOutbound,
                    {{kUser, {"injected"}}},
                    kCredential,
                    kCredentialReason},
        BuiltinCase{"external_and_injected_outbound_first_rule_wins",
                    kOutbound,
                    {{kExternal, {"external", "injected"}}},
                    kExternalTrace,
                    kExternalTraceReason},
        BuiltinCase{"injected_other_category",
                    ToolEntry{RiskLevel::Medium, "filesystem"},
                    {{kUser, {"injected"}}},
                    kTainted,
                    kTaintedReason},
        BuiltinCase{"injected_without_category",
                    ToolEntry{},
                    {{kUser, {"injected"}}},
                    kTainted,
                    kTaintedReason},
        BuiltinCase{"external_other_category",
                    ToolEntry{RiskLevel::Low, "filesystem"},
                    {{kExternal, {"external"}}},
                    std::nullopt,
                    ""},
        BuiltinCase{"external_category_in_other_case",
                    ToolEntry{RiskLevel::Medium, "Network_Outbound"},
                    {{kExternal, {"external"}}},
                    std::nullopt,
                    ""},
        BuiltinCase{"clean_outbound", kOutbound, {{kUser, {}}}, std::nullopt, ""},
        BuiltinCase{"high_without_input",
                    ToolEntry{RiskLevel::High, std::nullopt},
                    {},
                    kGating,
                    kGatingReason},
        BuiltinCase{"critical_without_input",
                    ToolEntry{RiskLevel::Critical, "exec"},
                    {},
                    kGating,
                    kGatingReason},
        BuiltinCase{"high_after_user_input",
                    ToolEntry{RiskLevel::High, std::nullopt},
                    {{kUser, {}}},
                    std::nullopt,
                    ""},
        BuiltinCase{"critical_after_operator_input",
                    ToolEntry{RiskLevel::Critical, std::nullopt},
                    {{kOperator, {}}},
                    std::nullopt,
                    ""},
        BuiltinCase{"high_with_only_system_input",
                    ToolEntry{RiskLevel::High, std::nullopt},
                    {{kSystem, {}}},
                    kGating,
                    kGatingReason},
        BuiltinCase{"high_with_external_and_unknown_input",
                    ToolEntry{RiskLevel::High, std::nullopt},
                    {{kExternal, {}}, {kUnknown, {}}},
                    kGating,
                    kGatingReason},
        BuiltinCase{"high_with_untrusted_then_user_input",
                    ToolEntry{RiskLevel::High, std::nullopt},
                    {{kSystem, {}}, {kExternal, {}}, {kUser, {}}},
                    std::nullopt,
                    ""},
        BuiltinCase{"medium_is_not_gated", ToolEntry{}, {}, std::nullopt, ""},
        BuiltinCase{
            "low_is_not_gated", ToolEntry{RiskLevel::Low, std::nullopt}, {}, std::nullopt, ""}),
    [](const ::testing::TestParamInfo<BuiltinCase>& info) { return info.param.name; });

TEST(EvaluateTest, HighRiskGatingLooksOnlyAtContentOfTheSession) {
  RecordedSession s;
  s.registry.insert("deploy", ToolEntry{RiskLevel::High, std::nullopt});
  // User content in the store but not in the session, and tool output in the session,
  // satisfy nothing.
  ContentPayload outside;
  outside.trust = kUser;
  s.store.insert(outside, {});
  s.result("deploy");
  expect_verdict(judge(default_rules(), s, s.call("deploy")), Outcome::Deny, kGating,
                 kGatingReason);
}

// ---- the rate window ----

class RateLimitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"a", "b", "c"}) {
      s_.registry.insert(tool, ToolEntry{RiskLevel::Low, std::nullopt});
    }
  }
  PolicyVerdict propose(const char* tool) { return judge(rules_, s_, s_.call(tool)); }

  RecordedSession s_;
  const std::vector<PolicyRule> rules_ = default_rules();
};

TEST_F(RateLimitTest, ThirtyCallsAMinuteThenDeniedUntilOldCallsLeaveTheWindow) {
  const std::uint64_t t0 = s_.now;
  for (int i = 0; i < 30; ++i) {
    s_.now = t0 + i * 1000;
    expect_allowed(propose("a"));
  }
  s_.now = t0 + 30'000;
  expect_verdict(propose("a"), Outcome::Deny, kRateLimitId, kRateLimitReason);
  // A retry is recorded as well, and so keeps the window full.
  s_.now = t0 + 31'000;
  expect_verdict(propose("a"), Outcome::Deny, kRateLimitId, kRateLimitReason);

  // 32 calls stamped t0 .. t0+31000. At t0+62001 the window starts after the call of
  // t0+2000: 29 earlier calls and this one make 30.
  s_.now = t0 + 62'001;
  expect_allowed(propose("a"));
}

TEST_F(RateLimitTest, CallsOlderThanTheWindowDoNotCount) {
  const std::uint64_t t0 = s_.now;
  for (int i = 0; i < 40; ++i) propose("a");  // all at t0
  s_.now = t0 + kMinute;                      // the cutoff is t0: all 40 still count
  expect_verdict(propose("a"), Outcome::Deny, kRateLimitId, kRateLimitReason);
  s_.now = t0 + kMinute + 1;  // they have left; the denied call of t0+kMinute has not
  expect_allowed(propose("a"));
}

TEST_F(RateLimitTest, ToolsShareTheCountAndOnlyCallsOfTheSessionCount) {
  // Tool calls recorded outside the session are not counted, nor are content and results.
  for (int i = 0; i < 50; ++i) s_.store.insert(ToolCallPayload{"a", {}, "", {}, 0}, {});
  const char* tools[] = {"a", "b", "c"};
  for (int i = 0; i < 30; ++i) {
    s_.content(kUser);
    s_.result("a");
    expect_allowed(propose(tools[i % 3]));
  }
  expect_verdict(propose("c"), Outcome::Deny, kRateLimitId, kRateLimitReason);
}

struct WindowCase {
  const char* name;
  WindowCount limit;
  std::vector<std::uint64_t> call_times;  // clock readings when the calls are recorded
  std::uint64_t judged_at;                // clock reading while the last call is judged
  bool fires;
};

void PrintTo(const WindowCase& c, std::ostream* out) { *out << c.name; }

class CallsInWindowTest : public ::testing::TestWithParam<WindowCase> {};

TEST_P(CallsInWindowTest, CountsCallsStampedWithinTheWindow) {
  const WindowCase& c = GetParam();
  RecordedSession s;
  s.registry.insert("a", ToolEntry{});
  const std::vector<PolicyRule> rules = {rule("limit", When().calls_in_window(c.limit))};
  EventId last = 0;
  for (std::uint64_t t : c.call_times) {
    s.now = t;
    last = s.call("a");
  }
  s.now = c.judged_at;
  EXPECT_EQ(judge(rules, s, last).outcome, c.fires ? Outcome::Deny : Outcome::Allow);
}

constexpr std::uint64_t T = 1'700'000'000'000;

INSTANTIATE_TEST_SUITE_P(
    Rows, CallsInWindowTest,
    ::testing::Values(
        WindowCase{"count0_window0_call_in_this_ms", {0, 0}, {T}, T, true},
        WindowCase{"count0_window0_call_a_ms_ago", {0, 0}, {T}, T + 1, false},
        WindowCase{"count1_window0_two_calls_same_ms", {1, 0}, {T, T}, T, true},
        WindowCase{"count1_window0_two_calls_adjacent_ms", {1, 0}, {T - 1, T}, T, false},
        WindowCase{"count1_window1_at_cutoff", {1, 1}, {T - kMinute, T}, T, true},
        WindowCase{"count1_window1_before_cutoff", {1, 1}, {T - kMinute - 1, T}, T, false},
        // 100000 minutes is 6e9 ms: the window must be computed in 64 bits.
        WindowCase{"window_beyond_32_bits",
                   {1, 100'000},
                   {4'000'000'000, 9'000'000'000},
                   9'000'000'000,
                   true},
        WindowCase{"largest_window_saturates_at_zero", {1, 4'294'967'295u}, {1, T}, T, true},
        // A clock before the epoch reads 0: every call is inside every window.
        WindowCase{"clock_before_epoch", {1, 1}, {T - 10 * kMinute, T}, 0, true}),
    [](const ::testing::TestParamInfo<WindowCase>& info) { return info.param.name; });

TEST(EvaluateTest, EmptySessionNeverExceedsAWindow) {
  RecordedSession s;
  s.registry.insert("a", ToolEntry{});
  const EventId call = s.call("a");
  const std::vector<PolicyRule> rules = {rule("limit", When().calls_in_window(WindowCount{0, 1}))};
  expect_allowed(evaluate(rules, call, "a", s.store, s.trace, s.registry, {}, nullptr, "{}"));
  EXPECT_EQ(judge(rules, s, call).outcome, Outcome::Deny);
}

// ---- rule conditions, actions and order ----

TEST(EvaluateTest, ActionsAndReasons) {
  RecordedSession s;
  s.registry.insert("shell", ToolEntry{});
  const EventId call = s.call("shell");
  struct Case {
    PolicyAction action;
    std::optional<std::string> message;
    Outcome outcome;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {PolicyAction::Deny, "no shell", Outcome::Deny, "no shell"},
      {PolicyAction::Escalate, "ask first", Outcome::Escalate, "ask first"},
      {PolicyAction::Halt, "stop", Outcome::Deny, "stop"},
      {PolicyAction::Halt, std::nullopt, Outcome::Deny, "Rule org.halt triggered"},
      {PolicyAction::Escalate, std::nullopt, Outcome::Escalate, "Rule org.halt triggered"},
      {PolicyAction::Deny, "", Outcome::Deny, ""},
  };
  for (const Case& c : cases) {
    const std::vector<PolicyRule> rules = {
        rule("org.halt", When().tool("shell"), c.action, c.message)};
    SCOPED_TRACE(c.reason);
    expect_verdict(judge(rules, s, call), c.outcome, "org.halt", c.reason);
  }
}

TEST(EvaluateTest, FirstFiringRuleDecidesAndLaterRulesNeverOverride) {
  RecordedSession s;
  s.registry.insert("shell", ToolEntry{RiskLevel::Critical, "exec"});
  const EventId call = s.call("shell");
  const std::vector<PolicyRule> rules = {
      rule("skipped", When().tool("other")),
      rule("first", When().category("exec"), PolicyAction::Escalate),
      rule("second", When().tool("shell"), PolicyAction::Halt, "harsher"),
  };
  expect_verdict(judge(rules, s, call), Outcome::Escalate, "first", "Rule first triggered");
}

TEST(EvaluateTest, WhenConditionsCompareExactly) {
  RecordedSession s;
  s.registry.insert("shell", ToolEntry{RiskLevel::High, "exec"});
  s.registry.insert("plain", ToolEntry{RiskLevel::High, std::nullopt});
  s.content(kUser, {"external"});
  const EventId shell = s.call("shell");
  const EventId plain = s.call("plain");
  using List = RiskCondition::List;
  struct Case {
    const char* name;
    WhenConditions when;
    bool fires_for_shell;
  };
  const std::vector<Case> cases = {
      {"tool", When().tool("shell"), true},
      {"tool in other case", When().tool("Shell"), false},
      {"category", When().category("exec"), true},
      {"category in other case", When().category("Exec"), false},
      {"traced_to", When().traced_to("external"), true},
      {"traced_to in other case", When().traced_to("External"), false},
      {"risk single", When().risk(RiskCondition{"high"}), true},
      {"risk single in other case", When().risk(RiskCondition{"High"}), false},
      {"risk prefix", When().risk(RiskCondition{"hi"}), false},
      {"risk list", When().risk(RiskCondition{List{"critical", "high"}}), true},
      {"risk list without the level", When().risk(RiskCondition{List{"low", "HIGH"}}), false},
      {"risk empty list", When().risk(RiskCondition{List{}}), false},
      {"all conditions", When().tool("shell").category("exec").traced_to("external"), true},
      {"one failing condition among holding ones",
       When().tool("shell").category("exec").traced_to("injected"), false},
      {"agent_id is not tested", When().agent_id("someone-else"), true},
      {"no condition at all", {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<PolicyRule> rules = {rule("r", c.when)};
    EXPECT_EQ(judge(rules, s, shell).outcome, c.fires_for_shell ? Outcome::Deny : Outcome::Allow);
  }
  // A tool without a category fails every category condition.
  EXPECT_EQ(judge({rule("r", When().category(""))}, s, plain).outcome, Outcome::Allow);
  EXPECT_EQ(judge({rule("r", When().agent_id("a"))}, s, plain).outcome, Outcome::Deny);

  // A level outside the enumeration (only embedding code can make one) has no name.
  s.registry.insert("odd", ToolEntry{static_cast<RiskLevel>(9), std::nullopt});
  const EventId odd = s.call("odd");
  EXPECT_EQ(judge({rule("r", When().risk(RiskCondition{""}))}, s, odd).outcome, Outcome::Allow);
  EXPECT_EQ(judge({rule("r", When().risk(RiskCondition{List{""}}))}, s, odd).outcome,
            Outcome::Allow);
}

TEST(EvaluateTest, ConditionsThatNeverHold) {
  RecordedSession s;
  s.registry.insert("shell", ToolEntry{});
  s.content(kUser);
  const EventId call = s.call("shell");
  const std::vector<PolicyRule> rules = {
      rule("failures", When().agent_failures_in_window(WindowCount{0, 60})),
      rule("approval_only", {}, PolicyAction::Deny, std::nullopt, approval_from("admin")),
      rule("empty_requires", {}, PolicyAction::Deny, std::nullopt, RequiresConditions{}),
  };
  expect_allowed(judge(rules, s, call));
  expect_allowed(judge({}, s, call));
}

TEST(EvaluateTest, RequiresFiresWhenTheSessionLacksTheNamedInput) {
  struct Case {
    const char* name;
    std::vector<TrustLevel> contents;
    std::vector<std::string> names;
    bool fires;
  };
  const std::vector<Case> cases = {
      {"empty list fires even with input", {kUser}, {}, true},
      {"named input present", {kSystem, kUser}, {"user"}, false},
      {"named input absent", {kSystem, kOperator}, {"user"}, true},
      {"unknown trust matches its name", {kUnknown}, {"unknown"}, false},
      {"external trust matches its name", {kExternal}, {"external"}, false},
      {"trust names are case-sensitive", {kUser}, {"User"}, true},
      {"a trust code without name matches nothing",
       {9},
       {"system", "operator", "user", "external", "unknown"},
       true},
      {"no content at all", {}, {"user", "operator"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordedSession s;
    s.registry.insert("tool", ToolEntry{});
    for (TrustLevel trust : c.contents) s.content(trust);
    const std::vector<PolicyRule> rules = {
        rule("needs_input", {}, PolicyAction::Escalate, std::nullopt, input_from(c.names))};
    EXPECT_EQ(judge(rules, s, s.call("tool")).outcome,
              c.fires ? Outcome::Escalate : Outcome::Allow);
  }

  // With an empty session list the clause holds, whatever the store holds.
  RecordedSession s;
  s.registry.insert("tool", ToolEntry{});
  s.content(kUser);
  const EventId call = s.call("tool");
  const std::vector<PolicyRule> rules = {
      rule("needs_user", {}, PolicyAction::Deny, std::nullopt, input_from({"user"}))};
  EXPECT_EQ(evaluate(rules, call, "tool", s.store, s.trace, s.registry, {}, nullptr, "{}").outcome,
            Outcome::Deny);
}

// ---- the Datalog stage ----

TEST(EvaluateTest, DatalogJudgesOnlyWhatNoPolicyRuleDecided) {
  RecordedSession s;
  s.registry.insert("write", ToolEntry{});
  const EventId call = s.call("write");
  const std::vector<DatalogRule> datalog = {
      DatalogRule{Atom{"deny",
                       {Term::Var("A"), Term::Const(Value::Text("no_passwd")),
                        Term::Const(Value::Text("writes to the password file"))}},
                  {Atom{"param",
                        {Term::Var("A"), Term::Const(Value::Text("path")),
                         Term::Const(Value::Text("/etc/passwd"))}}}},
  };
  const std::string_view params = R"({"path": "/etc/passwd", "append": true})";

  expect_verdict(judge({}, s, call, &datalog, params), Outcome::Deny, "no_passwd",
                 "writes to the password file");
  // A policy rule that fires wins.
  expect_verdict(judge({catch_all("policy")}, s, call, &datalog, params), Outcome::Deny, "policy",
                 "Rule policy triggered");
  // Without parameter facts the Datalog rule has nothing to match.
  for (std::optional<std::string_view> other :
       {std::optional<std::string_view>{}, std::optional<std::string_view>{"{\"path\":"},
        std::optional<std::string_view>{R"({"path": "/tmp/x"})"},
        std::optional<std::string_view>{R"(["path", "/etc/passwd"])"}}) {
    expect_allowed(judge({}, s, call, &datalog, other));
  }
  const std::vector<DatalogRule> none;
  expect_allowed(judge({}, s, call, &none, params));
  expect_allowed(judge({}, s, call, nullptr, params));
}

// ---- parameter pairs ----

TEST(DatalogParamPairsTest, TextsOfScalarMembersInNameOrder) {
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  struct Case {
    const char* name;
    std::optional<std::string_view> params;
    Pairs expected;
  };
  const std::vector<Case> cases = {
      {"absent", std::nullopt, {}},
      {"not JSON", "{path: 1}", {}},
      {"trailing garbage", "{} x", {}},
      {"an array", "[1, 2]", {}},
      {"a string", "\"text\"", {}},
      {"a number", "42", {}},
      {"empty object", "{}", {}},
      {"surrounding whitespace", " \n\t{\"a\": 1}\r\n ", {{"a", "1"}}},
      {"booleans", R"({"yes": true, "no": false})", {{"no", "false"}, {"yes", "true"}}},
      {"negative integer", R"({"n": -42})", {{"n", "-42"}}},
      {"smallest int64", R"({"n": -9223372036854775808})", {{"n", "-9223372036854775808"}}},
      {"largest uint64", R"({"n": 18446744073709551615})", {{"n", "18446744073709551615"}}},
      {"negative zero integer", R"({"n": -0})", {{"n", "0"}}},
      {"fraction", R"({"n": 1.5})", {{"n", "1.5"}}},
      {"integral fraction", R"({"n": 1.0})", {{"n", "1"}}},
      {"exponent", R"({"n": 1e2})", {{"n", "100"}}},
      {"large exponent", R"({"n": 1e300})", {{"n", "1e+300"}}},
      {"small fraction", R"({"n": 0.1})", {{"n", "0.1"}}},
      {"tiny exponent", R"({"n": -2.5e-300})", {{"n", "-2.5e-300"}}},
      {"more digits than a double holds",
       R"({"n": 123456789.123456789})",
       {{"n", "123456789.12345679"}}},
      {"negative zero with fraction", R"({"n": -0.0})", {{"n", "-0"}}},
      {"beyond 64 bits", R"({"n": 18446744073709551616})", {{"n", "18446744073709551616"}}},
      {"string escapes",
       R"({"s": "a\"b\\c\nd\u00e9\ud83d\ude00"})",
       {{"s", "a\"b\\c\nd\xc3\xa9\xf0\x9f\x98\x80"}}},
      {"empty string and name", R"({"": ""})", {{"", ""}}},
      {"null, array and object give no pair",
       R"({"z": null, "a": [1], "o": {"k": 1}, "m": "kept"})",
       {{"m", "kept"}}},
      {"a repeated name keeps its later value",
       R"({"k": 1, "j": 0, "k": "two"})",
       {{"j", "0"}, {"k", "two"}}},
      {"ascending byte order",
       "{\"\xc3\xa9\": 1, \"z\": 2, \"A\": 3, \"a\": 4}",
       {{"A", "3"}, {"a", "4"}, {"z", "2"}, {"\xc3\xa9", "1"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(datalog_param_pairs(c.params), c.expected);
  }
}

TEST(DatalogParamPairsTest, NonIntegerNumbersReadBackToTheSameDouble) {
  for (const char* number : {"1.5", "0.1", "1e300", "-2.5e-300", "5e-324", "123456789.123456789",
                             "18446744073709551616", "-9223372036854775809", "1.0"}) {
    SCOPED_TRACE(number);
    const std::string json = std::string("{\"n\":") + number + "}";
    const auto pairs = datalog_param_pairs(json);
    ASSERT_EQ(pairs.size(), 1u);
    double expected = 0;
    double written = 0;
    std::from_chars(number, number + std::strlen(number), expected);
    const std::string& text = pairs[0].second;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), written);
    ASSERT_EQ(error, std::errc());
    EXPECT_EQ(end, text.data() + text.size());
    EXPECT_EQ(written, expected);
  }
}

}  // namespace
}  // namespace mobrel
