#include "mobrel/policy/evaluator.h"

#include <algorithm>
#include <utility>
#include <variant>

namespace mobrel {

namespace {

constexpr std::uint64_t kMsPerMinute = 60'000;

// What the policy rules test about one call, gathered once.
struct CallFacts {
  std::string_view tool;
  std::string_view risk;
  const std::optional<std::string>& category;
  EventId call_event;
  std::uint64_t now_ms;
  const EventStore& store;
  const TraceIndex& trace;
  std::span<const EventId> session;
};

// The names that policy rules use for trust codes; codes above 4 have none.
std::optional<std::string_view> trust_name(TrustLevel trust) {
  static constexpr std::string_view kNames[] = {"system", "operator", "user", "external",
                                                "unknown"};
  if (trust >= std::size(kNames)) return std::nullopt;
  return kNames[trust];
}

bool risk_matches(const RiskCondition& condition, std::string_view risk) {
  if (risk.empty()) return false;  // a level without a name matches nothing, not even ""
  if (const auto* single = std::get_if<RiskCondition::Single>(&condition.names)) {
    return *single == risk;
  }
  const auto& list = std::get<RiskCondition::List>(condition.names);
  return std::find(list.begin(), list.end(), risk) != list.end();
}

// Holds when more than `count` tool calls of the session were stamped within the window.
bool calls_exceed(const WindowCount& limit, const CallFacts& call) {
  const std::uint64_t window_ms = std::uint64_t{limit.window_minutes} * kMsPerMinute;
  const std::uint64_t cutoff = call.now_ms > window_ms ? call.now_ms - window_ms : 0;
  std::uint64_t calls = 0;
  for (EventId id : call.session) {
    const EventRecord* record = call.store.find(id);
    if (record == nullptr || record->timestamp_ms < cutoff) continue;
    if (!std::holds_alternative<ToolCallPayload>(record->payload)) continue;
    if (++calls > limit.count) return true;
  }
  return false;
}

bool session_has_content_from(const std::vector<std::string>& names, const CallFacts& call) {
  for (EventId id : call.session) {
    const EventRecord* record = call.store.find(id);
    if (record == nullptr) continue;
    const auto* content = std::get_if<ContentPayload>(&record->payload);
    if (content == nullptr) continue;
    std::optional<std::string_view> name = trust_name(content->trust);
    if (name && std::find(names.begin(), names.end(), *name) != names.end()) return true;
  }
  return false;
}

// A `requires` clause holds while the session lacks what it asks for, which is when the
// rule fires.
bool requirement_unmet(const std::optional<RequiresConditions>& requires_clause,
                       const CallFacts& call) {
  if (!requires_clause) return true;
  const auto& names = requires_clause->session_has_input_from;
  if (!names) return false;  // approval_from alone is never met here, and never fires
  if (call.session.empty() || names->empty()) return true;
  return !session_has_content_from(*names, call);
}

bool rule_fires(const PolicyRule& rule, const CallFacts& call) {
  const WhenConditions& when = rule.when;
  if (when.tool && *when.tool != call.tool) return false;
  if (when.category && (!call.category || *call.category != *when.category)) return false;
  if (when.traced_to && !call.trace.is_traced_to(call.call_event, *when.traced_to)) return false;
  if (when.risk && !risk_matches(*when.risk, call.risk)) return false;
  if (when.calls_in_window && !calls_exceed(*when.calls_in_window, call)) return false;
  // No agent failures are recorded, so a count of them never exceeds any limit.
  if (when.agent_failures_in_window) return false;
  return requirement_unmet(rule.requires_, call);
}

PolicyVerdict verdict_for(const PolicyRule& rule) {
  PolicyVerdict verdict;
  verdict.outcome = rule.action == PolicyAction::Escalate ? Outcome::Escalate : Outcome::Deny;
  verdict.rule_id = rule.name;
  verdict.reason = rule.message ? *rule.message : "Rule " + rule.name + " triggered";
  return verdict;
}

PolicyVerdict unregistered(std::string_view tool) {
  PolicyVerdict verdict;
  verdict.outcome = Outcome::Deny;
  verdict.rule_id = std::string(kUnregisteredToolRuleId);
  verdict.reason = "Tool '" + std::string(tool) + "' is not registered";
  return verdict;
}

}  // namespace

PolicyVerdict evaluate(std::span<const PolicyRule> rules, EventId call_event, std::string_view tool,
                       const EventStore& store, const TraceIndex& trace,
                       const ToolRegistry& registry, std::span<const EventId> session,
                       const std::vector<DatalogRule>* datalog_rules,
                       std::optional<std::string_view> params) {
  if (!registry.contains(tool)) return unregistered(tool);
  const ToolEntry entry = registry.get(tool);

  const CallFacts call{
      tool,   risk_name(entry.risk), entry.category, call_event, store.now_ms(), store, trace,
      session};
  for (const PolicyRule& rule : rules) {
    if (rule_fires(rule, call)) return verdict_for(rule);
  }

  if (datalog_rules != nullptr && !datalog_rules->empty()) {
    const DatalogBuiltins builtins{datalog_param_pairs(params), tool, store, trace, call_event};
    if (std::optional<DatalogFinding> finding = evaluate_datalog(*datalog_rules, builtins)) {
      PolicyVerdict verdict;
      verdict.outcome = finding->outcome;
      verdict.rule_id = std::move(finding->rule_id);
      verdict.reason = std::move(finding->reason);
      return verdict;
    }
  }
  return PolicyVerdict{};
}

}  // namespace mobrel
